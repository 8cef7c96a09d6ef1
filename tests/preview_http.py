"""Asks the preview server for a page as HTTP clients do, one row of request
headers a case, and checks each answer as RFC 9110 has it: gzip only where
the request takes it, 304 for a request that names the ETag, the page whole
whatever Range asks, and no other coding than the firmware's own. / must be
the page where it is index.html, else link it, and an unknown path is not
found. Then as hostile clients do: paths that would forge a line of the
log, pipelined requests, and a request while many idle or slow clients
hold connections.

  preview_http.py SERVER PAGE [OTHER...]

Each OTHER page, of any name, must be served too: raw, and as a twin that
inflates to it. A page kept as its twin alone (tarvel -a -z) must go as the
twin to a client that sends no Accept-Encoding, and get 406 and a line of
text where the client refuses gzip.
"""

import gzip
import http.client
import socket
import subprocess
import sys
import urllib.parse

GZIP, RAW, REFUSED = "gzip", "raw", "refused"

# name, request headers ({etag} stands for the page's ETag), then the
# answer: status, what the body is (GZIP, RAW, or None for no body).
CASES = [
    ("gzip", {"Accept-Encoding": "gzip, deflate, br"}, 200, GZIP),
    ("coding_in_capitals", {"Accept-Encoding": "GZIP"}, 200, GZIP),
    ("x_gzip_is_gzip", {"Accept-Encoding": "x-gzip"}, 200, GZIP),
    ("weight_above_zero", {"Accept-Encoding": "gzip;q=0.5"}, 200, GZIP),
    ("any_coding", {"Accept-Encoding": "*"}, 200, GZIP),
    ("gzip_refused", {"Accept-Encoding": "gzip;q=0"}, 200, RAW),
    ("gzip_refused_with_spaces", {"Accept-Encoding": "br, gzip ; Q=0.000"}, 200, RAW),
    ("any_but_gzip", {"Accept-Encoding": "*, gzip;q=0"}, 200, RAW),
    ("brotli_only", {"Accept-Encoding": "br"}, 200, RAW),
    ("identity", {"Accept-Encoding": "identity"}, 200, RAW),
    ("no_accept_encoding", {}, 200, RAW),
    ("etag_named", {"Accept-Encoding": "gzip", "If-None-Match": "{etag}"}, 304, None),
    ("weak_etag_named", {"Accept-Encoding": "gzip", "If-None-Match": "\"x\", W/{etag}"}, 304,
     None),
    ("other_etag", {"Accept-Encoding": "gzip", "If-None-Match": "\"x\""}, 200, GZIP),
    ("etag_named_without_gzip", {"If-None-Match": "{etag}"}, 200, RAW),
    # A firmware sends the page whole, whatever Range asks.
    ("range_past_the_end", {"Range": "bytes=1000-2000"}, 200, RAW),
    ("range_past_the_twin", {"Accept-Encoding": "gzip", "Range": "bytes=300-"}, 200, GZIP),
    ("ranges", {"Accept-Encoding": "gzip", "Range": "bytes=0-1,5-9"}, 200, GZIP),
    ("range_of_no_meaning", {"Range": "bytes=abc"}, 200, RAW),
    ("range_of_another_unit", {"Range": "items=0-5"}, 200, RAW),
]


# name, path, then the answer: status and bytes the body must hold ({page}
# the page's name, {twin} its gzip twin). Asked by a client that takes any
# coding: none but the page itself comes with one.
PATHS = [
    ("root_links_every_page", "/", 200, b'<a href="/{page}">'),
    ("unknown_path", "/nowhere.html", 404, b""),
    ("line_feed_in_the_path", "/%0a200%20GET%20/forged", 404, b""),
    ("zero_byte_after_the_page", "/{page}%00x", 404, b""),
]
# Request lines whose target holds a byte that HTTP forbids there, sent as
# they stand: each must get 400, not the file its start names.
FORBIDDEN = [
    ("zero_byte_in_the_request_line", b"/{page}\x00.js"),
    ("zero_byte_before_a_climb", b"/docs/\x00/../../etc/passwd"),
    ("control_byte_in_the_request_line", b"/{page}\x01"),
    ("byte_above_ascii_in_the_request_line", b"/{page}\xc3\xa9"),
    ("space_in_the_request_line", b"/{page} x"),
]
# What the log must say of them, and never a line of its own.
LOGGED = [b"404 GET /\\x0a200 GET /forged", b"404 GET /{page}\\x00x",
          b"400 GET /{page}\\x00.js", b"400 GET /docs/\\x00/../../etc/passwd"]
