"""Renders every test page in headless Chromium twice, from its file and
from what a program compiled with the generated header reads back out of
the page's array, both in one folder, and checks that the text and a
full-page screenshot are the same. Shows first that the check tells pages
apart: a page flattened by the plain line rules must not pass it.

  check.py DUMP PAGE...
"""

import os
import shutil
import subprocess
import sys
import tempfile

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
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.set_page_load_timeout(60)
    return driver


def render(driver, path):
    """The page's text, and a screenshot of the whole page as PNG in base64."""
    driver.get("file://" + path)
    text = driver.execute_script("return document.body.innerText")
    size = driver.execute_cdp_cmd("Page.getLayoutMetrics", {})["cssContentSize"]
    clip = {"x": 0, "y": 0, "width": size["width"], "height": size["height"], "scale": 1}
    shot = driver.execute_cdp_cmd("Page.captureScreenshot", {
        "format": "png", "captureBeyondViewport": True, "clip": clip})["data"]
    return text, shot


def differences(driver, a, b):
    text_a, shot_a = render(driver, a)
    text_b, shot_b = render(driver, b)
    found = []
    if text_a != text_b:
        found.append("text")
    if shot_a != shot_b:
        found.append("screenshot")
    return found


def main():
    dump, pages = sys.argv[1], sys.argv[2:]
    with tempfile.TemporaryDirectory(prefix="tarvel_browser.") as folder:
        subprocess.run([dump, folder], check=True)
        driver = browser(folder)
        failed = False
        try:
            for page in pages:
                name = os.path.basename(page)[:-len(".html")]
                original = os.path.join(folder, name + ".html")
                shutil.copyfile(page, original)
                found = differences(driver, original,
                                    os.path.join(folder, name + ".from_header.html"))
                print(f"{name}: " + ("renders differently: " + ", ".join(found) if found
                                     else "renders the same"))
                failed |= bool(found)

            control = next(p for p in pages if b"<pre" in open(p, "rb").read())
            name = os.path.basename(control)[:-len(".html")]
            with open(control, "rb") as f:
                flat = flattened(f.read())
            with open(os.path.join(folder, name + ".flattened.html"), "wb") as f:
                f.write(flat)
            found = differences(driver, os.path.join(folder, name + ".html"),
                                os.path.join(folder, name + ".flattened.html"))
            if found:
                print(f"{name}, flattened: renders differently ({', '.join(found)}), as it must")
            else:
                print(f"{name}, flattened: renders the same, so this check tells nothing")
                failed = True
        finally:
            driver.quit()
    sys.exit(1 if failed else 0)


main()
