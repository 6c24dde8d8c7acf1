#!/usr/bin/env bash
# Configures and builds into the given directory; extra arguments go to CMake's configure step,
# except "--target T..." (last), which builds only those targets instead of everything.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
dir="$1"; shift
configure=()
targets=()
while (($#)); do
    if [ "$1" = "--target" ]; then
        shift
        targets=("$@")
        break
    fi
    configure+=("$1")
    shift
done
cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKP650_WERROR=ON \
    "${configure[@]}" >/dev/null
if ((${#targets[@]})); then
    cmake --build "$dir" --target "${targets[@]}"
else
    cmake --build "$dir"
fi
