# CTest fixture: boots the template prefix once; later runs reuse it.
set -euo pipefail
: "${QMX_E2E_ROOT:?set by CTest}"
export WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d"
template="$QMX_E2E_ROOT/template"
if [ -e "$template/.booted" ]; then
    echo "template prefix ready: $template"
    exit 0
fi
rm -rf "$template"
mkdir -p "$QMX_E2E_ROOT"
export WINEPREFIX="$template"
wine wineboot -i >"$QMX_E2E_ROOT/boot.log" 2>&1
# wineboot returns before the prefix is ready; the server says when it is.
wineserver -w
touch "$template/.booted"
echo "booted template prefix: $template"
