#!/usr/bin/env python3
"""A deliberately badly behaved HTTP/1.1 server on 127.0.0.1, for measuring
how a crawler copes with hostile servers.

One process listens on several ports at once, each with a role:

  A           the main site
  B           "another server" that redirects, Content-Location and <base>
              point to
  deny        robots.txt "User-agent: *\\nDisallow: /" with no final newline
  slowrobots  robots.txt whose body trickles out one line per second, forever
  soak        robots.txt "User-agent: *\\nDisallow: /private" with no final
              newline
  closed      bound but never listening, so connecting is refused and no
              other program can take the port meanwhile

Every port serves the same paths (EXACT and PREFIXES below); only
/robots.txt depends on the role. Every request is appended as one JSON
line to --record, so a test can tell afterwards which server saw which
header. The ports are written as JSON ({"A": 40001, ...}) to --port-file,
or to standard output when no file is given.

Only the Python standard library is used. Every endless response is cut
after --endless-limit seconds and the whole process exits after --lifetime
seconds, so a forgotten server cannot run on.
"""

import argparse
import json
import os
import socket
import struct
import sys
import threading
import time
from urllib.parse import parse_qs, urlsplit

ROLES = ("A", "B", "deny", "slowrobots", "soak", "closed")
MAX_HEAD_BYTES = 64 * 1024
IDLE_TIMEOUT = 30.0
# Older than any copy a client saved, so a real server would answer any
# conditional request for it with "304 Not Modified".
OLD_DATE = "Mon, 01 Jan 2001 00:00:00 GMT"


class Stop(Exception):
    """The client went away, or an endless response reached its limit."""


class Pacer:
    """Holds an endless response to a rate: fast enough to show unbounded
    growth within seconds, slow enough that a client which keeps everything
    cannot fill the machine's memory or disk during a capped run."""

    def __init__(self, rate):
        self.rate = rate
        self.start = time.monotonic()
        self.sent = 0

    def sent_bytes(self, count):
        self.sent += count
        if self.rate > 0:
            ahead = self.sent / self.rate - (time.monotonic() - self.start)
            if ahead > 0:
                time.sleep(ahead)


