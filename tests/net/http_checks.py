#!/usr/bin/env python3
"""The casting server's web side, checked with an HTTP client of our own.

Run by HttpServerTest against a server holding one finished cast and one
live cast with one viewer on it: the page, the JSON list, the archive
(opened with zipfile and compared with the stored parts) and a table of
hostile requests. Exits 0 when everything holds, else 1 naming each fault.
"""
import argparse
import concurrent.futures
import datetime
import email.utils
import html
import http.client
import io
import json
import os
import re
import socket
import subprocess
import sys
import time
import urllib.parse
import zipfile

failures = []


def check(holds, what):
    if not holds:
        failures.append(what)
        print("FAIL: " + what, flush=True)


def request(base, method, path, headers=None):
    """(status, headers, body); status None when the server closed without an answer."""
    url = urllib.parse.urlsplit(base)
    connection = http.client.HTTPConnection(url.hostname, url.port, timeout=30)
    try:
        # Paths go out as written: the hostile ones must reach the server raw.
        connection.putrequest(method, path, skip_host=bool(headers and "Host" in headers),
                              skip_accept_encoding=True)
        for name, value in (headers or {}).items():
            connection.putheader(name, value)
        connection.endheaders()
        response = connection.getresponse()
        return response.status, dict(response.getheaders()), response.read()
    except (http.client.RemoteDisconnected, ConnectionResetError, BrokenPipeError):
        return None, {}, b""
    finally:
        connection.close()


def get(base, path, headers=None):
    return request(base, "GET", path, headers)


def stored_cast(data, name):
    """The sections of a stored cast: for each, the announce of both parts."""
    directory = os.path.join(data, name)
    sections = []
    while os.path.exists(os.path.join(directory, "section_%d.meta" % len(sections))):
        with open(os.path.join(directory, "section_%d.meta" % len(sections))) as meta:
            parts = [[int(field) for field in line.split()] for line in meta.read().splitlines()]
        sections.append({"demo_size": parts[0][1], "body_offset": parts[0][2],
                         "audio_size": parts[1][1]})
    return directory, sections


def expected_entries(data, name):
    """The archive as the client's viewer of the whole cast would store it."""
    directory, sections = stored_cast(data, name)
    completed = "audio\r\n" + "".join(
        '"%d","%d"\r\n' % (n, s["body_offset"]) for n, s in enumerate(sections))
    entries = [("completed.dat", completed.encode())]
    for n, section in enumerate(sections):
        with open(os.path.join(directory, "section_%d.part0" % n), "rb") as part:
            demo = part.read()
        # Whole where a recording begins: the first section and after an empty demo part.
        begins = n == 0 or sections[n - 1]["demo_size"] == 0
        entries.append(("demo_%d.rec" % n, demo if begins else demo[section["body_offset"]:]))
        with open(os.path.join(directory, "section_%d.part1" % n), "rb") as part:
            entries.append(("audio_%d.ogg" % n, part.read()))
    return entries


def wait_for_viewers(base, live, finished):
    """The viewer of the finished cast leaves as its last section goes out."""
    deadline = time.monotonic() + 30
    while True:
        casts = {cast["name"]: cast for cast in json.loads(get(base, "/casts.json")[2])}
        if casts[live]["viewers"] == 1 and casts[finished]["viewers"] == 0:
            return casts
        if time.monotonic() > deadline:
            check(False, "viewers now: 1 on the live cast, 0 on the finished one: %r" % casts)
            return casts
        time.sleep(0.05)


def quoted(name):
    """A game name as a URL carries it: every byte but the unreserved escaped."""
    return urllib.parse.quote(name, safe="")


def check_list(args):
    casts = wait_for_viewers(args.base, args.live, args.finished)
    status, headers, body = get(args.base, "/casts.json")
    check(status == 200 and headers.get("Content-Type") == "application/json", "/casts.json answers")
    listed = json.loads(body)
    check([cast["name"] for cast in listed] == [args.live, args.finished],
          "the live cast comes first: %r" % [cast["name"] for cast in listed])
    host = args.host + ":" + args.viewer_port
    live, finished = casts[args.live], casts[args.finished]
    _, sections = stored_cast(args.data, args.finished)
    expected = {
        args.live: {"state": "live", "sections": 2, "length_ms": None,
                    "watch": "nelq://%s/%s/" % (host, quoted(args.live)), "download": None},
        args.finished: {"state": "finished", "sections": len(sections),
                        "length_ms": int(args.length_ms),
                        "watch": "nelq://%s/%s/" % (host, quoted(args.finished)),
                        "download": "/casts/" + urllib.parse.quote(args.finished, safe="") + ".qmx"},
    }
    for cast in (live, finished):
        for field, value in expected[cast["name"]].items():
            check(cast[field] == value, "%s: %s is %r, not %r" % (cast["name"], field, cast[field], value))
        started = datetime.datetime.strptime(cast["started"], "%Y-%m-%dT%H:%M:%SZ")
        age = datetime.datetime.utcnow() - started
        check(datetime.timedelta(0) <= age < datetime.timedelta(minutes=10),
              "%s started %s, a moment ago" % (cast["name"], cast["started"]))
    return finished


