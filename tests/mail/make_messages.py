"""Mail as other programs write it, made with Python's email package: one
file per message in the folder given, and the attachments' bytes beside."""
import binascii
import email.policy
import sys
from email.message import EmailMessage
from email.mime.application import MIMEApplication
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText
from pathlib import Path

out = Path(sys.argv[1])
blob = bytes(range(256)) * 3
smtp = email.policy.SMTP


def save(name, msg):
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
inner = EmailMessage()
inner["From"] = "inner@example.org"
inner["Subject"] = "Inner"
inner.set_content("inner text\n")
m = EmailMessage()
m["From"] = "outer@example.org"
m["Subject"] = "Fwd"
m.set_content("see below\n")
m.add_attachment(inner)
# A text file sent as an attachment without a name: offered, not shown.
m.add_attachment("to do\n", disposition="attachment")
save("4-rfc822.eml", m)

# Damaged: the boundary never ends and the base64 part is cut in the middle.
save("5-damaged.eml", b"From: d@example.org\r\nSubject: cut\r\nMIME-Version: 1.0\r\n"
     b"Content-Type: multipart/mixed; boundary=XX\r\n\r\n--XX\r\nContent-Type: text/plain\r\n\r\n"
     b"readable part\r\n--XX\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\n"
     b"c2Vjb25kIHBhcnQgaXMgY3V0IG9mZiBo")

# A file uuencoded into a plain text, as this program sends them.
uu = b"".join(binascii.b2a_uu(blob[i:i + 45], backtick=True) for i in range(0, len(blob), 45))
save("6-uuencoded.eml", b"From: t@example.org\r\nSubject: uu\r\n\r\nHere it is.\r\nbegin 664 blob.bin\r\n"
     + uu.replace(b"\n", b"\r\n") + b"`\r\nend\r\nBye.\r\n")

(out / "blob.bin").write_bytes(blob)
