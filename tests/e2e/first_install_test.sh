# A first installation on a fresh prefix, in Wine's own Program Files: the
# whole transcript, line for line, and exit 0. Nothing of the product exists
# yet, so discovery, termination and the service steps print nothing. A
# second run finds the files (no service runs them), keeps the certificate,
# and registers the firewall entry again, as Wine's firewall keeps nothing.
source "$(dirname "$0")/lib.sh"
e2e_new_prefix
e2e_run
e2e_expect_eq 0 "$E2E_RC" "exit code"
e2e_expect_eq 'qmx installer 3.11.0.0, 64-bit
os 6.1.7601.24059 => crt "current"
Destination: C:\Program Files\Morvane\QMX.UA\kyt\
Copying "qmx.ua.kyt.ctrl.exe"... ok
Copying "qmx.ua.kyt.exe"... ok
Generating default certificate... ok
Will configure firewall...
  exception for "qmx.ua.kyt.exe"... ok
installation SUCCEEDED!' "$E2E_OUT" "first installation transcript"
dest="$WINEPREFIX/drive_c/Program Files/Morvane/QMX.UA/kyt"
for file in qmx.ua.kyt.ctrl.exe qmx.ua.kyt.exe instances/default/.key instances/default/.cert; do
    e2e_expect_file "$dest/$file"
done
key_before="$(sha256sum <"$dest/instances/default/.key")"
e2e_run
e2e_expect_eq 0 "$E2E_RC" "second run: exit code"
e2e_expect_eq 'qmx installer 3.11.0.0, 64-bit
os 6.1.7601.24059 => crt "current"
Destination: C:\Program Files\Morvane\QMX.UA\kyt\
Discovering services for "qmx.ua.kyt.ctrl.exe"...
Discovering services for "qmx.ua.kyt.exe"...
Checking processes for "qmx.ua.kyt.ctrl.exe"...
Checking processes for "qmx.ua.kyt.exe"...
Copying "qmx.ua.kyt.ctrl.exe"... ok
Copying "qmx.ua.kyt.exe"... ok
Generating default certificate...
  default certificate exists already. Will skip.
Will configure firewall...
  exception for "qmx.ua.kyt.exe"... ok
installation SUCCEEDED!' "$E2E_OUT" "second run transcript"
e2e_expect_eq "$key_before" "$(sha256sum <"$dest/instances/default/.key")" "second run: the key is kept"
e2e_finish
