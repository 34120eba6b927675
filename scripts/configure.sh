#!/usr/bin/env bash
# Configures one of the three build trees, so that every script configures a tree the same way:
#   configure.sh release [DIR]   build/: the start command, the normal tests and the Debian package
#                                share it (Debian's hardening flags, installed under /usr), so the
#                                program that ships is the program that was tested
#   configure.sh sanitize [DIR]  build-san/: clang, AddressSanitizer + UndefinedBehaviorSanitizer
#                                at -O1 with assertions on; it also builds the fuzz targets
#   configure.sh thread [DIR]    build-tsan/: ThreadSanitizer, the suites labelled "threads"
# Further arguments go to cmake. Configuring a tree again with the same arguments changes none of
# its compile commands, so nothing is compiled again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
kind=${1:?usage: configure.sh release|sanitize|thread [DIR] [cmake arguments]}
shift
case $kind in
    release) default_dir=$root/build ;;
    sanitize) default_dir=$root/build-san ;;
    thread) default_dir=$root/build-tsan ;;
    *) echo "configure: unknown tree '$kind' (release, sanitize or thread)" >&2; exit 2 ;;
esac
dir=$default_dir
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
    dir=$1
    shift
fi

common=(-S "$root" -B "$dir" -G Ninja)
# The release and sanitizer trees compile their files in batches (unity builds): with the
# precompiled headers that halves a clean build. The thread tree compiles file by file, so a file
# that only compiles beside its batch neighbours still fails somewhere.
unity=(-DCMAKE_UNITY_BUILD=ON)

case $kind in
    release)
        # The flags dpkg-buildpackage would give; they name the source folder (file-prefix-map),
        # so they are asked for from it, exactly as debian/rules asks.
        flags() {
            (cd "$root" && DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1")
        }
        cppflags=$(flags CPPFLAGS)
        multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
        cmake "${common[@]}" "${unity[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_INSTALL_LIBDIR="lib/$multiarch" \
            -DCMAKE_INSTALL_SYSCONFDIR=/etc -DCMAKE_INSTALL_LOCALSTATEDIR=/var \
            -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
            -DCMAKE_C_FLAGS="$(flags CFLAGS) $cppflags" \
            -DCMAKE_CXX_FLAGS="$(flags CXXFLAGS) $cppflags" \
            -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" \
            -DCMAKE_SHARED_LINKER_FLAGS="$(flags LDFLAGS)" \
            -DCMAKE_MODULE_LINKER_FLAGS="$(flags LDFLAGS)" \
            "$@"
        ;;
    sanitize)
        # Line tables are all a sanitizer's stack trace needs, and much cheaper than full debug
        # information; -O1 keeps the reports exact and runs the suite faster than -O0.
        CC=clang CXX=clang++ cmake "${common[@]}" "${unity[@]}" -DCMAKE_BUILD_TYPE=Debug \
            -DCMAKE_C_FLAGS_DEBUG="-O1 -gline-tables-only" \
            -DCMAKE_CXX_FLAGS_DEBUG="-O1 -gline-tables-only" \
            -DTONVERA_SANITIZE=ON -DTONVERA_BUILD_FUZZERS=ON -DTONVERA_BUILD_BENCH=OFF \
            "$@"
        ;;
    thread)
        # Line tables are enough for the race reports' stacks.
        cmake "${common[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTONVERA_SANITIZE_THREAD=ON \
            -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
            -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
            -DTONVERA_BUILD_BENCH=OFF "$@"
        ;;
esac
