# Another process holds the installed server file open without sharing. Held
# for about 7 seconds: the step waits ("retry in 5 sec" and one dot a second,
# shown as they happen) and then installs the file. Held for good: four
# attempts, three waits, then the red failure with 0x00000020 and exit 1.
source "$(dirname "$0")/lib.sh"
: "${QMX_HOLD_FILE:?set by CTest}" "${QMX_SERVER_PAYLOAD_FILE:?set by CTest}"
e2e_new_prefix
pf="$(e2e_program_files pf)"
dest="$E2E_DIR/pf/Morvane/QMX.UA/kyt"
target="$pf\\Morvane\\QMX.UA\\kyt\\qmx.ua.kyt.exe"
start="qmx installer 3.11.0.0, 64-bit
os 6.1.7601.24059 => crt \"current\"
Destination: $pf\\Morvane\\QMX.UA\\kyt\\"
copying="Copying \"qmx.ua.kyt.ctrl.exe\"... ok
Copying \"qmx.ua.kyt.exe\"..."
# Only the old server is installed: discovery and the process check look at it.
head="$start
Discovering services for \"qmx.ua.kyt.exe\"...
Checking processes for \"qmx.ua.kyt.exe\"...
$copying"
retry="
  retry in 5 sec....."

# Starts hold_file.exe on the server file for $1 seconds and returns once the
# file is held.
hold_server_file() {
    mkdir -p "$dest"
    printf 'old server' >"$dest/qmx.ua.kyt.exe"
    rm -f "$E2E_DIR/hold.out"
    wine "$QMX_HOLD_FILE" "$target" "$1" >"$E2E_DIR/hold.out" 2>"$E2E_DIR/hold.err" &
    HOLD_PID=$!
    local waited=0
    until grep -q held "$E2E_DIR/hold.out" 2>/dev/null; do
        sleep 0.1
        waited=$((waited + 1))
        if [ "$waited" -gt 600 ]; then e2e_fail "hold_file.exe did not hold the file"; e2e_finish; fi
    done
}

# Released after about 7 seconds. The first attempt comes well inside the
# hold; whether the release falls in the first or the second wait depends on
# the real clock, so both are accepted. The output file is watched while the
# installer waits: a partly dotted wait shows that each dot is written as its
# second passes.
hold_server_file 7
out="$E2E_DIR/released.out"
wine "$QMX_INSTALLER" >"$out.raw" 2>"$out.err" &
installer=$!
partial=no
while kill -0 "$installer" 2>/dev/null; do
    if tr -d '\r' <"$out.raw" | tail -n 1 | grep -Eq '^  retry in 5 sec\.{1,4}$'; then partial=yes; fi
    sleep 0.1
done
set +e; wait "$installer"; rc=$?; set -e
wait "$HOLD_PID" || true
e2e_expect_eq 0 "$rc" "exit code, released"
e2e_expect_eq yes "$partial" "a wait seen with only some of its dots"
got="$(tr -d '\r' <"$out.raw")"
# Everything up to the server's " ok", and the result line.
block="$(printf '%s\n' "$got" | awk '{ print } /^Copying "qmx.ua.kyt.exe"/ { server = 1 } server && / ok$/ { exit }')"
if [ "$block" != "$head$retry ok" ]; then
    e2e_expect_eq "$head$retry$retry ok" "$block" "output up to the server's ok (released in the first or second wait)"
fi
e2e_expect_eq "installation SUCCEEDED!" "$(printf '%s\n' "$got" | tail -n 1)" "result line, released"
cmp "$QMX_SERVER_PAYLOAD_FILE" "$dest/qmx.ua.kyt.exe" || e2e_fail "server not installed after the release"

# Held for 25 seconds, longer than the 15 seconds of waiting: on a terminal,
# to see the failure in red.
# Both files are installed now.
head="$start
Discovering services for \"qmx.ua.kyt.ctrl.exe\"...
Discovering services for \"qmx.ua.kyt.exe\"...
Checking processes for \"qmx.ua.kyt.ctrl.exe\"...
Checking processes for \"qmx.ua.kyt.exe\"...
$copying"
hold_server_file 25
e2e_run_on_terminal "$QMX_INSTALLER"
e2e_expect_eq 1 "$E2E_RC" "exit code, held"
screen="$(grep -v '^$' "$E2E_SCREEN_FILE")"
e2e_expect_eq "$head$retry$retry$retry"$'\033'"[91m failed: 0x00000020
"$'\033'"[39minstallation FAILED." "$screen" "screen, held"
e2e_expect_eq "old server" "$(cat "$dest/qmx.ua.kyt.exe")" "held file untouched"
kill "$HOLD_PID" 2>/dev/null || true
e2e_finish
