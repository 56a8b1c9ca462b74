#!/bin/sh
# Regenerates every side-by-side figure and rewrites the table at the top of
# bench/README.md: ours next to the sqlite3 tool, GNU uuencode and curl, each
# pair measured in the same run as the median of interleaved rounds.
#
#   bench/run-all.sh [build-dir]        (default: build-bench; made if missing)
#   TESSALY_BENCH_ROUNDS=9 bench/run-all.sh
#
# The POP3 figure needs root (dovecot on port 995); without it the row says so.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${1:-$root/build-bench}
export QT_QPA_PLATFORM=offscreen
export TESSALY_BENCH_ROUNDS=${TESSALY_BENCH_ROUNDS:-7}
[ -f "$build/build.ninja" ] || cmake -S "$root" -B "$build" -G Ninja -DTESSALY_BENCH=ON -DTESSALY_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=Release
ninja -C "$build" bench_address bench_planner bench_mail bench_pop3 tessaly

table=$(mktemp)
log=$(mktemp)
export TESSALY_BENCH_TABLE=$table
skip='--benchmark_filter=^$'    # the side-by-side rounds only
work=${TMPDIR:-/tmp}/tessaly-run-all
mkdir -p "$work"
TESSALY_BENCH_DIR=$work/address "$build/bench/bench_address" "$skip" | tee -a "$log"
"$build/bench/bench_planner" "$skip" | tee -a "$log"
"$build/bench/bench_mail" "$skip" | tee -a "$log"
"$here/startup.sh" "$build" | tee -a "$log"
if [ "$(id -u)" = 0 ]; then
    "$build/bench/bench_pop3" | tee -a "$log" || echo "| POP3 | failed, see the log | | | |" >>"$table"
else
    echo "| POP3 1,000 x 10 KB over TLS from dovecot | not run: needs root | | | <= 1.0 |" >>"$table"
fi

{
    echo "<!-- run-all: begin (bench/run-all.sh rewrites this part) -->"
    echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores ($(sed -n 's/^model name\t*: //p' /proc/cpuinfo | head -1)),"
    echo "load average $(cut -d' ' -f1-3 /proc/loadavg) at the end; medians of $TESSALY_BENCH_ROUNDS interleaved rounds,"
    echo "wall time. Ratio = ours / theirs (below 1: ours faster)."
    echo
    echo "| what | ours | theirs, same run | ratio | target |"
    echo "|---|---|---|---|---|"
    cat "$table"
    echo "<!-- run-all: end -->"
} >"$table.md"
readme=$here/README.md
awk -v part="$table.md" '
    /<!-- run-all: begin/ { while ((getline line < part) > 0) print line; skipping = 1; next }
    /<!-- run-all: end/ { skipping = 0; next }
    !skipping { print }
' "$readme" >"$readme.new"
mv "$readme.new" "$readme"
rm -f "$table" "$table.md" "$log"
