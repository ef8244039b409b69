"""ticora-fleet --http against a private depot broker with one unit played by retained
messages: the JSON and its live stream, refusals of bad requests, and /metrics as
promtool and a real Prometheus on 127.0.0.1 read it.

usage: tst_fleetweb.py TICORA_FLEET_BINARY"""

import json
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import urllib.parse
import urllib.request
import zlib

from fleetfixture import Broker, EventStream, Fleet, Responder, TIMEOUT, free_port, publish, wait_for

FLEET = sys.argv[1]
SERIAL = "K12345678"
HEALTH = {"screen": "ScanScreens", "validatorStatus": "online", "validatorReason": "", "uptimeSec": 40,
          "counts": {"valid": 3, "alreadyValid": 1, "refused": 2, "retry": 0},
          "lastValidation": "2026-12-09T19:30:00+01:00", "technician": False,
          "eventLogFreeBytes": 123456789, "mqttReconnects": 0}


def play_unit(port):
    base = "fleet/%s/" % SERIAL
    publish(port, base + "info", '{"version": "1.0.21"}')
    publish(port, base + "status", '{"service": true, "technician": false}')
    publish(port, base + "health", json.dumps(HEALTH))
    publish(port, base + "config", '{"gui": {"displayOffMin": 5, "settingsPin": "********"}}')


def api_and_stream(fleet, broker):
    unit = wait_for(lambda: fleet.unit(SERIAL), "the unit in /api/units")
    assert (unit["state"], unit["screen"], unit["version"]) == ("running", "ScanScreens", "1.0.21"), unit
    details = fleet.json("/api/units/" + SERIAL)
    assert details["health"]["counts"]["refused"] == 2, details
    assert details["config"]["gui"]["settingsPin"] == "********", details

    # Counts that rise while the depot watches land in this hour's bar.
    stream = EventStream(fleet.port)
    wait_for(lambda: b"retry:" in stream.read(), "the stream to open")
    publish(broker.port, "fleet/%s/health" % SERIAL,
            json.dumps(dict(HEALTH, counts={"valid": 7, "alreadyValid": 1, "refused": 2, "retry": 0})))
    publish(broker.port, "fleet/%s/status" % SERIAL, '{"service": false}')
    def stopped_on_stream():
        for block in stream.read().split(b"\n\n"):
            if block.startswith(b"event: units\ndata: "):
                for u in json.loads(block.split(b"data: ", 1)[1])["units"]:
                    if u["serial"] == SERIAL and u["state"] == "stopped":
                        return u
        return None
    unit = wait_for(stopped_on_stream, "the stopped unit on the event stream")
    assert unit["validationsToday"] == 4 and sum(unit["hourly"]) == 4, unit
    stream.close()

    # A garbled health report is logged and changes nothing; the next good message still counts.
    publish(broker.port, "fleet/%s/health" % SERIAL, '{"screen": "Sett', retain=False)
    publish(broker.port, "fleet/%s/status" % SERIAL, '{"service": true, "technician": false}')
    unit = wait_for(lambda: (lambda u: u if u["state"] == "running" else None)(fleet.unit(SERIAL)), "running again")
    assert unit["screen"] == "ScanScreens" and unit["validationsToday"] == 4, unit


