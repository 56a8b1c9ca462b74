"""Writes the inputs of tests/data that other programs write: vCard and
iCalendar files by python3-vobject and python3-icalendar, mail by Python's
email package. Run it with Debian's /usr/bin/python3 after a change here,
then bless the new cases; the files it writes are committed. It is a tool
that makes test data, not a test: nothing runs it in the suite."""
import binascii
import datetime
import shutil
import subprocess
import tempfile
import email.policy
from email.message import EmailMessage, Message
from email.mime.application import MIMEApplication
from email.mime.message import MIMEMessage
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText
from pathlib import Path

import icalendar
import vobject
from dateutil import tz

here = Path(__file__).resolve().parent.parent / "tests" / "data"
out = here / "mime"
blob = bytes(range(256)) * 3
smtp = email.policy.SMTP

# A contact with escapes, a long folded note and a non-ASCII street.
c = vobject.vCard()
c.add("n").value = vobject.vcard.Name(family="Ng;Li", given="Mai, Ly")
c.add("fn").value = "Mai Ng"
c.add("uid").value = "v1"
c.add("note").value = "long " * 40 + "\\end"
t = c.add("tel")
t.value = "555"
t.type_param = "HOME"
c.add("adr").value = vobject.vcard.Address(street="1 Ünter St", city="Kew", code="3101")
(here / "vcard" / "vobject.vcf").write_text(c.serialize(), newline="")

# A phone's contact: more than the address book has fields for (a photo,
# a birthday, an organisation, three phones, three e-mails, one of them
# grouped with its label, two addresses, an X- property).
c = vobject.vCard()
c.add("n").value = vobject.vcard.Name(family="Okafor", given="Ngozi", additional="Ada", prefix="Dr")
c.add("fn").value = "Dr Ngozi Ada Okafor"
c.add("uid").value = "corpus-phone-1"
c.add("org").value = ["Kew Clinic", "Research"]
c.add("title").value = "Registrar"
c.add("bday").value = "1979-11-03"
c.add("categories").value = ["Work", "Doctors"]
for kind, num in [("CELL", "+61 400 123 456"), ("HOME", "+61 3 9000 1111"), ("WORK", "+61 3 9000 2222")]:
    t = c.add("tel")
    t.value = num
    t.type_param = kind
e = c.add("email")
e.value = "ngozi@clinic.example"
e.type_param = ["INTERNET", "WORK"]
e = c.add("email")
e.value = "ngozi@home.example"
e.type_param = "INTERNET"
c.add("item1.email").value = "n.okafor@uni.example"
c.add("item1.x-ablabel").value = "University"
a = c.add("adr")
a.value = vobject.vcard.Address(street="12 Long Rd", city="Kew", region="VIC", code="3101", country="Australia")
a.type_param = "HOME"
a = c.add("adr")
a.value = vobject.vcard.Address(street="1 Clinic Way", city="Hawthorn", code="3122")
a.type_param = "WORK"
p = c.add("photo")
p.value = bytes(range(40))
p.encoding_param = "b"
p.type_param = "PNG"
c.add("note").value = "Prefers e-mail, on call Tuesdays"
c.add("x-aim").value = "ngozi.o"
(here / "vcard" / "vobject-phone-3.0.vcf").write_text(c.serialize(), newline="")

# An event in UTC with escapes in its summary.
cal = vobject.iCalendar()
e = cal.add("vevent")
e.add("uid").value = "e1"
e.add("dtstamp").value = datetime.datetime(2026, 1, 1, tzinfo=tz.tzutc())
e.add("dtstart").value = datetime.datetime(2026, 6, 1, 14, 0, tzinfo=tz.tzutc())
e.add("dtend").value = datetime.datetime(2026, 6, 1, 15, 30, tzinfo=tz.tzutc())
e.add("summary").value = "Tea; with, Zoë"
(here / "ical" / "vobject.ics").write_text(cal.serialize(), newline="")

# Events in a zone of their own (with its VTIMEZONE), repeating, with a
# place and seconds, and an all-day one over three days.
cal = icalendar.Calendar()
cal.add("prodid", "-//make_inputs//EN")
cal.add("version", "2.0")
zone = icalendar.Timezone()
zone.add("tzid", "Europe/Berlin")
for kind, name, start, before, after, month in [(icalendar.TimezoneDaylight, "CEST", (1981, 3, 29, 2), 1, 2, 3),
                                                (icalendar.TimezoneStandard, "CET", (1996, 10, 27, 3), 2, 1, 10)]:
    part = kind()
    part.add("tzname", name)
    part.add("dtstart", datetime.datetime(*start))
    part.add("tzoffsetfrom", datetime.timedelta(hours=before))
    part.add("tzoffsetto", datetime.timedelta(hours=after))
    part.add("rrule", {"freq": "yearly", "bymonth": month, "byday": "-1su"})
    zone.add_component(part)
