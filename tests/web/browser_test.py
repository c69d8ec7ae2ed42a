"""The leaderboard page in headless chromium at a phone's width: the rows a phone delivered,
a new score pushed and shown without a reload while `brindle serve` runs, a markup handle shown as text.
Keeps a screenshot as FOLDER/leaderboard.png.

usage: browser_test.py BRINDLE FOLDER"""
import os
import shutil
import subprocess
import sys

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

import harness

BRINDLE, FOLDER = sys.argv[1], sys.argv[2]
WIDTH, HEIGHT = 390, 844
SCORES = [
    (7, 4200, "Ann", "+447700900123"),
    (7, 3100, "<script>", "+447700900999"),
    (7, 2750, "Cy", "+447700900998"),
    (7, 900, "Ann", "+447700900123"),
    (-3, 5, "Bob\xe9", "+447700900123"),
]


def browser(profile):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("headless=new", "no-sandbox", "disable-gpu", "disable-quic", "no-first-run",
                 "disable-background-networking", "disable-component-update", "disable-sync",
                 "disable-dev-shm-usage", f"user-data-dir={profile}",
                 f"window-size={WIDTH},{HEIGHT}"):
        options.add_argument("--" + flag)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    # A phone's screen: headless windows are no narrower than 500 pixels.
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": WIDTH, "height": HEIGHT, "deviceScaleFactor": 1,
                            "mobile": True})
    return driver


def cells(driver, kind="handle"):
    """The texts of one column, read at once (the script may swap the board in between)."""
    return driver.execute_script(
        "return Array.from(document.querySelectorAll('main td." + kind + "'), c => c.textContent)")


def main():
    shutil.rmtree(FOLDER, ignore_errors=True)
    os.makedirs(FOLDER)
    db = os.path.join(FOLDER, "scores.sqlite")
    harness.fill(BRINDLE, FOLDER, db, SCORES)
    phone = harness.Phone(BRINDLE, FOLDER, "live")
    serve = subprocess.Popen([BRINDLE, "serve", "--port", phone.link, "--db", db],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    web = harness.Web(BRINDLE, db)
    profile = os.path.join(FOLDER, "chromium")
    driver = browser(profile)
    try:
        driver.get(web.url + "/")
        shown = (cells(driver), cells(driver, "rank"))
        assert shown == (["Bob\u00e9", "Ann", "<script>", "Cy"], ["1", "1", "2", "3"]), shown
        width = driver.execute_script(
            "return [document.documentElement.scrollWidth, window.innerWidth]")
        assert width[0] <= width[1] <= WIDTH, f"scrolls sideways: {width}"

        driver.execute_script("window.notReloaded = true")
        phone.deliver(harness.pdus.score_deliver(BRINDLE, 7, 5000, "Newcomer",
                                                 sender="+447700900555"))
        harness.wait_for(lambda: "Newcomer" in cells(driver), "the new score on the page")
        # Drawn by the page's script from the API: a handle is text there too.
        assert cells(driver) == ["Bob\u00e9", "Newcomer", "Ann", "<script>", "Cy"], cells(driver)
        assert not driver.execute_script("return document.querySelector('main script')")
        assert driver.execute_script("return window.notReloaded === true"), "the page reloaded"
        # Pushed by the event stream: the page never polled the scores API.
        assert not driver.execute_script("return performance.getEntriesByType('resource')"
                                         ".some(e => e.name.includes('/api/scores'))")
        driver.save_screenshot(os.path.join(FOLDER, "leaderboard.png"))
    finally:
        driver.quit()
        web.stop()
        serve.terminate()
        serve.wait(harness.WAIT)
        phone.stop()
    print("ok")


main()
