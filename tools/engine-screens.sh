#!/bin/sh
# Screenshots of the engine page in each layout, made by headless kv5100 runs
# with the engine's A/D inputs and pulse trains set by a script.
#
#   tools/engine-screens.sh [KV5100 [OUTDIR [NAME...]]]   (NAMEs: only these screens)
#
# Each configuration starts on a new flash file whose flash file system gets
# SYSTEM.KVD/KVC, ENGINE.KVD, TANKS.KVC and NVRAM.KVD through --tfs (engine type,
# limits, the page shown and the cylinder-gauge style); the script accepts the
# liability page and takes the screenshot once the readings have settled.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
kv5100=${1:-$here/../build/sim/kv5100}
out=${2:-$here/../docs/screens}
[ $# -ge 2 ] && shift 2 || shift $#
names="$*"
work=$(mktemp -d /tmp/kv5100-screens.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

# limit NAME MIN MAX RED_HIGH YELLOW_HIGH YELLOW_LOW RED_LOW: one instrument's
# lines for ENGINE.KVD, enabled; values in the readings' tenths.
limit() {
    printf '%s.MIN, %s\n%s.MAX, %s\n%s.RED_HIGH, %s\n%s.YELLOW_HIGH, %s\n%s.YELLOW_LOW, %s\n%s.RED_LOW, %s\n%s.ENABLE, 1\n' \
        "$1" "$2" "$1" "$3" "$1" "$4" "$1" "$5" "$1" "$6" "$1" "$7" "$1"
}

# engine_kvd TYPE CYLINDERS
engine_kvd() {
    echo "ENGINE_TYPE, $1"
    limit FUEL_COMP 0 500 0 0 100 50
    limit RPM 0 30000 27000 26000 0 0
    echo "RPM.PULSES_PER_2REVS, 2"
    limit MANIFOLD 100 350 320 300 0 100
    limit FUEL_PSI 0 100 90 80 30 20
    limit FUEL_FLOW 0 200 190 180 0 0
    echo "FUEL_FLOW.K_FACTOR, 680"
    limit AMPS_SHUNT -600 600 500 400 -400 -500
    limit OIL_PSI 0 1000 950 900 250 150
    limit OIL_TEMP 500 2500 2450 2300 1000 500
    limit TANK_1 0 250 0 0 60 30
    limit TANK_2 0 250 0 0 60 30
    limit FLAP_ANG 0 1000 0 0 0 0
    limit HP 0 1000 1000 1000 0 0
    limit ELEV_TRIM 0 1000 0 0 0 0
    limit AIL_TRIM 0 1000 0 0 0 0
    if [ "$3" = TIT ]; then
        limit TIT_1 10000 18000 17500 16500 0 10000
        echo "TIT_1.SHIFT_ADJ, 10000"
    fi
    i=1
    while [ "$i" -le "$2" ] && [ "$i" -le 6 ]; do
        # No EGTCHT.KVC is written, so the identity curve stays: with the
        # shift, A/D counts 0..4095 read 1000.0..1409.5 degrees.
        limit "EGT_$i" 10000 17000 16500 15500 0 10000
        echo "EGT_$i.SHIFT_ADJ, 10000"
        limit "CHT_$i" 0 5000 4600 4300 0 0
        i=$((i + 1))
    done
}

# engine_kvc: the trims read 0 .. 100.0 % of travel over A/D 100 .. 4000.
engine_kvc() {
    for t in ELEV_TRIM AIL_TRIM; do
        printf '%s.NUM_CAL_PTS, 2\n%s.DISPLAY_VALUE_1, 0\n%s.AD_VALUE_1, 100\n' "$t" "$t" "$t"
        printf '%s.DISPLAY_VALUE_2, 1000\n%s.AD_VALUE_2, 4000\n' "$t" "$t"
    done
}

# horsepwr_kvd: 180 hp rated; 2400 RPM at 24.4 inHg gives 109.3 hp, 61 %.
horsepwr_kvd() {
    printf 'ENABLE, 1\nRATED_HP, 180\nLOW_MAP, 200\nHIGH_MAP, 290\nNUM_PTS, 3\n'
    printf 'HP_LOW_MAP_1, 60\nHP_HIGH_MAP_1, 100\nRPM_1, 2000\n'
    printf 'HP_LOW_MAP_2, 80\nHP_HIGH_MAP_2, 140\nRPM_2, 2400\n'
    printf 'HP_LOW_MAP_3, 90\nHP_HIGH_MAP_3, 160\nRPM_3, 2700\n'
}

# tanks_kvc: tanks 1 and 2 read 0..25.0 gallons over A/D 100..4000.
tanks_kvc() {
    for t in 1 2; do
        printf 'TANK_%s.NUM_CAL_PTS, 2\n' "$t"
        printf 'TANK_%s.DISPLAY_VALUE_0, 0\nTANK_%s.AD_VALUE_GND_0, 100\nTANK_%s.AD_VALUE_FLT_0, 100\n' "$t" "$t" "$t"
        printf 'TANK_%s.DISPLAY_VALUE_1, 250\nTANK_%s.AD_VALUE_GND_1, 4000\nTANK_%s.AD_VALUE_FLT_1, 4000\n' "$t" "$t" "$t"
    done
}

# inputs SHOT CYLINDERS: the script. The engine converter's inputs with the
# identity curves read A/D counts as tenths: MANIFOLD (4) 24.5 inHg, FUEL_PSI
# (5) 5.2, OIL_PSI (3) 62, OIL_TEMP (2) 185, AMPS_SHUNT (0/7) 12.0, tanks
# (0/1, 0/2), FLAP_ANG (7); EGTs on input 9 and CHTs on input 10 by
# multiplexer code. RPM: 40 Hz at PULSES_PER_2REVS 2 is 2400 RPM; fuel flow:
# 179.4 Hz at K_FACTOR 680 is 9.5 gal/h.
inputs() {
    cat <<END
0 pulses rpm 40
0 pulses flow 179.4
0 adc engine 4 all 245
0 adc engine 5 all 52
0 adc engine 3 all 620
0 adc engine 2 all 1850
0 adc engine 0 7 120
0 adc engine 0 1 2900
0 adc engine 0 2 1500
0 adc engine 7 all 500
0 adc engine 6 all 1400
0 adc engine 8 all 2900
0 adc engine 9 6 4050
END
    # The radial's EGTs 7..9 are TIT_1, TIT_2 (input 9, codes 6, 7) and CHT_6.
    # With LEAN, lean assist is switched on (ENGINE, EGT/CHT, PK DET) while
    # the EGTs are hot and then most of them drop: their peaks are found.
    egt="3800 3950 3700 3600 4020 3750 3850 3650"
    cht="3500 3800 4050 3600 3700 3900"
    code=0
    for e in $egt; do
        [ "$code" -lt "$2" ] && echo "0 adc engine 9 $code $e"
        code=$((code + 1))
    done
    code=0
    for c in $cht; do
        [ "$code" -lt "$2" ] && echo "0 adc engine 10 $code $c"
        code=$((code + 1))
    done
    echo "9 press 3      # I AGREE"
    case "$3" in
    LEAN)
        echo "10 press 3     # ENGINE"
        echo "10.5 press 3   # EGT/CHT"
        echo "11 press 3     # PK DET"
        code=0
        for e in 3650 3800 3550 3480 3870 3600; do
            [ "$code" -lt "$2" ] && echo "13 adc engine 9 $code $e"
            code=$((code + 1))
        done ;;
    FADEC) echo "10 press 3     # ENGINE"; echo "10.5 press 4   # FADEC" ;;
    esac
    echo "20 screenshot $1"
}