def check_page(args):
    status, headers, body = get(args.base, "/")
    page = body.decode()
    check(status == 200 and headers.get("Content-Type", "").startswith("text/html"), "/ answers")
    check('<meta http-equiv="refresh" content="10">' in page, "the page refreshes while a cast is live")
    check("<script" not in page, "no script on the page")
    check(html.escape(args.finished) in page and args.finished not in page,
          "the finished cast's name appears HTML-escaped only")
    live_row, finished_row = page.find(html.escape(args.live)), page.find(html.escape(args.finished))
    check(0 <= live_row < finished_row, "the live row comes before the finished one")
    host = args.host + ":" + args.viewer_port
    for name in (args.live, args.finished):
        check('href="%s"' % html.escape("nelq://%s/%s/" % (host, quoted(name))) in page,
              "a Watch link for " + name)
    download = "/casts/" + urllib.parse.quote(args.finished, safe="") + ".qmx"
    check(page.count(".qmx") == 1 and 'href="%s"' % download in page,
          "a Download link for the finished cast alone")
    # The links name this server as the browser reached it when that is us.
    port = urllib.parse.urlsplit(args.base).port
    for host_header, link_host in [
            ("%s:%d" % (args.host, port), args.host),
            ("elsewhere.invalid:%d" % port, args.host),
            ("<script>", args.host),
            ("[::1]:%d" % port, args.host)]:
        _, _, body = get(args.base, "/casts.json", {"Host": host_header})
        watch = json.loads(body)[0]["watch"]
        check(watch == "nelq://%s:%s/%s/" % (link_host, args.viewer_port, quoted(args.live)),
              "Host %r gives the link %r" % (host_header, watch))


def check_archive(args, finished):
    status, headers, body = get(args.base, finished["download"])
    check(status == 200, "the archive answers 200, not %r" % status)
    check(headers.get("Content-Type") == "application/zip", "the archive is a zip")
    check(int(headers.get("Content-Length", -1)) == len(body), "Content-Length is the archive's")
    check(re.fullmatch(r'attachment; filename="[A-Za-z0-9 ._-]+\.qmx"; filename\*=.*',
                       headers.get("Content-Disposition", "")) is not None,
          "a safe attachment name: %r" % headers.get("Content-Disposition"))
    etag = headers.get("ETag", "")
    check(etag.startswith('"') and etag.endswith('"') and len(etag) > 2, "a strong ETag: %r" % etag)
    check(email.utils.parsedate_to_datetime(headers.get("Last-Modified", "x")) is not None,
          "a Last-Modified date")
    archive = zipfile.ZipFile(io.BytesIO(body))
    check(archive.testzip() is None, "every entry's CRC holds")
    expected = expected_entries(args.data, args.finished)
    check(archive.namelist() == [name for name, _ in expected],
          "the entries are %r" % archive.namelist())
    for name, content in expected:
        info = archive.getinfo(name) if name in archive.namelist() else None
        check(info is not None and info.compress_type == zipfile.ZIP_STORED, name + " is stored")
        check(info is not None and archive.read(name) == content, name + " holds the stored bytes")
    with open(args.save, "wb") as saved:
        saved.write(body)
    check(subprocess.run(["unzip", "-tq", args.save], stdout=subprocess.DEVNULL).returncode == 0,
          "unzip -t passes")
    again = get(args.base, finished["download"])
    check(again[1].get("ETag") == etag and again[2] == body, "a second download is the same")
    return body


def check_parallel(args, finished, body):
    def download(_):
        return get(args.base, finished["download"])[2] == body

    with concurrent.futures.ThreadPoolExecutor(16) as pool:
        results = list(pool.map(download, range(16)))
    check(all(results), "16 parallel downloads are whole: %r" % results)


def check_slow_reader(args, finished):
    """A peer that asks for the archive and stops reading holds nothing but its own thread."""
    url = urllib.parse.urlsplit(args.base)
    slow = socket.create_connection((url.hostname, url.port))
    slow.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    slow.sendall(("GET %s HTTP/1.1\r\nHost: x\r\n\r\n" % finished["download"]).encode())
    slow.recv(100)
    status, _, body = get(args.base, finished["download"])
    check(status == 200 and len(body) > 0, "a download while another peer stalls")
    check(get(args.base, "/")[0] == 200, "the page while a peer stalls")
    slow.close()


