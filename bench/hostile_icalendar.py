#!/usr/bin/python3
# The peer of bench_hostile: python3-icalendar reads the same file (every
# event's start converted to UTC), then recurring_ical_events expands the
# month. Prints "read SECONDS" and "month SECONDS OCCURRENCES".
import sys, time, datetime
import icalendar, recurring_ical_events
path, year, month = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
t = time.monotonic()
cal = icalendar.Calendar.from_ical(open(path, "rb").read())
for ev in cal.walk("VEVENT"):
    start = ev.decoded("DTSTART")
    if getattr(start, "tzinfo", None) is not None:
        start.astimezone(datetime.timezone.utc)
print("read %.6f" % (time.monotonic() - t), flush=True)
t = time.monotonic()
last = datetime.date(year + (month == 12), month % 12 + 1, 1)
n = len(recurring_ical_events.of(cal).between(datetime.date(year, month, 1), last))
print("month %.6f %d" % (time.monotonic() - t, n), flush=True)
