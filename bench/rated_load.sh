#!/usr/bin/env bash
# Rated load end to end: N simulated counters x 24 channels at 1 ms in phase mode, run by vta-cli or
# VTA_App (under Xvfb) for S seconds. Prints the CPU of the process and of each named thread, the
# resident memory after warm-up and at the end, and how many measurements went missing.
# Usage: bench/rated_load.sh [cli|app] [seconds] [sessions]   (from the checkout, after a dev build)
set -euo pipefail
cd "$(dirname "$0")/.."
face="${1:-cli}" seconds="${2:-60}" sessions="${3:-8}" warmup=10
build="$PWD/build/dev"
work="$(mktemp -d /tmp/vta-rated-load.XXXXXX)"
export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"

# A first start writes a complete session; it is then copied into the rated-load sessions.
timeout -s INT 3 "$build/vta-cli" run --config-dir "$work" --connect DemoData >/dev/null 2>&1 || true
python3 - "$work/VTA_App.ini" "$sessions" <<'EOF'
import re, sys
path, count = sys.argv[1], int(sys.argv[2])
lines = open(path, newline='').read().split('\r\n')
session = [l for l in lines if l.startswith('Session_0_')]
others = [l for l in lines if not l.startswith('Session_') and l and not l.startswith('SessionCount=')]
override = {'DemoChannels': '24', 'DemoMode': '0', 'DemoRate': '0', 'Interval': '1'}
out = others + ['SessionCount=%d' % count]
for k in range(count):
    for l in session:
        key, _, value = l[len('Session_0_'):].partition('=')
        if key == 'SerialNumber': value = str(int(value) + k)
        out.append('Session_%d_%s=%s' % (k, key, override.get(key, value)))
open(path, 'w', newline='').write('\r\n'.join(out) + '\r\n')
EOF

if [ "$face" = app ]; then
  Xvfb :77 -screen 0 1920x1080x24 >/dev/null 2>&1 & xvfb=$!
  trap 'kill $xvfb 2>/dev/null || true' EXIT
  sleep 1
  DISPLAY=:77 "$build/VTA_App" --config-dir "$work" >"$work/out.txt" 2>&1 & pid=$!
else
  "$build/vta-cli" run --config-dir "$work" >"$work/out.txt" 2>&1 & pid=$!
fi

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
threads() { for t in /proc/$pid/task/*; do echo "$(cat "$t/comm") $(ticks "${t#/proc/}")"; done | sort; }
rss() { awk '/VmRSS/ {print $2 " kB"}' "/proc/$pid/status"; }

sleep "$warmup"
start_ticks=$(ticks "$pid"); start_threads=$(threads); start_rss=$(rss)
sleep "$seconds"
end_ticks=$(ticks "$pid"); end_threads=$(threads); end_rss=$(rss)
kill -INT "$pid"; wait "$pid" || true

hz=$(getconf CLK_TCK)
echo "face=$face sessions=$sessions seconds=$seconds (after ${warmup} s warm-up)"
awk -v a="$start_ticks" -v b="$end_ticks" -v s="$seconds" -v hz="$hz" \
  'BEGIN { printf "process CPU: %.1f %% of one core\n", 100 * (b - a) / hz / s }'
join <(echo "$start_threads" | awk '{c[$1]+=$2} END {for (n in c) print n, c[n]}' | sort) \
     <(echo "$end_threads" | awk '{c[$1]+=$2} END {for (n in c) print n, c[n]}' | sort) |
  awk -v s="$seconds" -v hz="$hz" '{ printf "  thread %-16s %.1f %%\n", $1, 100 * ($3 - $2) / hz / s }'
echo "resident memory: $start_rss after warm-up, $end_rss at the end"
missing=$( (cat "$work/out.txt"; cat "$work"/data/VTA_App/Debug/* 2>/dev/null) | grep -c "Measurement missing" || true)
echo "lines with \"Measurement missing\": $missing"
grep "^Status" "$work/out.txt" | tail -n "$sessions" || true
echo "work folder: $work"
