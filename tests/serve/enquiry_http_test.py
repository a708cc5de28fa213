#!/usr/bin/env python3
"""The enquiry over HTTP, as clients meet it on loopback: /enquiry's rows beside
tavi-search --around's for the same shape and radius, /report.pdf read back by poppler,
a boundary file posted in a form (and the kinds of file refused), bounds on what is
posted, and nothing written into the data folder or left in the temporary folder."""
import io
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import uuid
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import serve_support as ss  # noqa: E402

SEARCH = os.path.join(ss.BUILD, "bin", "tavi-search")
# A concave boundary in the sample city, a route along it and a point.
BOUNDARY = ("POLYGON ((495900 369900, 496500 369900, 496500 370400, 496200 370150, "
            "495900 370400, 495900 369900))")
SHAPES = [
    (BOUNDARY, "150"),
    ("LINESTRING (495800 369800, 496300 370300, 496900 370100)", "60"),
    ("POINT (496220 370164)", "300"),
]


def search_codes(wkt, radius):
    """The site codes tavi-search --around lists, in its order."""
    out = subprocess.run([SEARCH, "--data", ss.SAMPLE, "--around", wkt, "--radius", radius,
                          "--out", "-", "--format", "xml"], check=True, capture_output=True,
                         env=dict(os.environ, QT_QPA_PLATFORM="offscreen")).stdout
    return [row.findtext("site") for row in ET.fromstring(out)]


def multipart(fields, file=None):
    """A form as a browser posts it: (content type, body)."""
    boundary = uuid.uuid4().hex
    body = io.BytesIO()
    for name, value in fields.items():
        body.write(("--%s\r\nContent-Disposition: form-data; name=\"%s\"\r\n\r\n%s\r\n"
                    % (boundary, name, value)).encode())
    if file:
        name, data = file
        body.write(("--%s\r\nContent-Disposition: form-data; name=\"file\"; filename=\"%s\"\r\n"
                    "Content-Type: application/octet-stream\r\n\r\n" % (boundary, name)).encode())
        body.write(data + b"\r\n")
    body.write(("--%s--\r\n" % boundary).encode())
    return "multipart/form-data; boundary=" + boundary, body.getvalue()


def post(server, path, fields, file=None, headers=None):
    import http.client
    kind, body = multipart(fields, file)
    c = http.client.HTTPConnection(server.host, server.port, timeout=120)
    try:
        c.request("POST", path, body=body, headers=dict({"Content-Type": kind}, **(headers or {})))
        r = c.getresponse()
        return r.status, dict(r.getheaders()), r.read()
    finally:
        c.close()


def listing(folder):
    return sorted((name, os.stat(os.path.join(folder, name)).st_mtime_ns)
                  for name in os.listdir(folder))