FORGED = b"200 GET /forged"
# Clients that hold a connection without a request, or send one a byte at
# a time, while another asks: it must be answered long before the server
# gives up on them (10 s).
IDLE, SLOW, PATIENCE = 64, 64, 5
# Where the page is index.html, / is that page: its twin.
ROOT_IS_INDEX = ("root_is_index_html", "/", 200, b"{twin}")


def ask(port, path, headers):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
    connection.putrequest("GET", path, skip_accept_encoding=True)
    for name, value in headers.items():
        connection.putheader(name, value)
    connection.endheaders()
    response = connection.getresponse()
    body = response.read()
    connection.close()
    return response.status, {k.lower(): v for k, v in response.getheaders()}, body


def expected(case, twin_only):
    """The status and body of the answer to a case: where the page is kept as
    its twin alone, a client that sends no Accept-Encoding takes it, and one
    that refuses gzip gets 406."""
    _, headers, status, body = case
    if not twin_only or body != RAW:
        return status, body
    if "Accept-Encoding" in headers:
        return 406, REFUSED
    return (304, None) if headers.get("If-None-Match") == "{etag}" else (status, GZIP)


def wrong(case, port, path, etag, twin, raw, twin_only):
    """What is wrong with the answer to one case."""
    name, headers = case[:2]
    status, body = expected(case, twin_only)
    try:
        got, h, data = ask(port, path, {k: v.format(etag=etag) for k, v in headers.items()})
    except (OSError, http.client.HTTPException, OverflowError) as e:
        return [f"no answer: {e!r}"]
    found = []
    if got != status:
        found.append(f"status {got}, not {status}")
    coding = h.get("content-encoding")
    if coding != (GZIP if body == GZIP else None):
        found.append(f"Content-Encoding {coding}")
    if "content-range" in h:
        found.append(f"Content-Range {h['content-range']}")
    if (body == GZIP or status == 304) != (h.get("etag") == etag):
        found.append(f"ETag {h.get('etag')}")
    if body is None and data:
        found.append("a body")
    if body == GZIP and data != twin or body == RAW and data != raw:
        found.append("other bytes than the page's")
    if body == REFUSED and (data.count(b"\n") != 1 or not data.endswith(b"\n")):
        found.append(f"not one line of text: {data[:100]}")
    length = h.get("content-length")
    size = len(twin if body == GZIP or status == 304 else raw)
    if length is not None and body != REFUSED and int(length) != size:
        found.append(f"Content-Length {length}, where the page has {size}")
    return found


def pipelined(port, path, raw, etag):
    """Requests sent at once get their answers in turn, a 304 with no body."""
    with socket.create_connection(("127.0.0.1", port), timeout=PATIENCE) as s:
        s.sendall(f"GET {path} HTTP/1.1\r\nHost: x\r\nAccept-Encoding: gzip\r\n"
                  f"If-None-Match: {etag}\r\n\r\n"
                  f"GET {path} HTTP/1.1\r\nHost: x\r\n\r\n"
                  "GET /nowhere.html HTTP/1.1\r\nHost: x\r\n\r\n".encode())
        data = b""
        try:
            while not data.endswith(b"Not found\n"):
                more = s.recv(65536)
                if not more:
                    break
                data += more
        except socket.timeout:
            pass
    at = [data.find(b"HTTP/1.1 304"), data.find(b"\r\n\r\nHTTP/1.1 200"), data.find(raw),
          data.find(b"HTTP/1.1 404")]
    ok = 0 == at[0] < at[1] < at[2] and at[2] + len(raw) == at[3]
    return "pipelined_requests", "" if ok else f"answers: {data[:400]}"