cal.add_component(zone)
for uid, start, end, summary, extra in [
    ("i1", datetime.datetime(2026, 7, 1, 9, 15), datetime.datetime(2026, 7, 1, 10, 0),
     "Stand-up", {"rrule": {"freq": "weekly", "count": 4}, "location": "Room 4"}),
    ("i2", datetime.datetime(2026, 7, 2, 12, 0, 30, tzinfo=tz.tzutc()), None, "Lunch, at last", {}),
    ("i3", datetime.date(2026, 7, 10), datetime.date(2026, 7, 13), "Holiday", {"description": "no mail\nplease"}),
]:
    ev = icalendar.Event()
    ev.add("uid", uid)
    ev.add("dtstamp", datetime.datetime(2026, 1, 1, tzinfo=tz.tzutc()))
    # A time without a zone of its own is Berlin's (the zone above).
    local = {"TZID": "Europe/Berlin"} if isinstance(start, datetime.datetime) and not start.tzinfo else {}
    ev.add("dtstart", start, parameters=local)
    if end:
        ev.add("dtend", end, parameters=local)
    ev.add("summary", summary)
    for k, v in extra.items():
        ev.add(k, v)
    cal.add_component(ev)
(here / "ical" / "icalendar.ics").write_bytes(cal.to_ical())

# A phone's meeting: ten Tuesdays in Berlin's zone, one of them skipped and
# one moved, an alarm, an organizer and attendees, categories, an X- property.
cal = icalendar.Calendar()
cal.add("prodid", "-//make_inputs//EN")
cal.add("version", "2.0")
cal.add_component(zone)
berlin = {"TZID": "Europe/Berlin"}
ev = icalendar.Event()
ev.add("uid", "corpus-weekly-1")
ev.add("dtstamp", datetime.datetime(2026, 1, 1, tzinfo=tz.tzutc()))
ev.add("dtstart", datetime.datetime(2026, 6, 2, 10, 0), parameters=berlin)
ev.add("dtend", datetime.datetime(2026, 6, 2, 11, 0), parameters=berlin)
ev.add("summary", "Team meeting")
ev.add("rrule", {"freq": "weekly", "count": 10, "byday": "tu"})
ev.add("exdate", datetime.datetime(2026, 6, 16, 10, 0), parameters=berlin)
ev.add("organizer", "mailto:lead@example.org", parameters={"CN": "Lead"})
for who in ["ann@example.org", "bo@example.org"]:
    ev.add("attendee", "mailto:" + who, parameters={"ROLE": "REQ-PARTICIPANT", "PARTSTAT": "ACCEPTED"})
ev.add("categories", ["Work", "Team"])
ev.add("x-phone-colour", "blue")
alarm = icalendar.Alarm()
alarm.add("action", "DISPLAY")
alarm.add("description", "Team meeting")
alarm.add("trigger", datetime.timedelta(minutes=-15))
ev.add_component(alarm)
cal.add_component(ev)
moved = icalendar.Event()
moved.add("uid", "corpus-weekly-1")
moved.add("dtstamp", datetime.datetime(2026, 1, 1, tzinfo=tz.tzutc()))
moved.add("recurrence-id", datetime.datetime(2026, 6, 9, 10, 0), parameters=berlin)
moved.add("dtstart", datetime.datetime(2026, 6, 9, 14, 0), parameters=berlin)
moved.add("dtend", datetime.datetime(2026, 6, 9, 15, 0), parameters=berlin)
moved.add("summary", "Team meeting (afternoon)")
cal.add_component(moved)
(here / "ical" / "icalendar-phone-meeting.ics").write_bytes(cal.to_ical())


def message(sender, subject, text):
    m = EmailMessage()
    m["From"] = sender
    m["Subject"] = subject
    m.set_content(text)
    return m


def save(name, msg):
    if not isinstance(msg, bytes):
        # Fixed boundaries, so that running this again changes no file.
        for n, part in enumerate(p for p in msg.walk() if p.is_multipart() and "Content-Type" in p):
            part.set_boundary(f"==boundary-{n}==")
    data = msg if isinstance(msg, bytes) else msg.as_bytes(policy=smtp)
    (out / name).write_bytes(data)


