#!/usr/bin/env bash
# Installs what the project needs to build and test on Debian 12:
#   1. the Debian packages (compilers, Wine, host mbedTLS, GoogleTest, tools);
#   2. mbedTLS cross-built for 64-bit Windows from Debian's own source package;
#   3. the miniz amalgamation from its npm package.
# Every step is skipped when its result is already in place, so a second run
# does no network access. Pinned versions and checksums live in deps.lock.
# Environment: QMX_DEPS_DIR  where 2. and 3. go (default: <repo>/.deps).
set -euo pipefail
set -o errtrace

SCRIPT_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
REPO_DIR="$(cd "$SCRIPT_DIR/.." && pwd)"
LOCK_FILE="$SCRIPT_DIR/deps.lock"
TOOLCHAIN_FILE="$REPO_DIR/cmake/toolchain-mingw64.cmake"
DEB_SRC_NAME="qmx-deb-src"
START_TIME=$EPOCHREALTIME
SUMMARY=()
APT_UPDATED=0
WORK_TMP=""
# Other jobs on the machine may hold the dpkg lock for a while: wait, not fail.
APT_WAIT=(-o DPkg::Lock::Timeout=600)

log() { printf 'setup-deps: %s\n' "$*"; }
die() { printf 'setup-deps: error: %s\n' "$*" >&2; exit 1; }
note() { SUMMARY+=("$*"); log "$*"; }

on_error() {
    printf 'setup-deps: error: command failed (exit %s) at line %s: %s\n' \
        "$1" "$2" "$3" >&2
}
trap 'on_error $? $LINENO "$BASH_COMMAND"' ERR
cleanup() { if [[ -n "$WORK_TMP" ]]; then rm -rf -- "$WORK_TMP"; fi; }
trap cleanup EXIT

# Runs a command as root: directly when we are root, else through sudo.
as_root() {
    if [[ $EUID -eq 0 ]]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        die "root is needed for: $* (run as root or install sudo)"
    fi
}

# Reads KEY from deps.lock; a missing or empty pin is fatal.
lock_get() {
    local value
    value="$(awk -v k="$1" 'index($0, k "=") == 1 { print substr($0, length(k) + 2); exit }' "$LOCK_FILE")"
    [[ -n "$value" ]] || die "$LOCK_FILE has no value for $1"
    printf '%s' "$value"
}

sha256_of() { sha256sum -- "$1" | awk '{ print $1 }'; }

# Fails loudly when FILE does not hash to the pinned value.
verify_sha256() {
    local file="$1" want="$2" got
    [[ -f "$file" ]] || die "missing file to verify: $file"
    got="$(sha256_of "$file")"
    [[ "$got" == "$want" ]] ||
        die "checksum mismatch for $(basename "$file"): expected $want, got $got"
}

apt_update_once() {
    if [[ $APT_UPDATED -eq 0 ]]; then
        log "apt-get update"
        as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q "${APT_WAIT[@]}" ||
            die "apt-get update failed"
        APT_UPDATED=1
    fi
}

# ---------------------------------------------------------------- step 1: apt

APT_PACKAGES=(
    cmake g++ make
    g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
    wine64 wine
    libmbedtls-dev googletest libgtest-dev
    tmux openssl dpkg-dev file xz-utils python3
)

