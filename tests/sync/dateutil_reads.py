"""How python-dateutil expands each repeating event of a file as
python3-icalendar reads it: its summary, how often and until when it
occurs, or what dateutil says against its rule.

python3-icalendar 4 cannot build a zone from a VTIMEZONE whose rules end
with an UNTIL in UTC (as RFC 5545 wants them): the zones are left out and
each TZID is taken by its location's name from the system's database."""
import re
import sys

import icalendar
from dateutil.rrule import rrulestr

text = open(sys.argv[1], "rb").read().decode().replace("\r\n ", "")
text = re.sub(r"BEGIN:VTIMEZONE\r\n.*?END:VTIMEZONE\r\n", "", text, flags=re.S)
text = re.sub(r"TZID=/[^:;]*?/(\w+/\w+)", r"TZID=\1", text)
for event in icalendar.Calendar.from_ical(text).walk("VEVENT"):
    if "RRULE" not in event:
        continue
    try:
        starts = list(rrulestr(event["RRULE"].to_ical().decode(), dtstart=event.decoded("DTSTART")))
        print(f"{event['SUMMARY']}: {len(starts)}, the last {starts[-1].isoformat()}")
    except ValueError as e:
        print(f"{event['SUMMARY']}: {e}")
