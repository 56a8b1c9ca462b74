#!/bin/sh
# Regenerates every side-by-side figure and rewrites the table at the top of
# bench/README.md: what the screens and commands run, each next to another
# program doing the same work, measured in the same run in interleaved rounds
# (medians), with CPU time, peak resident memory and the load average. The
# peers: the sqlite3 tool (address book, day planner, month pages, search
# box, --search), GNU uuencode and base64 (Send), python3-vobject
# (--import-contacts), the same program on an empty store (start-up), curl
# and getmail6 (Check Mail), Python's imaplib (IMAP sync), pandoc (a large
# note opened), and Python's email, vobject, base64 and a sorted list
# (inputs written to hurt).
#
#   bench/run-all.sh [build-dir]        (default: build-bench; made if missing)
#   TESSALY_BENCH_ROUNDS=9 bench/run-all.sh
#   TESSALY_BENCH_WORK=DIR bench/run-all.sh   (default: ~/tessaly-bench)
#
# The work folder holds the 100,000-contact address book (kept and reused)
# and the mailboxes of Check Mail: keep it on the disk a user's data would
# be on, not in a /tmp that test runs churn (ext4 makes files slowly among
# many just deleted). The Check Mail and IMAP rows need root (dovecot hands the
# mailbox to its own user; port 995); without it they say so.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${1:-$root/build-bench}
export QT_QPA_PLATFORM=offscreen
export TESSALY_BENCH_ROUNDS=${TESSALY_BENCH_ROUNDS:-7}
work=${TESSALY_BENCH_WORK:-$HOME/tessaly-bench}
[ -f "$build/build.ninja" ] || cmake -S "$root" -B "$build" -G Ninja -DTESSALY_BENCH=ON -DTESSALY_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=Release
ninja -C "$build" bench_address bench_planner bench_month bench_search bench_mail bench_rtf bench_sync \
    bench_inputs bench_check bench_imap tessaly

table=$(mktemp)
export TESSALY_BENCH_TABLE=$table
skip='--benchmark_filter=^$' # the side-by-side rounds only
mkdir -p "$work"
started=$(cut -d' ' -f1-3 /proc/loadavg)
TESSALY_BENCH_DIR=$work/address "$build/bench/bench_address" "$skip"
"$build/bench/bench_planner"
"$build/bench/bench_month"
"$build/bench/bench_search"
app=$(mktemp -d) # tessaly --search as a user runs it, on the store bench_search left
mkdir "$app/Data"
cp "$build/tessaly/tessaly" "$build/tessaly/tessaly-app" "$app/"
ln -s "${TMPDIR:-/tmp}/bench_search/Tessaly.mdb" "$app/Data/Tessaly.mdb"
/usr/bin/python3 "$here/search_command.py" "$app" "$TESSALY_BENCH_ROUNDS"
rm -rf "$app"
"$build/bench/bench_mail"
"$build/bench/bench_rtf" "$skip"
"$build/bench/bench_sync" "$skip"
"$build/bench/bench_inputs"
"$here/startup.sh" "$build" "$work/address/Data/Tessaly.mdb" ||
    echo "| start-up (bench/startup.sh) | failed, see its output | | | | | |" >>"$table"
if [ "$(id -u)" = 0 ]; then
    TESSALY_BENCH_DIR=$work "$build/bench/bench_check" ||
        echo "| Check Mail (bench_check) | failed, see its output | | | | | |" >>"$table"
    "$build/bench/bench_imap" ||
        echo "| IMAP sync (bench_imap) | failed, see its output | | | | | |" >>"$table"
else
    echo "| Check Mail, 1,000 x 10 KB (bench_check) | not run: needs root | | | <= 1.0 | | < 60 MB |" >>"$table"
    echo "| IMAP sync, 10,000 messages (bench_imap) | not run: needs root | | | <= 1.0 | | < 80 MB |" >>"$table"
fi

{
    echo "<!-- run-all: begin (bench/run-all.sh rewrites this part) -->"
    echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores ($(sed -n 's/^model name\t*: //p' /proc/cpuinfo | head -1)),"
    echo "load average $started at the start, $(cut -d' ' -f1-3 /proc/loadavg) at the end; medians of"
    echo "$TESSALY_BENCH_ROUNDS interleaved rounds, wall time (CPU time: user + system). Ratio = ours / peer"
    echo "(below 1: ours faster). Peak RSS: ours / the peer's."
    echo
    echo "| work (the code that runs) | ours | peer, same run | ratio | goal | peak RSS | memory goal |"
    echo "|---|---|---|---|---|---|---|"
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
rm -f "$table" "$table.md"
