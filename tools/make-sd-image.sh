#!/bin/sh
# Makes an SD card image with mkfs.fat and puts files on it with mtools.
#
#   make-sd-image.sh IMAGE [--fat 12|16|32] [--size-kb KB] [--partitioned]
#                    [--spc N] [--root-entries N] [--label NAME] [SRC=DEST]...
#
# --fat          FAT type (default 16)
# --size-kb      size of the file system (defaults: FAT12 2048, FAT16 16384, FAT32 65536)
# --partitioned  an MBR with one partition at sector 2048 holding the file
#                system; otherwise the file system starts at sector 0
# --spc          sectors per cluster (FAT32 default 1, so a small card is still FAT32)
# --root-entries root directory entries (FAT12/16)
# --label        volume label
# SRC=DEST       copy host file SRC to DEST on the card, e.g. map.bin=CHARTS/MAP1.BIN;
#                folders on the way are made
#
# Read the result with mtools: MTOOLS_SKIP_CHECK=1 mdir -i IMAGE ::  (partitioned: IMAGE@@1M)
set -e

usage() { sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }

[ $# -ge 1 ] || usage
image=$1; shift
fat=16; size=""; partitioned=0; spc=""; root=""; label=""
while [ $# -gt 0 ]; do
  case $1 in
    --fat) fat=$2; shift 2 ;;
    --size-kb) size=$2; shift 2 ;;
    --partitioned) partitioned=1; shift ;;
    --spc) spc=$2; shift 2 ;;
    --root-entries) root=$2; shift 2 ;;
    --label) label=$2; shift 2 ;;
    --help|-h) usage ;;
    --*) echo "make-sd-image: unknown option $1" >&2; usage ;;
    *) break ;;
  esac
done
case $fat in 12|16|32) ;; *) echo "make-sd-image: --fat takes 12, 16 or 32" >&2; exit 2 ;; esac
if [ -z "$size" ]; then
  case $fat in 12) size=2048 ;; 16) size=16384 ;; 32) size=65536 ;; esac
fi
[ -z "$spc" ] && [ "$fat" = 32 ] && spc=1

opts="-F $fat --invariant"
[ -n "$spc" ] && opts="$opts -s $spc"
[ -n "$root" ] && opts="$opts -r $root"
[ -n "$label" ] && opts="$opts -n $label"

rm -f "$image"
if [ "$partitioned" = 1 ]; then
  truncate -s $(( (size + 1024) * 1024 )) "$image"
  case $fat in 12) type=1 ;; 16) type=6 ;; 32) type=c ;; esac
  echo "start=2048, size=$((size * 2)), type=$type" | sfdisk -q "$image" >/dev/null
  # shellcheck disable=SC2086
  mkfs.fat $opts --offset=2048 "$image" "$size" >/dev/null
  target="$image@@1M"
else
  # shellcheck disable=SC2086
  mkfs.fat $opts -C "$image" "$size" >/dev/null
  target="$image"
fi

export MTOOLS_SKIP_CHECK=1
for copy in "$@"; do
  src=${copy%%=*}
  dest=${copy#*=}
  [ "$src" != "$copy" ] || { echo "make-sd-image: $copy is not SRC=DEST" >&2; exit 2; }
  dir=$(dirname "$dest")
  if [ "$dir" != "." ]; then
    path=""
    for part in $(echo "$dir" | tr '/' ' '); do
      path="$path/$part"
      mmd -i "$target" "::$path" 2>/dev/null || true
    done
  fi
  mcopy -o -i "$target" "$src" "::/$dest"
done
