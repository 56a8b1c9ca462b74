#!/usr/bin/python3
"""Radicale, with an address book "book" and a calendar "cal" for USER ("user"
unless given), as a server that lacks sync-collection: that REPORT is refused
with 403, unless "sync" follows the user.
Usage: radicale_without_sync.py PORT STORE-FOLDER HTPASSWD-FILE [USER [sync]]"""
import io
import json
import os
import sys
from wsgiref.simple_server import make_server

import radicale
import radicale.config

port, folder, users = sys.argv[1:4]
user = sys.argv[4] if len(sys.argv) > 4 else "user"
with_sync = sys.argv[5:] == ["sync"]
for name, tag in (("book", "VADDRESSBOOK"), ("cal", "VCALENDAR")):
    os.makedirs(os.path.join(folder, "collection-root", user, name))
    with open(os.path.join(folder, "collection-root", user, name, ".Radicale.props"), "w") as props:
        json.dump({"tag": tag}, props)
config = radicale.config.load([])
config.update({"storage": {"filesystem_folder": folder},
               "auth": {"type": "htpasswd", "htpasswd_filename": users, "htpasswd_encryption": "plain"}},
              "test", privileged=True)
application = radicale.Application(config)


def without_sync_collection(environ, start_response):
    if environ["REQUEST_METHOD"] == "REPORT":
        body = environ["wsgi.input"].read(int(environ.get("CONTENT_LENGTH") or 0))
        if b"sync-collection" in body and not with_sync:
            start_response("403 Forbidden", [("Content-Type", "text/xml; charset=utf-8")])
            return [b'<?xml version="1.0"?><D:error xmlns:D="DAV:"><D:supported-report/></D:error>']
        environ["wsgi.input"] = io.BytesIO(body)
    return application(environ, start_response)


make_server("127.0.0.1", int(port), without_sync_collection).serve_forever()
