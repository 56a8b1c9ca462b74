#!/usr/bin/python3
"""An iTIP message on standard input, read by python3-icalendar: what it says, or each of RFC 5546's rules it breaks."""
import sys

import icalendar

cal = icalendar.Calendar.from_ical(sys.stdin.buffer.read())
broken = []
method = str(cal.get("METHOD", ""))
events = [c for c in cal.walk() if c.name == "VEVENT"]
if method not in ("REQUEST", "REPLY", "CANCEL"):
    broken.append("METHOD is not REQUEST, REPLY or CANCEL")
if len(events) != 1:
    broken.append("%d events, not one" % len(events))
ev = events[0] if events else {}
for required in ("UID", "DTSTAMP", "ORGANIZER", "SEQUENCE"):
    if required not in ev:
        broken.append(required + " missing")
if "DTSTAMP" in ev and ev["DTSTAMP"].dt.utcoffset() is None:
    broken.append("DTSTAMP not in UTC")
if method != "CANCEL" and "DTSTART" not in ev:
    broken.append("DTSTART missing")
if method == "CANCEL" and str(ev.get("STATUS", "")) != "CANCELLED":
    broken.append("STATUS is not CANCELLED")
attendees = ev.get("ATTENDEE", [])
attendees = attendees if isinstance(attendees, list) else [attendees]
if not attendees or (method == "REPLY" and len(attendees) != 1):
    broken.append("%d attendees" % len(attendees))
partstats = [str(a.params.get("PARTSTAT", "")) for a in attendees]
answers = ("ACCEPTED", "TENTATIVE", "DECLINED") if method == "REPLY" else ("NEEDS-ACTION", "ACCEPTED", "TENTATIVE", "DECLINED")
if any(p not in answers for p in partstats):
    broken.append("PARTSTAT missing or not an answer")
if method == "REQUEST" and any(str(a.params.get("RSVP", "")) != "TRUE" for a, p in zip(attendees, partstats) if p == "NEEDS-ACTION"):
    broken.append("an attendee not yet answered is asked for no RSVP")
if broken:
    print("broken: " + "; ".join(broken))
else:
    print("%s uid=%s sequence=%s organizer=%s %s" % (method, ev["UID"], ev["SEQUENCE"], ev["ORGANIZER"], " ".join(
        "attendee=%s partstat=%s" % (a, p) for a, p in zip(attendees, partstats))))
