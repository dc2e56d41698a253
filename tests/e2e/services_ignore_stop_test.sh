# A service whose program accepts STOP and keeps running: the stop costs one
# warning with 0x00000507 after a little more than 30 s, the process is then
# terminated as one that still runs the installed file, and the run goes on
# to start the service again.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/services_lib.sh"
svc_install
service=QmxUaKytStubborn
svc_register "$service" "--ignore-stop --stop-hint=0"
svc_start "$service"

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
  service \"$service\"... failed: 0x00000507. Will attempt to continue...
Checking processes for \"qmx.ua.kyt.ctrl.exe\"...
Checking processes for \"qmx.ua.kyt.exe\"...
  will kill process ${pid:-N}... ok
Copying \"qmx.ua.kyt.ctrl.exe\"... ok
Copying \"qmx.ua.kyt.exe\"... ok
Generating default certificate...
  default certificate exists already. Will skip.
Will configure firewall...
  exception for \"qmx.ua.kyt.exe\"... ok
Will start services...
  service \"$service\"... ok
installation SUCCEEDED!" "$E2E_OUT" "run over a service that ignores stop"

waited="$(svc_seconds_between "  service \"$service\"... " 1 "Will attempt to continue..." 1)"
e2e_log "the stop was given up after $waited s"
awk -v s="$waited" 'BEGIN { exit !(s >= 29.5 && s < 35) }' || e2e_fail "the stop wait took $waited s"
e2e_expect_eq 4 "$(svc_state "$service")" "service state afterwards"
e2e_expect_eq 2 "$(grep -c . "$MARK_FILE_UNIX")" "the service came up again"
e2e_finish
