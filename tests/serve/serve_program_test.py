#!/usr/bin/env python3
"""tavi-serve as clients meet it: real HTTP on loopback, its workers, its refusals, its
stop, nginx in front of two instances, and GDAL and QGIS reading its maps beside
tavi-render's picture. A test whose client is missing is skipped and says why."""
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import load_test  # noqa: E402
import serve_support as ss  # noqa: E402

VIEW = (495500.0, 369500.0, 497500.0, 371000.0)  # 2 km by 1.5 km of the sample city


def render(path, bbox, width, height):
    """tavi-render's picture of the view, with grid, scale bar and north point off."""
    view = "%d,%d,%d" % (bbox[0] * 100, bbox[1] * 100, (bbox[3] - bbox[1]) * 100)
    subprocess.run([ss.RENDER, "--data", ss.SAMPLE, "--out", path, "--size",
                    "%dx%d" % (width, height), "--view", view, "--grid", "0", "--scale-bar", "0",
                    "--sites", "1"], check=True, env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))


def differing_pixels(a, b):
    """Pixels of two (height, width, 3) arrays that differ, leaving out tavi-render's frame
    (first row, first and last columns), which the service does not draw."""
    import numpy
    a, b = a[1:, 1:-1, :3], b[1:, 1:-1, :3]
    return int(numpy.count_nonzero(numpy.any(a != b, axis=2))), a.shape[0] * a.shape[1]


def read_rgb(path):
    from osgeo import gdal
    import numpy
    d = gdal.Open(path)
    return numpy.dstack([d.GetRasterBand(i + 1).ReadAsArray() for i in range(3)])


