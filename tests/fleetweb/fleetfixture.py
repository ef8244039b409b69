"""Private brokers, ticora-fleet and HTTP helpers for the depot web tests.

Like tests/support/Broker: every mosquitto is a foreground child with its own
configuration on a free 127.0.0.1 port, never the system service. Waits are for
conditions, with generous limits, never fixed sleeps that the result depends on."""

import http.client
import json
import os
import pwd
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

SKIP = 77  # the test's SKIP_RETURN_CODE
TIMEOUT = 60


def skip(why):
    print("SKIP: " + why)
    sys.exit(SKIP)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(condition, what, timeout=TIMEOUT):
    """Polls CONDITION until it gives something true; fails the test after TIMEOUT seconds."""
    end = time.monotonic() + timeout
    while True:
        try:
            value = condition()
        except (OSError, http.client.HTTPException, ValueError):
            value = None
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.1)


class Broker:
    def __init__(self, extra=""):
        self.dir = tempfile.mkdtemp(prefix="broker-")
        self.port = free_port()
        self.extra = extra
        self.process = None

    def start(self):
        exe = shutil.which("mosquitto") or "/usr/sbin/mosquitto"
        if not os.path.exists(exe):
            skip("mosquitto is not installed")
        conf = os.path.join(self.dir, "mosquitto.conf")
        with open(conf, "w") as f:
            f.write("listener %d 127.0.0.1\npersistence false\n" % self.port)
            # As whoever runs the test, so the broker reads the files in our temporary folders.
            f.write("user %s\n" % pwd.getpwuid(os.getuid()).pw_name)
            if "password_file" not in self.extra:
                f.write("allow_anonymous true\n")
            f.write(self.extra)
        log = os.path.join(self.dir, "mosquitto.log")
        with open(log, "w") as out:
            self.process = subprocess.Popen([exe, "-c", conf], stdout=out, stderr=subprocess.STDOUT)
        def up():
            if self.process.poll() is not None:
                with open(log) as f:
                    raise AssertionError("mosquitto ended: " + f.read())
            socket.create_connection(("127.0.0.1", self.port), 1).close()
            return True
        wait_for(up, "the broker", 20)

    def stop(self):
        if self.process:
            self.process.terminate()
            self.process.wait(20)
        shutil.rmtree(self.dir, ignore_errors=True)


def publish(port, topic, payload, retain=True, user=None, password=None):
    args = ["mosquitto_pub", "-h", "127.0.0.1", "-p", str(port), "-q", "1", "-t", topic, "-m", payload]
    if retain:
        args.append("-r")
    if user:
        args += ["-u", user, "-P", password]
    subprocess.run(args, check=True, timeout=TIMEOUT)


class Fleet:
    """ticora-fleet --http on a free loopback port."""

    def __init__(self, binary, broker_port, extra_args=()):
        self.process = subprocess.Popen(
            [binary, "-P", str(broker_port), "--http", "127.0.0.1:0", *extra_args],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        line = self.process.stdout.readline()
        match = re.search(r"http://127\.0\.0\.1:(\d+)/", line)
        if not match:
            self.process.kill()
            raise AssertionError("ticora-fleet did not start: %r %s" % (line, self.process.stderr.read()))
        self.port = int(match.group(1))
        self.url = "http://127.0.0.1:%d" % self.port

    def request(self, method, path, body=None, headers=None, timeout=TIMEOUT):
        """(status, bytes) of one request on a connection of its own."""
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=timeout)
        try:
            conn.request(method, path, body=body, headers=headers or {})
            r = conn.getresponse()
            return r.status, r.read()
        finally:
            conn.close()

    def json(self, path):
        status, body = self.request("GET", path)
        if status != 200:
            raise ValueError("%s: %d" % (path, status))
        return json.loads(body)

    def unit(self, serial):
        for u in self.json("/api/units")["units"]:
            if u["serial"] == serial:
                return u
        return None

    def stop(self):
        """Stops it as systemd does; its log. A clean stop ends with 0 (a sanitizer's finding does not)."""
        self.process.terminate()
        try:
            _, err = self.process.communicate(timeout=60)
        except subprocess.TimeoutExpired:
            self.process.kill()
            _, err = self.process.communicate()
        assert self.process.returncode == 0, "ticora-fleet ended with %s: %s" % (self.process.returncode, err[-4000:])
        return err


class EventStream:
    """A raw reader of /api/events: collects the text as it arrives (HTTP/1.0, so not chunked)."""

    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), TIMEOUT)
        self.sock.sendall(b"GET /api/events HTTP/1.0\r\nHost: 127.0.0.1\r\nAccept: text/event-stream\r\n\r\n")
        self.sock.settimeout(0.2)
        self.text = b""

    def read(self):
        try:
            chunk = self.sock.recv(65536)
            self.text += chunk
        except socket.timeout:
            pass
        return self.text

    def close(self):
        self.sock.close()


class Responder:
    """Plays a unit's answers: records every message on its request topics and publishes
    at once the answer set for the topic (answers[topic] = (answer topic, bytes))."""

    def __init__(self, port, topics):
        import threading
        self.port, self.requests, self.answers = port, [], {}
        self.process = subprocess.Popen(
            ["mosquitto_sub", "-h", "127.0.0.1", "-p", str(port), "-q", "1", "-F", "%t %x", "-t", "responder/probe"]
            + [a for t in topics for a in ("-t", t)], stdout=subprocess.PIPE, text=True)
        threading.Thread(target=self._run, daemon=True).start()
        # Subscribed once one of our probes comes back.
        def probed():
            publish(port, "responder/probe", "{}", retain=False)
            time.sleep(0.2)
            return self.last("responder/probe")
        wait_for(probed, "the responder's subscription")

    def _run(self):
        for line in self.process.stdout:
            topic, _, hexed = line.rstrip("\n").partition(" ")
            self.requests.append((topic, bytes.fromhex(hexed)))
            if topic in self.answers:
                answer_topic, data = self.answers[topic]
                subprocess.run(["mosquitto_pub", "-h", "127.0.0.1", "-p", str(self.port), "-q", "1",
                                "-t", answer_topic, "-s"], input=data, check=True, timeout=TIMEOUT)

    def last(self, topic):
        return next((payload for t, payload in reversed(self.requests) if t == topic), None)

    def stop(self):
        self.process.terminate()
        self.process.wait(20)
