#!/usr/bin/env bash
# Installs what is missing, builds, starts the device simulator on a pseudo-terminal and the
# program with port 1 pointing at it. The simulator stops when the program ends.
# Extra arguments go to the simulator (e.g. --variant A, --records 255).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
bash "$here/tools/deps.sh"
bash "$here/tools/build.sh" "$here/build"
sim="$here/build/sim/kp650-sim"
link="${KP650_SIM_LINK:-/tmp/kp650-com1}"
if [ -x "$sim" ]; then
    "$sim" --link "$link" "$@" &
    sim_pid=$!
    trap 'kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null || true' EXIT
    for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
    export KP650_COM1="$link"
fi
"$here/build/src/kp650"
