#!/bin/sh
# Runs the unit, or a test program, on a TAP device inside a network namespace
# of its own, with a peer command beside it, and deletes all of it at the end.
# The namespace side of the TAP is 192.168.0.70 and 192.168.0.176 (MTU 1400,
# IPv6 off); nothing of the unit's 192.168.0.x network leaves the namespace.
#
#   netns-rig.sh [-t SECONDS] UNIT_COMMAND [PEER_COMMAND]
#
# Both commands run with $KV_TAP naming the TAP device (the unit takes it as
# --net tap:$KV_TAP). The peer command starts once the unit has opened the TAP
# and runs at most SECONDS (default 30); the unit is then stopped. The exit
# status is the peer's (the unit's without a peer); 77 when no namespace or
# TAP can be made here.
set -u
limit=30
if [ "${1:-}" = "-t" ]; then limit=$2; shift 2; fi
[ $# -ge 1 ] || { echo "usage: netns-rig.sh [-t SECONDS] UNIT_COMMAND [PEER_COMMAND]" >&2; exit 2; }
unit=$1
peer=${2:-}
ns="kvrig$$"
tap="kvtap$$"

if ! ip netns add "$ns" 2>/dev/null; then
    echo "netns-rig: cannot make a network namespace here (needs CAP_NET_ADMIN)" >&2
    exit 77
fi
upid=""
cleanup() {
    if [ -n "$upid" ]; then
        kill -TERM -- "-$upid" 2>/dev/null
        i=0
        while kill -0 -- "-$upid" 2>/dev/null && [ $i -lt 30 ]; do sleep 0.1; i=$((i + 1)); done
        kill -KILL -- "-$upid" 2>/dev/null
    fi
    ip netns del "$ns" 2>/dev/null
}
trap cleanup EXIT INT TERM

inns() { ip netns exec "$ns" "$@"; }
if ! inns ip tuntap add dev "$tap" mode tap 2>/dev/null; then
    echo "netns-rig: cannot make a TAP device here (no /dev/net/tun)" >&2
    exit 77
fi
inns sysctl -qw "net.ipv6.conf.$tap.disable_ipv6=1" 2>/dev/null
inns ip link set lo up
inns ip link set "$tap" mtu 1400
inns ip addr add 192.168.0.70/24 dev "$tap"
inns ip addr add 192.168.0.176/24 dev "$tap"
inns ip link set "$tap" up
export KV_TAP="$tap"

# The unit in a process group of its own, so that all of it stops at the end.
setsid ip netns exec "$ns" sh -c "exec $unit" &
upid=$!

if [ -z "$peer" ]; then
    wait "$upid"
    status=$?
    upid=""
    exit $status
fi

# The peer starts once the unit holds the TAP (its carrier comes up).
i=0
while [ "$(inns cat "/sys/class/net/$tap/carrier" 2>/dev/null)" != "1" ] && [ $i -lt 100 ]; do
    sleep 0.1
    i=$((i + 1))
done
timeout "$limit" ip netns exec "$ns" sh -c "$peer"
exit $?