def check_cut_peers(args, finished, body):
    """Peers that go before, inside and after a request, or stay silent, cost the
    others nothing: the archive still comes whole, as often as it is asked for."""
    url = urllib.parse.urlsplit(args.base)
    request_line = ("GET %s HTTP/1.1\r\nHost: x\r\n\r\n" % finished["download"]).encode()
    silent = socket.create_connection((url.hostname, url.port))
    for what, sent, read in [("before the request", b"", 0),
                             ("inside the request line", request_line[:9], 0),
                             ("inside the headers", request_line[:-2], 0),
                             ("inside the archive", request_line, 200000),
                             ("after the archive", request_line, len(body) + 200)]:
        peer = socket.create_connection((url.hostname, url.port))
        peer.sendall(sent)
        got = 0
        while got < read:
            chunk = peer.recv(65536)
            if not chunk:
                break
            got += len(chunk)
        peer.close()
        status, _, again = get(args.base, finished["download"])
        check(status == 200 and again == body, "the archive whole after a peer cut " + what)
    check(get(args.base, "/")[0] == 200, "the page while a peer stays silent")
    silent.close()


def check_hostile(args, finished):
    live = "/casts/" + urllib.parse.quote(args.live, safe="") + ".qmx"
    download = finished["download"]
    table = [
        # method, path, extra headers, the statuses that are right
        ("GET", live, None, {409}),
        ("GET", "/casts/NOT%20A%20CAST.qmx", None, {404}),
        ("GET", "/casts/%2E%2E.qmx", None, {400}),
        ("GET", "/casts/..%2F..%2Fetc%2Fpasswd.qmx", None, {400}),
        ("GET", "/casts/..%5C..%5Cetc.qmx", None, {400}),
        ("GET", "/casts/a%00.qmx", None, {400}),
        ("GET", download + "%00", None, {404}),
        ("GET", download[:-4] + "%00.qmx", None, {400}),
        ("GET", "/casts/%zz.qmx", None, {400}),
        ("GET", "/casts/%2.qmx", None, {400}),
        ("GET", "/casts/../../etc/passwd", None, {404}),
        ("GET", "/../../etc/passwd", None, {404}),
        ("GET", "/casts/" + urllib.parse.quote(args.live) + "/section_0.part0", None, {404}),
        ("GET", download.replace(".qmx", ".QMX"), None, {404}),
        ("GET", "/casts/", None, {404}),
        ("GET", "/casts", None, {404}),
        ("GET", "/" + "a" * 20000, None, {414, None}),
        ("GET", "/", {"X-Long": "b" * 20000}, {431, None}),
        ("GET", "/", {"X-%d" % i: "c" * 100 for i in range(300)}, {431, None}),
        ("POST", "/", None, {405}),
        ("PUT", download, None, {405}),
        ("DELETE", download, None, {405}),
        ("OPTIONS", "/", None, {405}),
        ("TRACE", "/", None, {405}),
    ]
    for method, path, headers, right in table:
        status, answer, _ = request(args.base, method, path, headers)
        check(status in right, "%s %s: %r, not one of %r" % (method, path[:60], status, right))
        if status == 405:
            check(answer.get("Allow") == "GET, HEAD", "405 names GET and HEAD")
    # HEAD on every resource: the GET's status and length, no body.
    for path in ["/", "/casts.json", download, live, "/casts/NOT%20A%20CAST.qmx", "/nothing"]:
        got = get(args.base, path)
        head = request(args.base, "HEAD", path)
        check(head[0] == got[0] and head[2] == b"", "HEAD %s answers as GET, without a body" % path)
        if got[0] == 200 and path != "/" and path != "/casts.json":
            check(int(head[1].get("Content-Length", -1)) == len(got[2]), "HEAD %s: its length" % path)
    # Still serving after all of it.
    check(get(args.base, "/")[0] == 200, "the page answers after the hostile requests")


def main():
    parser = argparse.ArgumentParser()
    for option in ["--base", "--data", "--finished", "--live", "--viewer-port", "--length-ms", "--save"]:
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    args.host = urllib.parse.urlsplit(args.base).hostname
    finished = check_list(args)
    check_page(args)
    body = check_archive(args, finished)
    check_parallel(args, finished, body)
    check_cut_peers(args, finished, body)
    check_slow_reader(args, finished)
    check_hostile(args, finished)
    print("%d faults" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
