#!/usr/bin/env python3
"""The map servers side by side (bench/serve_bench.sh prepares the data and the peers):
tavi-serve with two workers, QGIS Server and MapServer each as two FastCGI processes,
all three behind one nginx on loopback (tavi-serve proxied, no cache). Two clients ask
each server in turn for the same tiles and views for a fixed time; prints what each
served a second, the tiles' median and 95th percentile, and the ratios."""
import argparse
import http.client
import os
import random
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "serve"))
import serve_support as ss  # noqa: E402

CITY = (492000.0, 365520.0, 500788.0, 374308.0)
TILE_METRES = (2197.0, 549.25, 137.3125)


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def gpkg_layers(gpkg):
    from osgeo import ogr
    ds = ogr.Open(gpkg)
    out = []
    for i in range(ds.GetLayerCount()):
        layer = ds.GetLayer(i)
        kind = ogr.GeometryTypeToName(layer.GetGeomType()).lower()
        out.append((layer.GetName(), "point" if "point" in kind else
                    "polygon" if "polygon" in kind else "line"))
    return out


def write_qgis_project(gpkg, layers, path):
    script = r"""
import sys
from qgis.core import QgsApplication, QgsProject, QgsVectorLayer, QgsCoordinateReferenceSystem
gpkg, path, names = sys.argv[1], sys.argv[2], sys.argv[3:]
app = QgsApplication([], False)
app.initQgis()
p = QgsProject.instance()
p.setCrs(QgsCoordinateReferenceSystem("EPSG:27700"))
for n in names:
    l = QgsVectorLayer(gpkg + "|layername=" + n, n, "ogr")
    if not l.isValid():
        sys.exit("cannot read " + n)
    p.addMapLayer(l)
p.writeEntry("WMSServiceCapabilities", "/", True)
p.writeEntry("WMSCrsList", "/", ["EPSG:27700"])
p.write(path)
app.exitQgis()
"""
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    subprocess.run(["/usr/bin/python3", "-c", script, gpkg, path, *[n for n, _ in layers]],
                   check=True, env=env)


def write_mapfile(gpkg, layers, path, url):
    parts = ["MAP", '  NAME "city"', "  EXTENT %r %r %r %r" % CITY, "  SIZE 256 256",
             "  UNITS METERS", '  PROJECTION "init=epsg:27700" END', "  IMAGETYPE png",
             '  WEB METADATA "wms_title" "city" "wms_srs" "EPSG:27700" '
             '"wms_enable_request" "*" "wms_onlineresource" "%s" END END' % url]
    for name, kind in layers:
        style = ("STYLE COLOR 200 0 0 SIZE 6 END" if kind == "point" else
                 "STYLE OUTLINECOLOR 0 0 0 END" if kind == "polygon" else "STYLE COLOR 0 0 0 END")
        parts.append('  LAYER NAME "%s" TYPE %s STATUS ON CONNECTIONTYPE OGR CONNECTION "%s" '
                     'DATA "%s" PROJECTION "init=epsg:27700" END METADATA "wms_title" "%s" END '
                     'CLASS %s END END' % (name, kind.upper(), gpkg, name, name, style))
    parts.append("END")
    with open(path, "w") as f:
        f.write("\n".join(parts) + "\n")


def requests_for(kind, layers, seed=3):
    rng = random.Random(seed)
    out = []
    if kind == "tiles":
        for metres in TILE_METRES:
            for _ in range(48):
                x = rng.uniform(CITY[0], CITY[2] - metres)
                y = rng.uniform(CITY[1], CITY[3] - metres)
                out.append(ss.get_map(layers, (x, y, x + metres, y + metres), 256, 256))
    else:
        for _ in range(24):
            x = rng.uniform(CITY[0], CITY[2] - 1800)
            y = rng.uniform(CITY[1], CITY[3] - 1200)
            out.append(ss.get_map(layers, (x, y, x + 1800, y + 1200), 1200, 800))
    return out


