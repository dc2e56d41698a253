# Shared set-up of the service end-to-end tests, sourced after lib.sh: a
# prefix with a persistent wine server (a service must outlive each wine
# command), the product installed by a first run, the installed files given
# an older build mark, and the server stand-in registered as a real service.
: "${QMX_BIN_DIR:?set by CTest}"

# The product installed once. Sets DEST_UNIX, DEST_WIN, FIRST_OUT, NEW_MARK
# (the build the installer carries) and OLD_MARK (the build now installed).
# The scenarios need the stand-ins as payloads: one of them is the service.
svc_install() {
    if [ -z "${QMX_STANDIN_MARK:-}" ]; then
        e2e_log "skipped: the payloads of this build are not the stand-ins"
        exit 0
    fi
    NEW_MARK="$QMX_STANDIN_MARK"
    e2e_new_prefix
    wineserver -p </dev/null >/dev/null 2>&1
    local pf_win
    pf_win="$(e2e_program_files pf)"
    DEST_UNIX="$E2E_DIR/pf/Morvane/QMX.UA/kyt"
    DEST_WIN="$pf_win\\Morvane\\QMX.UA\\kyt"
    e2e_run
    FIRST_OUT="$E2E_OUT"
    e2e_expect_eq 0 "$E2E_RC" "first run: exit code"
    # An older build of both files: the same programs with another mark of
    # the same length, so that a test can tell which file a process runs.
    # The compiler keeps the mark as a string and in pieces inside the code
    # (immediate operands), so every run of five or more of its bytes is
    # replaced; a test checks the result by running the patched server.
    OLD_MARK="$(printf '%s' "$NEW_MARK" | tr 'A-Za-z0-9._' 'O')"
    local file
    for file in qmx.ua.kyt.ctrl.exe qmx.ua.kyt.exe; do
        NEW="$NEW_MARK" perl -0777 -pi -e '
            my $mark = "$ENV{NEW}\n";
            for my $length (reverse 5 .. length $mark) {
                for my $at (0 .. length($mark) - $length) {
                    my $piece = substr($mark, $at, $length);
                    (my $old = $piece) =~ tr/A-Za-z0-9._/O/;
                    s/\Q$piece\E/$old/g;
                }
            }' "$DEST_UNIX/$file"
    done
    MARK_FILE_UNIX="$E2E_DIR/marks.txt"
    MARK_FILE_WIN="Z:$(printf '%s' "$MARK_FILE_UNIX" | tr '/' '\\')"
}

# svc_register NAME ARGUMENTS: the installed server as a demand-start service,
# its quoted path followed by the arguments and the mark file.
svc_register() {
    wine sc create "$1" binPath= "\"$DEST_WIN\\qmx.ua.kyt.exe\" $2 --mark-file=$MARK_FILE_WIN" start= demand \
        DisplayName= "QMX UA Server ($1)" >"$E2E_DIR/sc-create.$1.out" 2>&1 ||
        e2e_fail "sc create $1: $(cat "$E2E_DIR/sc-create.$1.out")"
}

# Starts the service and waits until it runs.
svc_start() {
    wine net start "$1" >"$E2E_DIR/net-start.$1.out" 2>&1 || e2e_fail "net start $1: $(cat "$E2E_DIR/net-start.$1.out")"
}

# The state number the service manager reports for the service.
svc_state() {
    wine sc query "$1" >"$E2E_DIR/sc-query.$1.out" 2>&1 || true
    sed -n 's/^ *STATE *: *\([0-9]*\).*/\1/p' "$E2E_DIR/sc-query.$1.out"
}

# The last build mark the service wrote when it came up.
svc_last_mark() { tail -n 1 "$MARK_FILE_UNIX" 2>/dev/null | tr -d '\r'; }

# The installed control program, started by hand and kept running. Sets CTRL_PID.
svc_start_ctrl() {
    wine "$DEST_WIN\\qmx.ua.kyt.ctrl.exe" --wait >"$E2E_DIR/ctrl.out" 2>&1 &
    CTRL_PID=$!
    local waited=0
    while ! grep -q build "$E2E_DIR/ctrl.out" 2>/dev/null && [ "$waited" -lt 200 ]; do
        sleep 0.05
        waited=$((waited + 1))
    done
    e2e_expect_eq "qmx.ua.kyt.ctrl.exe build $OLD_MARK" "$(tr -d '\r' <"$E2E_DIR/ctrl.out")" "control program started"
}

# True when the process of CTRL_PID ends within 10 s.
svc_ctrl_ended() {
    local waited=0
    while kill -0 "$CTRL_PID" 2>/dev/null && [ "$waited" -lt 200 ]; do
        sleep 0.05
        waited=$((waited + 1))
    done
    ! kill -0 "$CTRL_PID" 2>/dev/null
}

# Runs the installer like e2e_run while recording, every 20 ms, how much of
# its output has arrived, so that the time between two lines can be told.
svc_run_timed() {
    local raw="$E2E_DIR/timed.raw"
    TIMELINE="$E2E_DIR/timeline"
    : >"$raw"
    : >"$TIMELINE"
    (while :; do
        printf '%s %s\n' "$(date +%s.%N)" "$(stat -c %s "$raw")" >>"$TIMELINE"
        sleep 0.02
    done) &
    local poller=$!
    set +e
    wine "$QMX_INSTALLER" >"$raw" 2>"$E2E_DIR/timed.err"
    E2E_RC=$?
    set -e
    kill "$poller" 2>/dev/null || true
    wait "$poller" 2>/dev/null || true
    # The last lines may arrive just before the program ends.
    printf '%s %s\n' "$(date +%s.%N)" "$(stat -c %s "$raw")" >>"$TIMELINE"
    E2E_RAW_FILE="$raw"
    E2E_OUT_FILE="$E2E_DIR/timed.out"
    tr -d '\r' <"$raw" >"$E2E_OUT_FILE"
    E2E_OUT="$(cat "$E2E_OUT_FILE")"
}

# svc_seconds_between TEXT1 N1 TEXT2 N2: seconds from the moment the N1-th
# occurrence of TEXT1 began to arrive until the N2-th occurrence of TEXT2 had
# arrived in full, from the timeline of svc_run_timed.
svc_seconds_between() {
    local from to
    from="$(grep -boF -- "$1" "$E2E_RAW_FILE" | sed -n "$2p" | cut -d: -f1)"
    to="$(grep -boF -- "$3" "$E2E_RAW_FILE" | sed -n "$4p" | cut -d: -f1)"
    [ -n "$from" ] && [ -n "$to" ] || { echo "?"; return; }
    to=$((to + ${#3}))
    awk -v from="$from" -v to="$to" '
        !a && $2 > from { a = $1 }
        !b && $2 >= to { b = $1 }
        END { if (a && b) printf "%.2f\n", b - a; else print "?" }' "$TIMELINE"
}