# Plain and HTML alternatives, QP text, encoded words, a subject folded over two lines.
m = EmailMessage()
m["From"] = "Jürgen Müller <j@example.org>"
m["Subject"] = "Grüße aus Köln und eine sehr lange Betreffzeile, die gefaltet werden muss"
m["Message-ID"] = "<alt@example.org>"
m.set_content("Eine schöne Woche!\n", cte="quoted-printable")
m.add_alternative("<p>Eine <b>sch&ouml;ne</b> HTML-Woche!</p><img src='http://x/y.png'>", subtype="html")
m.add_attachment(blob, maintype="application", subtype="octet-stream", filename="Bericht €.bin")
save("1-alternative.eml", m)

# HTML only, base64; a nameless attachment and one whose name climbs folders.
m = MIMEMultipart("mixed")
m["From"] = "=?utf-8?q?Ann=C3=A9e?= <a@example.org>"
m["Subject"] = "=?utf-8?b?8J+Ukw==?= html"
m.attach(MIMEText("<html><head><style>p{}</style></head><body>Caf&eacute;<br>&#8364; 5 &amp; more</body></html>",
                  "html", "utf-8"))
m.attach(MIMEApplication(b"nameless"))
bad = MIMEApplication(b"#!/bin/sh\n")
bad.add_header("Content-Disposition", "attachment", filename="../../evil.sh")
m.attach(bad)
save("2-html.eml", m)

# Windows-1252 labelled ISO-8859-1, in the header and the body.
save("3-cp1252.eml", b"From: x@example.org\r\nSubject: =?iso-8859-1?q?=80_price?=\r\nMIME-Version: 1.0\r\n"
     b"Content-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
     b"\x93Quoted\x94 \x80 5\r\n")

# A message forwarded inside another one.
inner = message("inner@example.org", "Inner", "inner text\n")
m = EmailMessage()
m["From"] = "outer@example.org"
m["Subject"] = "Fwd"
m["Date"] = "Tue, 02 Jun 2026 09:05:00 +0200"
m.set_content("see below\n")
m.add_attachment(inner)
save("4-rfc822.eml", m)

# A text file sent as an attachment without a name: offered, not shown.
m = message("n@example.org", "list", "the list is attached\n")
m.add_attachment("to do\n", disposition="attachment")
save("7-nameless-text-attachment.eml", m)

# Damaged: the boundary never ends and the base64 part is cut in the middle.
save("5-damaged.eml", b"From: d@example.org\r\nSubject: cut\r\nMIME-Version: 1.0\r\n"
     b"Content-Type: multipart/mixed; boundary=XX\r\n\r\n--XX\r\nContent-Type: text/plain\r\n\r\n"
     b"readable part\r\n--XX\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\n"
     b"c2Vjb25kIHBhcnQgaXMgY3V0IG9mZiBo")

# A file uuencoded into a plain text, as this program sends them.
uu = b"".join(binascii.b2a_uu(blob[i:i + 45], backtick=True) for i in range(0, len(blob), 45))
save("6-uuencoded.eml", b"From: t@example.org\r\nSubject: uu\r\n\r\nHere it is.\r\nbegin 664 blob.bin\r\n"
     + uu.replace(b"\n", b"\r\n") + b"`\r\nend\r\nBye.\r\n")

# Names that lie: a right-to-left override that shows "invoice\u202Egpj.exe"
# as "invoiceexe.jpg", invisible and isolating characters, control
# characters, names of 300 bytes with and without an extension, leading dots,
# a name of nothing but such characters, one that climbs to a hidden file.
m = message("names@example.org", "names", "the files\n")
for name in ["invoice\u202egpj.exe", "\u200bre\u2066po\u2067rt\u2069\u2068.pdf\ufeff", "tab\there\x07.txt",
             "ü" * 150 + ".tar.gz", "x" * 300, "a." + "b" * 300, ".bashrc", " ..\u202e.hidden", "\u202e\u200b",
             "a/../.profile"]:
    m.add_attachment(b"data", maintype="application", subtype="octet-stream", filename=name)
save("14-names-that-lie.eml", m)

# A file uuencoded into a plain text under a name that turns round.
save("15-uuencoded-name-that-lies.eml", "From: t@example.org\r\nSubject: uu\r\nMIME-Version: 1.0\r\n"
     "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
     "Here it is.\r\nbegin 644 ..photo\u202egpj.exe\r\n#86)C\r\n`\r\nend\r\n".encode())