class Enquiry(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # The uploads go under a temporary folder of the test's own, to see them go.
        cls.tmp = tempfile.mkdtemp(prefix="tavi-enquiry-")
        cls.data_before = listing(ss.SAMPLE)
        saved = os.environ.get("TMPDIR")
        os.environ["TMPDIR"] = cls.tmp
        try:
            cls.server = ss.Server(workers=2)
        finally:
            if saved is None:
                del os.environ["TMPDIR"]
            else:
                os.environ["TMPDIR"] = saved

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def enquire(self, wkt, radius):
        status, headers, body = ss.get(self.server, "/enquiry", {"around": wkt, "radius": radius})
        self.assertEqual(status, 200, body)
        self.assertEqual(headers["Content-Type"], "application/json")
        return json.loads(body)

    def post_large(self, size, chunked):
        """Posts a form of that size by a socket of its own, sending until the service
        answers or stops reading; the answer's status."""
        import socket
        kind, body = multipart({"radius": "100"}, ("big.geojson", b" " * size))
        head = "POST /enquiry HTTP/1.1\r\nHost: x\r\nContent-Type: %s\r\n" % kind
        head += "Transfer-Encoding: chunked\r\n\r\n" if chunked else \
            "Content-Length: %d\r\n\r\n" % len(body)
        s = socket.create_connection((self.server.host, self.server.port), timeout=60)
        try:
            s.sendall(head.encode())
            step = 256 * 1024
            try:
                for at in range(0, len(body), step):
                    piece = body[at:at + step]
                    s.sendall(b"%x\r\n%s\r\n" % (len(piece), piece) if chunked else piece)
                if chunked:
                    s.sendall(b"0\r\n\r\n")
            except (BrokenPipeError, ConnectionResetError):
                pass
            answer = b""
            try:
                while b"\r\n" not in answer:
                    more = s.recv(4096)
                    if not more:
                        break
                    answer += more
            except ConnectionResetError:
                pass
            return int(answer.split()[1]) if answer else None
        finally:
            s.close()

    def codes(self, answer):
        at = answer["columns"].index("site")
        return [s["values"][at] for s in answer["sites"]]

    def test_rows_are_tavi_searchs(self):
        for wkt, radius in SHAPES:
            with self.subTest(wkt=wkt[:20]):
                answer = self.enquire(wkt, radius)
                self.assertEqual(self.codes(answer), search_codes(wkt, radius))
                self.assertGreater(len(answer["sites"]), 0)
                self.assertEqual([s["number"] for s in answer["sites"]],
                                 list(range(1, len(answer["sites"]) + 1)))
                for s in answer["sites"]:
                    self.assertLessEqual(s["distance"], float(radius))
                self.assertTrue(answer["area"] and answer["shape"])
        boundary = self.enquire(BOUNDARY, "150")
        self.assertEqual(boundary["title"], "Sites within 150 m of the boundary")
        self.assertGreater(len(boundary["features"]), 0)
        self.assertEqual(set(boundary["features"][0]), {"drawing", "reference", "kind", "outlines"})

    def test_report_is_a_pdf_of_the_enquiry(self):
        status, headers, body = ss.get(self.server, "/report.pdf",
                                       {"around": BOUNDARY, "radius": "150", "title": "Plot 7 <b>"})
        self.assertEqual(status, 200, body[:200])
        self.assertEqual(headers["Content-Type"], "application/pdf")
        self.assertIn("attachment", headers["Content-Disposition"])
        self.assertTrue(body.startswith(b"%PDF"))
        if not shutil.which("pdftotext"):
            self.skipTest("pdftotext (poppler-utils) is not installed")
        text = subprocess.run(["pdftotext", "-", "-"], input=body, capture_output=True,
                              check=True).stdout.decode()
        self.assertIn("Plot 7 <b>", text)
        for code in search_codes(BOUNDARY, "150")[:3]:
            self.assertIn(code, text)

    def test_a_boundary_file_posted_in_a_form(self):
        ring = [[float(v) for v in p.split()] for p in
                re.search(r"\(\((.*)\)\)", BOUNDARY).group(1).split(", ")]
        geojson = json.dumps({
            "type": "FeatureCollection",
            "crs": {"type": "name", "properties": {"name": "urn:ogc:def:crs:EPSG::27700"}},
            "features": [{"type": "Feature", "properties": {},
                          "geometry": {"type": "Polygon", "coordinates": [ring]}}]}).encode()
        status, _, body = post(self.server, "/enquiry", {"radius": "150"}, ("plot 7/../site.geojson", geojson))
        self.assertEqual(status, 200, body)
        answer = json.loads(body)
        self.assertEqual(self.codes(answer), self.codes(self.enquire(BOUNDARY, "150")))
        self.assertEqual(answer["title"], "Sites within 150 m of site.geojson")
        status, headers, body = post(self.server, "/report.pdf", {"radius": "150"},
                                     ("site.geojson", geojson))
        self.assertEqual((status, headers["Content-Type"]), (200, "application/pdf"))
        # The same shape typed as WKT, posted.
        status, _, body = post(self.server, "/enquiry", {"radius": "150", "around": BOUNDARY})
        self.assertEqual(status, 200, body)

    def test_what_cannot_be_used_is_refused_at_once(self):
        vrt = (b'<OGRVRTDataSource><OGRVRTLayer name="x"><SrcDataSource>/etc/passwd'
               b'</SrcDataSource></OGRVRTLayer></OGRVRTDataSource>')
        cases = [
            ("GET", {"around": "POLYGON ((1 2, 3", "radius": "100"}, None, 400),
            ("GET", {"around": BOUNDARY, "radius": "9000"}, None, 400),
            ("GET", {"around": BOUNDARY, "radius": "nan"}, None, 400),
            ("GET", {"around": BOUNDARY}, None, 400),
            ("GET", {"radius": "100"}, None, 400),
            ("POST", {"radius": "100"}, ("x.vrt", vrt), 400),
            ("POST", {"radius": "100"}, ("empty.geojson", b""), 400),
            ("POST", {"radius": "100"}, ("points.geojson", json.dumps({
                "type": "Feature", "properties": {},
                "geometry": {"type": "Point", "coordinates": [496000, 370000]}}).encode()), 400),
            ("POST", {"radius": "100", "around": BOUNDARY}, ("site.geojson", b"{}"), 400),
            ("POST", {"radius": "100", "x" * 100: "1"}, None, 400),
        ]
        for method, fields, file, expected in cases:
            with self.subTest(fields=str(fields)[:60], file=file and file[0]):
                if method == "GET":
                    status, headers, body = ss.get(self.server, "/enquiry", fields)
                else:
                    status, headers, body = post(self.server, "/enquiry", fields, file)
                self.assertEqual(status, expected, body)
                self.assertTrue(headers["Content-Type"].startswith("text/plain"))
                self.assertNotIn(self.tmp.encode(), body)
        # A file that names other files is not read at all (only a few drivers take uploads).
        status, _, body = post(self.server, "/enquiry", {"radius": "100"}, ("x.geojson", vrt))
        self.assertEqual(status, 400)
        self.assertIn(b"x.geojson is not a boundary file the service reads", body)
        # Too large: said at once by its length (413 before the body is read), or found
        # out while a chunked body comes (read no further: the connection is closed).
        self.assertEqual(self.post_large(17 * 1024 * 1024, chunked=False), 413)
        self.assertIsNone(self.post_large(17 * 1024 * 1024, chunked=True))
        # Only the enquiry's paths take posts.
        status, headers, _ = post(self.server, "/wms", {"SERVICE": "WMS"})
        self.assertEqual((status, headers["Allow"]), (405, "GET, HEAD"))
        status, headers, _ = ss.get(self.server, "/enquiry", method="PUT")
        self.assertEqual((status, headers["Allow"]), (405, "GET, HEAD, POST"))
        # The service still answers.
        self.assertEqual(ss.get(self.server, "/enquiry", {"around": BOUNDARY, "radius": "10"})[0], 200)

    def test_zz_nothing_written_to_the_data_or_left_behind(self):
        self.assertEqual(listing(ss.SAMPLE), self.data_before)
        self.assertEqual([n for n in os.listdir(self.tmp) if n.startswith("tavi-")], [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
