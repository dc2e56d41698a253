# A build with other payloads, named through QMX_CTRL_PAYLOAD and
# QMX_SERVER_PAYLOAD: real PE files of realistic size (Wine's own, about 178 KB
# and 1.1 MB) are embedded as one zlib stream each and installed byte for byte.
# A changed payload file rebuilds the installer; a payload that cannot be read
# stops the configure or the build with a message that names it. The build
# tree lives beside the test runs and is reused, so later runs are incremental.
source "$(dirname "$0")/lib.sh"
: "${QMX_SOURCE_DIR:?set by CTest}" "${QMX_DEPS_DIR:?set by CTest}"
wine_pe=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
build="$QMX_E2E_ROOT/payload-build"
inputs="$QMX_E2E_ROOT/payload-inputs"  # outside the tree, so make names them in full
mkdir -p "$inputs"
cp "$wine_pe/aclui.dll" "$inputs/ctrl.dll"      # ~178 KB
cp "$wine_pe/wordpad.exe" "$inputs/server.exe"  # ~1.1 MB
installer="$build/bin/qmx-installer.exe"

configure() {  # extra -D arguments; output in $build.configure.log
    cmake -S "$QMX_SOURCE_DIR" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$QMX_SOURCE_DIR/cmake/toolchain-mingw64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DQMX_DEPS_DIR="$QMX_DEPS_DIR" "$@" >"$build.configure.log" 2>&1
}
build_installer() {  # output in $build.build.log
    cmake --build "$build" --target qmx-installer -j2 >"$build.build.log" 2>&1
}
resources_inflate_to() {  # ctrl-file server-file
    rm -rf "$build/inflated" && mkdir -p "$build/inflated"
    python3 "$(dirname "$0")/pe_resources.py" "$installer" 1001 "$build/inflated" >"$build/table"
    e2e_expect_eq "101 0x0409 7801 one-stream
102 0x0409 7801 one-stream" "$(cut -d' ' -f1,2,4,5 "$build/table")" "resources of type 1001"
    cmp "$1" "$build/inflated/101" || e2e_fail "resource 101 is not $1"
    cmp "$2" "$build/inflated/102" || e2e_fail "resource 102 is not $2"
}

configure -DQMX_CTRL_PAYLOAD="$inputs/ctrl.dll" -DQMX_SERVER_PAYLOAD="$inputs/server.exe" ||
    { cat "$build.configure.log"; e2e_fail "configure"; e2e_finish; }
build_installer || { tail -n 40 "$build.build.log"; e2e_fail "build"; e2e_finish; }
resources_inflate_to "$inputs/ctrl.dll" "$inputs/server.exe"

e2e_new_prefix
pf="$(e2e_program_files pf)"
e2e_run_installer() { E2E_PROGRAM="$installer" e2e_run; }
e2e_run_installer
e2e_expect_eq 0 "$E2E_RC" "exit code"
e2e_expect_eq "Copying \"qmx.ua.kyt.ctrl.exe\"... ok
Copying \"qmx.ua.kyt.exe\"... ok" "$(printf '%s\n' "$E2E_OUT" | sed -n 4,5p)" "copy lines"
dest="$E2E_DIR/pf/Morvane/QMX.UA/kyt"
cmp "$inputs/ctrl.dll" "$dest/qmx.ua.kyt.ctrl.exe" || e2e_fail "installed qmx.ua.kyt.ctrl.exe differs"
cmp "$inputs/server.exe" "$dest/qmx.ua.kyt.exe" || e2e_fail "installed qmx.ua.kyt.exe differs"

# Another file in place of the control program's payload: only its stream and
# the installer are made again, and the new installer carries it.
before="$(sha256sum <"$installer")"
cp "$wine_pe/attrib.exe" "$inputs/ctrl.dll"
build_installer || { tail -n 40 "$build.build.log"; e2e_fail "rebuild"; }
grep -q 'Compressing payload 101' "$build.build.log" || e2e_fail "payload 101 not compressed again"
if grep -q 'Compressing payload 102' "$build.build.log"; then e2e_fail "payload 102 compressed again"; fi
[ "$(sha256sum <"$installer")" != "$before" ] || e2e_fail "installer not rebuilt"
resources_inflate_to "$wine_pe/attrib.exe" "$inputs/server.exe"

# A payload that cannot be read: a folder where the file was (the compressor
# names it), a file gone after configuring (make names it), a path that does
# not exist when configuring (the configure names it).
rm "$inputs/ctrl.dll" && mkdir "$inputs/ctrl.dll"
if build_installer; then e2e_fail "build with a folder as payload succeeded"; fi
grep -q "cannot read payload file \"$inputs/ctrl.dll\"" "$build.build.log" ||
    { tail -n 20 "$build.build.log"; e2e_fail "no message naming the unreadable payload"; }
rmdir "$inputs/ctrl.dll"
if build_installer; then e2e_fail "build with a missing payload succeeded"; fi
grep -q "$inputs/ctrl.dll" "$build.build.log" || { tail -n 20 "$build.build.log"; e2e_fail "missing payload not named"; }
if configure -DQMX_CTRL_PAYLOAD="$inputs/none.exe"; then e2e_fail "configure with a missing payload succeeded"; fi
# CMake wraps its messages at blanks.
tr '\n' ' ' <"$build.configure.log" | tr -s ' ' |
    grep -q "QMX_CTRL_PAYLOAD: cannot read payload file \"$inputs/none.exe\"" ||
    { cat "$build.configure.log"; e2e_fail "configure did not name the missing payload"; }
# Leave the tree ready for the next run.
cp "$wine_pe/aclui.dll" "$inputs/ctrl.dll"
configure -DQMX_CTRL_PAYLOAD="$inputs/ctrl.dll" || e2e_fail "configure again"
e2e_finish