def png_picture():
    """A 1 x 1 PNG: the service passes a unit's picture on byte for byte."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 1, 1, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(b"\x00\xff\x00\x00")) + chunk(b"IEND", b""))


def requests_answered(fleet, broker):
    """The screen and the event log on request, through the page's API and the command line."""
    base = "fleet/%s/" % SERIAL
    unit = Responder(broker.port, [base + "screenshot/get", base + "events/get"])
    events = {"events": [{"category": "Validation", "name": "Valid", "description": "card 1234",
                          "time": "2026-12-09T19:31:00+01:00"}]}
    try:
        unit.answers[base + "events/get"] = (base + "events", json.dumps(events).encode())
        status, body = fleet.request("GET", "/api/units/%s/events?since=2026-12-09T08:00:00%%2B01:00&max=999" % SERIAL)
        assert status == 200 and json.loads(body) == events, (status, body)
        # The time passes unchanged and the count is clamped to what one answer holds.
        assert json.loads(unit.last(base + "events/get")) == {"since": "2026-12-09T08:00:00+01:00", "max": 200}
        cli = subprocess.run([FLEET, "-P", str(broker.port), "--events", SERIAL, "--max", "3", "--wait", "30"],
                             capture_output=True, text=True, timeout=TIMEOUT)
        assert cli.returncode == 0 and "Validation" in cli.stdout and "card 1234" in cli.stdout, cli
        assert json.loads(unit.last(base + "events/get")) == {"max": 3}

        picture = png_picture()
        unit.answers[base + "screenshot/get"] = (base + "screenshot", picture)
        status, body = fleet.request("GET", "/api/units/%s/screenshot" % SERIAL)
        assert status == 200 and body == picture, (status, body[:40])
        shot = os.path.join(tempfile.mkdtemp(prefix="shot-"), "screen.png")
        cli = subprocess.run([FLEET, "-P", str(broker.port), "--screenshot", SERIAL, shot, "--wait", "30"],
                             capture_output=True, text=True, timeout=TIMEOUT)
        assert cli.returncode == 0, cli
        with open(shot, "rb") as f:
            assert f.read() == picture
        shutil.rmtree(os.path.dirname(shot))

        # A refusal reaches whoever asked; so does something that is no picture.
        unit.answers[base + "screenshot/get"] = (base + "screenshot/error", b'{"error": "PIN page shown"}')
        status, body = fleet.request("GET", "/api/units/%s/screenshot" % SERIAL)
        assert status == 409 and json.loads(body)["error"] == "PIN page shown", (status, body)
        cli = subprocess.run([FLEET, "-P", str(broker.port), "--screenshot", SERIAL, "x.png", "--wait", "30"],
                             capture_output=True, text=True, timeout=TIMEOUT)
        assert cli.returncode == 1 and "PIN page shown" in cli.stderr, cli
        unit.answers[base + "screenshot/get"] = (base + "screenshot", b"<html>not a picture</html>")
        status, body = fleet.request("GET", "/api/units/%s/screenshot" % SERIAL)
        assert status == 409, (status, body)
    finally:
        unit.stop()


def bad_requests(fleet, token):
    good = {"Authorization": "Bearer " + token, "Content-Type": "application/json"}
    config = "/api/units/%s/config" % SERIAL
    cases = [
        ("unknown path", "GET", "/nothing/here", None, {}, 404),
        ("unknown unit", "GET", "/api/units/K00000000", None, {}, 404),
        ("wrong method", "DELETE", "/api/units", None, {}, 405),
        ("no token", "POST", config, b'{"gui": {"displayOffMin": 3}}', {}, 401),
        ("wrong token", "POST", config, b'{"gui": {"displayOffMin": 3}}', dict(good, Authorization="Bearer x" + token), 401),
        ("bad JSON", "POST", config, b'{"gui": {"displayOffMin": ', good, 400),
        ("not a change", "POST", config, b'{"gui": 3}', good, 400),
        ("oversized body", "POST", config, b'{"gui": {"x": "' + b"a" * 100000 + b'"}}', good, 413),
        ("bad events query", "GET", "/api/units/%s/events?since=yesterday" % SERIAL, None, {}, 400),
        ("oversized header", "GET", "/api/units", None, {"X-Filler": "b" * 40000}, 431),
    ]
    for name, method, path, body, headers, expected in cases:
        status, text = fleet.request(method, path, body, headers)
        assert status == expected, "%s: %d %r" % (name, status, text[:200])
        if status != 431:
            assert "error" in json.loads(text), name
    # Connections beyond the limit for one client are closed at once; the others are served.
    held = [socket.create_connection(("127.0.0.1", fleet.port), TIMEOUT) for _ in range(140)]
    def refused(sock):
        sock.settimeout(0.1)
        try:
            return sock.recv(1) == b""
        except socket.timeout:
            return False
        except ConnectionResetError:
            return True
    wait_for(lambda: any(refused(sock) for sock in held[-12:]), "a connection beyond the limit to be closed")
    for sock in held:
        sock.close()
    # Once it has seen them go, it serves again, and a good change goes out.
    wait_for(lambda: fleet.request("GET", "/api/units", timeout=5)[0] == 200, "the server to serve again")
    status, text = fleet.request("POST", config, b'{"gui": {"displayOffMin": 3}}', good)
    assert status == 202, text


