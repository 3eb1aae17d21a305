#!/bin/sh
# Screenshots of the EFIS page in each layout, made by headless kv5100 runs of
# the demonstration unit (demo air data, AHRS and GPS), reaching each screen
# with the keys as a pilot does.
#
#   tools/efis-screens.sh [KV5100 [OUTDIR [NAME...]]]   (NAMEs: only these screens)
#
# Each run starts on a new flash with the demonstration configuration and a
# SYSTEM.KVD that also puts the demonstration GPS on navigation source 1 (the
# unit takes the first GPS as course and bearing source); the script accepts
# the liability page, then steps the screens with PAGE (key 1) or opens the
# auxiliary pane with CHECK (key 5).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
kv5100=${1:-$here/../build/sim/kv5100}
out=${2:-$here/../docs/screens}
[ $# -ge 2 ] && shift 2 || shift $#
names="$*"
work=$(mktemp -d /tmp/kv5100-efis-screens.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

system_kvd() {
    cat <<END
EFIS_INSTALLED, 1
AHRS_TYPE, 0
NET_AHRS_MODE, 0
ENGINE_INSTALLED, 1
NET_ENG_MODE, 0
AIR_INSTALLED, 1
NET_AIR_MODE, 0
NET_SERIAL_SHARE, 1
DEMO_FLAGS, 124
SERIAL3_FUNC, 2
GPSNAV1_PORT, 3
MAP_LATLON_PORT, 3
VOLTS.MIN, 100
VOLTS.MAX, 160
VOLTS.ENABLE, 1
END
}

# NVRAM.KVD: the G-meter, wind and TAS switched on.
nvram_kvd() {
    printf 'MAJOR_REL, 7\nMINOR_REL, 5\nBUG_FIX, 0\n'
    printf 'G_METER_ON, 1\nWINDS_GAUGE_ON, 1\nTAS_GAUGE_ON, 1\n'
}

# script SHOT KEYS...: the liability page, then the keys (one every 2 s)
# and the screenshot 3 s after the last; the last line is the run's length.
script() {
    shot=$1
    shift
    echo "9 press 3             # I AGREE"
    t=12
    for k in "$@"; do
        echo "$t press $k"
        t=$((t + 2))
    done
    echo "$((t + 3)) screenshot $shot"
    echo "$((t + 4))"
}

# shot NAME KEYS...
shot() {
    if [ -n "$names" ]; then
        case " $names " in *" $1 "*) ;; *) return 0 ;; esac
    fi
    name=$1
    shift
    d=$work/$name
    mkdir -p "$d"
    system_kvd >"$d/SYSTEM.KVD"
    nvram_kvd >"$d/NVRAM.KVD"
    script "$out/$name.png" "$@" >"$d/script.txt"
    end=$(tail -1 "$d/script.txt")
    sed -i '$d' "$d/script.txt"
    "$kv5100" --headless --demo --flash "$d/flash.bin" --run-for "$end" --script "$d/script.txt" \
        --tfs SYSTEM.KVD="$d/SYSTEM.KVD" --tfs NVRAM.KVD="$d/NVRAM.KVD" >"$d/console.txt" 2>&1 ||
        { cat "$d/console.txt"; exit 1; }
    echo "$out/$name.png"
}

# From screen 3 PAGE steps 4, 9, 1, 2; CHECK opens the auxiliary pane: from
# 3 the three-pane screen 10, from 2 the two-pane screen 13.
shot efis-strip
shot efis-airdata 1
shot efis-page9 1 1
shot efis-full 1 1 1 1
shot efis-three-panes 5
shot efis-two-panes 1 1 1 1 5
