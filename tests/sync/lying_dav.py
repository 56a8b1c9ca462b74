#!/usr/bin/python3
"""A small CardDAV/CalDAV server on two ports of 127.0.0.1, "A" (TLS when a
certificate is given) and "B", each an origin of its own, with an address
book /home/book/ and a calendar /home/cal/ that A empties and B fills with
one card. On A it lies as SCENARIO says: "redirect" and "downgrade" send
/.well-known/ to B (plain http), "principal" and "home" name B's address
for the principal or the home set, "outside" lists hrefs outside the
address book. Prints a line for each request it gets: the port's letter,
the verb, the path, "auth" when an Authorization header came, and the
hrefs a multiget asks for.
Usage: lying_dav.py SCENARIO PORT-A PORT-B [CERTIFICATE KEY]"""
import re
import ssl
import sys
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

scenario, port_a, port_b = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
other = f"http://127.0.0.1:{port_b}"
card = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:a\r\nFN:Ann\r\nN:;Ann;;;\r\nEND:VCARD\r\n"


def multistatus(*responses, token=""):
    return ('<?xml version="1.0"?><D:multistatus xmlns:D="DAV:" xmlns:C="urn:ietf:params:xml:ns:carddav">'
            + "".join(f"<D:response><D:href>{href}</D:href><D:propstat><D:prop>{props}</D:prop>"
                      "<D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response>" for href, props in responses)
            + (f"<D:sync-token>{token}</D:sync-token>" if token else "") + "</D:multistatus>")


def answer(lies, verb, path, body):
    def lie(name, honest):
        return other + honest if lies and scenario == name else honest
    if path.startswith("/.well-known/"):
        return 301, lie("redirect", lie("downgrade", "/"))
    if "current-user-principal" in body:
        return 207, multistatus((path, f"<D:current-user-principal><D:href>{lie('principal', '/p/')}</D:href>"
                                       "</D:current-user-principal>"))
    if "home-set" in body:
        prop = re.search(r"<C:(\w+-home-set)", body).group(1)
        return 207, multistatus((path, f"<C:{prop}><D:href>{lie('home', '/home/')}</D:href></C:{prop}>"))
    if "resourcetype" in body:
        return 207, multistatus(("/home/book/", "<D:resourcetype><D:collection/><C:addressbook/></D:resourcetype>"),
                                ("/home/cal/", "<D:resourcetype><D:collection/><C:calendar/></D:resourcetype>"))
    if "multiget" in body:
        return 207, multistatus(*((h, f'<D:getetag>"1"</D:getetag><C:address-data>{card}</C:address-data>')
                                  for h in re.findall(r"<D:href>([^<]*)</D:href>", body)))
    if verb == "REPORT":
        listed = [("/home/book/a.vcf", '<D:getetag>"1"</D:getetag>')] if path == "/home/book/" and not lies else []
        if lies and scenario == "outside" and path == "/home/book/":
            listed = [(href, '<D:getetag>"1"</D:getetag>')
                      for href in ("/home/book", "a.vcf", "/home/cal/x.ics", "../x.vcf", other + "/home/book/b.vcf")]
        return 207, multistatus(*listed, token="t1")
    return 201, ""


class Handler(BaseHTTPRequestHandler):
    def serve(self):
        body = self.rfile.read(int(self.headers.get("Content-Length") or 0)).decode()
        lies = self.server.server_port == port_a
        asked = re.findall(r"<D:href>([^<]*)</D:href>", body) if "multiget" in body else []
        print(" ".join(["A" if lies else "B", self.command, self.path]
                       + (["auth"] if self.headers.get("Authorization") else []) + asked), flush=True)
        status, text = answer(lies, self.command, self.path, body)
        self.send_response(status)
        if status == 301:
            self.send_header("Location", text)
            text = ""
        self.send_header("Content-Type", "application/xml; charset=utf-8")
        self.send_header("ETag", '"2"')
        self.send_header("Content-Length", str(len(text.encode())))
        self.end_headers()
        self.wfile.write(text.encode())

    def log_message(self, *args):
        pass

    do_PROPFIND = do_REPORT = do_PUT = do_DELETE = serve


servers = [ThreadingHTTPServer(("127.0.0.1", port), Handler) for port in (port_a, port_b)]
if len(sys.argv) > 5:
    tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    tls.load_cert_chain(sys.argv[4], sys.argv[5])
    servers[0].socket = tls.wrap_socket(servers[0].socket, server_side=True)
threading.Thread(target=servers[1].serve_forever, daemon=True).start()
servers[0].serve_forever()
