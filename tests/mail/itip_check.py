#!/usr/bin/python3
"""An iTIP REPLY on standard input, read by python3-icalendar: what it says, or each of RFC 5546's rules it breaks."""
import sys

import icalendar

cal = icalendar.Calendar.from_ical(sys.stdin.buffer.read())
broken = []
events = [c for c in cal.walk() if c.name == "VEVENT"]
if str(cal.get("METHOD", "")) != "REPLY":
    broken.append("METHOD is not REPLY")
if len(events) != 1:
    broken.append("%d events, not one" % len(events))
ev = events[0] if events else {}
for required in ("UID", "DTSTAMP", "ORGANIZER", "SEQUENCE"):
    if required not in ev:
        broken.append(required + " missing")
if "DTSTAMP" in ev and ev["DTSTAMP"].dt.utcoffset() is None:
    broken.append("DTSTAMP not in UTC")
attendees = ev.get("ATTENDEE", [])
attendees = attendees if isinstance(attendees, list) else [attendees]
if len(attendees) != 1:
    broken.append("%d attendees, not one" % len(attendees))
partstats = [str(a.params.get("PARTSTAT", "")) for a in attendees]
if any(p not in ("ACCEPTED", "TENTATIVE", "DECLINED") for p in partstats):
    broken.append("PARTSTAT missing or not an answer")
if broken:
    print("broken: " + "; ".join(broken))
else:
    print("REPLY uid=%s sequence=%s organizer=%s attendee=%s partstat=%s" % (
        ev["UID"], ev["SEQUENCE"], ev["ORGANIZER"], attendees[0], partstats[0]))
