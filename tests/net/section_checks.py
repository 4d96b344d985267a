#!/usr/bin/env python3
"""The casting server's sections over HTTP, checked against the stored files.

Run by HttpServerTest against a server holding one finished cast and one live
cast whose newest section grows between the phases: "live" (a part has its
first bytes), "grown" (more bytes came: a follower asks for them with a range
from where it stopped) and "ended" (the section's parts have ended, the cast
is still live). Each phase checks the indexes against the meta files, every
part's bytes and headers, ranges, conditional requests and hostile paths.
Exits 0 when everything holds, else 1 naming each fault.
"""
import argparse
import json
import os
import sys
import time
import urllib.parse

from http_checks import check, failures, get, quoted, request

IMMUTABLE = "public, max-age=31536000, immutable"


def stored(data, name):
    """Per section, both parts as the meta file has them, with the bytes on disk."""
    directory = os.path.join(data, name)
    sections = []
    while os.path.exists(os.path.join(directory, "section_%d.meta" % len(sections))):
        n = len(sections)
        with open(os.path.join(directory, "section_%d.meta" % n)) as meta:
            lines = [[int(field) for field in line.split()] for line in meta.read().splitlines()]
        parts = []
        for p, (kind, size, body_offset, ended) in enumerate(lines):
            with open(os.path.join(directory, "section_%d.part%d" % (n, p)), "rb") as part:
                parts.append({"kind": kind, "size": size, "body_offset": body_offset,
                              "ended": ended == 1, "bytes": part.read()})
        sections.append(parts)
    return sections


def part_path(name, section, part):
    return "/casts/%s/%d/%s" % (quoted(name), section, ("demo", "audio")[part])


def index(args, name):
    status, headers, body = get(args.base, "/casts/%s/index.json" % quoted(name))
    return status, headers, json.loads(body) if status == 200 else None


def wait_for_index(args, name, holds, what):
    """The filmer's bytes reach the store a moment after it sent them."""
    deadline = time.monotonic() + 30
    while True:
        got = index(args, name)[2]
        if got is not None and holds(got):
            return got
        if time.monotonic() > deadline:
            check(False, "%s: %s, the index is %r" % (name, what, got))
            return got
        time.sleep(0.05)


def check_index(args, name, state):
    status, headers, listed = index(args, name)
    check(status == 200 and headers.get("Content-Type") == "application/json", name + ": index answers")
    check(headers.get("Cache-Control") == "max-age=1", name + ": the index is cached a second")
    check(listed["name"] == name and listed["state"] == state,
          "%s: index names %r, state %r" % (name, listed["name"], listed["state"]))
    sections = stored(args.data, name)
    check(len(listed["sections"]) == len(sections), "%s: %d sections listed" % (name, len(listed["sections"])))
    for n, (entry, parts) in enumerate(zip(listed["sections"], sections)):
        check(entry["tag"] == parts[0]["body_offset"], "%s %d: the tag is the body offset" % (name, n))
        for key, part in zip(("demo", "audio"), parts):
            expected = {field: part[field] for field in ("kind", "size", "body_offset", "ended")}
            expected["available"] = len(part["bytes"])
            check(entry[key] == expected, "%s %d %s: %r, not %r" % (name, n, key, entry[key], expected))
    return sections


def check_part(args, name, n, p, part):
    """The part's bytes and headers, HEAD, and conditional requests."""
    path = part_path(name, n, p)
    status, headers, body = get(args.base, path)
    what = "%s %d/%d" % (name, n, p)
    check(status == 200 and body == part["bytes"], what + ": the stored bytes (%r)" % status)
    check(headers.get("Content-Type") == "application/octet-stream", what + ": octet-stream")
    check(headers.get("Accept-Ranges") == "bytes", what + ": ranges advertised")
    check(headers.get("Cache-Control") == (IMMUTABLE if part["ended"] else "no-store"),
          what + ": Cache-Control %r" % headers.get("Cache-Control"))
    etag = headers.get("ETag")
    if part["ended"]:
        check(etag is not None and etag.startswith('"') and etag.endswith('"') and len(etag) > 2,
              what + ": a strong ETag %r" % etag)
    else:
        check(etag is None, what + ": no ETag while the part grows")
    head = request(args.base, "HEAD", path)
    check(head[0] == 200 and head[2] == b"" and head[1].get("ETag") == etag and
          int(head[1].get("Content-Length", -1)) == len(part["bytes"]),
          what + ": HEAD answers as GET, without a body")
    if not part["ended"]:
        return etag
    for condition, expected in [(etag, 304), ("W/" + etag, 304), ("*", 304),
                                ('"other", ' + etag, 304), ('"other"', 200)]:
        got = get(args.base, path, {"If-None-Match": condition})
        check(got[0] == expected, "%s: If-None-Match %s gives %r" % (what, condition, got[0]))
        if expected == 304:
            check(got[2] == b"" and got[1].get("ETag") == etag and
                  got[1].get("Cache-Control") == IMMUTABLE, what + ": 304 carries the tag")
    return etag


