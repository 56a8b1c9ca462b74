#!/usr/bin/python3
"""A small CardDAV/CalDAV server on 127.0.0.1 at two ports, two origins: A
(TLS when a certificate is given) and B, each with /home/book/ and /home/cal/.
A lies as SCENARIO says: "redirect", "downgrade" send /.well-known/ to B;
"principal", "home" name B's address for them; "outside" lists hrefs outside
the address book. B's book holds one card. Prints each request: the port's
letter, verb, path, "auth" when it came with a password, the hrefs asked for.
Usage: lying_dav.py SCENARIO PORT-A PORT-B [CERTIFICATE KEY]"""
import re
import ssl
import sys
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

scenario, port_a, port_b = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
other = f"http://127.0.0.1:{port_b}"
etag = '<D:getetag>"1"</D:getetag>'
card = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:a\r\nFN:Ann\r\nN:;Ann;;;\r\nEND:VCARD\r\n"


def multistatus(*responses, token=""):
    return ('<D:multistatus xmlns:D="DAV:" xmlns:C="urn:ietf:params:xml:ns:carddav">'
            + "".join(f"<D:response><D:href>{href}</D:href><D:propstat><D:prop>{props}</D:prop>"
                      "<D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response>" for href, props in responses)
            + (f"<D:sync-token>{token}</D:sync-token>" if token else "") + "</D:multistatus>")


def answer(lies, path, body, asked):
    def lie(*names, honest):
        return other + honest if lies and scenario in names else honest
    if path.startswith("/.well-known/"):
        return 301, lie("redirect", "downgrade", honest="/")
    if "current-user-principal" in body:
        href = lie("principal", honest="/p/")
        return 207, multistatus((path, f"<D:current-user-principal><D:href>{href}</D:href></D:current-user-principal>"))
    if "home-set" in body:
        prop = re.search(r"<C:(\w+-home-set)", body).group(1)
        return 207, multistatus((path, f"<C:{prop}><D:href>{lie('home', honest='/home/')}</D:href></C:{prop}>"))
    if "resourcetype" in body:
        return 207, multistatus(("/home/book/", "<D:resourcetype><D:collection/><C:addressbook/></D:resourcetype>"),
                                ("/home/cal/", "<D:resourcetype><D:collection/><C:calendar/></D:resourcetype>"))
    if "multiget" in body:
        return 207, multistatus(*((href, f"{etag}<C:address-data>{card}</C:address-data>") for href in asked))
    listed = ["/home/book/a.vcf"] if path == "/home/book/" and not lies else []
    if lies and scenario == "outside" and path == "/home/book/":
        listed = ["/home/book", "a.vcf", "/home/cal/x.ics", "../x.vcf", other + "/home/book/b.vcf"]
    return 207, multistatus(*((href, etag) for href in listed), token="t1")


class Handler(BaseHTTPRequestHandler):
    def do_PROPFIND(self):
        body = self.rfile.read(int(self.headers.get("Content-Length") or 0)).decode()
        lies = self.server.server_port == port_a
        asked = re.findall(r"<D:href>([^<]*)</D:href>", body) if "multiget" in body else []
        print(" ".join(["A" if lies else "B", self.command, self.path]
                       + (["auth"] if self.headers.get("Authorization") else []) + asked), flush=True)
        status, text = answer(lies, self.path, body, asked)
        self.send_response(status)
        self.send_header("Location" if status == 301 else "Content-Type", text if status == 301 else "text/xml")
        text = "" if status == 301 else text
        self.send_header("Content-Length", str(len(text.encode())))
        self.end_headers()
        self.wfile.write(text.encode())

    do_REPORT = do_PROPFIND

    def log_message(self, *args):
        pass


servers = [ThreadingHTTPServer(("127.0.0.1", port), Handler) for port in (port_a, port_b)]
if len(sys.argv) > 5:
    tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    tls.load_cert_chain(sys.argv[4], sys.argv[5])
    servers[0].socket = tls.wrap_socket(servers[0].socket, server_side=True)
threading.Thread(target=servers[1].serve_forever, daemon=True).start()
servers[0].serve_forever()
