# The installer file itself: a 64-bit console PE that imports only KERNEL32,
# ADVAPI32 and msvcrt, asks for no elevation, and carries version 3.11.0.0.
set -euo pipefail
: "${QMX_INSTALLER:?set by CTest}"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

kind="$(file -b "$QMX_INSTALLER")"
case "$kind" in
    "PE32+ executable (console) x86-64"*) ;;
    *) fail "file type: $kind" ;;
esac

imports="$(x86_64-w64-mingw32-objdump -p "$QMX_INSTALLER" | sed -n 's/^\s*DLL Name: //p' | tr 'a-z' 'A-Z' | sort -u)"
while read -r dll; do
    case "$dll" in
        KERNEL32.DLL | ADVAPI32.DLL | MSVCRT.DLL) ;;
        *) fail "imports $dll" ;;
    esac
done <<<"$imports"
grep -q KERNEL32.DLL <<<"$imports" || fail "KERNEL32 not imported: $imports"

grep -aq 'requestedExecutionLevel level="asInvoker"' "$QMX_INSTALLER" || fail "manifest without asInvoker"

# VS_FIXEDFILEINFO follows its signature 0xFEEF04BD: file and product version.
versions="$(perl -0777 -ne '
    my $at = index($_, pack("V", 0xFEEF04BD));
    die "no version block\n" if $at < 0;
    my (undef, undef, $fms, $fls, $pms, $pls) = unpack("V6", substr($_, $at, 24));
    printf "%d.%d.%d.%d %d.%d.%d.%d\n", $fms >> 16, $fms & 0xFFFF, $fls >> 16, $fls & 0xFFFF,
        $pms >> 16, $pms & 0xFFFF, $pls >> 16, $pls & 0xFFFF;' "$QMX_INSTALLER")"
[ "$versions" = "3.11.0.0 3.11.0.0" ] || fail "file and product version: $versions"

if [ "$failures" -ne 0 ]; then exit 1; fi
echo "installer: $kind; imports: $(echo $imports); version $versions"
