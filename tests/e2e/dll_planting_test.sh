# A version.dll planted beside the installer is never loaded, even when Wine
# is told to prefer a native version.dll; the same DLL beside a program that
# imports version.dll statically is loaded, which proves the plant works.
source "$(dirname "$0")/lib.sh"
: "${QMX_PLANTED_DLL:?set by CTest}" "${QMX_STATIC_IMPORTER:?set by CTest}"
e2e_new_prefix
pf="$(e2e_program_files pf)"
downloads="$E2E_DIR/downloads"
mkdir -p "$downloads"
cp "$QMX_INSTALLER" "$downloads/qmx-installer.exe"
cp "$QMX_PLANTED_DLL" "$downloads/version.dll"
cp "$QMX_STATIC_IMPORTER" "$downloads/static_version_importer.exe"
marker="$downloads/planted-version-dll-loaded.txt"
export WINEDLLOVERRIDES="winemenubuilder.exe=d;version=n,b"

E2E_PROGRAM="$downloads/qmx-installer.exe" e2e_run
e2e_expect_eq 0 "$E2E_RC" "installer exit code"
e2e_expect_eq 'os 6.1.7601.24059 => crt "current"' "$(printf '%s\n' "$E2E_OUT" | sed -n 2p)" \
    "the version came from System32's version.dll"
e2e_expect_no_file "$marker"

E2E_PROGRAM="$downloads/static_version_importer.exe" e2e_run
e2e_expect_file "$marker"
e2e_finish
