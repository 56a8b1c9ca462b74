#!/usr/bin/python3
"""`tessaly --search WORDS`, the whole process, next to the sqlite3 tool
running the same FTS5 query on the same file, interleaved.

    bench/search_command.py APPFOLDER [ROUNDS]

With TESSALY_BENCH_TABLE set, each query's row is appended to that file as
bench/run-all.sh collects them.

APPFOLDER holds the program (tessaly and tessaly-app, as the build's
application folder does) and Data/Tessaly.mdb: the store bench_search
leaves in $TMPDIR/bench_search serves, copied or linked there. The peer's
statement is the search's first pass (the matches, up to 1,001, with their
rank and an appointment's day and series), with FTS5's bm25() in place of
the program's own ranking function, which the tool does not have.
"""
import os
import statistics
import subprocess
import sys
import time

folder = sys.argv[1]
rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 21
store = os.path.join(folder, 'Data', 'Tessaly.mdb')
FIRST_PASS = ("SELECT s.rowid, NULL, NULL, CASE WHEN s.rowid % 8 <> 1 THEN CAST(bm25(tblSearch) * 1e9 AS INTEGER) "
              "END, o.DateValue, EXISTS (SELECT 1 FROM tblOrginizeSeries r WHERE r.OrgRow = o.OrgRow) FROM "
              "tblSearch s LEFT JOIN tblOrginize o ON s.rowid % 8 = 1 AND o.OrgRow = s.rowid / 8 WHERE "
              "tblSearch MATCH '{}' LIMIT 1001;")


def run(argv, stdin=None):
    """Wall ms, CPU ms (user + system) and peak RSS (MB) of one process."""
    start = time.monotonic()
    p = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL)
    p.stdin.write((stdin or '').encode())
    p.stdin.close()
    _, status, use = os.wait4(p.pid, 0)
    wall = (time.monotonic() - start) * 1000
    assert os.waitstatus_to_exitcode(status) == 0, argv
    return wall, (use.ru_utime + use.ru_stime) * 1000, use.ru_maxrss / 1024


def ms(value):
    """A time as the other rows of the table give it."""
    return '%.2f s' % (value / 1000) if value >= 1000 else '%.2f ms' % value


print('load average at the start: %.2f %.2f %.2f' % os.getloadavg())
for words in (['smith'], ['ann', 'lunch', 'kew']):
    match = ' AND '.join('"%s"*' % w for w in words)
    ours, peer = [], []
    for _ in range(rounds):
        ours.append(run([os.path.join(folder, 'tessaly'), '--search'] + words))
        peer.append(run(['sqlite3', store], FIRST_PASS.format(match)))
    med = [[statistics.median(r[i] for r in side) for i in range(3)] for side in (ours, peer)]
    print('--search %s: ours %.1f ms (CPU %.1f ms, %.1f MB), sqlite3 %.1f ms (CPU %.1f ms, %.1f MB), '
          'ratio %.2f (CPU %.2f)' % (' '.join(words), *med[0], *med[1], med[0][0] / med[1][0], med[0][1] / med[1][1]))
    table = os.environ.get('TESSALY_BENCH_TABLE')
    if table:  # a row of bench/run-all.sh's table
        with open(table, 'a') as f:
            f.write('| tessaly --search %s, the whole process (the starter, SearchCommand::run) | %s (CPU %s) | '
                    'sqlite3, the search\'s first pass %s (CPU %s) | %.2f | <= 1.5 | %.1f MB / %.1f MB | — |\n'
                    % (' '.join(words), ms(med[0][0]), ms(med[0][1]), ms(med[1][0]), ms(med[1][1]),
                       med[0][0] / med[1][0], med[0][2], med[1][2]))
print('load average at the end: %.2f %.2f %.2f' % os.getloadavg())
