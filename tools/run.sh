#!/usr/bin/env bash
# Installs what is missing, builds the program and the simulator (nothing else: no tests, no
# benchmarks), starts the device simulator on a pseudo-terminal and the program with port 1
# pointing at it. The simulator stops when the program ends.
# Extra arguments go to the simulator (e.g. --variant A, --records 255).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
bash "$here/tools/deps.sh"
bash "$here/tools/build.sh" "$here/build" --target kp650 kp650-sim
sim="$here/build/sim/kp650-sim"
link="${KP650_SIM_LINK:-/tmp/kp650-com1}"
# Each start switches the program to the other variant (setting.ini present: transmitter next),
# so the simulated device follows unless a variant is given; it gets a small log by default.
home="${KP650_HOME:-$here/build/src}"
sim_args=("$@")
if [[ " $* " != *" --variant "* ]]; then
    if [ -e "$home/setting.ini" ]; then sim_args+=(--variant A); else sim_args+=(--variant B); fi
fi
if [[ " $* " != *" --records "* && " $* " != *" --log "* ]]; then
    sim_args+=(--records 40)
fi
if [ -x "$sim" ]; then
    "$sim" --link "$link" "${sim_args[@]}" &
    sim_pid=$!
    trap 'kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null || true' EXIT
    for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
    export KP650_COM1="$link"
fi
"$here/build/src/kp650"
