#!/bin/bash
# Goal: "vta-cli adev, 10^6 and 10^7 points, whole run including reading the file": at least 5 times
# faster than allantools reading the same file with numpy.loadtxt and computing adev on the same taus.
# Not part of CI. Needs Debian's python3-numpy and python3-scipy (for allantools only).
#   bench/adev_vs_allantools.sh [build/dev/vta-cli] [runs]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${1:-$root/build/dev/vta-cli}
runs=${2:-3}
peers=${VTA_PEERS:-$root/../shared/peers}
[ -d "$peers/allantools" ] || peers=/work/shared/peers
data=${TMPDIR:-/tmp}/vta_adev_bench
mkdir -p "$data"

source "$root/bench/timing.sh"

for n in 1000000 10000000; do
  file=$data/phase_$n.txt
  # A random-walk time error in seconds, one value per line, as a counter log column would have it.
  [ -s "$file" ] || awk -v n="$n" 'BEGIN { srand(1); x = 0; for (i = 0; i < n; i++) { x += (rand() - 0.5) * 1e-9; printf "%.15e\n", x } }' >"$file"
  taus=$("$cli" adev "$file" | awk '{printf "%s%d", (NR > 1 ? "," : ""), $1}')
  ours=$(best_of "$cli" adev "$file")
  theirs=$(best_of env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE PYTHONPATH="$peers/allantools" /usr/bin/python3 -c "
import numpy, allantools
x = numpy.loadtxt('$file')
allantools.adev(x, rate=1.0, data_type='phase', taus=numpy.array([$taus], dtype=float))
")
  echo "$n points: vta-cli adev ${ours} s, allantools ${theirs} s, ratio $(echo "$ours $theirs" | awk '{printf "%.1f", $2 / $1}')x (taus $taus)"
done