class Server:
    def __init__(self, record_path, endless_limit, endless_rate):
        self.ports = {}
        self.sockets = []
        self.listeners = []
        self.record_lock = threading.Lock()
        self.record_file = open(record_path, "a", encoding="utf-8") if record_path else None
        self.endless_limit = endless_limit
        self.endless_rate = endless_rate
        self.counter_lock = threading.Lock()
        self.counters = {}

    # ---- set-up -------------------------------------------------------

    def open_ports(self):
        for role in ROLES:
            sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            sock.bind(("127.0.0.1", 0))
            if role != "closed":
                sock.listen(64)
                self.listeners.append((role, sock))
            self.ports[role] = sock.getsockname()[1]
            # Every socket stays open, the closed port's too: bound but not
            # listening, it refuses connections and keeps its number taken.
            self.sockets.append(sock)

    def serve(self):
        for role, sock in self.listeners:
            threading.Thread(target=self.accept_loop, args=(role, sock), daemon=True).start()

    def accept_loop(self, role, sock):
        while True:
            try:
                conn, _ = sock.accept()
            except OSError:
                return
            threading.Thread(target=self.connection, args=(role, conn), daemon=True).start()

    # ---- helpers ------------------------------------------------------

    def url(self, role, path):
        return "http://127.0.0.1:%d%s" % (self.ports[role], path)

    def count(self, key):
        """How many times key was asked for before, counted per process."""
        with self.counter_lock:
            seen = self.counters.get(key, 0)
            self.counters[key] = seen + 1
            return seen

    def record(self, role, port, request_line, headers):
        if not self.record_file:
            return
        entry = {
            "time": round(time.time(), 3),
            "role": role,
            "port": port,
            "request_line": request_line,
            "headers": headers,
        }
        with self.record_lock:
            self.record_file.write(json.dumps(entry) + "\n")
            self.record_file.flush()

    # ---- connections --------------------------------------------------

    def connection(self, role, conn):
        conn.settimeout(IDLE_TIMEOUT)
        buffer = b""
        try:
            while True:
                while b"\r\n\r\n" not in buffer:
                    if len(buffer) > MAX_HEAD_BYTES:
                        return
                    data = conn.recv(65536)
                    if not data:
                        return
                    buffer += data
                    if not buffer[:1].isupper():
                        # A TLS handshake, say: refused at once, as a real
                        # plain-HTTP server does, rather than waiting for a
                        # blank line that never comes.
                        self.record(role, self.ports[role], "(not HTTP: %s)" % buffer[:8].hex(), [])
                        self.send_page(conn, "400 Bad Request", "<html><body>Bad request</body></html>",
                                       close=True)
                        return
                head, buffer = buffer.split(b"\r\n\r\n", 1)
                lines = head.decode("latin-1").split("\r\n")
                request_line = lines[0]
                headers = []
                for line in lines[1:]:
                    name, _, value = line.partition(":")
                    headers.append([name.strip(), value.strip()])
                self.record(role, self.ports[role], request_line, headers)
                parts = request_line.split(" ")
                target = parts[1] if len(parts) >= 2 else "/"
                header_map = {name.lower(): value for name, value in headers}
                keep = self.respond(role, conn, target, header_map)
                if not keep or header_map.get("connection", "").lower() == "close":
                    return
        except (OSError, Stop):
            pass
        finally:
            try:
                conn.close()
            except OSError:
                pass

    def send(self, conn, data):
        if isinstance(data, str):
            data = data.encode("utf-8")
        try:
            conn.sendall(data)
        except OSError as error:
            raise Stop() from error

    def send_page(self, conn, status, body, content_type="text/html", extra=(), close=False):
        if isinstance(body, str):
            body = body.encode("utf-8")
        head = ["HTTP/1.1 %s" % status, "Content-Type: %s" % content_type, "Content-Length: %d" % len(body)]
        head.extend(extra)
        if close:
            head.append("Connection: close")
        self.send(conn, "\r\n".join(head).encode() + b"\r\n\r\n" + body)
        return not close

    def endless(self):
        """Yields 0, 1, 2, ... until the endless limit is reached."""
        deadline = time.monotonic() + self.endless_limit
        n = 0
        while time.monotonic() < deadline:
            yield n
            n += 1
        raise Stop()

    def chunk(self, data):
        if isinstance(data, str):
            data = data.encode("utf-8")
        return b"%x\r\n%s\r\n" % (len(data), data)

    # ---- behaviours ---------------------------------------------------

    def respond(self, role, conn, target, headers):
        parts = urlsplit(target)
        path = parts.path
        query = parse_qs(parts.query)

        if path == "/robots.txt":
            return self.robots(role, conn)

        handler = EXACT.get(path)
        if handler:
            return handler(self, conn, query, headers)
        for prefix, prefix_handler in PREFIXES:
            if path.startswith(prefix):
                return prefix_handler(self, conn, path, headers)
        return self.send_page(conn, "200 OK", small_page(path))

    def robots(self, role, conn):
        if role == "deny":
            return self.send_page(conn, "200 OK", "User-agent: *\nDisallow: /", "text/plain")
        if role == "soak":
            return self.send_page(conn, "200 OK", "User-agent: *\nDisallow: /private", "text/plain")
        if role == "slowrobots":
            self.send(conn, "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nTransfer-Encoding: chunked\r\n\r\n")
            for n in self.endless():
                self.send(conn, self.chunk("# line %d\n" % n))
                time.sleep(1)
        return self.send_page(conn, "404 Not Found", "<html><body>No robots here</body></html>")


def small_page(path, links=("/index.html", "/about.html"), title=None):
    anchors = "\n".join('<a href="%s">%s</a>' % (link, link) for link in links)
    return "<html><head><title>%s</title></head><body><h1>%s</h1>\n%s\n</body></html>\n" % (
        title or "Page " + path, path, anchors)


