"""Asks the preview server for a page as HTTP clients do, one row of request
headers a case, and checks each answer as RFC 9110 has it: gzip only where
the request takes it, 304 for a request that names the ETag, and no other
coding than the firmware's own. / must be the page where it is index.html,
else link it, and an unknown path is not found.

  preview_http.py SERVER PAGE
"""

import gzip
import http.client
import subprocess
import sys

GZIP, RAW = "gzip", "raw"

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
]


# name, path, then the answer: status and bytes the body must hold ({page}
# the page's name, {raw} its raw string).
PATHS = [
    ("root_links_every_page", "/", 200, b'<a href="/{page}">'),
    ("unknown_path", "/nowhere.html", 404, b""),
]
# Where the page is index.html, / is that page.
ROOT_IS_INDEX = ("root_is_index_html", "/", 200, b"{raw}")


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


def wrong(case, port, path, etag, twin, raw):
    """What is wrong with the answer to one case."""
    name, headers, status, body = case
    got, h, data = ask(port, path, {k: v.format(etag=etag) for k, v in headers.items()})
    found = []
    if got != status:
        found.append(f"status {got}, not {status}")
    coding = h.get("content-encoding")
    if coding != (GZIP if body == GZIP else None):
        found.append(f"Content-Encoding {coding}")
    if (body == GZIP or status == 304) != (h.get("etag") == etag):
        found.append(f"ETag {h.get('etag')}")
    if body is None and data:
        found.append("a body")
    if body == GZIP and data != twin or body == RAW and data != raw:
        found.append("other bytes than the page's")
    length = h.get("content-length")
    expected = len(twin if body == GZIP or status == 304 else raw)
    if length is not None and int(length) != expected:
        found.append(f"Content-Length {length}, where the page has {expected}")
    return found


def main():
    server, page = sys.argv[1], sys.argv[2]
    preview = subprocess.Popen([server, "0"], stdout=subprocess.PIPE)
    try:
        # "Serving N pages on http://127.0.0.1:PORT/"
        port = int(preview.stdout.readline().decode().split(":")[-1].strip("/\n"))
        path = "/" + page
        _, h, twin = ask(port, path, {"Accept-Encoding": "gzip"})
        etag, raw = h["etag"], gzip.decompress(twin)
        failed = 0
        for case in CASES:
            found = wrong(case, port, path, etag, twin, raw)
            print(f"{case[0]}: " + ("; ".join(found) if found else "as it must be"))
            failed += bool(found)
        paths = [ROOT_IS_INDEX if page == "index.html" and p[1] == "/" else p for p in PATHS]
        for name, other, status, holds in paths:
            got, _, body = ask(port, other, {})
            holds = holds.replace(b"{page}", page.encode())
            ok = got == status and (body == raw if holds == b"{raw}" else holds in body)
            print(f"{name}: " + ("as it must be" if ok else f"status {got}: {body[:200]}"))
            failed += not ok
        print(f"{len(CASES) + len(paths) - failed} passed, {failed} failed")
        sys.exit(1 if failed else 0)
    finally:
        preview.kill()
        preview.wait()


main()
