"""Milliseconds from navigation to the depot page showing all its tiles, in headless Chromium.

usage: bench-fleet-page.py URL UNITS   (prints "-" when Chromium, its driver or Selenium is missing)"""

import os
import shutil
import sys
import tempfile
import time

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
except ImportError:
    print("-")
    sys.exit(0)

url, units = sys.argv[1], int(sys.argv[2])
if not (os.access("/usr/bin/chromium", os.X_OK) and os.access("/usr/bin/chromedriver", os.X_OK)):
    print("-")
    sys.exit(0)
profile = tempfile.mkdtemp(prefix="chromium-")
options = webdriver.ChromeOptions()
options.binary_location = "/usr/bin/chromium"
for arg in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
            "--disable-background-networking", "--disable-component-update", "--disable-sync",
            "--disable-dev-shm-usage", "--window-size=1280,800", "--user-data-dir=" + profile):
    options.add_argument(arg)
driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
try:
    figures = []
    for _ in range(3):
        driver.get(url)
        end = time.monotonic() + 120
        while True:
            # Tiles in the document and drawn: the next animation frame has run.
            shown = driver.execute_async_script(
                "const done = arguments[arguments.length - 1];"
                "requestAnimationFrame(() => done([document.querySelectorAll('.tile').length, performance.now()]));")
            if shown[0] >= units or time.monotonic() > end:
                break
            time.sleep(0.02)
        figures.append(shown[1] if shown[0] >= units else float("inf"))
    print("%.0f ms" % sorted(figures)[1])
finally:
    driver.quit()
    shutil.rmtree(profile, ignore_errors=True)
