"""What python3-icalendar reads differently in two iCalendar files, event by
event (by UID and RECURRENCE-ID): "- UID NAME" for a property of the first
that the second lacks, "+ UID NAME" for one only the second has, alarms
compared as a whole; the time zones and the calendar's own lines are not
compared. CATEGORIES counts as the one list it is (RFC 5545 lets it be
written on one line or several; libical writes one line per category)."""
import sys

import icalendar


def properties(path):
    out = []
    for ev in icalendar.Calendar.from_ical(open(path, "rb").read()).walk("VEVENT"):
        key = str(ev.get("uid")) + ("#" + ev["recurrence-id"].to_ical().decode() if "recurrence-id" in ev else "")
        categories = []
        for name, value in ev.property_items(recursive=False):
            if name == "CATEGORIES":
                categories += value.to_ical().decode().split(",")
            elif name not in ("BEGIN", "END", "DTSTAMP"):
                params = sorted(getattr(value, "params", {}).items())
                out.append((key, name, repr(params), value.to_ical() if hasattr(value, "to_ical") else str(value)))
        if categories:
            out.append((key, "CATEGORIES", "", ",".join(sorted(categories))))
        for alarm in ev.walk("VALARM"):
            out.append((key, "VALARM", alarm.to_ical()))
    return out


before, after = properties(sys.argv[1]), properties(sys.argv[2])
for p in before:
    if p in after:
        after.remove(p)
    else:
        print("-", p[0], p[1])
for p in after:
    print("+", p[0], p[1])