# shot NAME ENGINE_TYPE CYLINDERS PAGE BAR|ENG [LEAN|TIT|HP]
shot() {
    if [ -n "$names" ]; then
        case " $names " in *" $1 "*) ;; *) return 0 ;; esac
    fi
    d=$work/$1
    mkdir -p "$d"
    { printf 'ENGINE_INSTALLED, 1\nNET_ENG_MODE, 0\nAIR_INSTALLED, 1\nNET_AIR_MODE, 0\nEFIS_INSTALLED, 1\n'
      limit VOLTS 100 160 155 150 125 115; } >"$d/SYSTEM.KVD"
    # The main bus: the board's 14000 counts read 13.8 V.
    printf 'VOLTS.NUM_CAL_PTS, 2\nVOLTS.AD_VALUE_1, 0\nVOLTS.DISPLAY_VALUE_1, 0\nVOLTS.AD_VALUE_2, 14000\nVOLTS.DISPLAY_VALUE_2, 138\n' >"$d/SYSTEM.KVC"
    engine_kvd "$2" "$3" "${6:-}" >"$d/ENGINE.KVD"
    engine_kvc >"$d/ENGINE.KVC"
    tanks_kvc >"$d/TANKS.KVC"
    horsepwr_kvd >"$d/HORSEPWR.KVD"
    [ "${6:-}" = HP ] || echo "ENABLE, 0" >"$d/HORSEPWR.KVD"
    printf 'MAJOR_REL, 7\nMINOR_REL, 5\nBUG_FIX, 0\nSCREEN_CONFIG, %s\nSCREEN_ENABLE, 255\nCYL_GAUGE_TYPE, %s\n' "$4" "$5" >"$d/NVRAM.KVD"
    inputs "$out/$1.png" "$3" "${6:-}" >"$d/script.txt"
    "$kv5100" --headless --flash "$d/flash.bin" --run-for 21 --script "$d/script.txt" \
        --tfs SYSTEM.KVD="$d/SYSTEM.KVD" --tfs SYSTEM.KVC="$d/SYSTEM.KVC" --tfs ENGINE.KVD="$d/ENGINE.KVD" --tfs TANKS.KVC="$d/TANKS.KVC" \
        --tfs ENGINE.KVC="$d/ENGINE.KVC" --tfs HORSEPWR.KVD="$d/HORSEPWR.KVD" --tfs NVRAM.KVD="$d/NVRAM.KVD" >"$d/console.txt" 2>&1 || { cat "$d/console.txt"; exit 1; }
    echo "$out/$1.png"
}

shot std4-engine-view STD_4CYL 4 3 ENG
shot std4-bar-view STD_4CYL 4 3 BAR
shot std6-engine-view STD_6CYL 6 3 ENG
shot std6-bar-view STD_6CYL 6 3 BAR
shot large-bar-view STD_4CYL 4 1 BAR
shot large-engine-view STD_6CYL 6 1 ENG
shot m14-radial M14_9CYL 8 3 BAR
shot m14-radial-large M14_9CYL 8 1 BAR
shot std4-lean-engine-view STD_4CYL 4 3 ENG LEAN
shot std6-lean-engine-view STD_6CYL 6 3 ENG LEAN
shot std4-lean-bar-view STD_4CYL 4 3 BAR LEAN
shot std6-lean-bar-view STD_6CYL 6 3 BAR LEAN
shot large-lean-engine-view STD_6CYL 6 1 ENG LEAN
shot std4-tit-bar-view STD_4CYL 4 3 BAR TIT
shot large-tit-bar-view STD_4CYL 4 1 BAR TIT
shot std4-hp-trim STD_4CYL 4 3 BAR HP
shot large-hp-trim STD_4CYL 4 1 BAR HP
