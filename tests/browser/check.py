"""Renders every test page in headless Chromium from its file, from what a
program compiled with the generated header reads back out of the page's
array (both in one folder), and through the preview server built with the
header of tarvel -z, and checks that the text and a full-page screenshot
are the same. Through the server, the page must come gzip-compressed with
an ETag, and a reload must be answered with 304. Shows too that the check
tells pages apart: a page flattened by the plain line rules must not pass
it.

  check.py DUMP SERVER PAGE...

With --ui, it renders the web UI in FOLDER through the preview server built
with its header of tarvel -a -z, and through a plain static file server
over the same folder: the screenshots must be the same, and no request may
fail. Each file must come with its type, its twin only where it has one
and the client takes gzip, its ETag and 304, and HEAD without a body. A
render with the font held back must differ, to show the check can fail.

  check.py --ui SERVER FOLDER
"""

import gzip
import json
import os
import shutil
import subprocess
import sys
import tempfile
import urllib.error
import urllib.parse
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service


def flattened(page):
    """The page as the plain line rules give it, preformatted text or not."""
    lines = []
    for line in page.split(b"\n"):
        if line.endswith(b"\r"):
            line = line[:-1]
        if line:
            lines.append(line.lstrip(b" \t\r"))
    return b"\n".join(lines) + b"\n"


def browser(folder):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                 "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--hide-scrollbars",
                 "--force-device-scale-factor=1", "--window-size=1024,768",
                 "--user-data-dir=" + os.path.join(folder, "profile")):
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"performance": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.set_page_load_timeout(60)
    return driver


def render(driver, url):
    """The page's text, and a screenshot of the whole page as PNG in base64,
    once its fonts and images are in."""
    driver.get(url)
    driver.execute_async_script(
        "const done = arguments[arguments.length - 1];"
        "Promise.all([document.fonts.ready, ...[...document.images].map(i => i.decode()"
        ".catch(() => null))]).then(() => done())")
    text = driver.execute_script("return document.body.innerText")
    size = driver.execute_cdp_cmd("Page.getLayoutMetrics", {})["cssContentSize"]
    clip = {"x": 0, "y": 0, "width": size["width"], "height": size["height"], "scale": 1}
    shot = driver.execute_cdp_cmd("Page.captureScreenshot", {
        "format": "png", "captureBeyondViewport": True, "clip": clip})["data"]
    return text, shot


def differences(driver, a, b):
    """How the pages at the URLs a and b render differently."""
    text_a, shot_a = render(driver, a)
    text_b, shot_b = render(driver, b)
    found = []
    if text_a != text_b:
        found.append("text")
    if shot_a != shot_b:
        found.append("screenshot")
    return found


def network_log(driver):
    """The browser's network events since the last call: method, params."""
    for entry in driver.get_log("performance"):
        message = json.loads(entry["message"])["message"]
        yield message["method"], message["params"]


def responses(driver, url):
    """The status and headers of each response to url since the last call,
    as they came over the network: a revalidated page is reported as 304."""
    urls, raw = {}, {}
    for method, params in network_log(driver):
        if method == "Network.responseReceived":
            urls[params["requestId"]] = params["response"]["url"]
        elif method == "Network.responseReceivedExtraInfo":
            headers = {k.lower(): v for k, v in params["headers"].items()}
            raw[params["requestId"]] = (params["statusCode"], headers)
    return [raw[r] for r, u in urls.items() if u == url and r in raw]


def served(driver, url, raw):
    """What is wrong with the way the server sends the page at url, whose
    raw string is raw: gzip with an ETag to the browser, 304 on a reload,
    the raw string to a client that does not take gzip."""
    wrong = []
    driver.execute_cdp_cmd("Network.clearBrowserCache", {})
    responses(driver, url)
    driver.get(url)
    first = [(s, h.get("content-encoding"), "etag" in h) for s, h in responses(driver, url)]
    if first != [(200, "gzip", True)]:
        wrong.append(f"first load: {first}, not gzip with an ETag")
    driver.refresh()
    again = [s for s, h in responses(driver, url)]
    if again != [304]:
        wrong.append(f"reload answered with {again}, not 304")
    with urllib.request.urlopen(url) as plain:
        if plain.headers.get("Content-Encoding") or plain.read() != raw:
            wrong.append("without gzip, not the raw string")
    return wrong


