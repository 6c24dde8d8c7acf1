#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. --sanitize builds with ASan and UBSan
# into build-asan and fails on any report.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
dir="$here/build"
cmake_args=()
if [ "${1:-}" = "--sanitize" ]; then
    dir="$here/build-asan"
    cmake_args+=(-DKP650_SANITIZE=ON)
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:halt_on_error=1"
    export LSAN_OPTIONS="suppressions=$here/tools/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
fi
bash "$here/tools/deps.sh"
bash "$here/tools/build.sh" "$dir" "${cmake_args[@]}"
cd "$dir"
ctest --output-on-failure -j2
