#!/usr/bin/env bash
# Builds the Debian package build-deb/tonvera_<version>_<arch>.deb (and tonvera-dbgsym beside it)
# with dpkg-buildpackage from debian/, then checks it: lintian shows no error, the AppStream file
# and the desktop entry validate, each file lies where the desktop looks for it, and the version
# is the same everywhere. Installs what is missing first: the Build-Depends of debian/control and
# the checking tools. Each check prints one "package check: PASS|FAIL" line; the script ends
# non-zero when the build or a check fails. The program is built in the release tree build/ that
# the start command and the tests use (scripts/configure.sh); the package is written to build-deb/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build-deb

# Only the package needs these; building, running and testing (scripts/install-deps.sh) do not.
checkers=(dpkg-dev lintian appstream desktop-file-utils)

install_missing() {
    local missing=() pkg sudo=()
    for pkg in "${checkers[@]}"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$pkg")
    done
    if [ ${#missing[@]} -eq 0 ] && (cd "$root" && dpkg-checkbuilddeps) 2>/dev/null; then
        return 0
    fi
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || { echo "package: need root or sudo to install packages" >&2; exit 1; }
        sudo=(sudo)
    fi
    echo "package: installing the build dependencies of debian/control and ${checkers[*]}"
    "${sudo[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get build-dep -y -q --no-install-recommends "$root"
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends \
        "${checkers[@]}"
}

passed=0
failed=0
check() {
    local what=$1
    shift
    if "$@"; then
        echo "package check: PASS $what"
        passed=$((passed + 1))
    else
        echo "package check: FAIL $what"
        failed=$((failed + 1))
    fi
}

install_missing
cd "$root"

version=$(dpkg-parsechangelog -S Version)
arch=$(dpkg-architecture -qDEB_HOST_ARCH)
deb=$out/tonvera_${version}_${arch}.deb

# A release bumped in one place only would ship a package, an About box and a software-centre
# entry that disagree.
versions_agree() {
    local cmake metainfo
    cmake=$(sed -n 's/^project(Tonvera VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
    metainfo=$(grep -o -m 1 '<release version="[^"]*"' resources/org.tonvera.Tonvera.metainfo.xml.in |
        cut -d '"' -f 2)
    [ "$cmake" = "$version" ] && [ "$metainfo" = "$version" ] ||
        { echo "CMakeLists.txt: $cmake, debian/changelog: $version, metainfo newest release: $metainfo"; return 1; }
}
check "CMakeLists.txt, debian/changelog and the AppStream releases name version $version" versions_agree

mkdir -p "$out"
# debhelper's stamps would make dh skip the build of a tree that has changed since; the CMake
# tree stays (no clean), so only what changed is compiled again: nothing, after the tests.
rm -rf debian/debhelper-build-stamp debian/.debhelper debian/*.debhelper.log debian/*.substvars \
    debian/files debian/tonvera debian/tonvera-dbgsym
rm -f "$out"/*.deb "$out"/*.buildinfo "$out"/*.changes
# The tests lock the tree while they build and run in it (scripts/test.sh): the package waits.
build_package() {
    mkdir -p "$root/build"
    TONVERA_CMAKE_DIR=build TONVERA_DEB_DIR=$out flock "$root/build/.tree-lock" \
        dpkg-buildpackage --build=binary --no-pre-clean --no-sign \
        --buildinfo-option=-u"$out" --buildinfo-file="$out/tonvera_${version}_${arch}.buildinfo" \
        --changes-option=-u"$out" --changes-file="$out/tonvera_${version}_${arch}.changes" &&
        [ -f "$deb" ]
}
check "dpkg-buildpackage builds $(basename "$deb")" build_package
summary() {
    echo "package: $passed passed, $failed failed"
    [ $failed -eq 0 ]
}
[ -f "$deb" ] || { summary; exit 1; }

contents=$out/contents
rm -rf "$contents"
dpkg-deb -x "$deb" "$contents"

# Width x height from a PNG's header (big-endian, 16 bytes in); empty for anything else.
png_size() {
    [ -f "$1" ] && [ "$(head -c 4 "$1" | od -An -tx1 | tr -d ' ')" = "89504e47" ] || return 0
    od -An -tu1 -j 16 -N 8 "$1" |
        awk '{ printf "%dx%d", (($1 * 256 + $2) * 256 + $3) * 256 + $4, (($5 * 256 + $6) * 256 + $7) * 256 + $8 }'
}

holds_every_file() {
    local missing=0 path size
    for path in usr/bin/tonvera usr/share/tonvera/icon_play.png usr/share/tonvera/click.wav \
        usr/share/tonvera/MainWindow.ui usr/share/applications/org.tonvera.Tonvera.desktop \
        usr/share/metainfo/org.tonvera.Tonvera.metainfo.xml usr/share/man/man1/tonvera.1.gz \
        usr/share/icons/hicolor/scalable/apps/tonvera.svg usr/share/doc/tonvera/copyright; do
        [ -e "$contents/$path" ] || { echo "missing: /$path"; missing=1; }
    done
    for size in 16 22 24 32 48 64 128 256; do
        path=usr/share/icons/hicolor/${size}x${size}/apps/tonvera.png
        if [ "$(png_size "$contents/$path")" != "${size}x${size}" ]; then
            echo "missing or not ${size}x${size}: /$path"
            missing=1
        fi
    done
    return $missing
}
check "the program, its resources, desktop entry, metainfo, man page and icons are in place" \
    holds_every_file

run_lintian() {
    # Errors fail; warnings and information are shown so they can be read and weighed.
    lintian --fail-on error --display-info "$deb"
}
check "lintian shows no error" run_lintian

# --no-net: the screenshots' addresses are checked for their form only, so a build machine without
# the web (or before the pages are published) still validates everything else.
check "appstreamcli validate --explain" appstreamcli validate --explain --no-net \
    "$contents/usr/share/metainfo/org.tonvera.Tonvera.metainfo.xml"
check "desktop-file-validate" desktop-file-validate \
    "$contents/usr/share/applications/org.tonvera.Tonvera.desktop"

echo "package: $deb"
summary