# The types of the files of the test UI.
TYPES = {".html": "text/html", ".css": "text/css", ".js": "text/javascript",
         ".svg": "image/svg+xml", ".png": "image/png", ".woff2": "font/woff2",
         ".ico": "image/x-icon"}


def ask(url, method="GET", headers=None):
    request = urllib.request.Request(url, method=method, headers=headers or {})
    try:
        with urllib.request.urlopen(request) as r:
            return r.status, {k.lower(): v for k, v in r.headers.items()}, r.read()
    except urllib.error.HTTPError as e:
        return e.code, {k.lower(): v for k, v in e.headers.items()}, e.read()


def served_file(base, folder, path):
    """What is wrong with the way the preview serves the file at path: its
    bytes as they are (a page as the line rules leave it), or its twin alone
    where that is smaller, which a client that refuses gzip cannot have."""
    with open(os.path.join(folder, path), "rb") as f:
        data = f.read()
    url = base + urllib.parse.quote(path)
    wrong = []
    status, h, body = ask(url, headers={"Accept-Encoding": "gzip"})
    if status != 200 or h.get("content-type") != TYPES[os.path.splitext(path)[1]]:
        wrong.append(f"{status} {h.get('content-type')}")
    twin = h.get("content-encoding") == "gzip"
    if path.endswith(".html"):
        data = gzip.decompress(body) if twin else body
    if (gzip.decompress(body) if twin else body) != data or (twin and len(body) >= len(data)):
        wrong.append("not its bytes, or a twin no smaller")
    status, plain, refused = ask(url)  # urllib asks for identity alone
    if twin and status != 406 or not twin and (plain.get("content-encoding") or refused != data):
        wrong.append(f"without gzip, {status}, not " + ("406" if twin else "its bytes"))
    if twin and ask(url, headers={"Accept-Encoding": ""})[0] != 406:
        wrong.append("an empty Accept-Encoding takes no gzip, yet the twin came")
    if ask(url, headers={"Accept-Encoding": "gzip", "If-None-Match": h.get("etag", "")})[0] != 304:
        wrong.append("no 304 for its ETag")
    status, head, body = ask(url, "HEAD", {"Accept-Encoding": "gzip"})
    if body or {k: v for k, v in head.items() if k != "date"} != \
            {k: v for k, v in h.items() if k != "date"}:
        wrong.append("HEAD not as GET")
    return wrong


def failed_requests(driver, bases):
    """The requests of the last loads to the servers at bases that failed or
    were answered with an error, from the browser's network log. Chromium
    asks elsewhere of its own accord too, with no page's request logged."""
    urls, failed = {}, []
    for method, params in network_log(driver):
        if method == "Network.requestWillBeSent":
            urls[params["requestId"]] = params["request"]["url"]
        elif method == "Network.loadingFailed":
            failed.append((params["requestId"], params.get("errorText")))
        elif method == "Network.responseReceived" and params["response"]["status"] >= 400:
            failed.append((params["requestId"], params["response"]["status"]))
    return [f"{why} {urls[r]}" for r, why in failed
            if any(urls.get(r, "").startswith(b) for b in bases)]


