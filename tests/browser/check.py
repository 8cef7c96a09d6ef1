"""Renders every test page in headless Chromium from its file, from what a
program compiled with the generated header reads back out of the page's
array (both in one folder), and through the preview server built with the
header of tarvel -z, and checks that the text and a full-page screenshot
are the same. Through the server, the page must come gzip-compressed with
an ETag, and a reload must be answered with 304. Shows too that the check
tells pages apart: a page flattened by the plain line rules must not pass
it.

  check.py DUMP SERVER PAGE...
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
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
    """The page's text, and a screenshot of the whole page as PNG in base64."""
    driver.get(url)
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


def responses(driver, url):
    """The status and headers of each response to url since the last call,
    as they came over the network: a revalidated page is reported as 304."""
    urls, raw = {}, {}
    for entry in driver.get_log("performance"):
        message = json.loads(entry["message"])["message"]
        params = message["params"]
        if message["method"] == "Network.responseReceived":
            urls[params["requestId"]] = params["response"]["url"]
        elif message["method"] == "Network.responseReceivedExtraInfo":
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


def main():
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