package_installed() {
    [[ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null || true)" == "installed" ]]
}

install_apt_packages() {
    local wanted=("${APT_PACKAGES[@]}") missing=() p
    # Node may come from elsewhere than Debian; only its npm client matters.
    if ! command -v npm >/dev/null 2>&1; then wanted+=(npm); fi
    for p in "${wanted[@]}"; do
        package_installed "$p" || missing+=("$p")
    done
    if [[ ${#missing[@]} -eq 0 ]]; then
        note "apt: all ${#wanted[@]} packages already installed"
        return
    fi
    log "apt: installing ${missing[*]}"
    apt_update_once
    as_root env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -q --no-install-recommends "${APT_WAIT[@]}" "${missing[@]}" ||
        die "apt-get install failed for: ${missing[*]}"
    for p in "${missing[@]}"; do
        if [[ "$p" == npm ]]; then
            command -v npm >/dev/null 2>&1 || die "npm is still missing after install"
        else
            package_installed "$p" || die "package $p is still not installed"
        fi
    done
    note "apt: installed ${missing[*]}"
}

# The host build links the system's libmbedtls-dev; both builds must run the
# same release, or a key written by one may not parse the same in the other.
check_host_mbedtls() {
    local header=/usr/include/mbedtls/version.h version
    [[ -f "$header" ]] || die "$header is missing (libmbedtls-dev not installed?)"
    version="$(awk '$1 == "#define" && $2 == "MBEDTLS_VERSION_STRING" { gsub(/"/, "", $3); print $3 }' "$header")"
    [[ "$version" == "$MBEDTLS_UPSTREAM_VERSION" ]] ||
        die "host mbedTLS is ${version:-unknown}, but the Windows build pins $MBEDTLS_UPSTREAM_VERSION"
    note "host mbedtls: $version (matches the Windows build)"
}

# ------------------------------------------------------- step 2: mbedTLS (win)

# Prints deb-src copies of the enabled Debian stanzas of one deb822 file.
# A stanza counts as Debian's when it is signed by the Debian archive keyring
# or its URIs end in Debian's archive paths; other vendors' stanzas are left out,
# and so are stanzas that already list deb-src.
deb822_to_deb_src() {
    awk '
        function flush(   i) {
            if (n > 0 && has_deb && !has_src && enabled && debian) {
                if (printed++) print ""
                for (i = 1; i <= n; i++) print lines[i]
            }
            n = 0; has_deb = 0; has_src = 0; enabled = 1; debian = 0; key = ""
        }
        function check(k, v) {
            if (k == "signed-by" && v ~ /debian-archive-keyring/) debian = 1
            if (k == "uris" && (" " v " ") ~ /\/debian(-security|-ports)?\/?[ \t]/) debian = 1
        }
        BEGIN { flush() }
        /^[ \t]*#/ { next }
        /^[ \t]*$/ { flush(); next }
        /^[ \t]/ { lines[++n] = $0; check(key, $0); next }
        {
            colon = index($0, ":")
            if (colon == 0) { lines[++n] = $0; next }
            key = tolower(substr($0, 1, colon - 1))
            value = substr($0, colon + 1)
            if (key == "types") {
                if ((" " value " ") ~ /[ \t]deb[ \t]/) has_deb = 1
                if ((" " value " ") ~ /[ \t]deb-src[ \t]/) has_src = 1
                lines[++n] = "Types: deb-src"
                next
            }
            if (key == "enabled" && tolower(value) ~ /no/) enabled = 0
            check(key, value)
            lines[++n] = $0
        }
        END { flush() }
    ' "$1"
}

# Prints deb-src copies of the Debian "deb" lines of one legacy one-line file,
# leaving out those whose deb-src twin the file already has.
legacy_to_deb_src() {
    awk '
        FNR == NR {
            if ($0 ~ /^[ \t]*deb-src[ \t]/) { t = $0; sub(/^[ \t]*deb-src[ \t]+/, "", t); have[t] = 1 }
            next
        }
        /^[ \t]*deb[ \t]/ {
            line = $0
            sub(/^[ \t]*deb[ \t]+/, "", line)
            opts = ""
            if (substr(line, 1, 1) == "[") {
                close_at = index(line, "]")
                opts = substr(line, 1, close_at)
                line = substr(line, close_at + 1)
                sub(/^[ \t]+/, "", line)
            }
            split(line, f, /[ \t]+/)
            rest = (opts != "" ? opts " " : "") line
            if ((opts ~ /debian-archive-keyring/ || f[1] ~ /\/debian(-security|-ports)?\/?$/) && !(rest in have))
                print "deb-src " rest
        }
    ' "$1" "$1"
}

# Writes the deb-src twin of the machine's own Debian sources, so no mirror
# name is ever hard-coded here.
write_deb_src_sources() {
    local SRCLIST="" SRCPARTS="" f deb822="" legacy=""
    eval "$(apt-config shell SRCLIST Dir::Etc::sourcelist/f SRCPARTS Dir::Etc::sourceparts/d)"
    SRCPARTS="${SRCPARTS%/}"
    [[ -n "$SRCPARTS" ]] || die "apt-config does not name a sources.list.d folder"
    if [[ -n "$SRCLIST" && -f "$SRCLIST" ]]; then
        legacy+="$(legacy_to_deb_src "$SRCLIST")"$'\n'
    fi
    for f in "$SRCPARTS"/*.list "$SRCPARTS"/*.sources; do
        [[ -f "$f" ]] || continue
        case "$(basename "$f")" in "$DEB_SRC_NAME".*) continue ;; esac
        case "$f" in
            *.list) legacy+="$(legacy_to_deb_src "$f")"$'\n' ;;
            *.sources)
                local part
                part="$(deb822_to_deb_src "$f")"
                if [[ -n "$part" ]]; then deb822+="${deb822:+$'\n'}$part"$'\n'; fi
                ;;
        esac
    done
    legacy="$(printf '%s' "$legacy" | sed '/^$/d')"
    [[ -n "$deb822$legacy" ]] ||
        die "no enabled Debian entries found in the apt sources to derive deb-src from"
    local header="# Written by scripts/setup-deps.sh: deb-src twins of this machine's Debian sources."
    write_apt_source "$SRCPARTS/$DEB_SRC_NAME.sources" "$deb822" "$header"
    write_apt_source "$SRCPARTS/$DEB_SRC_NAME.list" "$legacy" "$header"
}

# Puts CONTENT (with HEADER on top) into PATH, or removes PATH when CONTENT is
# empty; an unchanged file is left alone.
write_apt_source() {
    local path="$1" content="$2" header="$3" want
    if [[ -z "$content" ]]; then
        if [[ -e "$path" ]]; then as_root rm -f -- "$path"; fi
        return 0
    fi
    want="$header"$'\n'"$content"
    [[ "$want" == *$'\n' ]] || want+=$'\n'
    if [[ -f "$path" && "$(cat "$path")"$'\n' == "$want" ]]; then return 0; fi
    printf '%s' "$want" | as_root tee "$path" >/dev/null
    note "apt: wrote $path"
}

mbedtls_source_indexed() {
    local out
    out="$(apt-cache showsrc mbedtls 2>/dev/null || true)"
    grep -qx "Version: $MBEDTLS_DEB_VERSION" <<<"$out"
}

# Puts the pinned source package's files into $SRC_CACHE, verified.
fetch_mbedtls_source() {
    if [[ -f "$MBEDTLS_DSC" && -f "$MBEDTLS_ORIG" && -f "$MBEDTLS_DEBIAN" ]] &&
        [[ "$(sha256_of "$MBEDTLS_DSC")" == "$MBEDTLS_DSC_SHA256" ]] &&
        [[ "$(sha256_of "$MBEDTLS_ORIG")" == "$MBEDTLS_ORIG_SHA256" ]] &&
        [[ "$(sha256_of "$MBEDTLS_DEBIAN")" == "$MBEDTLS_DEBIAN_SHA256" ]]; then
        log "mbedtls: source package already cached"
        return
    fi
    if ! mbedtls_source_indexed; then
        write_deb_src_sources
        apt_update_once
        mbedtls_source_indexed ||
            die "apt-cache showsrc mbedtls does not offer version $MBEDTLS_DEB_VERSION"
    fi
    log "mbedtls: apt-get source mbedtls=$MBEDTLS_DEB_VERSION"
    rm -f -- "$MBEDTLS_DSC" "$MBEDTLS_ORIG" "$MBEDTLS_DEBIAN"
    (cd "$SRC_CACHE" && apt-get source -q --download-only "mbedtls=$MBEDTLS_DEB_VERSION") ||
        die "apt-get source mbedtls=$MBEDTLS_DEB_VERSION failed"
    verify_sha256 "$MBEDTLS_DSC" "$MBEDTLS_DSC_SHA256"
    verify_sha256 "$MBEDTLS_ORIG" "$MBEDTLS_ORIG_SHA256"
    verify_sha256 "$MBEDTLS_DEBIAN" "$MBEDTLS_DEBIAN_SHA256"
    note "mbedtls: source package $MBEDTLS_DEB_VERSION downloaded, checksums match the pins"
}

mbedtls_stamp() {
    printf 'mbedtls %s orig-sha256 %s toolchain-sha256 %s\n' \
        "$MBEDTLS_DEB_VERSION" "$MBEDTLS_ORIG_SHA256" "$(sha256_of "$TOOLCHAIN_FILE")"
}

mbedtls_installed() {
    local lib
    for lib in libmbedcrypto.a libmbedx509.a libmbedtls.a; do
        [[ -f "$MBEDTLS_PREFIX/lib/$lib" ]] || return 1
    done
    [[ -f "$MBEDTLS_PREFIX/include/mbedtls/version.h" ]] || return 1
    [[ -f "$MBEDTLS_PREFIX/.stamp" && "$(cat "$MBEDTLS_PREFIX/.stamp")" == "$(mbedtls_stamp)" ]]
}

build_mbedtls_win() {
    [[ -f "$TOOLCHAIN_FILE" ]] || die "missing toolchain file $TOOLCHAIN_FILE"
    if mbedtls_installed; then
        note "mbedtls-win $MBEDTLS_DEB_VERSION: already built in $MBEDTLS_PREFIX"
        return
    fi
    fetch_mbedtls_source

    # Fresh unpack each build: it is cheap and no stale object can leak in.
    # It goes beside the .dsc, since dpkg-source puts copies of the tarballs
    # next to the tree it makes. Debian's own config changes (pthread
    # threading, HAVEGE, ...) are made by its debian/rules, which is not run:
    # the Windows library keeps upstream's default config, which needs nothing
    # beyond the Win32 API.
    local src="$SRC_CACHE/mbedtls-$MBEDTLS_UPSTREAM_VERSION"
    local build="$DEPS_DIR/build/mbedtls-win"
    rm -rf -- "$src" "$build" "$MBEDTLS_PREFIX"
    log "mbedtls: unpacking into $src"
    # dpkg-source re-checks the files against the .dsc; the .dsc itself was
    # vouched for by apt (signed index) and by the pin above.
    mkdir -p -- "$(dirname "$build")"
    dpkg-source -x "$MBEDTLS_DSC" "$src" >"$build.unpack.log" 2>&1 ||
        die "dpkg-source could not unpack $MBEDTLS_DSC; see $build.unpack.log"

    log "mbedtls: cross-building for Windows (x86_64-w64-mingw32)"
    cmake -S "$src" -B "$build" \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN_FILE" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$MBEDTLS_PREFIX" \
        -DENABLE_PROGRAMS=OFF \
        -DENABLE_TESTING=OFF \
        -DUSE_STATIC_MBEDTLS_LIBRARY=ON \
        -DUSE_SHARED_MBEDTLS_LIBRARY=OFF \
        -DMBEDTLS_FATAL_WARNINGS=OFF \
        -Wno-dev >"$build.configure.log" 2>&1 ||
        die "cmake configure of mbedtls failed; see $build.configure.log"
    cmake --build "$build" -j2 >"$build.build.log" 2>&1 ||
        die "mbedtls build failed; see $build.build.log"
    cmake --install "$build" >"$build.install.log" 2>&1 ||
        die "mbedtls install failed; see $build.install.log"
    mbedtls_stamp >"$MBEDTLS_PREFIX/.stamp"
    mbedtls_installed || die "mbedtls install in $MBEDTLS_PREFIX is incomplete"
    rm -rf -- "$build" "$build".*.log
    rmdir -- "$(dirname "$build")" 2>/dev/null || true
    note "mbedtls-win $MBEDTLS_DEB_VERSION: built and installed in $MBEDTLS_PREFIX"
}

# ------------------------------------------------------------ step 3: miniz

install_miniz() {
    local dest="$DEPS_DIR/miniz-$MINIZ_VERSION"
    local tgz="$SRC_CACHE/$MINIZ_NPM_PACKAGE-$MINIZ_VERSION.tgz"
    if [[ -f "$dest/miniz.c" && -f "$dest/miniz.h" && -f "$dest/.stamp" &&
        "$(cat "$dest/.stamp")" == "$MINIZ_TGZ_SHA256" ]]; then
        note "miniz $MINIZ_VERSION: already in $dest"
        return
    fi
    if [[ ! -f "$tgz" || "$(sha256_of "$tgz")" != "$MINIZ_TGZ_SHA256" ]]; then
        command -v npm >/dev/null 2>&1 || die "npm is not installed"
        WORK_TMP="$(mktemp -d "${TMPDIR:-/tmp}/qmx-setup-deps.XXXXXX")"
        log "miniz: npm pack $MINIZ_NPM_PACKAGE@$MINIZ_VERSION"
        (cd "$WORK_TMP" && npm pack "$MINIZ_NPM_PACKAGE@$MINIZ_VERSION" \
            --ignore-scripts --no-fund --no-audit --no-update-notifier \
            --loglevel=error >/dev/null) ||
            die "npm pack $MINIZ_NPM_PACKAGE@$MINIZ_VERSION failed"
        local packed=("$WORK_TMP"/*.tgz)
        [[ ${#packed[@]} -eq 1 && -f "${packed[0]}" ]] ||
            die "npm pack did not produce exactly one tarball"
        verify_sha256 "${packed[0]}" "$MINIZ_TGZ_SHA256"
        mv -f -- "${packed[0]}" "$tgz"
        note "miniz: $MINIZ_NPM_PACKAGE@$MINIZ_VERSION packed, checksum matches the pin"
    fi
    # Unpack beside the destination, then swap it in, so a broken run never
    # leaves a half-filled folder that looks complete.
    local staging="$dest.partial"
    rm -rf -- "$staging"
    mkdir -p -- "$staging"
    tar -xzf "$tgz" -C "$staging" --strip-components=1 --no-same-owner --no-same-permissions \
        package/ || die "could not unpack $tgz"
    [[ -f "$staging/miniz.c" && -f "$staging/miniz.h" ]] ||
        die "$tgz has no miniz.c/miniz.h"
    printf '%s\n' "$MINIZ_TGZ_SHA256" >"$staging/.stamp"
    rm -rf -- "$dest"
    mv -- "$staging" "$dest"
    note "miniz $MINIZ_VERSION: unpacked into $dest"
}

# ------------------------------------------------------------------- main

[[ -f "$LOCK_FILE" ]] || die "missing $LOCK_FILE"
MBEDTLS_DEB_VERSION="$(lock_get MBEDTLS_DEB_VERSION)"
MBEDTLS_UPSTREAM_VERSION="$(lock_get MBEDTLS_UPSTREAM_VERSION)"
MBEDTLS_ORIG_SHA256="$(lock_get MBEDTLS_ORIG_SHA256)"
MBEDTLS_DEBIAN_SHA256="$(lock_get MBEDTLS_DEBIAN_SHA256)"
MBEDTLS_DSC_SHA256="$(lock_get MBEDTLS_DSC_SHA256)"
MINIZ_NPM_PACKAGE="$(lock_get MINIZ_NPM_PACKAGE)"
MINIZ_VERSION="$(lock_get MINIZ_VERSION)"
MINIZ_TGZ_SHA256="$(lock_get MINIZ_TGZ_SHA256)"

DEPS_DIR="${QMX_DEPS_DIR:-$REPO_DIR/.deps}"
mkdir -p -- "$DEPS_DIR" || die "cannot create $DEPS_DIR"
DEPS_DIR="$(cd "$DEPS_DIR" && pwd)"
SRC_CACHE="$DEPS_DIR/src"
mkdir -p -- "$SRC_CACHE"
MBEDTLS_PREFIX="$DEPS_DIR/mbedtls-win"
MBEDTLS_DSC="$SRC_CACHE/mbedtls_$MBEDTLS_DEB_VERSION.dsc"
MBEDTLS_ORIG="$SRC_CACHE/mbedtls_$MBEDTLS_UPSTREAM_VERSION.orig.tar.gz"
MBEDTLS_DEBIAN="$SRC_CACHE/mbedtls_$MBEDTLS_DEB_VERSION.debian.tar.xz"

# One run at a time per deps folder: concurrent builds would trample each other.
exec 9>"$DEPS_DIR/.setup-deps.lock"
if ! flock -n 9; then
    log "waiting for another setup-deps run on $DEPS_DIR"
    flock 9 || die "cannot lock $DEPS_DIR/.setup-deps.lock"
fi

install_apt_packages
check_host_mbedtls
build_mbedtls_win
install_miniz

ELAPSED="$(awk -v a="${START_TIME/,/.}" -v b="${EPOCHREALTIME/,/.}" 'BEGIN { printf "%.1f", b - a }')"
log "summary (deps in $DEPS_DIR, ${ELAPSED}s):"
for line in "${SUMMARY[@]}"; do printf '  - %s\n' "$line"; done