def check_ranges(args, name, n, p, part):
    data = part["bytes"]
    size = len(data)
    path = part_path(name, n, p)
    table = [
        # Range header, expected status, expected first and last byte
        ("bytes=0-9", 206, 0, 9),
        ("bytes=5-", 206, 5, size - 1),
        ("bytes=-10", 206, size - 10, size - 1),
        ("bytes=%d-%d" % (size - 1, size - 1), 206, size - 1, size - 1),
        ("bytes=3-999999999", 206, 3, size - 1),
        ("bytes=-999999999", 206, 0, size - 1),
        ("bytes=%d-" % size, 416, None, None),
        ("bytes=%d-%d" % (size + 5, size + 9), 416, None, None),
        ("bytes=99999999999999999999999-", 416, None, None),
        ("bytes=-0", 416, None, None),
        ("bytes=0-1,4-5", 200, None, None),  # several ranges: the whole part
        ("bytes=5-2", 200, None, None),
        ("bytes=abc", 200, None, None),
        ("bytes= 0-1", 200, None, None),
        ("bytes=-", 200, None, None),
        ("items=0-1", 200, None, None),
    ]
    for header, status, first, last in table:
        got = get(args.base, path, {"Range": header})
        what = "%s %d/%d %s" % (name, n, p, header)
        check(got[0] == status, "%s: %r, not %r" % (what, got[0], status))
        if status == 206:
            check(got[1].get("Content-Range") == "bytes %d-%d/%d" % (first, last, size) and
                  got[2] == data[first:last + 1], what + ": %r" % got[1].get("Content-Range"))
        elif status == 416:
            check(got[1].get("Content-Range") == "bytes */%d" % size, what + ": bytes */SIZE")
        else:
            check(got[2] == data, what + ": the whole part")


def check_if_range(args, name, n, p, part, etag):
    path = part_path(name, n, p)
    matching = get(args.base, path, {"Range": "bytes=0-9", "If-Range": etag or '"none"'})
    other = get(args.base, path, {"Range": "bytes=0-9", "If-Range": '"other"'})
    if part["ended"]:
        check(matching[0] == 206 and matching[2] == part["bytes"][:10], "If-Range with the tag: 206")
    else:
        check(matching[0] == 200, "If-Range on a growing part: the whole, as it has no tag")
    check(other[0] == 200 and other[2] == part["bytes"], "If-Range with another tag: the whole")


def check_hostile(args, name, count):
    q = quoted(name)
    table = [
        ("/casts/%s/index.json" % q, {200}),
        ("/casts/%s/0/demo" % q, {200}),
        ("/casts/%s/0/demo/" % q, {404}),
        ("/casts/%s/0/demo/x" % q, {404}),
        ("/casts/%s/0/Demo" % q, {404}),
        ("/casts/%s/0/video" % q, {404}),
        ("/casts/%s/0" % q, {404}),
        ("/casts/%s/0/" % q, {404}),
        ("/casts/%s/" % q, {404}),
        ("/casts/%s//0/demo" % q, {404}),
        ("/casts/%s/index.json/" % q, {404}),
        ("/casts/%s/INDEX.JSON" % q, {404}),
        ("/casts/%s/00/demo" % q, {404}),
        ("/casts/%s/01/audio" % q, {404}),
        ("/casts/%s/-1/demo" % q, {404}),
        ("/casts/%s/+1/demo" % q, {404}),
        ("/casts/%s/1e0/demo" % q, {404}),
        ("/casts/%s/0x1/demo" % q, {404}),
        ("/casts/%s/%%30/demo" % q, {404}),
        ("/casts/%s/0/%%64emo" % q, {404}),
        ("/casts/%s/0/demo%%00" % q, {404}),
        ("/casts/%s/..%%2F0/demo" % q, {404}),
        ("/casts/%s/../0/demo" % q, {404}),
        ("/casts/%s/%d/demo" % (q, count), {404}),
        ("/casts/%s/1024/audio" % q, {404}),
        ("/casts/%s/1025/audio" % q, {404}),
        ("/casts/%s/99999999999999999999/demo" % q, {404}),
        ("/casts/../index.json", {400}),
        ("/casts/%2E%2E/index.json", {400}),
        ("/casts/..%2F..%2Fetc/0/demo", {400}),
        ("/casts/a%2Fb/index.json", {400}),
        ("/casts/a%00/index.json", {400}),
        ("/casts/%zz/0/demo", {400}),
        ("/casts/NOT%20A%20CAST/index.json", {404}),
        ("/casts/NOT%20A%20CAST/0/demo", {404}),
    ]
    for path, right in table:
        for method in ("GET", "HEAD"):
            status = request(args.base, method, path)[0]
            check(status in right, "%s %s: %r, not one of %r" % (method, path[:70], status, right))
    status, headers, _ = request(args.base, "POST", "/casts/%s/0/demo" % q)
    check(status == 405 and headers.get("Allow") == "GET, HEAD", "POST on a part: 405")


