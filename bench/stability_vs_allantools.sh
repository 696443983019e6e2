#!/bin/bash
# Goal: "vta-cli stability, 10^6 and 10^7 white-FM points, OADEV, MDEV and TOTDEV on the octave ladder,
# whole run including reading the file": at least 5 times faster than allantools reading the same
# file with numpy.loadtxt and computing the same statistic on the same taus; and MTIE on 10^6 points
# in under a second. Not part of CI. Needs Debian's python3-numpy and python3-scipy (for allantools
# only; installed through apt when missing).
#   bench/stability_vs_allantools.sh [build/dev/vta-cli] [runs]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${1:-$root/build/dev/vta-cli}
runs=${2:-3}
peers=${VTA_PEERS:-$root/../shared/peers}
[ -d "$peers/allantools" ] || peers=/work/shared/peers
data=${TMPDIR:-/tmp}/vta_stability_bench
mkdir -p "$data"

if ! /usr/bin/python3 -c 'import numpy, scipy' 2>/dev/null; then
  sudo apt-get install -y python3-numpy python3-scipy >/dev/null
fi

source "$root/bench/timing.sh"

ratio() { echo "$1 $2" | awk '{printf "%.1f", $2 / $1}'; }

for n in 1000000 10000000; do
  file=$data/white_fm_$n.txt
  # White FM: normally distributed fractional frequencies (Box-Muller, fixed seed), one per line.
  [ -s "$file" ] || awk -v n="$n" 'BEGIN { srand(1); pi = atan2(0, -1)
    for (i = 0; i < n; i++) { u = 1 - rand(); v = rand(); printf "%.15e\n", 1e-11 * sqrt(-2 * log(u)) * cos(2 * pi * v) } }' >"$file"
  for type in oadev mdev totdev; do
    taus=$("$cli" stability "$file" --freq --type "$type" --taus octave | awk '!/^#/ {printf "%s%d", (n++ ? "," : ""), $1}')
    ours=$(best_of "$cli" stability "$file" --freq --type "$type" --taus octave)
    theirs=$(best_of env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE PYTHONPATH="$peers/allantools" /usr/bin/python3 -c "
import numpy, allantools
y = numpy.loadtxt('$file')
allantools.$type(y, rate=1.0, data_type='freq', taus=numpy.array([$taus], dtype=float))
")
    echo "$n points $type: vta-cli stability ${ours} s, allantools ${theirs} s, ratio $(ratio "$ours" "$theirs")x"
  done
done

file=$data/white_fm_1000000.txt
ours=$(best_of "$cli" stability "$file" --freq --type mtie --taus octave)
echo "1000000 points mtie: vta-cli stability ${ours} s (goal: under 1 s)"
