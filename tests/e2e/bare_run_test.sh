# A bare start: banner, Wine's ntdll.dll version as class "current", the
# destination below the Program Files folder, both payloads inflated into it
# byte for byte, exit 0. The stand-ins then run from their installed place.
source "$(dirname "$0")/lib.sh"
: "${QMX_CTRL_PAYLOAD_FILE:?set by CTest}" "${QMX_SERVER_PAYLOAD_FILE:?set by CTest}"
e2e_new_prefix
pf="$(e2e_program_files pf)"
e2e_run
e2e_expect_eq 0 "$E2E_RC" "exit code"
head="$(printf '%s\n' "$E2E_OUT" | head -n 5)"
e2e_expect_eq "qmx installer 3.11.0.0, 64-bit
os 6.1.7601.24059 => crt \"current\"
Destination: $pf\\Morvane\\QMX.UA\\kyt\\
Copying \"qmx.ua.kyt.ctrl.exe\"... ok
Copying \"qmx.ua.kyt.exe\"... ok" "$head" "first five lines"
e2e_expect_eq "installation SUCCEEDED!" "$(printf '%s\n' "$E2E_OUT" | tail -n 1)" "result line"
dest="$E2E_DIR/pf/Morvane/QMX.UA/kyt"
[ -d "$dest" ] || e2e_fail "destination folders not created"
cmp "$QMX_CTRL_PAYLOAD_FILE" "$dest/qmx.ua.kyt.ctrl.exe" || e2e_fail "installed control program differs from its payload"
cmp "$QMX_SERVER_PAYLOAD_FILE" "$dest/qmx.ua.kyt.exe" || e2e_fail "installed server differs from its payload"
# Redirected output is plain text with CR LF line ends and no escapes.
if grep -q $'\033' "$E2E_RAW_FILE"; then e2e_fail "escape sequences in redirected output"; fi
[ "$(head -c 32 "$E2E_RAW_FILE" | od -An -c | tr -d ' \n' | grep -c '\\r\\n')" -eq 1 ] || e2e_fail "no CR LF line ends"

if [ -n "${QMX_STANDIN_MARK:-}" ]; then
    for program in qmx.ua.kyt.ctrl.exe qmx.ua.kyt.exe; do
        E2E_PROGRAM="$dest/$program" e2e_run
        e2e_expect_eq "0 $program build $QMX_STANDIN_MARK" "$E2E_RC $E2E_OUT" "installed $program run"
    done
fi
e2e_finish
