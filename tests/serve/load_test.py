#!/usr/bin/env python3
"""Load on a running tavi-serve: REQUESTS requests from CLIENTS clients, each on its own
kept-alive connection, tiles at three scales and views with feature lookups, and every
fifth request a bad one (a picture too large, a box of nonsense, a layer outside the list,
200 KB of layers, an unknown request, a POST). Afterwards: no worker was lost (the same
processes still serve), every answer was one the service may give, and the workers'
memory is within 10% of where it stood once every kind of request had been answered.

    load_test.py [--requests N] [--clients N] [--workers N] [--data DIR]

Prints the counts, the tiles' median and 95th percentile, and the memory figures; exits 1
when a check fails. The test suite runs it short; bench/serve_load.sh at full length.
"""
import argparse
import http.client
import os
import random
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import serve_support as ss  # noqa: E402

CITY = (492000.0, 365520.0, 500788.0, 374308.0)
# Tile sizes in metres at three scales: the whole city in a few tiles, a quarter, streets.
SCALES = (2197.0, 549.25, 137.3125)

BAD = [
    lambda: ("GET", ss.get_map(["prehistoric"], CITY, 100000, 256)),
    lambda: ("GET", ss.get_map(["prehistoric"], (float("nan"), 0, 1, 1), 256, 256)),
    lambda: ("GET", ss.get_map(["../prehistoric"], CITY, 256, 256)),
    lambda: ("GET", ss.get_map(["prehistoric"], CITY, 256, 256, CRS="EPSG:4326")),
    lambda: ("GET", {"SERVICE": "WMS", "REQUEST": "GetSomething"}),
    lambda: ("GET", {"LAYERS": "a" * 200 * 1024}),
    lambda: ("POST", ss.get_map(["prehistoric"], CITY, 256, 256)),
    lambda: ("GET", ss.get_map(["prehistoric"], CITY, 256, 256, FORMAT="image/tiff")),
]
ALLOWED = {200, 304, 400, 404, 405, 413, 414, 431, 503}


