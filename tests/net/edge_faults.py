#!/usr/bin/env python3
"""An edge against an origin that fails, one case of a table at a time.

Run by EdgeTest with the server program. A small origin of our own serves a
cast list, indexes and parts as a casting server does; each case makes it
fail in one way: a part of the wrong size, cut short, answered with other
bytes or beyond its announce, an index that goes back, a list that is no
list, an origin that is gone, a cast deleted or filmed anew, an edge
restarted while its origin is gone. After each step, what the edge serves
(its own index and parts: what its viewers and further edges get) must be
only bytes the origin served for their place; the edge must log the fault
and, once the origin is sound again, catch up.
Exits 0 when everything holds, else 1 naming each fault.
"""
import argparse
import http.server
import json
import os
import random
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

from http_checks import check, failures, get, quoted

GAME = "Edge <case>"
DEMO_SIZE, BODY_OFFSET, AUDIO_SIZE = 3000, 1100, 2000


class Part:
    def __init__(self, data, body_offset=0):
        self.data = data  # every byte the part will hold
        self.body_offset = body_offset
        self.available = 0
        self.ended = False
        self.fault = None  # how the origin serves it wrongly now

    def grow(self, available):
        self.available = available

    def end(self):
        self.available, self.ended = len(self.data), True

    def entry(self, kind):
        return {"kind": kind, "size": len(self.data), "body_offset": self.body_offset,
                "available": self.available, "ended": self.ended}


class Cast:
    def __init__(self, seed):
        self.generation = "%016x" % random.Random(seed).getrandbits(64)
        self.finished = False
        self.sections = []
        self.seed = seed

    def add_section(self):
        rng = random.Random(self.seed * 1000 + len(self.sections))
        self.sections.append([Part(rng.randbytes(DEMO_SIZE), BODY_OFFSET),
                              Part(rng.randbytes(AUDIO_SIZE))])
        return self.sections[-1]

    def index(self):
        return {"name": GAME, "generation": self.generation,
                "state": "finished" if self.finished else "live",
                "sections": [{"tag": demo.body_offset, "demo": demo.entry(0), "audio": audio.entry(1)}
                             for demo, audio in self.sections]}


class Origin:
    """The casts, and what the origin does wrong with its documents."""

    def __init__(self, address):
        self.address = address
        self.casts = {}
        self.bad_list = None  # a body served for /casts.json
        self.index_change = None  # a function that alters an index before it goes out
        self.server = None
        self.port = 0
        self.list_requests = 0
        self.connections = []
        self.start()

    def start(self):
        origin = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def log_message(self, *args):
                pass

            def setup(self):
                super().setup()
                origin.connections.append(self.connection)

            def do_GET(self):
                origin.answer(self)

        self.server = http.server.ThreadingHTTPServer((self.address, self.port), Handler)
        self.server.daemon_threads = True
        self.port = self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def stop(self):
        """Gone: the connections the edge keeps alive go too."""
        self.server.shutdown()
        self.server.server_close()
        self.server = None
        for connection in self.connections:
            try:
                connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
        self.connections = []

    def url(self):
        return "http://%s:%d/" % (self.address, self.port)

    def answer(self, handler):
        url = urllib.parse.urlsplit(handler.path)
        generation = urllib.parse.parse_qs(url.query).get("g", [None])[0]
        if url.path == "/casts.json":
            self.list_requests += 1
            listed = [{"name": GAME, "generation": cast.generation,
                       "state": "finished" if cast.finished else "live"}
                      for cast in self.casts.values()]
            return send(handler, 200, self.bad_list or json.dumps(listed).encode())
        match = re.fullmatch(r"/casts/([^/]+)/(?:(index\.json)|(\d+)/(demo|audio))", url.path)
        cast = self.casts.get(urllib.parse.unquote(match.group(1))) if match else None
        if not cast or generation != cast.generation:
            return send(handler, 404, b"no such cast\n")
        if match.group(2):
            index = cast.index()
            if self.index_change:
                self.index_change(index)
            return send(handler, 200, json.dumps(index).encode())
        section = int(match.group(3))
        if section >= len(cast.sections):
            return send(handler, 404, b"no such section\n")
        serve_part(handler, cast.sections[section][match.group(4) == "audio"])


