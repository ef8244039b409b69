"""The depot page in headless Chromium, watching the real panel bridged through two
brokers (the unit's, with the shipped bridge example, TLS left out; the depot's, with
per-unit logins and the shipped access list), all on 127.0.0.1.

usage: tst_fleetbrowser.py --fleet BIN --panel BIN --examples DIR [--shot PAGE.png]"""

import argparse
import json
import os
import re
import shutil
import signal
import subprocess
import tempfile

from fleetfixture import Broker, Fleet, TIMEOUT, publish, skip, wait_for

SERIAL = "K12345678"
CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
except ImportError:
    skip("python3-selenium is not installed")


def bridge_config(examples, depot_port):
    """The shipped bridge example as a unit installs it, pointed at the test's depot without TLS."""
    with open(os.path.join(examples, "ticora-bridge.conf")) as f:
        text = f.read()
    text = re.sub(r"(?m)^bridge_(cafile|certfile|keyfile|tls_version) .*$", "", text)
    text = re.sub(r"(?m)^address .*$", "address 127.0.0.1:%d" % depot_port, text)
    return text.replace("SERIAL", SERIAL).replace("CHANGE-ME", "unit-secret")


def start_panel(binary, state, port):
    env = dict(os.environ, TICORA_EVENT_LOG=os.path.join(state, "events.ini"))
    return subprocess.Popen([binary, "-H", "127.0.0.1", "-P", str(port)], cwd=state, env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def browser(profile):
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for arg in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                "--disable-background-networking", "--disable-component-update", "--disable-sync",
                "--disable-dev-shm-usage", "--window-size=1280,800",
                "--user-data-dir=" + profile):
        options.add_argument(arg)
    return webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)


def tile_state(driver):
    return driver.execute_script("const t = document.getElementById(arguments[0]); return t && t.dataset.state;",
                                 "unit-" + SERIAL)


def config_row_shows(driver, key, value):
    # Read in one script: the page redraws the table while it refreshes the details.
    rows = driver.execute_script("return [...document.querySelectorAll('#config tr')]"
                                 ".map((r) => [...r.cells].map((c) => c.textContent));")
    return [key, value] in rows


