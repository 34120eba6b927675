#!/usr/bin/env bash
# Installs what is missing, builds Tonvera and starts it. Arguments go to the program (a file to
# open, for example). The build tree (build/) is the one the tests and the Debian package use.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/configure.sh" release "$root/build"
cmake --build "$root/build" --target tonvera
exec "$root/build/tonvera" "$@"