def served(port, name):
    """A page of any name is served at its path, raw and as its twin."""
    path = "/" + urllib.parse.quote(name)
    try:
        got, plain, raw = ask(port, path, {})
        if plain.get("content-encoding") == GZIP:  # kept as its twin alone
            raw = gzip.decompress(raw)
        got_gz, h, twin = ask(port, path, {"Accept-Encoding": "gzip"})
        ok = got == got_gz == 200 and h.get("content-encoding") == GZIP and gzip.decompress(twin) == raw
    except (OSError, http.client.HTTPException, gzip.BadGzipFile) as e:
        ok, got = False, e
    return f"served_at_{path}", "" if ok else f"answer: {got}"


def refused(port, name, target):
    """A request line that holds a forbidden byte gets 400."""
    with socket.create_connection(("127.0.0.1", port), timeout=PATIENCE) as s:
        s.sendall(b"GET " + target + b" HTTP/1.1\r\nHost: x\r\nAccept-Encoding: gzip\r\n\r\n")
        line = s.recv(4096).split(b"\r\n")[0]
    return name, "" if line == b"HTTP/1.1 400 Bad Request" else f"answered {line}"


def held_up(port, path, body):
    """A request while idle and slow clients hold connections."""
    held = [socket.create_connection(("127.0.0.1", port)) for _ in range(IDLE + SLOW)]
    try:
        for s in held[IDLE:]:
            s.sendall(b"GET / HTTP/1.1\r\nHo")
        try:
            connection = http.client.HTTPConnection("127.0.0.1", port, timeout=PATIENCE)
            connection.request("GET", path, headers={"Accept-Encoding": "gzip;q=0.5"})
            ok = connection.getresponse().read() == body
        except OSError as e:
            ok, body = False, e
        return "answered_beside_idle_clients", "" if ok else f"not answered: {body}"
    finally:
        for s in held:
            s.close()


def main():
    server, page, others = sys.argv[1], sys.argv[2], sys.argv[3:]
    preview = subprocess.Popen([server, "0"], stdout=subprocess.PIPE)
    try:
        # "Serving N pages on http://127.0.0.1:PORT/"
        port = int(preview.stdout.readline().decode().split(":")[-1].strip("/\n"))
        path = "/" + page
        _, h, twin = ask(port, path, {"Accept-Encoding": "gzip"})
        etag, raw = h["etag"], gzip.decompress(twin)
        twin_only = ask(port, path, {"Accept-Encoding": "identity"})[0] == 406
        print(f"{page}: kept as " + ("its twin alone" if twin_only else "its text and its twin"))
        failed = 0
        for case in CASES:
            found = wrong(case, port, path, etag, twin, raw, twin_only)
            print(f"{case[0]}: " + ("; ".join(found) if found else "as it must be"))
            failed += bool(found)
        paths = [ROOT_IS_INDEX if page == "index.html" and p[1] == "/" else p for p in PATHS]
        for name, other, status, holds in paths:
            got, h, body = ask(port, other.format(page=page), {"Accept-Encoding": "gzip, br, *"})
            holds = holds.replace(b"{page}", page.encode())
            page_itself = holds == b"{twin}"
            ok = got == status and (body == twin if page_itself else holds in body)
            ok = ok and h.get("content-encoding") == (GZIP if page_itself else None)
            print(f"{name}: " + ("as it must be" if ok else f"status {got} {h}: {body[:200]}"))
            failed += not ok
        plain = twin if twin_only else raw  # what a client of no Accept-Encoding gets
        hostile = [pipelined(port, path, plain, etag), held_up(port, path, twin)]
        hostile += [served(port, other) for other in others]
        hostile += [refused(port, name, target.replace(b"{page}", page.encode()))
                    for name, target in FORBIDDEN]
        for name, found in hostile:
            print(f"{name}: " + (found or "as it must be"))
            failed += bool(found)
    finally:
        preview.kill()
        preview.wait()
    log = preview.stdout.read()
    found = [line for line in LOGGED if line.replace(b"{page}", page.encode()) not in log]
    found += [b"a forged line"] if (b"\n" + FORGED) in log else []
    print("log: " + (str(found) if found else "as it must be"))
    failed += bool(found)
    print(f"{len(CASES) + len(paths) + len(hostile) + 1 - failed} passed, {failed} failed")
    sys.exit(1 if failed else 0)


main()
