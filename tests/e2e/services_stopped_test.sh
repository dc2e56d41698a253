# A stopped service that runs an installed file is listed as stopped and is
# neither stopped nor started.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/services_lib.sh"
svc_install
service=QmxUaKytIdle
svc_register "$service" "--stop-hint=1000"

e2e_run
e2e_expect_eq 0 "$E2E_RC" "exit code"
e2e_expect_eq "qmx installer 3.11.0.0, 64-bit
os 6.1.7601.24059 => crt \"current\"
Destination: $DEST_WIN\\
Discovering services for \"qmx.ua.kyt.ctrl.exe\"...
Discovering services for \"qmx.ua.kyt.exe\"...
  $service -> stopped
Checking processes for \"qmx.ua.kyt.ctrl.exe\"...
Checking processes for \"qmx.ua.kyt.exe\"...
Copying \"qmx.ua.kyt.ctrl.exe\"... ok
Copying \"qmx.ua.kyt.exe\"... ok
Generating default certificate...
  default certificate exists already. Will skip.
Will configure firewall...
  exception for \"qmx.ua.kyt.exe\"... ok
installation SUCCEEDED!" "$E2E_OUT" "run over a stopped service"
e2e_expect_eq 1 "$(svc_state "$service")" "service state afterwards"
e2e_expect_no_file "$MARK_FILE_UNIX"
e2e_finish
