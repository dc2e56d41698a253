# A bare start: banner, Wine's ntdll.dll version as class "current", the
# destination below the Program Files folder, the three folders, exit 0.
source "$(dirname "$0")/lib.sh"
e2e_new_prefix
pf="$(e2e_program_files pf)"
e2e_run
e2e_expect_eq 0 "$E2E_RC" "exit code"
head="$(printf '%s\n' "$E2E_OUT" | head -n 3)"
e2e_expect_eq "qmx installer 3.11.0.0, 64-bit
os 6.1.7601.24059 => crt \"current\"
Destination: $pf\\Morvane\\QMX.UA\\kyt\\" "$head" "first three lines"
e2e_expect_eq "installation SUCCEEDED!" "$(printf '%s\n' "$E2E_OUT" | tail -n 1)" "result line"
[ -d "$E2E_DIR/pf/Morvane/QMX.UA/kyt" ] || e2e_fail "destination folders not created"
# Redirected output is plain text with CR LF line ends and no escapes.
if grep -q $'\033' "$E2E_RAW_FILE"; then e2e_fail "escape sequences in redirected output"; fi
[ "$(head -c 32 "$E2E_RAW_FILE" | od -An -c | tr -d ' \n' | grep -c '\\r\\n')" -eq 1 ] || e2e_fail "no CR LF line ends"
e2e_finish