def links_page(server, conn, query, headers):
    """/links.html?to=URL&to=URL&img=URL: a page with exactly these links."""
    anchors = ['<a href="%s">%s</a>' % (u, u) for u in query.get("to", [])]
    images = ['<img src="%s">' % u for u in query.get("img", [])]
    body = "<html><head><title>Links</title></head><body>\n%s\n</body></html>\n" % "\n".join(anchors + images)
    return server.send_page(conn, "200 OK", body)


def redirect_b(server, conn, query, headers):
    return server.send_page(conn, "302 Found", "<html><body>Moved</body></html>",
                            extra=["Location: " + server.url("B", "/landed.html")])


def content_location_b(server, conn, query, headers):
    body = small_page("/content-location-b.html", title="Served by A, claimed for B")
    return server.send_page(conn, "200 OK", body,
                            extra=["Content-Location: " + server.url("B", "/adopted.html")])


ONCE_PAGE = ("<html><head><title>Full page</title></head><body>\n<h1>Full page</h1>\n"
             + "".join("<p>Paragraph %04d of the page that is only served once in full.</p>\n" % i
                       for i in range(130))
             + '<a href="/index.html">index</a>\n</body></html>\n')


def once(server, conn, query, headers):
    """A full page the first time, then an empty 200, as a broken back end would."""
    if server.count("once") == 0:
        return server.send_page(conn, "200 OK", ONCE_PAGE)
    return server.send_page(conn, "200 OK", b"")


def trailers(server, conn, query, headers):
    server.send(conn, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked\r\n"
                "Trailer: X-T\r\n\r\n")
    server.send(conn, server.chunk("<html><body>Body before the trailers</body></html>\n"))
    server.send(conn, "0\r\n")
    block = ("X-T: " + "t" * 100 + "\r\n").encode() * 100
    pacer = Pacer(server.endless_rate)
    for _ in server.endless():
        server.send(conn, block)
        pacer.sent_bytes(len(block))
    return False


def slow_head(server, conn, query, headers):
    server.send(conn, "HTTP/1.1 200 OK\r\n")
    for n in server.endless():
        server.send(conn, "X-Slow-%d: %d\r\n" % (n, n))
        time.sleep(1)
    return False


