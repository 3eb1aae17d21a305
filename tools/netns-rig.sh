#!/bin/sh
# Runs the unit, or a test program, on a TAP device inside a network namespace
# of its own, with a peer command beside it, and deletes all of it at the end.
# The namespace side of the TAP is 192.168.0.70 and 192.168.0.176 (MTU 1400,
# IPv6 off); nothing of the unit's 192.168.0.x network leaves the namespace.
#
#   netns-rig.sh [-t SECONDS] [-2 UNIT2_COMMAND] UNIT_COMMAND [PEER_COMMAND]
#
# Both commands run with $KV_TAP naming the TAP device (the unit takes it as
# --net tap:$KV_TAP). The peer command starts once the unit has opened the TAP
# and runs at most SECONDS (default 30); the unit is then stopped. The exit
# status is the peer's (the unit's without a peer); 77 when no namespace or
# TAP can be made here.
#
# With -2 a second unit shares the wire: each unit has a TAP of its own
# ($KV_TAP for the first, $KV_TAP2 for the second, both named to every
# command) and a bridge in the namespace joins them. The bridge holds
# 192.168.0.70 only, so the second unit can be 192.168.0.176. The peer starts
# once both units hold their TAPs.
set -u
limit=30
unit2=""
while [ $# -ge 2 ]; do
    case $1 in
    -t) limit=$2; shift 2 ;;
    -2) unit2=$2; shift 2 ;;
    *) break ;;
    esac
done
[ $# -ge 1 ] || { echo "usage: netns-rig.sh [-t SECONDS] [-2 UNIT2_COMMAND] UNIT_COMMAND [PEER_COMMAND]" >&2; exit 2; }
unit=$1
peer=${2:-}
ns="kvrig$$"
tap="kvtap$$"
tap2="kvtbp$$"
bridge="kvbr$$"

if ! ip netns add "$ns" 2>/dev/null; then
    echo "netns-rig: cannot make a network namespace here (needs CAP_NET_ADMIN)" >&2
    exit 77
fi
upid=""
upid2=""
stop_group() {
    [ -n "$1" ] || return 0
    kill -TERM -- "-$1" 2>/dev/null
    i=0
    while kill -0 -- "-$1" 2>/dev/null && [ $i -lt 30 ]; do sleep 0.1; i=$((i + 1)); done
    kill -KILL -- "-$1" 2>/dev/null
}
cleanup() {
    stop_group "$upid"
    stop_group "$upid2"
    ip netns del "$ns" 2>/dev/null
}
trap cleanup EXIT INT TERM

inns() { ip netns exec "$ns" "$@"; }
make_tap() {
    if ! inns ip tuntap add dev "$1" mode tap 2>/dev/null; then
        echo "netns-rig: cannot make a TAP device here (no /dev/net/tun)" >&2
        exit 77
    fi
    inns sysctl -qw "net.ipv6.conf.$1.disable_ipv6=1" 2>/dev/null
    inns ip link set "$1" mtu 1400
}
inns ip link set lo up
make_tap "$tap"
if [ -z "$unit2" ]; then
    inns ip addr add 192.168.0.70/24 dev "$tap"
    inns ip addr add 192.168.0.176/24 dev "$tap"
    inns ip link set "$tap" up
else
    # A bridge of the namespace's own, no spanning tree, forwarding at once.
    make_tap "$tap2"
    if ! inns ip link add name "$bridge" type bridge forward_delay 0 stp_state 0 2>/dev/null; then
        echo "netns-rig: cannot make a bridge here" >&2
        exit 77
    fi
    inns sysctl -qw "net.ipv6.conf.$bridge.disable_ipv6=1" 2>/dev/null
    inns ip link set "$bridge" mtu 1400
    inns ip link set "$tap" master "$bridge"
    inns ip link set "$tap2" master "$bridge"
    inns ip addr add 192.168.0.70/24 dev "$bridge"
    inns ip link set "$tap" up
    inns ip link set "$tap2" up
    inns ip link set "$bridge" up
    export KV_TAP2="$tap2"
fi
export KV_TAP="$tap"

# Each unit in a process group of its own, so that all of it stops at the end.
setsid ip netns exec "$ns" sh -c "exec $unit" &
upid=$!
if [ -n "$unit2" ]; then
    setsid ip netns exec "$ns" sh -c "exec $unit2" &
    upid2=$!
fi

if [ -z "$peer" ]; then
    wait "$upid"
    status=$?
    upid=""
    [ -n "$upid2" ] && { wait "$upid2"; upid2=""; }
    exit $status
fi

# The peer starts once the units hold their TAPs (the carrier comes up).
held() { [ "$(inns cat "/sys/class/net/$1/carrier" 2>/dev/null)" = "1" ]; }
i=0
while { ! held "$tap" || { [ -n "$unit2" ] && ! held "$tap2"; }; } && [ $i -lt 100 ]; do
    sleep 0.1
    i=$((i + 1))
done
timeout "$limit" ip netns exec "$ns" sh -c "$peer"
exit $?
