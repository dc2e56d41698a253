# The firewall step under Wine. Wine's firewall classes are a stub that
# stores nothing, so every run adds the entry and reports " ok"; with the
# firewall's DLL disabled the manager cannot be created, and the run warns
# with CoCreateInstance's code and still succeeds. Without ole32.dll the
# initialisation itself fails with the loader's code.
source "$(dirname "$0")/lib.sh"
e2e_new_prefix
e2e_program_files pf >/dev/null

# The step's two lines come right after the certificate's and before the
# services' restart, which prints nothing when no service was stopped.
firewall_lines() { grep -A2 -x 'Will configure firewall\.\.\.' "$E2E_OUT_FILE" || true; }

for run in first second; do
    e2e_run
    e2e_expect_eq 0 "$E2E_RC" "$run run: exit code"
    e2e_expect_eq 'Will configure firewall...
  exception for "qmx.ua.kyt.exe"... ok
installation SUCCEEDED!' "$(firewall_lines)" "$run run: the firewall step"
done

WINEDLLOVERRIDES="$WINEDLLOVERRIDES;hnetcfg=d" e2e_run
e2e_expect_eq 0 "$E2E_RC" "without the firewall's DLL: exit code"
e2e_expect_eq 'Will configure firewall...
  exception for "qmx.ua.kyt.exe"... failed: 0x80070005. Will attempt to continue...
installation SUCCEEDED!' "$(firewall_lines)" "without the firewall's DLL: the warning"

# Without ole32.dll COM cannot be bound at all: the loader's error 126 comes
# back as an HRESULT, the firewall is skipped, and the run still succeeds.
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;ole32=d" e2e_run
e2e_expect_eq 0 "$E2E_RC" "without ole32.dll: exit code"
e2e_expect_eq 'Will configure firewall...
  CoInitializeEx failed: 0x8007007e. Will attempt to continue...
installation SUCCEEDED!' "$(firewall_lines)" "without ole32.dll: the warning"

# On a terminal the warning is yellow (14 is SGR 93) and the colour is reset after it.
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;hnetcfg=d" e2e_run_on_terminal "$QMX_INSTALLER"
e2e_expect_eq 0 "$E2E_RC" "on a terminal: exit code"
grep -qF $'  exception for "qmx.ua.kyt.exe"...\033[93m failed: 0x80070005. Will attempt to continue...' \
    "$E2E_SCREEN_FILE" || e2e_fail "on a terminal: the warning is not yellow behind the step's line"
e2e_finish