def endless_links(server, conn, query, headers):
    server.send(conn, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked\r\n\r\n")
    server.send(conn, server.chunk("<html><head><title>Endless</title></head><body>\n"))
    per_chunk = 500
    pacer = Pacer(server.endless_rate)
    for block in server.endless():
        first = block * per_chunk
        text = "".join('<a href="/u/%d.html">%d</a>\n' % (n, n) for n in range(first, first + per_chunk))
        server.send(conn, server.chunk(text))
        pacer.sent_bytes(len(text))
    return False


LINKS_200K = ("<html><head><title>200,000 links</title></head><body>\n"
              + "".join('<a href="/k/%d.html">%d</a>\n' % (n, n) for n in range(200000))
              + "</body></html>\n").encode()


def links_200k(server, conn, query, headers):
    return server.send_page(conn, "200 OK", LINKS_200K)


BINARY_BLOCK = os.urandom(64 * 1024)


def endless_body(server, conn, query, headers):
    server.send(conn, "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                "Transfer-Encoding: chunked\r\n\r\n")
    pacer = Pacer(server.endless_rate)
    for _ in server.endless():
        server.send(conn, server.chunk(BINARY_BLOCK))
        pacer.sent_bytes(len(BINARY_BLOCK))
    return False


def partial(server, conn, query, headers):
    body = ("<html><head><title>Cut short</title></head><body>\n"
            + "<p>This page never arrives in full.</p>\n" * 100).encode()[:4096]
    server.send(conn, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 20000\r\n\r\n".encode() + body)
    # Give the client time to take the first block before the reset, so
    # that it has really seen part of the body.
    time.sleep(0.5)
    conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    raise Stop()


def always_503(server, conn, query, headers):
    return server.send_page(conn, "503 Service Unavailable", "<html><body>Busy, forever</body></html>",
                            extra=["Retry-After: 1"])


def not_found(server, conn, query, headers):
    return server.send_page(conn, "404 Not Found", "<html><head><title>Not found</title></head>"
                            "<body><h1>404</h1><p>No such page.</p></body></html>\n")


def img_404(server, conn, query, headers):
    body = ('<html><head><title>Image page</title></head><body>\n'
            '<img src="/e404.gif">\n<a href="/index.html">index</a>\n</body></html>\n')
    return server.send_page(conn, "200 OK", body)


def late(server, conn, query, headers):
    """Missing at first, then there, with an old date and 304 for any later conditional request."""
    if server.count("late") == 0:
        return not_found(server, conn, query, headers)
    since = headers.get("if-modified-since")
    if since:
        server.send(conn, "HTTP/1.1 304 Not Modified\r\nContent-Length: 0\r\n\r\n")
        return True
    body = small_page("/late.html", title="Real page that appeared later")
    return server.send_page(conn, "200 OK", body, extra=["Last-Modified: " + OLD_DATE])


def base_b(server, conn, query, headers):
    # "localhost" is another host than 127.0.0.1 to the crawler, so the
    # base names another server even at MaxServerDepth=0.
    body = ('<html><head><title>Base elsewhere</title><base href="%s"></head><body>\n'
            '<a href="relative.html">relative</a>\n<a href="/rooted.html">rooted</a>\n</body></html>\n'
            % server.url("B", "/").replace("127.0.0.1", "localhost"))
    return server.send_page(conn, "200 OK", body)


def newline(server, conn, query, headers):
    body = ('<html><head><title>First line\nSecond line\rThird</title></head><body>\n'
            '<a href="/a%0Ab.html">encoded LF</a>\n'
            '<a href="/c%0D%0Ad.html">encoded CR LF</a>\n</body></html>\n')
    return server.send_page(conn, "200 OK", body)


def children(server, conn, query, headers):
    links = ["/c/%d.html" % n for n in range(1, 6)]
    return server.send_page(conn, "200 OK", small_page("/children.html", links=links))


def slow(server, conn, path, headers):
    """/slow/N.html: one second per page, ten new links on each."""
    try:
        n = int(path[len("/slow/"):].split(".")[0])
    except ValueError:
        n = 0
    time.sleep(1)
    links = ["/slow/%d.html" % m for m in range(10 * n + 1, 10 * n + 11)]
    return server.send_page(conn, "200 OK", small_page(path, links=links))


def default_prefix(server, conn, path, headers):
    return server.send_page(conn, "200 OK", small_page(path))


EXACT = {
    "/links.html": links_page,
    "/redirect-b.html": redirect_b,
    "/content-location-b.html": content_location_b,
    "/once.html": once,
    "/trailers.html": trailers,
    "/slow-head.html": slow_head,
    "/endless-links.html": endless_links,
    "/links-200k.html": links_200k,
    "/endless-body.bin": endless_body,
    "/partial.html": partial,
    "/always-503.html": always_503,
    "/missing.html": not_found,
    "/e404.gif": not_found,
    "/img-404.html": img_404,
    "/late.html": late,
    "/base-b.html": base_b,
    "/newline.html": newline,
    "/children.html": children,
}
PREFIXES = [("/slow/", slow), ("/u/", default_prefix), ("/k/", default_prefix)]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--port-file", help="write the ports as JSON here (default: standard output)")
    parser.add_argument("--record", help="append one JSON line per request to this file")
    parser.add_argument("--lifetime", type=float, default=900, help="exit after this many seconds")
    parser.add_argument("--endless-limit", type=float, default=300,
                        help="cut each endless response after this many seconds")
    parser.add_argument("--endless-rate", type=float, default=8 * 1024 * 1024,
                        help="bytes per second of each endless response (0: as fast as possible)")
    args = parser.parse_args()

    server = Server(args.record, args.endless_limit, args.endless_rate)
    server.open_ports()
    server.serve()
    text = json.dumps(server.ports)
    if args.port_file:
        temporary = args.port_file + ".tmp"
        with open(temporary, "w", encoding="utf-8") as out:
            out.write(text + "\n")
        os.replace(temporary, args.port_file)
    else:
        print(text, flush=True)
    time.sleep(args.lifetime)
    sys.stdout.flush()
    os._exit(0)


if __name__ == "__main__":
    main()