def load(port, path, requests, seconds, clients=2):
    """Each client goes round the list from its own place until the time is up."""
    times, errors, lock = [], [], threading.Lock()
    end = time.monotonic() + seconds

    def client(start):
        conn = http.client.HTTPConnection("127.0.0.1", port, timeout=120)
        k = start
        while time.monotonic() < end:
            q = path + "?" + urllib.parse.urlencode(requests[k % len(requests)])
            k += 1
            t0 = time.perf_counter()
            try:
                conn.request("GET", q)
                r = conn.getresponse()
                body = r.read()
                ok = r.status == 200 and r.getheader("Content-Type", "").startswith("image/")
            except (OSError, http.client.HTTPException) as e:
                conn.close()
                conn = http.client.HTTPConnection("127.0.0.1", port, timeout=120)
                ok, body = False, str(e).encode()
            with lock:
                if ok:
                    times.append((time.perf_counter() - t0, (k - 1) % len(requests)))
                else:
                    errors.append(body[:200])
        conn.close()

    threads = [threading.Thread(target=client, args=(i * len(requests) // clients,))
               for i in range(clients)]
    t0 = time.perf_counter()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return times, errors, time.perf_counter() - t0


def pct(values, p):
    v = sorted(values)
    return v[min(len(v) - 1, int(round(p / 100.0 * (len(v) - 1))))] if v else float("nan")


def main():
    a = argparse.ArgumentParser()
    a.add_argument("--build", default="build")
    a.add_argument("--city", required=True)
    a.add_argument("--gpkg", required=True)
    a.add_argument("--folder", required=True)
    a.add_argument("--seconds", type=float, default=20)
    args = a.parse_args()
    folder = os.path.abspath(args.folder)
    gpkg = os.path.abspath(args.gpkg)
    layers = gpkg_layers(gpkg)
    names = [n for n, _ in layers]
    port = free_port()
    write_qgis_project(gpkg, layers, os.path.join(folder, "city.qgs"))
    write_mapfile(gpkg, layers, os.path.join(folder, "city.map"),
                  "http://127.0.0.1:%d/mapserv?" % port)
    # MapServer 8 reads where its map files may be from a configuration file of its own.
    with open(os.path.join(folder, "mapserver.conf"), "w") as f:
        f.write('CONFIG\n  ENV\n    MS_MAPFILE "%s"\n  END\nEND\n' % os.path.join(folder, "city.map"))

    started = []
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", HOME=folder,
               QGIS_SERVER_LOG_LEVEL="2", QGIS_SERVER_LOG_STDERR="1",
               XDG_RUNTIME_DIR=folder)
    for name, program, extra in (
            ("qgis", "/usr/lib/cgi-bin/qgis_mapserv.fcgi", {"QGIS_PROJECT_FILE": os.path.join(folder, "city.qgs")}),
            ("mapserv", "/usr/lib/cgi-bin/mapserv",
             {"MAPSERVER_CONFIG_FILE": os.path.join(folder, "mapserver.conf")})):
        sock = os.path.join(folder, name + ".sock")
        pidfile = os.path.join(folder, name + ".pid")
        for f in (sock, pidfile):
            if os.path.exists(f):
                os.remove(f)
        subprocess.run(["spawn-fcgi", "-s", sock, "-M", "0666", "-F", "2", "-P", pidfile, "--", program],
                       check=True, env=dict(env, **extra), stdout=subprocess.DEVNULL)
        with open(pidfile) as f:
            started += [int(p) for p in f.read().split()]

    server = ss.Server("--workers", "2", data=os.path.abspath(args.city), workers=2)
    conf = os.path.join(folder, "nginx.conf")
    with open(conf, "w") as f:
        f.write("""daemon off; worker_processes 2; pid %(d)s/nginx.pid; error_log %(d)s/error.log crit;
events { worker_connections 256; }
http {
  access_log off;
  client_body_temp_path %(d)s/body; proxy_temp_path %(d)s/proxy; fastcgi_temp_path %(d)s/fcgi;
  uwsgi_temp_path %(d)s/uwsgi; scgi_temp_path %(d)s/scgi;
  upstream tavi { server 127.0.0.1:%(tavi)d; keepalive 8; }
  server {
    listen 127.0.0.1:%(port)d;
    location /tavi/ { proxy_pass http://tavi/; proxy_http_version 1.1; proxy_set_header Connection ""; }
    location /qgis { include /etc/nginx/fastcgi_params; fastcgi_param QGIS_PROJECT_FILE %(d)s/city.qgs;
                     fastcgi_pass unix:%(d)s/qgis.sock; }
    location /mapserv { include /etc/nginx/fastcgi_params; fastcgi_param MS_MAPFILE %(d)s/city.map;
                        fastcgi_pass unix:%(d)s/mapserv.sock; }
  }
}
""" % {"d": folder, "tavi": server.port, "port": port})
    nginx = subprocess.Popen(["/usr/sbin/nginx", "-c", conf, "-p", folder])
    time.sleep(1)
    try:
        peers = [("tavi-serve", "/tavi/wms", names),
                 ("QGIS Server", "/qgis", names),
                 ("MapServer", "/mapserv", names)]
        # One request of each first: a server's start-up is not what is measured.
        answering = []
        for peer in peers:
            times, errors, _ = load(port, peer[1], requests_for("tiles", peer[2])[:4], 0.01, clients=1)
            if errors:
                print("%s answers badly, left out: %r" % (peer[0], errors[0][:500]))
            else:
                answering.append(peer)
        peers = answering
        results = {}
        for kind in ("tiles", "views"):
            for label, path, lyr in peers:
                times, errors, wall = load(port, path, requests_for(kind, lyr), args.seconds)
                seconds = [t for t, _ in times]
                results[(label, kind)] = (len(times) / wall, pct(seconds, 50), pct(seconds, 95),
                                          len(errors))
                if kind == "tiles" and label == "tavi-serve":
                    per = len(requests_for("tiles", lyr)) // len(TILE_METRES)
                    by_scale = [[t for t, i in times if i // per == n] for n in range(len(TILE_METRES))]
        print("two clients, two processes each, %.0f s a run; the benchmark city:" % args.seconds)
        for kind in ("tiles", "views"):
            for label, _, _ in peers:
                rate, p50, p95, err = results[(label, kind)]
                print("  %-11s %-5s %7.1f a second, median %6.1f ms, 95th percentile %6.1f ms%s" %
                      (label, kind, rate, 1000 * p50, 1000 * p95, ", %d errors" % err if err else ""))
        for kind in ("tiles", "views"):
            ours = results[("tavi-serve", kind)][0]
            for label, _, _ in peers[1:]:
                theirs = results[(label, kind)][0]
                print("  %s: tavi-serve / %s = %.1f" % (kind, label, ours / theirs if theirs else float("inf")))
        print("  aim: tiles at least 5x QGIS Server's; tile 95th percentile under 50 ms")
        print("tavi-serve's tiles as a client waits for them, by scale (compare serve_bench's "
              "drawing and encoding above; the rest is sending through nginx):")
        for n, metres in enumerate(TILE_METRES):
            print("  %8.1f m a tile: median %5.1f ms, 95th percentile %5.1f ms" %
                  (metres, 1000 * pct(by_scale[n], 50), 1000 * pct(by_scale[n], 95)))
    finally:
        nginx.terminate()
        nginx.wait(20)
        server.stop()
        for pid in started:
            try:
                os.kill(pid, signal.SIGTERM)
            except OSError:
                pass


if __name__ == "__main__":
    main()
