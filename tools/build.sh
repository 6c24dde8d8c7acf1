#!/usr/bin/env bash
# Configures and builds into the given directory; extra arguments go to CMake.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
dir="$1"; shift
cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKP650_WERROR=ON "$@" >/dev/null
cmake --build "$dir"