# Two texts that name themselves in Content-Type alone, as mailing list
# programs and some phones write them: not attachments, so shown.
m = MIMEMultipart("mixed")
m["From"] = "list@example.org"
m["Subject"] = "two texts"
for text in ["The first text, in a part that calls itself msg.\n", "The second text, also in a part named msg.txt...\n"]:
    part = MIMEText(text, "plain", "us-ascii")
    part.set_param("name", "msg.txt")
    m.attach(part)
save("16-named-text-parts.eml", m)

# A digest: its parts carry no Content-Type, so each is a message. The first
# is a message in a part; the second has its fields as the part's own (as
# when a Message is attached to a digest), so its body has no header.
m = MIMEMultipart("digest")
m["From"] = "digest@example.org"
m["Subject"] = "Digest, Vol 1"
inner = message("member1@example.org", "topic 1", "first message\n")
part = MIMEMessage(inner)
del part["Content-Type"], part["MIME-Version"]
part.set_default_type("message/rfc822")
m.attach(part)
inner = Message()
inner["From"] = "member2@example.org"
inner["Subject"] = "topic 2"
inner.set_payload("second message\nand its second line\n")
m.attach(inner)
save("17-digest.eml", m)

# Text after the closing boundary (the epilogue) is no part of the message.
m = message("e@example.org", "epilogue", "the text\n")
m.add_attachment(b"file", maintype="application", subtype="octet-stream", filename="f.bin")
m.epilogue = "This is the end of the MIME message; ignore it.\n"
save("18-epilogue.eml", m)

# Damaged: a boundary other than the one named, and text after the closing
# line (the epilogue), which is no part of the message.
save("19-epilogue-wrong-boundary.eml", b"From: e@example.org\r\nSubject: epilogue\r\nMIME-Version: 1.0\r\n"
     b"Content-Type: multipart/mixed; boundary=right\r\n\r\n--wrong\r\nContent-Type: text/plain\r\n\r\n"
     b"the text\r\n--wrong--\r\nThis is the end of the message; ignore this.\r\n")

# Damaged, as a server that cuts a message at a line end leaves it: a text
# whose type lacks its slash (plain text), then a part cut inside its header,
# whose last line is its body.
save("20-cut-in-part-header.eml", b"From: c@example.org\r\nSubject: cut in a header\r\nMIME-Version: 1.0\r\n"
     b"Content-Type: multipart/mixed; boundary=XX\r\n\r\n--XX\r\nContent-Type: plain; charset=us-ascii\r\n\r\n"
     b"the text\r\n--XX\r\nContent-Type: application/pdf\r\nContent-Transfer-Encod\r\n")

# Damaged: a digest's message whose header runs into its body with no empty
# line, then, right after the boundary, a part whose header does the same,
# then a digest's part whose header does, and so the message's in it.
save("21-headers-run-into-bodies.eml", b"From: a@example.org\r\nSubject: no empty lines\r\nMIME-Version: 1.0\r\n"
     b"Content-Type: multipart/digest; boundary=b\r\n\r\n--b\r\n\r\nFrom: m@example.org\r\nSubject: s\r\n"
     b"body one\r\n--b\r\nContent-Type: application/pdf\r\nbroken\r\n--b\r\nFrom: n@example.org\r\nbody two\r\n"
     b"--b--\r\n")

# RTF as LibreOffice writes it: character and paragraph formatting, fonts,
# colours and text of other scripts, converted from HTML by its headless
# converter with a profile of its own.
html = ("<html><body><h1>Title</h1><p align=center><b>bold</b> <i>italic</i> <u>under</u> <s>struck</s> "
        "<font color='#cc0000' face='Courier New'>red mono</font> <font size=5>big</font></p>"
        "<p align=right style='margin-left:2cm'>right, indented: Ωμέγα Жук 日本 €</p>"
        "<p style='text-align:justify'>justified <a href='http://example.org/'>link</a> x<sup>2</sup></p></body></html>")
if shutil.which("soffice"):
    with tempfile.TemporaryDirectory() as work:
        (Path(work) / "libreoffice-formatting.html").write_text(html)
        subprocess.run(["soffice", f"-env:UserInstallation=file://{work}/profile", "--headless", "--convert-to", "rtf",
                        "--infilter=HTML (StarWriter)", "--outdir", str(here / "rtf"),
                        f"{work}/libreoffice-formatting.html"], check=True, capture_output=True)
