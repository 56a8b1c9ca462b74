"""What python3-vobject (.vcf) or python3-icalendar (.ics) reads differently
in two files: "- [KEY ]NAME" for a property of the first that the second
lacks, "+ [KEY ]NAME" for one only the second has; events are keyed by UID
and RECURRENCE-ID (to-dos by UID), alarms compared whole, time zones and DTSTAMP not at all.
CATEGORIES counts as the one list it is (RFC 5545 lets it be written on one
line or several; libical writes one line per category)."""
import sys

import icalendar
import vobject


def card_properties(path):
    for card in vobject.readComponents(open(path, encoding="utf-8").read()):
        for p in card.getChildren():
            yield (p.name, (p.group or "").upper(), repr(sorted((k, tuple(v)) for k, v in p.params.items())),
                   repr(p.value))


def event_properties(path):
    for ev in icalendar.Calendar.from_ical(open(path, "rb").read()).walk():
        if ev.name not in ("VEVENT", "VTODO"):
            continue
        key = str(ev["uid"]) + ("#" + ev["recurrence-id"].to_ical().decode() if "recurrence-id" in ev else "")
        categories = []
        for name, value in ev.property_items(recursive=False):
            if name == "CATEGORIES":
                categories += value.to_ical().decode().split(",")
            elif name not in ("BEGIN", "END", "DTSTAMP"):
                yield (key + " " + name, repr(sorted(getattr(value, "params", {}).items())), value.to_ical())
        if categories:
            yield (key + " CATEGORIES", ",".join(sorted(categories)))
        for alarm in ev.walk("VALARM"):
            yield (key + " VALARM", alarm.to_ical())


read = card_properties if sys.argv[1].endswith(".vcf") else event_properties
before, after = list(read(sys.argv[1])), list(read(sys.argv[2]))
for p in before:
    if p in after:
        after.remove(p)
    else:
        print("-", p[0])
for p in after:
    print("+", p[0])
