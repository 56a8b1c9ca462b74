#!/usr/bin/python3
# Writes tests/data/recur/rules.expected from rules.txt with python3-dateutil's
# rrule, the reference the expansion is compared with. Run once after adding
# a case; a tool that writes test data, not a test.
from datetime import datetime, timedelta
from zoneinfo import ZoneInfo
from dateutil import rrule, tz
import os
here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data", "recur")
local = ZoneInfo("America/New_York")
def moment(text, zone):
    if len(text) == 8:
        return datetime.strptime(text, "%Y%m%d")
    if text.endswith("Z"):
        return datetime.strptime(text[:-1], "%Y%m%dT%H%M%S").replace(tzinfo=tz.UTC).astimezone(zone)
    return datetime.strptime(text, "%Y%m%dT%H%M%S").replace(tzinfo=zone)
out = []
for line in open(os.path.join(here, "rules.txt")):
    if line.startswith("#") or not line.strip():
        continue
    name, start, finish, zone, rule, rdates, exdates, first, last = [f.strip() for f in line.split("|")]
    z = ZoneInfo(zone) if zone else local
    whole = len(start) == 8
    s, f = moment(start, z), moment(finish, z)
    ours = rrule.rruleset()
    try:
        ours.rrule(rrule.rrulestr(rule, dtstart=s)) if rule else ours.rdate(s)
    except ValueError:
        ours.rdate(s)
    for d in filter(None, rdates.split(",")):
        ours.rdate(moment(d, z))
    for d in filter(None, exdates.split(",")):
        ours.exdate(moment(d.lstrip("~"), z))
    lo, hi = datetime.strptime(first, "%Y%m%d"), datetime.strptime(last, "%Y%m%d") + timedelta(days=1)
    if not whole:
        lo, hi = lo.replace(tzinfo=local), hi.replace(tzinfo=local)
    out.append("[%s]" % name)
    form = "%Y%m%d" if whole else "%Y%m%dT%H%M%S"
    for o in ours.between(lo, hi, inc=True):
        shown = o if whole else o.astimezone(local)
        out.append("%s - %s" % (shown.strftime(form), (shown + (f - s)).strftime(form)))
open(os.path.join(here, "rules.expected"), "w").write("\n".join(out) + "\n")
