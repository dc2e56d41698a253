# On a real terminal a red failure is bright red and the result line after it
# is back in the console's colours.
source "$(dirname "$0")/lib.sh"
e2e_new_prefix
pf="$(e2e_program_files pf)"
# A file where the first folder should be: the second folder cannot be made.
printf 'x' >"$E2E_DIR/pf/Morvane"
e2e_run_on_terminal "$QMX_INSTALLER"
e2e_expect_eq 1 "$E2E_RC" "exit code"
screen="$(grep -v '^$' "$E2E_SCREEN_FILE")"
e2e_expect_eq "qmx installer 3.11.0.0, 64-bit
os 6.1.7601.24059 => crt \"current\"
"$'\033'"[91mFailed to create dir \"$pf\\Morvane\\QMX.UA\": 0x00000003
"$'\033'"[39minstallation FAILED." "$screen" "screen with colours"
e2e_finish