class Service(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = ss.Server(workers=2)

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def test_answers_maps_capabilities_and_records(self):
        status, headers, body = ss.get(self.server, "/wms",
                                       {"SERVICE": "WMS", "REQUEST": "GetCapabilities"})
        self.assertEqual(status, 200)
        self.assertIn(b"<Name>roman_military</Name>", body)
        status, headers, body = ss.get(self.server, "/wms", ss.get_map(ss.SAMPLE_LAYERS, VIEW, 400, 300))
        self.assertEqual(status, 200)
        self.assertEqual(headers["Content-Type"], "image/png")
        self.assertTrue(body.startswith(b"\x89PNG"))
        tag = headers["ETag"]
        self.assertIn("max-age", headers["Cache-Control"])
        status, headers, body = ss.get(self.server, "/wms", ss.get_map(ss.SAMPLE_LAYERS, VIEW, 400, 300),
                                       headers={"If-None-Match": tag})
        self.assertEqual(status, 304)
        self.assertEqual(body, b"")
        status, headers, body = ss.get(self.server, "/wms", ss.get_map(ss.SAMPLE_LAYERS, VIEW, 400, 300),
                                       method="HEAD")
        self.assertEqual((status, body), (200, b""))
        p = ss.get_map(["excavated_areas", "sites"], VIEW, 400, 300, REQUEST="GetFeatureInfo",
                       QUERY_LAYERS="sites", INFO_FORMAT="application/json", I="10", J="10")
        status, headers, body = ss.get(self.server, "/wms", p)
        self.assertEqual(status, 200)
        self.assertEqual(headers["Content-Type"], "application/json")

    def test_options_it_cannot_work_with_are_refused_before_it_listens(self):
        # A queue of none would refuse every map, forever, while seeming to run.
        for option, value in [("--queue", "0"), ("--workers", "0"), ("--listen", "nowhere")]:
            run = subprocess.run([ss.SERVE, "--data", ss.SAMPLE, option, value],
                                 capture_output=True, timeout=30)
            self.assertEqual(run.returncode, 2, option)
            self.assertEqual(run.stderr.count(b"\n"), 1, run.stderr)
            self.assertNotIn(b"listening", run.stdout)

    def test_bad_input_is_refused_at_once(self):
        cases = [
            (ss.get_map(["prehistoric"], VIEW, 100000, 300), "GET", 400),
            (ss.get_map(["prehistoric"], (float("nan"), 0, 1, 1), 400, 300), "GET", 400),
            (ss.get_map(["../prehistoric"], VIEW, 400, 300), "GET", 400),
            (ss.get_map(["prehistoric"], VIEW, 400, 300, CRS="EPSG:3857"), "GET", 400),
            ({"SERVICE": "WMS", "REQUEST": "Launch"}, "GET", 400),
            (ss.get_map(["prehistoric"], VIEW, 400, 300), "POST", 405),
            (ss.get_map(["prehistoric"], VIEW, 400, 300), "DELETE", 405),
        ]
        for params, method, expected in cases:
            start = time.monotonic()
            status, headers, body = ss.get(self.server, "/wms", params, method=method)
            self.assertEqual(status, expected, params)
            self.assertLess(time.monotonic() - start, 2.0)
            if status == 400:
                self.assertIn(b"ServiceExceptionReport", body)
                self.assertEqual(headers["Content-Type"], "text/xml")
        # A request line of 200 KB is refused by the HTTP side.
        try:
            status, _, _ = ss.get(self.server, "/wms", {"LAYERS": "a" * 200 * 1024})
            self.assertIn(status, (400, 413, 414, 431))
        except (ConnectionError, OSError):
            pass  # closed on the client while it was still sending: refused all the same
        status, _, body = ss.get(self.server, "/../../etc/passwd")
        self.assertEqual(status, 404)
        self.assertNotIn(b"root:", body)
        # Still answering.
        status, _, _ = ss.get(self.server, "/wms", {"SERVICE": "WMS", "REQUEST": "GetCapabilities"})
        self.assertEqual(status, 200)

    def test_a_dead_worker_is_replaced_and_its_death_logged(self):
        before = self.server.workers()
        self.assertEqual(len(before), 2)
        os.kill(before[0], signal.SIGKILL)
        end = time.monotonic() + 60
        while time.monotonic() < end:
            now = self.server.workers()
            if len(now) == 2 and before[0] not in now:
                break
            time.sleep(0.2)
        self.assertEqual(len(self.server.workers()), 2)
        self.assertNotIn(before[0], self.server.workers())
        time.sleep(0.5)
        self.assertIn("killed by signal 9", self.server.read_log())
        for _ in range(4):
            status, _, _ = ss.get(self.server, "/wms", ss.get_map(["prehistoric"], VIEW, 200, 150))
            self.assertEqual(status, 200)


class Limits(unittest.TestCase):
    def test_a_long_render_is_given_up_and_a_full_queue_refused(self):
        with ss.Server("--render-limit", "1", workers=1) as server:
            status, headers, body = ss.get(server, "/wms", ss.get_map(ss.SAMPLE_LAYERS, load_test.CITY, 4000, 4000))
            self.assertEqual(status, 503)
            self.assertIn("Retry-After", headers)
        with ss.Server("--queue", "1", workers=1) as server:
            results = []

            def one():
                results.append(ss.get(server, "/wms",
                                      ss.get_map(ss.SAMPLE_LAYERS, load_test.CITY, 2000, 2000))[0])
            threads = [threading.Thread(target=one) for _ in range(6)]
            for t in threads:
                t.start()
            for t in threads:
                t.join()
            self.assertIn(503, results)
            self.assertIn(200, results)
            status, _, _ = ss.get(server, "/wms", {"SERVICE": "WMS", "REQUEST": "GetCapabilities"})
            self.assertEqual(status, 200)

    def test_sigterm_and_sigint_finish_the_requests_in_flight(self):
        for sig in (signal.SIGTERM, signal.SIGINT):
            with self.subTest(signal=sig):
                self.drain_on(sig)

    def drain_on(self, sig):
        # Four large maps on one worker, drawn one after the other; the signal comes as the
        # first is answered, while the others are drawing or waiting in the queue. Each is
        # answered whole, and the program then ends cleanly.
        server = ss.Server("--queue", "4", workers=1)
        heavy = ss.get_map(ss.SAMPLE_LAYERS * 5, load_test.CITY, 4000, 4000)
        answers = []

        def one():
            answers.append(ss.get(server, "/wms", heavy))
        threads = [threading.Thread(target=one) for _ in range(4)]
        for t in threads:
            t.start()
        end = time.monotonic() + 60
        while not answers and time.monotonic() < end:
            time.sleep(0.005)
        code = server.stop(sig)
        for t in threads:
            t.join()
        self.assertEqual(code, 0, server.read_log())
        self.assertEqual(len(answers), 4)
        for status, headers, body in answers:
            self.assertEqual(status, 200)
            self.assertEqual(int(headers["Content-Length"]), len(body))
            self.assertTrue(body.startswith(b"\x89PNG"))
        self.assertIn("stopping", server.read_log())


class Load(unittest.TestCase):
    def test_mixed_load_loses_no_worker_and_no_memory(self):
        self.assertEqual(load_test.main(["--requests", os.environ.get("TAVI_LOAD_REQUESTS", "10000"),
                                         "--clients", "8", "--workers", "2"]), 0)


@unittest.skipUnless(shutil.which("nginx") or os.path.exists("/usr/sbin/nginx"),
                     "nginx is not installed (apt-get install nginx-light)")
class Nginx(unittest.TestCase):
    def test_two_instances_behind_nginx_with_a_tile_cache(self):
        nginx = shutil.which("nginx") or "/usr/sbin/nginx"
        with ss.Server(workers=1) as a, ss.Server(workers=1) as b, \
                tempfile.TemporaryDirectory() as folder:
            # nginx's workers run as another user when it is started by root.
            os.chmod(folder, 0o755)
            probe = socket.socket()
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
            probe.close()
            conf = os.path.join(folder, "nginx.conf")
            with open(os.path.join(os.path.dirname(__file__), "nginx.conf.in")) as f:
                text = f.read()
            for key, value in {"@FOLDER@": folder, "@A@": "127.0.0.1:%d" % a.port,
                               "@B@": "127.0.0.1:%d" % b.port, "@PORT@": str(port)}.items():
                text = text.replace(key, value)
            with open(conf, "w") as f:
                f.write(text)
            subprocess.run([nginx, "-t", "-q", "-c", conf, "-p", folder], check=True)
            proc = subprocess.Popen([nginx, "-c", conf, "-p", folder])
            try:
                end = time.monotonic() + 20
                while not os.path.exists(os.path.join(folder, "nginx.pid")):
                    self.assertLess(time.monotonic(), end, "nginx did not start")
                    time.sleep(0.1)
                time.sleep(0.2)
                upstreams = set()
                for k in range(6):
                    box = (VIEW[0] + k * 100, VIEW[1], VIEW[0] + k * 100 + 256, VIEW[1] + 256)
                    status, headers, _ = ss.get("127.0.0.1", "/wms", ss.get_map(["prehistoric"], box, 256, 256),
                                                port=port)
                    self.assertEqual(status, 200)
                    self.assertEqual(headers["X-Cache-Status"], "MISS")
                    upstreams.add(headers["X-Upstream"])
                self.assertEqual(upstreams, {"127.0.0.1:%d" % a.port, "127.0.0.1:%d" % b.port})
                box = (VIEW[0], VIEW[1], VIEW[0] + 256, VIEW[1] + 256)
                status, headers, body = ss.get("127.0.0.1", "/wms", ss.get_map(["prehistoric"], box, 256, 256),
                                               port=port)
                self.assertEqual((status, headers["X-Cache-Status"]), (200, "HIT"))
                self.assertTrue(body.startswith(b"\x89PNG"))
            finally:
                proc.terminate()
                proc.wait(20)


def have_module(name):
    try:
        __import__(name)
        return True
    except ImportError:
        return False


@unittest.skipUnless(have_module("osgeo.gdal") and have_module("numpy"),
                     "GDAL's Python bindings are not installed (apt-get install python3-gdal)")
class Gdal(unittest.TestCase):
    def test_gdal_reads_the_renderers_picture(self):
        from osgeo import gdal
        gdal.UseExceptions()
        with ss.Server(workers=1) as server, tempfile.TemporaryDirectory() as folder:
            width, height = 400, 300
            xml = ("<GDAL_WMS><Service name=\"WMS\"><Version>1.3.0</Version>"
                   "<ServerUrl>%swms?</ServerUrl><CRS>EPSG:27700</CRS><ImageFormat>image/png</ImageFormat>"
                   "<Layers>%s</Layers><Styles></Styles></Service>"
                   "<DataWindow><UpperLeftX>%r</UpperLeftX><UpperLeftY>%r</UpperLeftY>"
                   "<LowerRightX>%r</LowerRightX><LowerRightY>%r</LowerRightY>"
                   "<SizeX>%d</SizeX><SizeY>%d</SizeY></DataWindow><BandsCount>3</BandsCount>"
                   "<BlockSizeX>%d</BlockSizeX><BlockSizeY>%d</BlockSizeY></GDAL_WMS>") % (
                server.url, ",".join(ss.SAMPLE_LAYERS), VIEW[0], VIEW[3], VIEW[2], VIEW[1],
                width, height, width, height)
            d = gdal.Open(xml)
            self.assertEqual((d.RasterXSize, d.RasterYSize), (width, height))
            ours = os.path.join(folder, "gdal.png")
            gdal.Translate(ours, d, format="PNG")
            theirs = os.path.join(folder, "render.png")
            render(theirs, VIEW, width, height)
            differing, total = differing_pixels(read_rgb(ours), read_rgb(theirs))
            self.assertEqual(differing, 0, "%d of %d pixels differ" % (differing, total))


QGIS_SCRIPT = r"""
import sys
from qgis.core import (QgsApplication, QgsRasterLayer, QgsMapSettings, QgsRectangle,
                       QgsCoordinateReferenceSystem, QgsMapRendererSequentialJob)
from qgis.PyQt.QtCore import QSize
from qgis.PyQt.QtGui import QColor
url, out, xmin, ymin, xmax, ymax, w, h, layers = sys.argv[1:]
app = QgsApplication([], False)
app.initQgis()
uri = "crs=EPSG:27700&format=image/png&dpiMode=0&url=" + url + "wms"
# QGIS lists a WMS layer's sublayers from the top down, as its layer panel does.
for name in reversed(layers.split(",")):
    uri += "&layers=" + name + "&styles="
layer = QgsRasterLayer(uri, "tavi", "wms")
if not layer.isValid():
    print("not valid: " + layer.error().summary(), file=sys.stderr)
    sys.exit(3)
s = QgsMapSettings()
s.setLayers([layer])
s.setDestinationCrs(QgsCoordinateReferenceSystem("EPSG:27700"))
s.setOutputSize(QSize(int(w), int(h)))
s.setOutputDpi(96)
s.setBackgroundColor(QColor(255, 255, 255))
s.setExtent(QgsRectangle(float(xmin), float(ymin), float(xmax), float(ymax)))
job = QgsMapRendererSequentialJob(s)
job.start()
job.waitForFinished()
job.renderedImage().save(out, "PNG")
app.exitQgis()
"""


@unittest.skipUnless(os.path.exists("/usr/bin/python3") and subprocess.run(
    ["/usr/bin/python3", "-c", "import qgis.core"], capture_output=True).returncode == 0,
    "QGIS's Python bindings are not installed (apt-get install python3-qgis)")
class Qgis(unittest.TestCase):
    def test_qgis_adds_the_layer_and_renders_the_renderers_picture(self):
        with ss.Server(workers=1) as server, tempfile.TemporaryDirectory() as folder:
            width, height = 400, 300
            ours = os.path.join(folder, "qgis.png")
            env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=folder,
                       HOME=folder)
            r = subprocess.run(["/usr/bin/python3", "-c", QGIS_SCRIPT, server.url, ours,
                                *("%r" % v for v in VIEW), str(width), str(height),
                                ",".join(ss.SAMPLE_LAYERS)],
                               capture_output=True, env=env, timeout=300)
            self.assertEqual(r.returncode, 0, r.stderr.decode(errors="replace")[-2000:])
            if os.environ.get("TAVI_KEEP"):
                shutil.copy(ours, os.environ["TAVI_KEEP"])
            theirs = os.path.join(folder, "render.png")
            render(theirs, VIEW, width, height)
            differing, total = differing_pixels(read_rgb(ours), read_rgb(theirs))
            self.assertEqual(differing, 0, "%d of %d pixels differ" % (differing, total))


if __name__ == "__main__":
    unittest.main()