def send(handler, status, body, headers=()):
    handler.send_response(status)
    for name, value in headers:
        handler.send_header(name, value)
    handler.send_header("Content-Length", str(len(body)))
    handler.end_headers()
    handler.wfile.write(body)


def serve_part(handler, part):
    body = part.data[:part.available]
    fault = part.fault
    asked = re.fullmatch(r"bytes=(\d+)-", handler.headers.get("Range", ""))
    start = int(asked.group(1)) if asked else None
    if fault == "short":
        return send(handler, 200, body[:-1])
    if fault == "status 500":
        return send(handler, 500, b"broken\n")
    if fault == "cut":
        handler.send_response(200)
        handler.send_header("Content-Length", str(len(body)))
        handler.end_headers()
        handler.wfile.write(body[:len(body) // 2])
        handler.close_connection = True
        return None
    if fault == "other bytes":  # the whole part, and not the bytes it had
        return send(handler, 200, bytes(b ^ 0x5a for b in body))
    if start is None:
        return send(handler, 200, body)
    if fault == "past the announce":
        body = body + bytes(DEMO_SIZE)
    if fault == "a gap":
        start += 100
    if start >= len(body):
        return send(handler, 416, b"", [("Content-Range", "bytes */%d" % len(body))])
    piece = body[start:]
    last = start + len(piece) - 1 + (5 if fault == "a range that lies" else 0)
    send(handler, 206, piece, [("Content-Range", "bytes %d-%d/%d" % (start, last, len(body)))])


class Edge:
    def __init__(self, program, address, origin_url, work):
        self.program, self.address, self.origin_url = program, address, origin_url
        self.data = os.path.join(work, "data")
        self.log_path = os.path.join(work, "edge.log")
        self.start()

    def start(self):
        served = "serving the web page on http://%s:" % self.address
        runs = self.log().count(served) if os.path.exists(self.log_path) else 0
        with open(self.log_path, "a") as log:
            self.process = subprocess.Popen(
                [self.program, "--bind", self.address, "--data", self.data, "--filmer-port", "0",
                 "--viewer-port", "0", "--http-port", "0", "--relay-from", self.origin_url],
                stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        wait_until(lambda: self.log().count(served) > runs, "the edge serves")
        ports = re.findall(re.escape(served) + r"(\d+)/", self.log())
        self.base = "http://%s:%s" % (self.address, ports[-1])

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        check(self.process.wait(timeout=30) == 0, "the edge stops cleanly")

    def log(self):
        with open(self.log_path) as log:
            return log.read()

    def index(self):
        status, _, body = get(self.base, "/casts/%s/index.json" % quoted(GAME))
        return json.loads(body) if status == 200 else None

    def part(self, n, p):
        return get(self.base, "/casts/%s/%d/%s" % (quoted(GAME), n, ("demo", "audio")[p]))[2]


def wait_until(holds, what, seconds=30):
    deadline = time.monotonic() + seconds
    while not holds():
        if time.monotonic() > deadline:
            check(False, "in time: " + what)
            return False
        time.sleep(0.05)
    return True


def holds_origin_bytes(edge, cast, what):
    """Every byte the edge serves of the cast is the origin's, in its place."""
    index = edge.index()
    if index is None:
        return
    check(index["generation"] == cast.generation, what + ": the origin's generation")
    for n, entry in enumerate(index["sections"]):
        for p, key in enumerate(("demo", "audio")):
            truth = cast.sections[n][p].data
            got = edge.part(n, p)
            check(got == truth[:len(got)] and len(got) == entry[key]["available"] and
                  (not entry[key]["ended"] or got == truth),
                  "%s: section %d %s holds %d bytes of the origin's" % (what, n, key, len(got)))


def edge_part(edge, n, p):
    """(available, ended) of a part as the edge serves it."""
    index = edge.index()
    if index is None or n >= len(index["sections"]):
        return None
    entry = index["sections"][n][("demo", "audio")[p]]
    return entry["available"], entry["ended"]


# ---- the cases: each starts with section 0 whole and section 1's demo part
# grown to 1000 bytes, all of it at the edge.

def part_fault(fault, step, logged):
    """The origin misserves section 1's demo part once it has `step`ped."""
    def run(origin, edge, cast):
        part = cast.sections[1][0]
        part.fault = fault
        step(part)
        wait_until(lambda: logged in edge.log(), "the edge logs %r" % logged)
        # Tried again, later each time.
        wait_until(lambda: "trying again in 1000 ms" in edge.log(), "a second try, later")
        holds_origin_bytes(edge, cast, fault)
        check(edge_part(edge, 1, 0) == (1000, False), fault + ": the edge keeps its 1000 bytes")
        part.fault = None
        wait_until(lambda: edge_part(edge, 1, 0) == (part.available, part.ended),
                   fault + ": put right, the edge catches up")
    return run


def index_fault(change, logged):
    """The origin's index takes back what it said."""
    def run(origin, edge, cast):
        before = edge.index()
        origin.index_change = change
        wait_until(lambda: logged in edge.log(), "the edge logs %r" % logged)
        check(edge.index() == before, logged + ": the edge keeps what it had")
        holds_origin_bytes(edge, cast, logged)
        origin.index_change = None
        cast.sections[1][0].grow(2000)
        wait_until(lambda: edge_part(edge, 1, 0) == (2000, False),
                   logged + ": put right, the edge follows on")
    return run


def unreachable(origin, edge, cast):
    before = edge.index()
    origin.stop()
    wait_until(lambda: "serving what is here" in edge.log(), "the edge logs the origin gone")
    check(edge.index() == before, "the origin gone: the edge serves what it had")
    holds_origin_bytes(edge, cast, "the origin gone")
    cast.sections[1][0].end()
    origin.start()  # on its port again
    wait_until(lambda: edge_part(edge, 1, 0) == (DEMO_SIZE, True) and
               "the origin answers again" in edge.log(), "the origin back: caught up, and logged")


def restarted_alone(origin, edge, cast):
    before = edge.index()
    origin.stop()
    edge.stop()
    gone = edge.log().count("serving what is here")
    edge.start()
    wait_until(lambda: edge.log().count("serving what is here") > gone, "the edge finds no origin")
    check(edge.index() == before, "restarted without its origin, the edge serves what it had")
    origin.start()
    cast.sections[1][0].grow(2500)
    wait_until(lambda: edge_part(edge, 1, 0) == (2500, False), "restarted: the edge follows on")
    holds_origin_bytes(edge, cast, "restarted")


def bad_list(body, logged):
    def run(origin, edge, cast):
        before = edge.index()
        origin.bad_list = body
        wait_until(lambda: logged in edge.log(), "the edge logs %r" % logged)
        check(edge.index() == before, logged + ": nothing deleted, nothing new")
        origin.bad_list = None
        cast.sections[1][0].grow(1500)
        wait_until(lambda: edge_part(edge, 1, 0) == (1500, False), logged + ": put right")
    return run


def blocked(origin, edge, cast):
    """Something not ours where the cast's directory goes: never used or replaced."""
    edge.stop()
    path = os.path.join(edge.data, GAME)
    shutil.rmtree(path)
    open(path, "w").close()
    edge.start()
    wait_until(lambda: "cannot make %s here" % GAME in edge.log(), "the edge logs the file in the way")
    check(edge.index() is None and os.path.isfile(path), "blocked: the file is left alone")
    os.remove(path)
    wait_until(lambda: edge_part(edge, 1, 0) == (1000, False), "the way clear: the cast is made")
    holds_origin_bytes(edge, cast, "the way clear")


def deleted(origin, edge, cast):
    old = "/casts/%s/0/demo?g=%s" % (quoted(GAME), cast.generation)
    del origin.casts[GAME]
    logged = "deleted %s: the origin no longer lists it" % GAME
    wait_until(lambda: edge.index() is None and logged in edge.log(),
               "deleted at the origin: gone from the edge, and logged")
    check(get(edge.base, old)[0] == 404, "deleted: its parts are gone from the edge")


def filmed_anew(origin, edge, cast):
    old = "/casts/%s/0/demo?g=%s" % (quoted(GAME), cast.generation)
    fresh = Cast(seed=cast.seed + 1)
    fresh.add_section()[0].grow(700)
    origin.casts[GAME] = fresh
    wait_until(lambda: (edge.index() or {}).get("generation") == fresh.generation and
               edge_part(edge, 0, 0) == (700, False), "filmed anew: the new cast at the edge")
    check("the origin films it anew" in edge.log(), "filmed anew: logged")  # before it was made
    holds_origin_bytes(edge, fresh, "filmed anew")
    check(get(edge.base, old)[0] == 404, "filmed anew: the old generation's parts are gone")


def finished(origin, edge, cast):
    for part in cast.sections[1]:
        part.end()
    cast.finished = True
    wait_until(lambda: (edge.index() or {}).get("state") == "finished", "finished at the edge")
    holds_origin_bytes(edge, cast, "finished")
    cast.finished = False  # the origin goes back on it: the edge stays complete
    cast.add_section()[0].grow(100)
    looked = origin.list_requests
    wait_until(lambda: origin.list_requests > looked + 2, "the edge looks at the list again")
    check(edge.index()["state"] == "finished" and len(edge.index()["sections"]) == 2,
          "finished: the edge's cast stays complete")


def fewer_sections(index):
    del index["sections"][1:]


def shrunk(index):
    index["sections"][1]["demo"]["available"] = 500


def unended(index):
    index["sections"][0]["audio"]["ended"] = False


def resized(index):
    index["sections"][0]["demo"]["body_offset"] += 100


def grow_to(available):
    return lambda part: part.grow(available)


CASES = [
    ("a part shorter than announced",
     part_fault("short", Part.end, "came with 2999 bytes, not the 3000 announced")),
    ("a part cut short", part_fault("cut", Part.end, "Transferred a partial file")),
    ("a part that fails", part_fault("status 500", Part.end, "HTTP status 500")),
    ("other bytes than before",
     part_fault("other bytes", grow_to(2000), "the origin now serves other bytes than before")),
    ("bytes past the announce",
     part_fault("past the announce", grow_to(2000), "more than the 3000 announced")),
    ("a range after a gap", part_fault("a gap", grow_to(2000), "bytes from 1100 on, and we hold 1000")),
    ("a range that lies",
     part_fault("a range that lies", grow_to(2000), "a range answer whose bytes are not its range")),
    ("fewer sections", index_fault(fewer_sections, "went back from 2 sections to 1")),
    ("a part that shrinks", index_fault(shrunk, "went back from 1000 bytes to 500")),
    ("an ended part grows again", index_fault(unended, "has ended, and the origin now says it grows")),
    ("a part announced anew", index_fault(resized, "was announced again with other sizes")),
    ("a list that is no list", bad_list(b"<html>", "is no list of casts")),
    ("a list with a hostile name",
     bad_list(b'[{"name":"../x","generation":"ab","state":"live"}]', "is no list of casts")),
    ("the origin gone", unreachable),
    ("the edge restarted while the origin is gone", restarted_alone),
    ("a file where the cast goes", blocked),
    ("a cast deleted at the origin", deleted),
    ("a cast filmed anew", filmed_anew),
    ("a cast finished", finished),
]


def run_case(args, name, case, work):
    print("case: " + name, flush=True)
    origin = Origin(args.origin_address)
    cast = Cast(seed=len(name))
    origin.casts[GAME] = cast
    for part in cast.add_section():
        part.end()
    cast.add_section()[0].grow(1000)
    edge = Edge(args.server, args.edge_address, origin.url(), work)
    try:
        if wait_until(lambda: edge_part(edge, 1, 0) == (1000, False), name + ": the edge follows"):
            case(origin, edge, cast)
    finally:
        edge.stop()
        if origin.server:
            origin.stop()
    return edge.log()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--server", required=True)
    parser.add_argument("--edge-address", required=True)
    parser.add_argument("--origin-address", required=True)
    parser.add_argument("--only")
    args = parser.parse_args()
    for name, case in CASES:
        if args.only and args.only != name:
            continue
        work = tempfile.mkdtemp(prefix="nelq-edge-faults-")
        try:
            before = len(failures)
            log = run_case(args, name, case, work)
            if len(failures) > before:
                print("FAILED: %s; the edge's log:\n%s" % (name, log), flush=True)
        finally:
            shutil.rmtree(work, ignore_errors=True)
    print("%d faults" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