def check_ui(server, folder):
    with tempfile.TemporaryDirectory(prefix="tarvel_ui.") as scratch:
        preview = subprocess.Popen([server, "0"], stdout=subprocess.PIPE)
        plain = subprocess.Popen([sys.executable, "-u", "-m", "http.server", "0", "--bind",
                                  "127.0.0.1", "--directory", folder],
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        driver = None
        found = []
        try:
            # "Serving N files on http://127.0.0.1:PORT/"
            base = preview.stdout.readline().decode().split()[-1]
            # "Serving HTTP on 127.0.0.1 port PORT (http://127.0.0.1:PORT/) ..."
            files_base = plain.stdout.readline().decode().split("(")[1].split(")")[0]
            driver = browser(scratch)
            for path in ["", "docs/"]:
                list(network_log(driver))  # what came before
                found += [f"/{path} renders with another {d}" for d in
                          differences(driver, files_base + path, base + path)]
                found += [f"/{path}: a failed request: {r}"
                          for r in failed_requests(driver, [base, files_base])]
                if "the script ran" not in render(driver, base + path)[0] and not path:
                    found.append("/: the script did not run")
            for top, dirs, names in os.walk(folder):
                for name in names:
                    path = os.path.relpath(os.path.join(top, name), folder)
                    found += [f"/{path}: {w}" for w in served_file(base, folder, path)]
            if ask(base + "nowhere.css")[0] != 404:
                found.append("/nowhere.css: no 404")
            # The same page without its font must look otherwise.
            driver.execute_cdp_cmd("Network.enable", {})
            driver.execute_cdp_cmd("Network.setBlockedURLs", {"urls": ["*.woff2"]})
            _, shot = render(driver, files_base)
            driver.execute_cdp_cmd("Network.setBlockedURLs", {"urls": []})
            if shot == render(driver, files_base)[1]:
                found.append("the font held back, the page looks the same: this check tells nothing")
        finally:
            if driver:
                driver.quit()
            for server_process in (preview, plain):
                server_process.kill()
                server_process.wait()
    print("\n".join(found) if found else
          "the UI renders through the preview as from a file server, every file served as it must be")
    sys.exit(1 if found else 0)


def main():
    if sys.argv[1] == "--ui":
        check_ui(sys.argv[2], sys.argv[3])
    dump, server, pages = sys.argv[1], sys.argv[2], sys.argv[3:]
    with tempfile.TemporaryDirectory(prefix="tarvel_browser.") as folder:
        subprocess.run([dump, folder], check=True)
        preview = subprocess.Popen([server, "0"], stdout=subprocess.PIPE)
        driver = None
        failed = False
        try:
            # "Serving N pages on http://127.0.0.1:PORT/"
            base = preview.stdout.readline().decode().split()[-1]
            driver = browser(folder)
            for page in pages:
                name = os.path.basename(page)[:-len(".html")]
                original = os.path.join(folder, name + ".html")
                shutil.copyfile(page, original)
                from_header = os.path.join(folder, name + ".from_header.html")
                url = base + name + ".html"
                found = [f"its array renders with another {d}" for d in
                         differences(driver, "file://" + original, "file://" + from_header)]
                found += [f"through the server it renders with another {d}" for d in
                          differences(driver, "file://" + original, url)]
                with open(from_header, "rb") as f:
                    found += served(driver, url, f.read())
                print(f"{name}: " + ("; ".join(found) if found
                                     else "renders the same, also through the server"))
                failed |= bool(found)

            control = next(p for p in pages if b"<pre" in open(p, "rb").read())
            name = os.path.basename(control)[:-len(".html")]
            with open(control, "rb") as f:
                flat = flattened(f.read())
            with open(os.path.join(folder, name + ".flattened.html"), "wb") as f:
                f.write(flat)
            found = differences(driver, "file://" + os.path.join(folder, name + ".html"),
                                "file://" + os.path.join(folder, name + ".flattened.html"))
            if found:
                print(f"{name}, flattened: renders differently ({', '.join(found)}), as it must")
            else:
                print(f"{name}, flattened: renders the same, so this check tells nothing")
                failed = True
        finally:
            if driver:
                driver.quit()
            preview.kill()
            preview.wait()
    sys.exit(1 if failed else 0)


main()