def check_generation(args, name, count):
    """Part URLs may carry the cast's generation; another one's is gone."""
    generation = index(args, name)[2]["generation"]
    listed = {cast["name"]: cast for cast in json.loads(get(args.base, "/casts.json")[2])}
    check(listed[name]["generation"] == generation and len(generation) == 16 and
          all(c in "0123456789abcdef" for c in generation),
          "%s: the list and the index carry one generation %r" % (name, generation))
    other = "0" if generation != "0" else "1"
    table = [
        ("index.json?g=" + generation, 200),
        ("0/demo?g=" + generation, 200),
        ("0/audio?g=%s&x=1" % generation, 200),
        ("index.json?g=" + other, 404),
        ("0/demo?g=" + other, 404),
        ("0/demo?g=", 404),
        ("0/demo?g=" + generation.upper(), 404),
        ("%d/demo?g=%s" % (count, generation), 404),
    ]
    for resource, expected in table:
        status = get(args.base, "/casts/%s/%s" % (quoted(name), resource))[0]
        check(status == expected, "%s %s: %r, not %r" % (name, resource, status, expected))


def check_cast(args, name, state):
    sections = check_index(args, name, state)
    check_generation(args, name, len(sections))
    tags = {}
    for n, parts in enumerate(sections):
        for p, part in enumerate(parts):
            etag = check_part(args, name, n, p, part)
            if etag:
                tags.setdefault(etag, set()).add(part["bytes"])
            if len(part["bytes"]) >= 10:
                check_ranges(args, name, n, p, part)
                check_if_range(args, name, n, p, part, etag)
    check(all(len(contents) == 1 for contents in tags.values()), name + ": one tag, one content")
    check_hostile(args, name, len(sections))
    return sections


def main():
    parser = argparse.ArgumentParser()
    for option in ["--base", "--data", "--finished", "--live", "--phase"]:
        parser.add_argument(option, required=True)
    parser.add_argument("--available", type=int, required=True)  # of the growing demo part
    parser.add_argument("--followed-to", type=int)  # where a follower stopped last phase
    args = parser.parse_args()
    wait_for_index(args, args.finished, lambda cast: cast["state"] == "finished", "finished")
    growing = wait_for_index(
        args, args.live, lambda cast: len(cast["sections"]) == 2 and
        cast["sections"][1]["demo"]["available"] == args.available and
        (args.phase != "ended" or cast["sections"][1]["audio"]["ended"]),
        "the growing part holds %d bytes" % args.available)
    check_cast(args, args.finished, "finished")
    live = check_cast(args, args.live, "live")
    demo = live[1][0]
    path = part_path(args.live, 1, 0)
    if args.phase == "live":
        # A follower at the end: nothing new yet.
        got = get(args.base, path, {"Range": "bytes=%d-" % args.available})
        check(got[0] == 416 and got[1].get("Content-Range") == "bytes */%d" % args.available,
              "a follower at the end of the growing part gets 416: %r" % got[0])
    if args.phase == "grown":
        got = get(args.base, path, {"Range": "bytes=%d-" % args.followed_to})
        check(got[0] == 206 and got[2] == demo["bytes"][args.followed_to:] and
              got[1].get("Content-Range") == "bytes %d-%d/%d" % (
                  args.followed_to, args.available - 1, args.available),
              "a follower gets the new bytes from %d: %r %r" % (
                  args.followed_to, got[0], got[1].get("Content-Range")))
    check((args.phase == "ended") == demo["ended"] and growing is not None,
          "the growing part has ended in the phase 'ended' alone")
    print("%d faults" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
