#!/bin/sh
# The sqlite3 command-line tool running the address book's selects and insert
# on the file bench_address built: TESSALY_BENCH_DIR=DIR bench_address first,
# then: address_sqlite3.sh DIR
set -eu
db="$1/Data/Tessaly.mdb"
run() {
    printf '%-24s' "$1"
    printf '.output /dev/null\n.timer on\n%s;\n' "$2" | sqlite3 "$db" 2>&1 | sed -n 's/^Run Time: //p'
}
for round in 1 2 3; do
    run "all contacts" "SELECT rowid, * FROM tblAddress ORDER BY rowid"
    run "first name" "SELECT rowid, * FROM tblAddress WHERE FirstName = 'First321' ORDER BY rowid"
    run "last name" "SELECT rowid, * FROM tblAddress WHERE LastName = 'Last321' ORDER BY rowid"
    run "phone" "SELECT rowid, * FROM tblAddress WHERE HomePhone = '90054321' ORDER BY rowid"
    run "e-mail" "SELECT rowid, * FROM tblAddress WHERE Email = 'person54321@example.org' ORDER BY rowid"
    run "ICQ" "SELECT rowid, * FROM tblAddress WHERE ICQ = '100054321' ORDER BY rowid"
    run "mobile" "SELECT rowid, * FROM tblAddress WHERE Mobile = '0400054321' ORDER BY rowid"
    run "insert" "INSERT INTO tblAddress (FirstName, LastName, HomeAddress, Suburb, PostCode, Email, HomePhone, Mobile, ICQ, Comments, WebAddress) VALUES ('Anna', 'O''Brien', '', '', '', 'anna@example.org', '', '', '', '', '')"
done
