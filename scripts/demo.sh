#!/usr/bin/env bash
# The main job: builds the installer with its payloads and runs it under Wine
# on a scratch prefix, showing its console. Run it twice to see an upgrade.
# QMX_DEMO_PREFIX chooses the prefix (default: a scratch folder under build/).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-deps.sh >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows >/dev/null

export WINEPREFIX="${QMX_DEMO_PREFIX:-$PWD/build/demo-prefix}"
export WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d"
if [ ! -e "$WINEPREFIX/.booted" ]; then
    echo "booting a scratch Wine prefix in $WINEPREFIX (about 20 s)..."
    rm -rf "$WINEPREFIX"
    wine wineboot -i >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.booted"
fi
set +e
wine build/windows/bin/qmx-installer.exe "$@"
rc=$?
set -e
echo "(exit code $rc; installed files in $WINEPREFIX/drive_c/Program Files/Morvane/QMX.UA/kyt)"
exit $rc
