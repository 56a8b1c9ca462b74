#!/usr/bin/python3
"""Another client of the sync server: python3-caldav for the calendar, plain HTTP and vobject for the address book.
Usage: other_client.py BASE CA("-": the system's) USER PASSWORD CALENDAR BOOK ACTION..., ACTION one of
event+:UID:YYYYMMDD:SUMMARY event~:OLD:NEW event-:SUMMARY (or a to-do's) card+:UID:NAME[:FILE] card~:NAME:NOTE card-:NAME
file+:NAME:PATH (the file's bytes as they are, as the calendar's resource NAME) task+:UID:SUMMARY[:PARENT[:DUE]] (of
data/dav/todo.ics) task=:UID:SUMMARY:PARENT:CHANGED,... (as task+ made it, but CHANGED) parent:SUMMARY:PARENT-UID
show (prints each resource's href as listed, then its FN and NOTE or its SUMMARY, sorted)"""
import sys
import xml.etree.ElementTree as ET

import caldav
import icalendar
import requests
import vobject

base, ca, user, password, cal_path, book_path = sys.argv[1:7]
verify = True if ca == "-" else ca
calendar = caldav.Calendar(
    client=caldav.DAVClient(base + cal_path, username=user, password=password, ssl_verify_cert=verify),
    url=base + cal_path)
http = requests.Session()
http.auth, http.verify = (user, password), verify


def item(read):
    return getattr(read, "vevent", None) or read.vtodo


def event(summary):
    (found,) = [e for e in calendar.events() + calendar.todos(include_completed=True)
                if item(e.vobject_instance).summary.value == summary]
    return found


def todo(uid, summary, parent="", due="20260520"):
    return open(__file__.rsplit("/", 2)[0] + "/data/dav/todo.ics").read().replace("\n", "\r\n").format(
        uid=uid, summary=summary, due=due, related=f"RELATED-TO;RELTYPE=PARENT:{parent}\r\n" if parent else "")


def properties(text, changed):
    (found,) = icalendar.Calendar.from_ical(text).walk("VTODO")
    return sorted(f"{name}{getattr(value, 'params', '')}:{getattr(value, 'to_ical', lambda: value)()}"
                  for name, value in found.property_items() if name not in changed)


def card(name):
    listing = http.request("PROPFIND", base + book_path, headers={"Depth": "1", "Content-Type": "application/xml"},
                           data='<propfind xmlns="DAV:"><prop><getetag/></prop></propfind>')
    for href in ET.fromstring(listing.content).iter("{DAV:}href"):
        got = http.get(base + href.text)
        if href.text.endswith(".vcf") and vobject.readOne(got.text).fn.value == name:
            return href.text, got.headers["ETag"], vobject.readOne(got.text)
    raise LookupError(name)


def put(href, body, condition):
    http.put(base + href, data=body.encode(), headers={"Content-Type": "text/vcard", **condition}).raise_for_status()


for action in sys.argv[7:]:
    verb, *args = action.split(":")
    if verb == "event+":
        uid, day, summary = args
        calendar.save_event(f"BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//other//EN\r\nBEGIN:VEVENT\r\nUID:{uid}\r\n"
                            f"DTSTAMP:20260101T000000Z\r\nDTSTART:{day}T100000\r\nDTEND:{day}T110000\r\n"
                            f"SUMMARY:{summary}\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
    elif verb == "event~":
        found = event(args[0])
        item(found.vobject_instance).summary.value = args[1]
        found.save()
    elif verb == "event-":
        event(args[0]).delete()
    elif verb == "task+":
        calendar.save_todo(todo(*args))
    elif verb == "task=":
        there = calendar.todo_by_uid(args[0]).data
        expected, got = (properties(text, args[3].split(",")) for text in (todo(*args[:3]), there))
        assert expected == got, f"lost {sorted(set(expected) - set(got))}, gained {sorted(set(got) - set(expected))}"
    elif verb == "parent":
        assert item(event(args[0]).vobject_instance).related_to.value == args[1], args
    elif verb == "file+":
        http.put(base + cal_path + args[0], data=open(args[1], "rb").read(),
                 headers={"Content-Type": "text/calendar", "If-None-Match": "*"}).raise_for_status()
    elif verb == "card+":
        put(f"{book_path}{(args + args[:1])[2]}.vcf", f"BEGIN:VCARD\r\nVERSION:3.0\r\nUID:{args[0]}\r\nFN:{args[1]}\r\n"
            f"N:;{args[1]};;;\r\nEND:VCARD\r\n", {"If-None-Match": "*"})
    elif verb == "card~":
        href, etag, found = card(args[0])
        (found.contents.get("note") or [found.add("note")])[0].value = args[1]
        put(href, found.serialize(), {"If-Match": etag})
    elif verb == "card-":
        href, etag, _ = card(args[0])
        http.delete(base + href, headers={"If-Match": etag}).raise_for_status()
    elif verb == "show":
        found = []
        for path in (book_path, cal_path):
            listing = http.request("PROPFIND", base + path, headers={"Depth": "1", "Content-Type": "application/xml"},
                                   data='<propfind xmlns="DAV:"><prop><getetag/></prop></propfind>')
            for href in ET.fromstring(listing.content).iter("{DAV:}href"):
                if href.text.endswith((".vcf", ".ics")):
                    read = vobject.readOne(http.get(base + href.text).text)
                    note = read.contents.get("note", [None])[0]
                    found.append(f"{href.text} " + (item(read).summary.value if href.text.endswith(".ics")
                                                    else f"{read.fn.value}|{note.value if note else ''}"))
        print("\n".join(sorted(found)))
    else:
        raise SystemExit(f"unknown action {action}")
