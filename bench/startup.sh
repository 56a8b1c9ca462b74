#!/bin/bash
# Start-up: from the moment the program is started to the first paint of the
# window that follows the splash, less the splash's fixed 2.5 s. Median of
# TESSALY_BENCH_ROUNDS starts of a set-up application folder (the login
# shows), once with the empty store and once with TESSALY_BENCH_RECORDS
# contacts (default 100,000), each start on a day that already has its
# backup and on the first start of a day (no copy yet).
#
#   bench/startup.sh [build-dir]      (default: build-bench)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$(dirname "$here")/build-bench}
rounds=${TESSALY_BENCH_ROUNDS:-7}
records=${TESSALY_BENCH_RECORDS:-100000}
export QT_QPA_PLATFORM=offscreen TESSALY_EXIT_AFTER_START=1

# Median start-up of the folder $1, in ms; with $2 = fresh, the day's backup
# is removed before each start.
measure() {
    local times=() start shown
    for _ in $(seq "$rounds"); do
        [ "$2" != fresh ] || rm -f "$1"/Data/Backup/Tessaly-*.mdb
        start=$(date +%s%3N)
        shown=$("$1/tessaly" 2>/dev/null | sed -n 's/^shown: //p')
        times+=($((shown - start - 2500)))
    done
    printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((rounds + 1) / 2))p"
}

row() {
    local app
    app=$(mktemp -d)
    cp "$build/tessaly/tessaly" "$app/"
    cp -r "$build/tessaly/Data" "$app/"
    : >"$app/Data/Pass.dat" # a set-up folder: the login follows the splash
    "$app/tessaly" >/dev/null 2>&1 # the first start makes the database
    if [ "$1" -gt 0 ]; then
        sqlite3 "$app/Data/Tessaly.mdb" "BEGIN; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $1)
            INSERT INTO tblAddress (FirstName, LastName, Email, Comments)
            SELECT 'First' || i, 'Last' || (i % 997), 'p' || i || '@example.org', printf('%.200c', 'x') FROM n; COMMIT;"
    fi
    "$app/tessaly" >/dev/null 2>&1 # today's copy of the filled store
    local kept fresh
    kept=$(measure "$app" kept)
    fresh=$(measure "$app" fresh)
    rm -rf "$app"
    echo "start-up to the login after the splash's 2.5 s, $1 records: ${kept} ms (first start of a day: ${fresh} ms); load $(cut -d' ' -f1-3 /proc/loadavg)"
    [ -z "${TESSALY_BENCH_TABLE:-}" ] ||
        echo "| login painted after the splash's fixed 2.5 s, $1 records (first start of a day) | ${kept} ms (${fresh} ms) | — | — | < 100 ms |" >>"$TESSALY_BENCH_TABLE"
}

row 0
row "$records"
