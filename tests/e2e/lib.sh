# Shared helpers of the end-to-end tests: the real installer under Wine, in a
# throwaway prefix copied from a template that the fixture booted once.
# Sourced by each test script; CTest sets QMX_E2E_ROOT and QMX_INSTALLER.
set -euo pipefail

: "${QMX_E2E_ROOT:?set by CTest}"
: "${QMX_INSTALLER:?set by CTest}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-winemenubuilder.exe=d}"
E2E_TEMPLATE="$QMX_E2E_ROOT/template"
E2E_NAME="$(basename "$0" .sh)"
E2E_DIR="$QMX_E2E_ROOT/runs/$E2E_NAME"
E2E_FAILURES=0

e2e_log() { printf '[%s] %s\n' "$E2E_NAME" "$*"; }

e2e_fail() {
    printf '[%s] FAIL: %s\n' "$E2E_NAME" "$*" >&2
    E2E_FAILURES=$((E2E_FAILURES + 1))
}

# A fresh prefix for this test: a copy of the booted template. Ends with the
# wine server of the prefix stopped and the prefix removed, whatever happens.
e2e_new_prefix() {
    rm -rf "$E2E_DIR"
    mkdir -p "$E2E_DIR"
    cp -a "$E2E_TEMPLATE" "$E2E_DIR/prefix"
    export WINEPREFIX="$E2E_DIR/prefix"
    trap e2e_cleanup EXIT
}

e2e_cleanup() {
    local rc=$?
    wineserver -k >/dev/null 2>&1 || true
    if [ "$rc" -eq 0 ] && [ "$E2E_FAILURES" -eq 0 ] && [ -z "${QMX_E2E_KEEP:-}" ]; then
        rm -rf "$E2E_DIR"
    else
        e2e_log "kept $E2E_DIR for inspection"
    fi
}

# Program Files of the prefix becomes a folder of the test's own (Wine takes
# the registry value when the folder exists). Prints the Windows path.
e2e_program_files() {
    local unix_dir="$E2E_DIR/$1"
    mkdir -p "$unix_dir"
    local win_dir
    win_dir="Z:$(printf '%s' "$unix_dir" | tr '/' '\\')"
    wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion' /v ProgramFilesDir /d "$win_dir" /f \
        >"$E2E_DIR/reg.out" 2>&1
    printf '%s' "$win_dir"
}

# Runs the installer (or the program named by E2E_PROGRAM) with its output
# redirected to a file, never a pipe: Wine's daemons would inherit a pipe and
# keep it open. Sets E2E_RC and E2E_OUT (the output with CR LF turned to LF).
e2e_run() {
    local out="$E2E_DIR/out.$RANDOM"
    set +e
    wine "${E2E_PROGRAM:-$QMX_INSTALLER}" "$@" >"$out.raw" 2>"$out.err"
    E2E_RC=$?
    set -e
    tr -d '\r' <"$out.raw" >"$out"
    E2E_OUT="$(cat "$out")"
    E2E_OUT_FILE="$out"
    E2E_RAW_FILE="$out.raw"
}

e2e_expect_eq() {  # expected actual what
    if [ "$1" != "$2" ]; then
        e2e_fail "$3"
        printf -- '--- expected\n%s\n--- actual\n%s\n---\n' "$1" "$2" >&2
    fi
}

e2e_expect_file() { [ -e "$1" ] || e2e_fail "missing: $1"; }
e2e_expect_no_file() { [ ! -e "$1" ] || e2e_fail "should not exist: $1"; }

# Runs a command line on a real (tmux) terminal and prints the screen with its
# SGR escapes, so colours can be checked. The command runs inside the pane
# with this test's WINEPREFIX.
e2e_run_on_terminal() {
    local session="qmx-$E2E_NAME-$$"
    local done_file="$E2E_DIR/tmux.done"
    rm -f "$done_file"
    tmux new-session -d -s "$session" -x 200 -y 50 \
        "WINEPREFIX='$WINEPREFIX' WINEDEBUG=-all WINEDLLOVERRIDES='$WINEDLLOVERRIDES' wine $* 2>/dev/null; echo \$? >'$done_file'; sleep 30"
    local waited=0
    while [ ! -e "$done_file" ] && [ "$waited" -lt 1200 ]; do sleep 0.1; waited=$((waited + 1)); done
    sleep 0.3
    tmux capture-pane -p -e -t "$session" >"$E2E_DIR/screen.txt"
    tmux kill-session -t "$session" >/dev/null 2>&1 || true
    E2E_RC="$(cat "$done_file" 2>/dev/null || echo timeout)"
    E2E_SCREEN_FILE="$E2E_DIR/screen.txt"
}

e2e_finish() {
    if [ "$E2E_FAILURES" -ne 0 ]; then
        e2e_log "$E2E_FAILURES check(s) failed"
        exit 1
    fi
    e2e_log "passed"
}
