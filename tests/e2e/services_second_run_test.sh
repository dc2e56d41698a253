# A second run over an installed, running product: the server runs as a
# service, the control program was started by hand. The run stops the
# service, kills the control program, replaces both files and starts the
# service again, which then runs the new build.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/services_lib.sh"
svc_install
service=QmxUaKytServer
svc_register "$service" "--stop-hint=2000"
svc_start "$service"
e2e_expect_eq "$OLD_MARK" "$(svc_last_mark)" "the service runs the old build"
svc_start_ctrl

svc_run_timed
e2e_expect_eq 0 "$E2E_RC" "exit code"
pid="$(sed -n 's/^  will kill process \([0-9]*\)\.\.\. ok$/\1/p' "$E2E_OUT_FILE")"
e2e_expect_eq "qmx installer 3.11.0.0, 64-bit
os 6.1.7601.24059 => crt \"current\"
Destination: $DEST_WIN\\
Discovering services for \"qmx.ua.kyt.ctrl.exe\"...
Discovering services for \"qmx.ua.kyt.exe\"...
  $service -> running
Will stop services...
  service \"$service\"... ok
Checking processes for \"qmx.ua.kyt.ctrl.exe\"...
  will kill process ${pid:-N}... ok
Checking processes for \"qmx.ua.kyt.exe\"...
Copying \"qmx.ua.kyt.ctrl.exe\"... ok
Copying \"qmx.ua.kyt.exe\"... ok
Generating default certificate...
  default certificate exists already. Will skip.
Will configure firewall...
  exception for \"qmx.ua.kyt.exe\"... ok
Will start services...
  service \"$service\"... ok
installation SUCCEEDED!" "$E2E_OUT" "second run"

svc_ctrl_ended || e2e_fail "the control program still runs"
e2e_expect_eq 4 "$(svc_state "$service")" "service state afterwards"
e2e_expect_eq "$NEW_MARK" "$(svc_last_mark)" "the service runs the new build"
cmp -s "$QMX_SERVER_PAYLOAD_FILE" "$DEST_UNIX/qmx.ua.kyt.exe" || e2e_fail "server file not replaced"
cmp -s "$QMX_CTRL_PAYLOAD_FILE" "$DEST_UNIX/qmx.ua.kyt.ctrl.exe" || e2e_fail "control file not replaced"
e2e_expect_eq 2 "$(grep -c . "$MARK_FILE_UNIX")" "the service came up twice"
e2e_log "service down for $(svc_seconds_between "  service \"$service\"... " 1 "  service \"$service\"... ok" 2) s" \
    "(from the stop request until it ran again)"
e2e_finish