def take_picture(driver, depot_port, path):
    """The page for the README, with a few more units (played by retained messages) beside the real one."""
    others = [("K12345601", '{"service": false}', "ScanScreens"), ("K12345602", None, None),
              ("K12345603", '{"service": true, "technician": true}', "Settings"),
              ("K12345604", '{"service": true, "technician": false}', "ScanScreens"),
              ("K12345605", '{"service": true, "technician": false}', "Valid")]
    for serial, status, screen in others:
        base = "fleet/%s/" % serial
        publish(depot_port, base + "bridge", "1" if status else "0", user="depot", password="depot-secret")
        if status:
            publish(depot_port, base + "info", '{"version": "1.0.21"}', user="depot", password="depot-secret")
            publish(depot_port, base + "status", status, user="depot", password="depot-secret")
            # Counts that rise while the page watches fill this hour's bar.
            for valid in (0, len(serial) * int(serial[-1])):
                publish(depot_port, base + "health", json.dumps({"screen": screen, "counts": {"valid": valid}}),
                        user="depot", password="depot-secret", retain=False)
    wait_for(lambda: len(driver.find_elements(By.CSS_SELECTOR, ".tile")) == 1 + len(others), "the extra tiles")
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": 1280, "height": 800, "deviceScaleFactor": 1, "mobile": False})
    driver.execute_script("window.scrollTo(0, 0)")
    driver.save_screenshot(path)
    print("page picture: " + path)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--fleet", required=True)
    parser.add_argument("--panel", required=True)
    parser.add_argument("--examples", required=True)
    parser.add_argument("--shot")
    args = parser.parse_args()
    args.fleet, args.panel = os.path.abspath(args.fleet), os.path.abspath(args.panel)
    for program in (CHROMIUM, CHROMEDRIVER):
        if not os.access(program, os.X_OK):
            skip(program + " is not installed")
    if not shutil.which("mosquitto_passwd"):
        skip("mosquitto_passwd is not installed")

    work = tempfile.mkdtemp(prefix="fleetbrowser-")
    passwd = os.path.join(work, "passwd")
    with open(passwd, "w") as f:
        f.write("%s:unit-secret\ndepot:depot-secret\n" % SERIAL)
    subprocess.run(["mosquitto_passwd", "-U", passwd], check=True, timeout=TIMEOUT)
    token = "browser-test-token-%d" % os.getpid()
    with open(os.path.join(work, "token"), "w") as f:
        f.write(token)
    state = os.path.join(work, "unit")
    os.mkdir(state)
    with open(os.path.join(state, "serialnumber"), "w") as f:
        f.write(SERIAL + "\n")
    with open(os.path.join(state, "gui.conf"), "w") as f:
        f.write("[gui]\ndeviceId=%s\n" % os.path.join(state, "serialnumber"))

    depot = Broker("password_file %s\nacl_file %s\n" % (passwd, os.path.join(args.examples, "ticora-fleet.acl")))
    depot.start()
    unit = Broker(bridge_config(args.examples, depot.port))
    unit.start()
    login = ["-u", "depot", "-p", "depot-secret", "--interval", "5"]
    fleet = Fleet(args.fleet, depot.port, login + ["--http-token-file", os.path.join(work, "token")])
    panel = start_panel(args.panel, state, unit.port)
    driver = browser(os.path.join(work, "chromium"))
    readonly = None
    try:
        driver.get(fleet.url + "/")
        wait_for(lambda: tile_state(driver) == "running", "the unit's tile to show running", 120)
        print("tile: running")

        # Details, and the unit's screen at its real size.
        driver.find_element(By.ID, "unit-" + SERIAL).click()
        wait_for(lambda: driver.find_element(By.ID, "config-form").is_displayed(), "the configuration form")
        wait_for(lambda: config_row_shows(driver, "gui/deviceId", os.path.join(state, "serialnumber")),
                 "the unit's configuration on the page")
        # The panel refuses a second picture within 5 s of the first; the page says why.
        def screen_shown():
            driver.find_element(By.ID, "show-screen").click()
            return wait_for(lambda: driver.execute_script(
                "const i = document.getElementById('screen-img');"
                "const m = document.getElementById('screen-message').textContent;"
                "return !i.hidden && i.complete ? [i.naturalWidth, i.naturalHeight]"
                " : (m.startsWith('No picture') ? m : null);"), "an answer to Show screen", 30)
        size = screen_shown()
        if isinstance(size, str):
            print("screen: first answer was '%s'; asking again" % size)
            size = wait_for(lambda: (lambda s: s if isinstance(s, list) else None)(screen_shown()),
                            "a picture of the unit's screen", 60)
        assert size == [480, 800], size
        rendered = driver.execute_script("const i = document.getElementById('screen-img');"
                                         "return [i.clientWidth, i.clientHeight];")
        assert rendered == [480, 800], rendered
        print("screen: 480 x 800 at real size")

        # A change with the token reaches the unit's published configuration.
        driver.find_element(By.ID, "config-key").send_keys("gui/displayOffMin")
        driver.find_element(By.ID, "config-value").send_keys("7")
        driver.find_element(By.ID, "config-token").send_keys(token)
        driver.find_element(By.ID, "config-apply").click()
        wait_for(lambda: str(fleet.json("/api/units/" + SERIAL)["config"]["gui"].get("displayOffMin")) == "7",
                 "the unit to publish displayOffMin = 7")
        wait_for(lambda: config_row_shows(driver, "gui/displayOffMin", "7"), "the page to show displayOffMin = 7")
        print("configuration: applied with the token")
        if args.shot:
            take_picture(driver, depot.port, args.shot)

        # A dead panel leaves its will: the tile turns stopped, then running after a restart.
        panel.send_signal(signal.SIGKILL)
        panel.wait(TIMEOUT)
        wait_for(lambda: tile_state(driver) == "stopped", "the tile to show stopped", 30)
        print("tile: stopped")
        panel = start_panel(args.panel, state, unit.port)
        wait_for(lambda: tile_state(driver) == "running", "the tile to show running again", 120)
        print("tile: running again")

        # Without a token file the page offers no change, and the server refuses one.
        readonly = Fleet(args.fleet, depot.port, login)
        driver.get(readonly.url + "/")
        wait_for(lambda: "read-only" in driver.find_element(By.ID, "summary").text, "the read-only summary")
        wait_for(lambda: tile_state(driver) == "running", "the tile on the read-only page")
        driver.find_element(By.ID, "unit-" + SERIAL).click()
        wait_for(lambda: driver.find_element(By.ID, "details").is_displayed(), "the details")
        assert not driver.find_element(By.ID, "config-form").is_displayed()
        status, _ = readonly.request("POST", "/api/units/%s/config" % SERIAL, json.dumps({"gui": {"displayOffMin": 3}}),
                                     {"Authorization": "Bearer " + token})
        assert status == 403, status
        print("read-only: no form, 403")
    finally:
        driver.quit()
        panel.kill()
        panel.wait(TIMEOUT)
        if readonly:
            readonly.stop()
        fleet.stop()
        unit.stop()
        depot.stop()
        shutil.rmtree(work, ignore_errors=True)
    print("PASS")


if __name__ == "__main__":
    main()