def metrics(fleet):
    status, text = fleet.request("GET", "/metrics")
    assert status == 200
    for line in ('ticora_unit_up{serial="%s"} 1' % SERIAL, 'ticora_validations_total{serial="%s",result="refused"} 2' % SERIAL,
                 'ticora_unit_state{serial="%s",state="running"} 1' % SERIAL, "ticora_fleet_units 1",
                 'ticora_build_info{serial="%s",version="1.0.21"} 1' % SERIAL):
        assert line.encode() in text, line
    promtool = shutil.which("promtool")
    prometheus = shutil.which("prometheus")
    if not promtool or not prometheus:
        print("SKIP: promtool or prometheus is not installed; the exposition format was not checked")
        return
    checked = subprocess.run([promtool, "check", "metrics"], input=text, capture_output=True, timeout=TIMEOUT)
    assert checked.returncode == 0, checked.stdout + checked.stderr

    work = tempfile.mkdtemp(prefix="prometheus-")
    port = free_port()
    with open(os.path.join(work, "prometheus.yml"), "w") as f:
        f.write("global:\n  scrape_interval: 1s\nscrape_configs:\n  - job_name: ticora-fleet\n"
                "    static_configs:\n      - targets: ['127.0.0.1:%d']\n" % fleet.port)
    server = subprocess.Popen([prometheus, "--config.file=" + os.path.join(work, "prometheus.yml"),
                               "--storage.tsdb.path=" + os.path.join(work, "data"),
                               "--web.listen-address=127.0.0.1:%d" % port],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    def query(expression):
        url = "http://127.0.0.1:%d/api/v1/query?query=%s" % (port, urllib.parse.quote(expression))
        with urllib.request.urlopen(url, timeout=5) as r:
            result = json.load(r)["data"]["result"]
        return result[0]["value"][1] if result else None
    try:
        wait_for(lambda: query('up{job="ticora-fleet"}') == "1", "Prometheus to scrape ticora-fleet", 120)
        wait_for(lambda: query('ticora_unit_up{serial="%s"}' % SERIAL) == "1", "the unit's figure in Prometheus", 60)
    finally:
        server.terminate()
        server.wait(30)
        shutil.rmtree(work, ignore_errors=True)


def main():
    broker = Broker()
    broker.start()
    play_unit(broker.port)
    work = tempfile.mkdtemp(prefix="fleetweb-")
    token = "t0ken-for-the-depot-page-" + str(os.getpid())
    with open(os.path.join(work, "token"), "w") as f:
        f.write(token + "\n")
    fleet = Fleet(FLEET, broker.port, ["--http-token-file", os.path.join(work, "token")])
    try:
        api_and_stream(fleet, broker)
        requests_answered(fleet, broker)
        bad_requests(fleet, token)
        metrics(fleet)
    finally:
        log = fleet.stop()
        broker.stop()
        shutil.rmtree(work, ignore_errors=True)
    # Every change is logged by key; never with its value.
    assert "configuration change for %s from 127.0.0.1: gui/displayOffMin" % SERIAL in log, log
    assert "wrong token" in log and token not in log, log
    assert "%s sent bad JSON on health" % SERIAL in log, log
    print("PASS")


if __name__ == "__main__":
    main()
