#!/usr/bin/env bash
# Installs what is missing, builds Tonvera and starts it. Arguments go to the program (a file to
# open, for example).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTONVERA_BUILD_TESTS=OFF -DTONVERA_BUILD_BENCH=OFF
cmake --build "$root/build" --target tonvera
exec "$root/build/tonvera" "$@"
