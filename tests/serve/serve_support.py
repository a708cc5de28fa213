"""Starting tavi-serve for a test and talking to it over loopback HTTP.

Shared by the program's tests and the load test (tests/serve/load_test.py), which the
benchmark runs at full length.
"""
import http.client
import os
import re
import select
import signal
import subprocess
import threading
import time
import urllib.parse

BUILD = os.environ.get("TAVI_BUILD_DIR", os.path.join(os.path.dirname(__file__), "..", "..", "build"))
SAMPLE = os.path.join(BUILD, "share", "tavi", "data")
SERVE = os.path.join(BUILD, "bin", "tavi-serve")
RENDER = os.path.join(BUILD, "bin", "tavi-render")


class Server:
    """A running tavi-serve: its process, address and what it logged."""

    def __init__(self, *args, data=SAMPLE, workers=2, timeout=120):
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        self.process = subprocess.Popen(
            [SERVE, "--data", data, "--listen", "127.0.0.1:0", "--workers", str(workers), *args],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
        self.log = b""
        line = b""
        end = time.monotonic() + timeout
        while b"\n" not in line:
            if time.monotonic() > end or self.process.poll() is not None:
                self.stop()
                raise RuntimeError("tavi-serve did not start: %r" % self.log)
            ready, _, _ = select.select([self.process.stdout, self.process.stderr], [], [], 0.5)
            if self.process.stdout in ready:
                line += os.read(self.process.stdout.fileno(), 4096)
            if self.process.stderr in ready:
                self.log += os.read(self.process.stderr.fileno(), 4096)
        m = re.match(rb"tavi-serve: listening on http://([0-9.]+):(\d+)/", line)
        if not m:
            self.stop()
            raise RuntimeError("unexpected first line %r" % line)
        # The log is read as it comes: a full pipe would stop the workers writing to it.
        self._lock = threading.Lock()
        self._reader = threading.Thread(target=self._read_stderr, daemon=True)
        self._reader.start()
        self.host, self.port = m.group(1).decode(), int(m.group(2))
        self.url = "http://%s:%d/" % (self.host, self.port)

    def workers(self):
        """The worker processes' ids."""
        pids = []
        for entry in os.listdir("/proc"):
            if entry.isdigit():
                try:
                    with open("/proc/%s/stat" % entry) as f:
                        fields = f.read().rsplit(")", 1)[1].split()
                    if int(fields[1]) == self.process.pid:
                        pids.append(int(entry))
                except (OSError, IndexError, ValueError):
                    pass
        return sorted(pids)

    def resident_kb(self):
        """Resident memory of the workers together, in kilobytes."""
        total = 0
        for pid in self.workers():
            try:
                with open("/proc/%d/status" % pid) as f:
                    for line in f:
                        if line.startswith("VmRSS:"):
                            total += int(line.split()[1])
            except OSError:
                pass
        return total

    def _read_stderr(self):
        while True:
            try:
                chunk = os.read(self.process.stderr.fileno(), 65536)
            except (OSError, ValueError):
                return
            if not chunk:
                return
            with self._lock:
                self.log += chunk

    def read_log(self):
        time.sleep(0.05)
        with self._lock:
            return self.log.decode(errors="replace")

    def stop(self, sig=signal.SIGTERM, timeout=60):
        if self.process.poll() is None:
            self.process.send_signal(sig)
            try:
                self.process.wait(timeout)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        if hasattr(self, "_reader"):
            self._reader.join(10)
        for pipe in (self.process.stdout, self.process.stderr):
            pipe.close()
        return self.process.returncode

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


def get(server_or_host, path, params=None, headers=None, method="GET", port=None, timeout=60):
    """One request on a connection of its own: (status, headers, body)."""
    host = server_or_host.host if port is None else server_or_host
    port = server_or_host.port if port is None else port
    query = path + ("?" + urllib.parse.urlencode(params) if params else "")
    c = http.client.HTTPConnection(host, port, timeout=timeout)
    try:
        c.request(method, query, headers=headers or {})
        r = c.getresponse()
        return r.status, dict(r.getheaders()), r.read()
    finally:
        c.close()


def get_map(layers, bbox, width, height, **more):
    p = {"SERVICE": "WMS", "VERSION": "1.3.0", "REQUEST": "GetMap", "LAYERS": ",".join(layers),
         "STYLES": "", "CRS": "EPSG:27700", "BBOX": ",".join("%r" % v for v in bbox),
         "WIDTH": str(width), "HEIGHT": str(height), "FORMAT": "image/png"}
    p.update(more)
    return p


# The sample project's layers in the order the viewer draws them.
SAMPLE_LAYERS = ["background", "prehistoric", "roman_military", "roman_colonia", "early_medieval",
                 "high_medieval", "early_modern", "industrial", "excavated_areas", "modern_streets",
                 "sites"]
