#!/bin/sh
# Runs a two-display installation: two kv5100 processes whose Ethernet wires
# are two crossed ports of 127.0.0.1. Display A (unit 175) owns the air-data,
# AHRS and engine streams and sends them; display B (unit 176) takes them from
# the network. Each has its own flash in DIR, its own SYSTEM.KVD and ETHERADD.
#
#   two-display.sh DIR [SECONDS] [-- COMMON_ARGS...]
#
# KV_A_ARGS and KV_B_ARGS add options per display (for example
# "--script a.txt --screenshot a.png"); without --headless each opens a window.
# KV_SYSTEM adds lines to both SYSTEM.KVD files (for example "MAP_INSTALLED, 1").
# KV5100 names the program (default: kv5100 on the PATH). Logs: DIR/a.log, DIR/b.log.
# KV_A_UNTIL_B=1 powers A off when B ends (A then serves B for as long as B
# runs, whatever their speeds in virtual time). KV_PORT sets where the search
# for a free pair of loopback ports starts.
set -eu
[ $# -ge 1 ] || { echo "usage: two-display.sh DIR [SECONDS] [-- ARGS...]" >&2; exit 2; }
dir=$1; shift
seconds=${1:-60}; [ $# -ge 1 ] && shift
[ "${1:-}" = "--" ] && shift
kv=${KV5100:-kv5100}
mkdir -p "$dir"
# Runs started together (a parallel test suite) never share a port: each
# starts from an even pair of its own and moves past pairs already bound, as
# a neighbour's port taken as a peer would join two runs into one wire.
taken() { command -v ss >/dev/null && [ -n "$(ss -Haun "( sport = :$1 )")" ]; }
port=${KV_PORT:-$((30000 + 2 * ($$ % 10000)))}
while taken "$port" || taken $((port + 1)); do
    port=$((port + 2))
    [ "$port" -lt 65534 ] || { echo "two-display.sh: no free pair of UDP ports" >&2; exit 1; }
done

cat >"$dir/SYSTEM-A.KVD" <<KVD
NET_ENABLE, 1
NET_IP_ADR_LOCAL, 175
NET_IP_ADR_OTHER, 176
NET_AIR_MODE, 1
NET_AHRS_MODE, 1
NET_ENG_MODE, 1
KVD
cat >"$dir/SYSTEM-B.KVD" <<KVD
NET_ENABLE, 1
NET_IP_ADR_LOCAL, 176
NET_IP_ADR_OTHER, 175
NET_AIR_MODE, 2
NET_AHRS_MODE, 2
NET_ENG_MODE, 2
KVD
if [ -n "${KV_SYSTEM:-}" ]; then
    printf '%s\n' "$KV_SYSTEM" >>"$dir/SYSTEM-A.KVD"
    printf '%s\n' "$KV_SYSTEM" >>"$dir/SYSTEM-B.KVD"
fi

"$kv" --flash "$dir/a.flash" --demo --tfs "SYSTEM.KVD=$dir/SYSTEM-A.KVD" --env ETHERADD=02:00:00:00:00:af \
    --net "udp:$port:$((port + 1))" --run-for "$seconds" "$@" ${KV_A_ARGS:-} >"$dir/a.log" 2>&1 &
a=$!
"$kv" --flash "$dir/b.flash" --demo --tfs "SYSTEM.KVD=$dir/SYSTEM-B.KVD" --env ETHERADD=02:00:00:00:00:b0 \
    --net "udp:$((port + 1)):$port" --run-for "$seconds" "$@" ${KV_B_ARGS:-} >"$dir/b.log" 2>&1 &
b=$!
trap 'kill $a $b 2>/dev/null' INT TERM
status=0
if [ "${KV_A_UNTIL_B:-0}" = 1 ]; then
    wait $b || status=$?
    kill -TERM $a 2>/dev/null
    wait $a || status=$?
else
    wait $a || status=$?
    wait $b || status=$?
fi
exit $status
