#!/usr/bin/python3
"""python3-vobject on the files bench_sync leaves: read the 10,000 vCards,
serialise them again with one field changed each, and write 10,000 events like the ones bench_sync exports."""
import datetime
import sys
import time

import vobject
from dateutil import tz

folder = sys.argv[1] if len(sys.argv) > 1 else "/tmp/bench_sync"

text = open(folder + "/contacts.vcf", encoding="utf-8").read()
start = time.process_time()
cards = [c for c in vobject.readComponents(text)]
fields = [(c.n.value.family, c.fn.value, c.email.value) for c in cards]
read = time.process_time() - start
print(f"vobject read {len(cards)} vCards: {read * 1000:.0f} ms CPU")

# The same 10,000 cards with one field changed each (the mobile number, as
# bench_sync's kept-card export changes it), serialised again.
for i, c in enumerate(cards):
    for tel in c.contents.get("tel", []):
        if "CELL" in [t.upper() for t in tel.params.get("TYPE", [])]:
            tel.value = f"0499 {i + 1}"
start = time.process_time()
out = "".join(c.serialize() for c in cards)
written = time.process_time() - start
open(folder + "/kept-vobject.vcf", "w", encoding="utf-8").write(out)
print(f"vobject serialised {len(cards)} vCards, one field changed each: {written * 1000:.0f} ms CPU")

zone = tz.gettz("UTC")
start = time.process_time()
cal = vobject.iCalendar()
for i in range(10000):
    ev = cal.add("vevent")
    ev.add("uid").value = f"bench-{i}"
    ev.add("dtstamp").value = datetime.datetime(2026, 1, 1, tzinfo=zone)
    ev.add("dtstart").value = datetime.datetime(2026, 1 + i % 12, 1 + i % 28, 7 + i % 5, 30, tzinfo=zone)
    ev.add("dtend").value = datetime.datetime(2026, 1 + i % 12, 1 + i % 28, 13 + i % 7, 0, tzinfo=zone)
    ev.add("summary").value = f"Meeting number {i}, room 4"
out = cal.serialize()
written = time.process_time() - start
open(folder + "/appointments-vobject.ics", "w", encoding="utf-8").write(out)
print(f"vobject wrote 10000 events ({len(out.encode())} bytes): {written * 1000:.0f} ms CPU")
start = time.process_time()
n = len(vobject.readOne(open(folder + "/appointments.ics", encoding="utf-8").read()).vevent_list)
print(f"vobject read our {n} events: {(time.process_time() - start) * 1000:.0f} ms CPU")