def tile(rng):
    size = rng.choice(SCALES)
    cols = int((CITY[2] - CITY[0]) // size)
    x = CITY[0] + rng.randrange(max(cols, 1)) * size
    y = CITY[1] + rng.randrange(max(cols, 1)) * size
    layers = rng.choice([ss.SAMPLE_LAYERS, ss.SAMPLE_LAYERS[1:], ["prehistoric", "sites"]])
    return ss.get_map(layers, (x, y, x + size, y + size), 256, 256,
                      TRANSPARENT=rng.choice(["TRUE", "FALSE"]))


def request_for(rng, n):
    if n % 5 == 4:
        return "bad", BAD[rng.randrange(len(BAD))]()
    kind = rng.random()
    if kind < 0.75:
        return "tile", ("GET", tile(rng))
    if kind < 0.9:
        p = ss.get_map(ss.SAMPLE_LAYERS, (495500, 369500, 497500, 371000), 1200, 800)
        return "view", ("GET", p)
    if kind < 0.97:
        p = ss.get_map(["excavated_areas", "sites"], (495500, 369500, 497500, 371000), 400, 300,
                       REQUEST="GetFeatureInfo", QUERY_LAYERS="sites,excavated_areas",
                       INFO_FORMAT=rng.choice(["application/json", "text/html", "text/xml"]),
                       I=str(rng.randrange(400)), J=str(rng.randrange(300)))
        return "info", ("GET", p)
    return "capabilities", ("GET", {"SERVICE": "WMS", "REQUEST": "GetCapabilities"})


def client(server, count, seed, results, lock):
    rng = random.Random(seed)
    conn = None
    for n in range(count):
        kind, (method, params) = request_for(rng, n)
        path = "/wms?" + ss.urllib.parse.urlencode(params)
        for attempt in range(3):
            try:
                if conn is None:
                    conn = http.client.HTTPConnection(server.host, server.port, timeout=60)
                start = time.perf_counter()
                conn.request(method, path)
                r = conn.getresponse()
                r.read()
                elapsed = time.perf_counter() - start
                if r.getheader("Connection", "").lower() == "close" or r.status >= 400:
                    conn.close()
                    conn = None
                with lock:
                    results.append((kind, r.status, elapsed))
                break
            except (OSError, http.client.HTTPException) as e:
                # A connection closed by the service after an error answer, reused here
                # before the close was seen: ask again on a new one.
                if conn is not None:
                    conn.close()
                conn = None
                if attempt == 2:
                    with lock:
                        results.append((kind, "error: %s" % e, 0.0))
    if conn is not None:
        conn.close()


def run(server, requests, clients, seed=1):
    results, lock = [], threading.Lock()
    per = [requests // clients + (1 if i < requests % clients else 0) for i in range(clients)]
    threads = [threading.Thread(target=client, args=(server, per[i], seed + i, results, lock))
               for i in range(clients)]
    start = time.perf_counter()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return results, time.perf_counter() - start


def percentile(values, p):
    values = sorted(values)
    if not values:
        return 0.0
    return values[min(len(values) - 1, int(round(p / 100.0 * (len(values) - 1))))]


def main(argv=None):
    a = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    a.add_argument("--requests", type=int, default=10000)
    a.add_argument("--clients", type=int, default=8)
    a.add_argument("--workers", type=int, default=2)
    a.add_argument("--data", default=ss.SAMPLE)
    args = a.parse_args(argv)
    with ss.Server(data=args.data, workers=args.workers) as server:
        pids = server.workers()
        ready_kb = server.resident_kb()
        # Every kind of request once (with a margin), so that what a worker keeps for the
        # rest of its life (fonts, the drawings' groups within their budget, the site
        # symbols) is there when the memory is first read.
        warm = max(200, args.requests // 50)
        run(server, warm, args.clients, seed=1000)
        start_kb = server.resident_kb()
        results, seconds = run(server, args.requests, args.clients)
        end_kb = server.resident_kb()
        after = server.workers()
        log = server.read_log()
        code = server.stop()

    counts = {}
    for kind, status, _ in results:
        counts.setdefault((kind, status), 0)
        counts[(kind, status)] += 1
    tiles = [e for kind, status, e in results if kind == "tile" and status == 200]
    print("%d requests from %d clients in %.1f s (%.0f a second), %d workers" %
          (len(results), args.clients, seconds, len(results) / seconds, args.workers))
    for (kind, status), n in sorted(counts.items(), key=lambda kv: (kv[0][0], str(kv[0][1]))):
        print("  %-13s %-10s %6d" % (kind, status, n))
    print("tiles: median %.1f ms, 95th percentile %.1f ms" %
          (1000 * percentile(tiles, 50), 1000 * percentile(tiles, 95)))
    print("workers' memory: %d kB once started, %d kB after warming up, %d kB at the end "
          "(%+.1f%%)" % (ready_kb, start_kb, end_kb, 100.0 * (end_kb - start_kb) / max(start_kb, 1)))

    failures = []
    if after != pids:
        failures.append("workers changed: %s before, %s after" % (pids, after))
    if "killed" in log or "starting another" in log:
        failures.append("a worker died:\n" + log)
    bad = [(k, s) for k, s, _ in results if s not in ALLOWED]
    if bad:
        failures.append("answers the service may not give: %s" % bad[:10])
    wrong = [(k, s) for k, s, _ in results if k in ("tile", "view", "info", "capabilities") and
             s not in (200, 304, 503)]
    if wrong:
        failures.append("good requests not answered: %s" % wrong[:10])
    refused = [(k, s) for k, s, _ in results if k == "bad" and s == 200]
    if refused:
        failures.append("bad requests answered 200: %d" % len(refused))
    if abs(end_kb - start_kb) > 0.1 * start_kb:
        failures.append("memory moved by more than 10%")
    if code != 0:
        failures.append("tavi-serve ended with %s" % code)
    for f in failures:
        print("FAIL: " + f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
