#!/bin/bash
# Start-up: from the moment the program is started to the first paint of the
# window that follows the splash (the login: a set-up application folder),
# less the splash's fixed 2.5 s. The program itself (main, frmSplash, the
# store opened, frmLogin), TESSALY_EXIT_AFTER_START=1, in interleaved rounds:
# once on a store of 100,000 contacts, once on an empty store (the peer).
# Peak resident memory of each start from /usr/bin/time.
#
#   bench/startup.sh [build-dir] [database]   (default: build-bench; the
#                                              database bench_address made)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$(dirname "$here")/build-bench}
big=${2:-${TESSALY_BENCH_WORK:-$HOME/tessaly-bench}/address/Data/Tessaly.mdb}
rounds=${TESSALY_BENCH_ROUNDS:-7}
[ -f "$big" ] || { echo "startup.sh: no store at $big (run bench_address first)" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export QT_QPA_PLATFORM=offscreen TESSALY_EXIT_AFTER_START=1
for side in empty big; do
    mkdir "$tmp/$side"
    cp "$build/tessaly/tessaly" "$build/tessaly/tessaly-app" "$tmp/$side/"   # the starter and the program it runs
    cp -r "$build/tessaly/Data" "$tmp/$side/"
    : >"$tmp/$side/Data/Pass.dat"          # a set-up folder: the login follows the splash
    "$tmp/$side/tessaly" >/dev/null 2>&1   # the first start makes the database
done
cp "$big" "$tmp/big/Data/Tessaly.mdb"
"$tmp/big/tessaly" >/dev/null 2>&1         # and the day's backup of the big one

# One start: its time after the splash in ms, and its peak RSS in kB.
start() {
    local begin shown
    begin=$(date +%s%3N)
    shown=$(/usr/bin/time -f %M -o "$tmp/peak" "$tmp/$1/tessaly" 2>/dev/null | sed -n 's/^shown: //p')
    [ -n "$shown" ] || { echo "startup.sh: the program on the $1 store did not show its window" >&2; exit 1; }
    echo "$((shown - begin - 2500)) $(tail -1 "$tmp/peak")"
}
median() { sort -n | sed -n "$(((rounds + 1) / 2))p"; }
: >"$tmp/empty.txt"
: >"$tmp/big.txt"
for _ in $(seq "$rounds"); do
    start empty >>"$tmp/empty.txt"
    start big >>"$tmp/big.txt"
done
ours=$(cut -d' ' -f1 "$tmp/big.txt" | median)
peer=$(cut -d' ' -f1 "$tmp/empty.txt" | median)
oursKb=$(cut -d' ' -f2 "$tmp/big.txt" | sort -n | tail -1)
peerKb=$(cut -d' ' -f2 "$tmp/empty.txt" | sort -n | tail -1)
mb() { awk -v kb="$1" 'BEGIN { printf "%.1f MB", kb / 1024 }'; }
ratio=$(awk -v a="$ours" -v b="$peer" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "—" }')
echo "start-up after the splash's 2.5 s, 100k: $(cut -d' ' -f1 "$tmp/big.txt" | tr '\n' ' ')ms;" \
    "empty: $(cut -d' ' -f1 "$tmp/empty.txt" | tr '\n' ' ')ms; load $(cut -d' ' -f1-3 /proc/loadavg)"
[ -z "${TESSALY_BENCH_TABLE:-}" ] ||
    echo "| start-up to the login painted, 100k contacts, less the splash's fixed 2.5 s (the program, bench/startup.sh) | ${ours} ms | the program on an empty store ${peer} ms | ${ratio} | < 100 ms with any store | $(mb "$oursKb") / $(mb "$peerKb") | < 80 MB |" >>"$TESSALY_BENCH_TABLE"
