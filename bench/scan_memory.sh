#!/usr/bin/env bash
# The peak resident memory of vantrel-scan for an A4 sheet and a 118-inch sheet, one- and
# two-sided, colour at 300 dpi, each page as long as its sheet, 1 MiB blocks, from the simulated
# scanner; the last lines give the long sheet's peak against A4's (mark: at most 1.25 times).
# Usage: bench/scan_memory.sh [--format pnm|tiff|png]
#        (the build dir: BUILD=build/checked by default; vantrel-scan is built when missing;
#        run it pinned as the benchmarks are: taskset -c 7 bench/scan_memory.sh)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$root/build/checked}
format=pnm
case "${1:-}" in
  --format) format=${2:?--format takes pnm, tiff or png} ;;
  --format=*) format=${1#--format=} ;;
  "") ;;
  *) echo "usage: bench/scan_memory.sh [--format pnm|tiff|png]" >&2; exit 2 ;;
esac
case "$format" in
  pnm) extension=ppm ;;
  tiff) extension=tif ;;
  png) extension=png ;;
  *) echo "bench/scan_memory.sh: --format takes pnm, tiff or png" >&2; exit 2 ;;
esac
[ -x /usr/bin/time ] || { echo "bench/scan_memory.sh: needs /usr/bin/time (GNU time)" >&2; exit 1; }
cmake --build "$build" --target vantrel-scan vantrel-sim >/dev/null

readonly a4_lines=3508 long_lines=35400  # 11.69 and 118 inches at 300 dpi
readonly mark=1.25
work=$(mktemp -d "${TMPDIR:-/tmp}/scan-memory.XXXXXX")
trap 'rm -rf "$work"' EXIT
export VANTREL_SIM_LIBRARY=$build/lib/libvantrel-sim.so
export VANTREL_LOG_ROOT=$work/

# The peak in KiB of one scan of a sheet of $1 lines, $2 sides.
peak() {
  local lines=$1 source=$2 description=$work/scanner.txt
  printf 'serial SIMMEM001\nprofile raw\nsheets 1\npaper-length %s\n' "$lines" >"$description"
  VANTREL_SIMULATOR=$description /usr/bin/time -f '%M' -o "$work/peak" \
    "$build/bin/vantrel-scan" --batch="$work/page%d.$extension" --format "$format" \
    --mode Color --resolution 300 -x 210 --to-end-of-page --source "$source" \
    --block-size 1048576 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
  rm -f "$work"/page*
  cat "$work/peak"
}

printf '%-12s %12s %16s %8s\n' "sides" "A4 (MiB)" "118 inch (MiB)" "ratio"
verdict=met
for source in Front Duplex; do
  a4=$(peak $a4_lines $source)
  long=$(peak $long_lines $source)
  ratio=$(awk -v l="$long" -v a="$a4" 'BEGIN { printf "%.2f", l / a }')
  name=$([ $source = Front ] && echo one-sided || echo two-sided)
  printf '%-12s %12.0f %16.0f %7sx\n' "$name" "$(awk -v k="$a4" 'BEGIN { print k / 1024 }')" \
    "$(awk -v k="$long" 'BEGIN { print k / 1024 }')" "$ratio"
  awk -v r="$ratio" -v m="$mark" 'BEGIN { exit !(r > m) }' && verdict=missed
done
echo "Peak RSS of vantrel-scan, colour $format, 1 MiB blocks: the 118-inch sheet's peak against" \
  "A4's (mark: at most ${mark}x): $verdict"
