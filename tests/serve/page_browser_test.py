#!/usr/bin/env python3
"""The page at / in a real headless Chromium driven through chromedriver: it loads without
a console error and paints the map's tiles, a click on a site opens its record (markup in
a record shown as text), the pointer's grid reference and Go to agree with the service,
Tab reaches every control, each control has a name, at 360 pixels wide nothing is cut
off, and an enquiry drawn on the page lists the sites tavi-search --around lists and
downloads its report as a PDF. One browser and one service for the whole file; the project is a copy of the
sample in which one site's name holds markup.

Exits 77 (skipped), saying why, where the browser, its driver or Selenium is missing."""
import json
import os
import re
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import serve_support as ss  # noqa: E402

CHROMIUM = shutil.which("chromium") or "/usr/bin/chromium"
CHROMEDRIVER = shutil.which("chromedriver") or "/usr/bin/chromedriver"
SEARCH = os.path.join(ss.BUILD, "bin", "tavi-search")
SKIP = 77

# What a record may hold: typed by people, markup included. It must be shown as text.
MARKUP = '<img src="/no-such-picture" onerror="window.taviBroken = 1"><b>bold</b> & more'


def missing_tools():
    if not os.access(CHROMIUM, os.X_OK):
        return "chromium is not installed"
    if not os.access(CHROMEDRIVER, os.X_OK):
        return "chromedriver (chromium-driver) is not installed"
    try:
        import selenium  # noqa: F401
    except ImportError:
        return "python3-selenium is not installed"
    return None


def site_database(folder):
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        with open(path, "rb") as f:
            if f.read(16) == b"SQLite format 3\x00":
                return path
    raise RuntimeError("no site database in " + folder)


class Page(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service as DriverService

        cls.folder = tempfile.mkdtemp(prefix="tavi-page-")
        cls.data = os.path.join(cls.folder, "data")
        shutil.copytree(ss.SAMPLE, cls.data)
        db = sqlite3.connect(site_database(cls.data))
        # A site on the map (it lies on an excavated area) whose name becomes markup.
        row = db.execute('SELECT RENO, site, NGS, xcoord, ycoord FROM TAVIsitelist '
                         'WHERE NGS <> "" ORDER BY RENO LIMIT 1').fetchone()
        db.execute('UPDATE TAVIsitelist SET "SITE NAME" = ? WHERE RENO = ?', (MARKUP, row[0]))
        db.commit()
        db.close()
        reno, cls.site_code, cls.site_ngs, within_x, within_y = row
        # A browser asks for six tiles at once, which may all meet one worker: room for
        # them in its queue, so that no tile waits for a second try (the page tries again,
        # but a refused tile is an error in the console).
        cls.server = ss.Server("--queue", "8", data=cls.data, workers=2)
        # The grid reference names the site's 100 km square; the metres within it are its own.
        status, _, body = ss.get(cls.server, "/place", {"reference": cls.site_ngs})
        assert status == 200, body
        square = json.loads(body)
        cls.site_place = {"x": square["x"] // 100000 * 100000 + within_x,
                          "y": square["y"] // 100000 * 100000 + within_y}

        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for a in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                  "--window-size=1280,900", "--hide-scrollbars", "--lang=en-GB"):
            options.add_argument(a)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        cls.downloads = os.path.join(cls.folder, "downloads")
        os.mkdir(cls.downloads)
        options.add_experimental_option("prefs", {"download.default_directory": cls.downloads,
                                                  "download.prompt_for_download": False})
        cls.driver = webdriver.Chrome(service=DriverService(CHROMEDRIVER), options=options)
        cls.driver.execute_cdp_cmd("Page.setDownloadBehavior",
                                   {"behavior": "allow", "downloadPath": cls.downloads})
        cls.driver.set_script_timeout(60)

    @classmethod
    def tearDownClass(cls):
        if hasattr(cls, "driver"):
            cls.driver.quit()
        if hasattr(cls, "server"):
            cls.server.stop()
        shutil.rmtree(cls.folder, ignore_errors=True)

    # -- helpers ---------------------------------------------------------------------------

    def open_page(self, width=1280, height=900):
        self.driver.get_log("browser")  # what the page before said
        self.driver.set_window_size(width, height)
        self.driver.get(self.server.url)
        self.wait_for("return !!window.taviMap")
        self.wait_for_tiles()

    def wait_for(self, script, timeout=60):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            value = self.driver.execute_script(script)
            if value:
                return value
            time.sleep(0.1)
        tiles = self.driver.execute_script(
            "return [...document.querySelectorAll('img.leaflet-tile')].map(t => t.className + ' ' + t.src)")
        self.fail("waited %ds for: %s\ntiles: %s" % (timeout, script, tiles[:5]))

    def wait_for_tiles(self):
        # Every tile the map asked for has come (loaded or failed) and there is at least one.
        self.wait_for("""
            const all = document.querySelectorAll('img.leaflet-tile');
            return all.length > 0 &&
                   document.querySelectorAll('img.leaflet-tile-loaded').length === all.length;""")

    def console_errors(self):
        return [e for e in self.driver.get_log("browser") if e["level"] == "SEVERE"]

    def centre_on(self, x, y, zoom):
        self.driver.execute_script("taviMap.setView([arguments[1], arguments[0]], arguments[2], "
                                   "{animate: false});", x, y, zoom)
        self.wait_for_tiles()

    def click_map_at_centre(self):
        from selenium.webdriver.common.action_chains import ActionChains
        from selenium.webdriver.common.by import By
        ActionChains(self.driver).move_to_element(self.driver.find_element(By.ID, "map")).click().perform()

    # -- tests -----------------------------------------------------------------------------

    def test_1_loads_without_errors_and_paints_tiles(self):
        self.open_page()
        loaded, painted = self.driver.execute_script("""
            const tiles = [...document.querySelectorAll('img.leaflet-tile-loaded')];
            const c = document.createElement('canvas');
            c.width = c.height = 256;
            const g = c.getContext('2d', {willReadFrequently: true});
            let painted = 0;
            for (const t of tiles) {
                g.clearRect(0, 0, 256, 256);
                g.drawImage(t, 0, 0);
                const d = g.getImageData(0, 0, 256, 256).data;
                for (let i = 3; i < d.length; i += 4)
                    if (d[i] > 0) { painted += 1; break; }
            }
            return [tiles.length, painted];""")
        self.assertGreaterEqual(loaded, 4)
        self.assertGreaterEqual(painted, 2, "tiles came but none holds anything drawn")
        # The layer list: every layer of the service, each period by its name.
        names = self.driver.execute_script(
            "return [...document.querySelectorAll('#layers label')].map(l => l.textContent)")
        for title in ("Prehistoric", "Roman Military", "Industrial", "Sites"):
            self.assertIn(title, names)
        self.assertEqual([e["message"] for e in self.console_errors()], [])
        # The scale bar is there and says metres.
        scale = self.driver.execute_script(
            "return document.querySelector('.leaflet-control-scale-line').textContent")
        self.assertRegex(scale, r"^\d+ k?m$")

    def test_2_click_on_a_site_opens_its_record_as_text(self):
        self.open_page()
        self.centre_on(self.site_place["x"], self.site_place["y"], 1)
        self.click_map_at_centre()
        text = self.wait_for("""
            const p = document.querySelector('.leaflet-popup-content');
            return p ? p.textContent : '';""")
        self.assertIn(self.site_code, text)
        # The markup a record holds is its text: no element made of it, no script run.
        self.assertIn(MARKUP, text)
        self.assertEqual(self.driver.execute_script(
            "return document.querySelectorAll('.leaflet-popup-content img, "
            ".leaflet-popup-content b').length"), 0)
        self.assertIsNone(self.driver.execute_script("return window.taviBroken"))
        self.assertEqual([e["message"] for e in self.console_errors()], [])

    def test_3_pointer_reference_and_go_to_agree_with_the_service(self):
        from selenium.webdriver.common.action_chains import ActionChains
        from selenium.webdriver.common.by import By
        from selenium.webdriver.common.keys import Keys
        self.open_page()
        self.driver.execute_script(
            "taviMap.on('mousemove', e => { window.taviLast = [e.latlng.lng, e.latlng.lat]; });")
        chain = ActionChains(self.driver)
        chain.move_to_element_with_offset(self.driver.find_element(By.ID, "map"), 37, -21).perform()
        x, y = self.wait_for("return window.taviLast")
        shown = self.driver.find_element(By.ID, "pointer-reference").text
        status, _, body = ss.get(self.server, "/place",
                                 {"reference": "%d %d" % (int(x // 1), int(y // 1))})
        self.assertEqual(status, 200)
        self.assertEqual(shown, json.loads(body)["reference"])

        box = self.driver.find_element(By.ID, "goto-reference")
        box.clear()
        box.send_keys("%d %d" % (self.site_place["x"], self.site_place["y"]), Keys.ENTER)
        self.wait_for("return document.getElementById('goto-status').textContent.startsWith('Centred')")
        cx, cy = self.driver.execute_script(
            "const c = taviMap.getCenter(); return [c.lng, c.lat];")
        self.assertAlmostEqual(cx, self.site_place["x"], delta=1)
        self.assertAlmostEqual(cy, self.site_place["y"], delta=1)
        box.clear()
        box.send_keys(self.site_ngs.lower(), Keys.ENTER)  # the lettered kind, small letters too
        letters, east, north = self.site_ngs.split()
        self.wait_for("return document.getElementById('goto-status').textContent === %s"
                      % json.dumps("Centred on %s %s %s." % (letters, east.ljust(5, "0"),
                                                             north.ljust(5, "0"))))
        box.clear()
        box.send_keys("XX 12", Keys.ENTER)
        self.wait_for("return document.getElementById('goto-reference')"
                      ".getAttribute('aria-invalid') === 'true'")
        self.assertIn("Not a place", self.driver.find_element(By.ID, "goto-status").text)
        # The one error said is the service's answer to the bad reference.
        self.assertEqual([e["message"] for e in self.console_errors() if "/place?" not in e["message"]],
                         [])

    def test_4_tab_reaches_every_control_and_each_has_a_name(self):
        from selenium.webdriver.common.action_chains import ActionChains
        from selenium.webdriver.common.keys import Keys
        self.open_page()
        controls = self.driver.execute_script("""
            const list = [...document.querySelectorAll(
                'a[href], button, input, select, textarea, [tabindex]:not([tabindex="-1"])')]
                .filter(e => e.getClientRects().length && !e.disabled);
            // A group of radio buttons is one stop of Tab (arrow keys move within it).
            list.forEach((e, i) => e.dataset.taviControl =
                e.type === 'radio' ? 'radio:' + e.name : String(i));
            const name = e => (e.getAttribute('aria-label') || e.getAttribute('title') ||
                (e.labels && e.labels.length ? e.labels[0].textContent : '') ||
                e.textContent || '').trim();
            return list.map(e => [e.dataset.taviControl, name(e)]);""")
        controls = list({c[0]: c for c in controls}.values())
        self.assertGreaterEqual(len(controls), 8)
        for index, name in controls:
            self.assertTrue(name, "control %s has no name" % index)
        self.driver.execute_script("document.activeElement && document.activeElement.blur();")
        reached = set()
        for _ in range(len(controls) + 5):
            ActionChains(self.driver).send_keys(Keys.TAB).perform()
            reached.add(self.driver.execute_script(
                "return document.activeElement.dataset.taviControl || null"))
        self.assertEqual({c[0] for c in controls} - reached, set())
        # A layer switched off and on again by keyboard alone.
        self.driver.execute_script("document.getElementById('layer-0').focus()")
        ActionChains(self.driver).send_keys(Keys.SPACE).perform()
        self.assertFalse(self.driver.execute_script("return document.getElementById('layer-0').checked"))
        ActionChains(self.driver).send_keys(Keys.SPACE).perform()
        self.assertTrue(self.driver.execute_script("return document.getElementById('layer-0').checked"))
        # Enter on the map opens the records at its centre.
        self.driver.execute_script("taviMap.getContainer().focus()")
        ActionChains(self.driver).send_keys(Keys.ENTER).perform()
        self.wait_for("return !!document.querySelector('.leaflet-popup-content')")

    def test_5_nothing_is_cut_off_at_360_pixels(self):
        for width in (360, 1920):
            with self.subTest(width=width):
                self.open_page(width, 800)
                result = self.driver.execute_script("""
                    const w = document.documentElement.clientWidth;
                    const out = [];
                    for (const e of document.querySelectorAll(
                            'h1, h2, label, input, button, output, .leaflet-control, #map')) {
                        const r = e.getBoundingClientRect();
                        if (!r.width) continue;
                        if (r.left < -0.5 || r.right > w + 0.5)
                            out.push(e.tagName + '#' + e.id + ' ' + r.left + '..' + r.right);
                        if (e.id !== 'map' && e.scrollWidth > e.clientWidth + 1 &&
                            getComputedStyle(e).overflowX !== 'visible')
                            out.push(e.tagName + '#' + e.id + ' clips its text');
                    }
                    return {width: w, scroll: document.documentElement.scrollWidth, out: out,
                            map: document.getElementById('map').getBoundingClientRect().height};""")
                self.assertLessEqual(result["scroll"], result["width"])
                self.assertEqual(result["out"], [])
                self.assertGreaterEqual(result["map"], 250)
        self.assertEqual([e["message"] for e in self.console_errors()], [])

    def test_6_an_enquiry_drawn_on_the_page_is_tavi_searchs(self):
        from selenium.webdriver.common.action_chains import ActionChains
        from selenium.webdriver.common.by import By
        self.open_page()
        self.centre_on(self.site_place["x"], self.site_place["y"], -1)
        d = self.driver
        d.find_element(By.ID, "enquiry-draw").click()
        mapped = d.find_element(By.ID, "map")
        # A concave boundary of five corners around the site, clicked on the map.
        for dx, dy in ((-90, -70), (80, -80), (100, 60), (0, 10), (-80, 70)):
            ActionChains(d).move_to_element_with_offset(mapped, dx, dy).click().perform()
        d.find_element(By.ID, "enquiry-draw").click()  # finish
        wkt = d.find_element(By.ID, "enquiry-around").get_attribute("value")
        self.assertRegex(wkt, r"^POLYGON \(\((\d+(\.\d+)? \d+(\.\d+)?, ){5}\d")
        radius = d.find_element(By.ID, "enquiry-radius")
        radius.clear()
        radius.send_keys("120")
        d.find_element(By.ID, "enquiry-search").click()
        self.wait_for("return document.querySelectorAll('#enquiry-results li').length > 0")
        listed = d.execute_script(
            "return [...document.querySelectorAll('#enquiry-results ol.sites li')]"
            ".map(li => [li.value, li.textContent])")
        out = subprocess.run([SEARCH, "--data", self.data, "--around", wkt, "--radius", "120",
                              "--out", "-", "--format", "xml"], check=True, capture_output=True,
                             env=dict(os.environ, QT_QPA_PLATFORM="offscreen")).stdout
        import xml.etree.ElementTree as ET
        codes = [row.findtext("site") for row in ET.fromstring(out)]
        self.assertIn(self.site_code, codes)
        self.assertEqual([n for n, _ in listed], list(range(1, len(codes) + 1)))
        self.assertEqual([re.search(r"RE\d+", t).group(0) for _, t in listed], codes)
        # The rings on the map carry the same numbers.
        rings = d.execute_script("return [...document.querySelectorAll('.ring-number')]"
                                 ".map(t => Number(t.textContent))")
        self.assertEqual(sorted(rings), list(range(1, len(codes) + 1)))

        d.find_element(By.ID, "enquiry-title").send_keys("Plot 7")
        d.find_element(By.ID, "enquiry-report").click()
        end = time.monotonic() + 120
        pdf = os.path.join(self.downloads, "enquiry.pdf")
        while not os.path.exists(pdf) and time.monotonic() < end:
            time.sleep(0.2)
        self.assertTrue(os.path.exists(pdf), os.listdir(self.downloads))
        with open(pdf, "rb") as f:
            self.assertEqual(f.read(5), b"%PDF-")
        if shutil.which("pdftotext"):
            text = subprocess.run(["pdftotext", pdf, "-"], capture_output=True, check=True).stdout
            self.assertIn(b"Plot 7", text)
            self.assertIn(self.site_code.encode(), text)
        self.assertEqual([e["message"] for e in self.console_errors()], [])

    def test_7_a_point_drawn_by_keyboard(self):
        from selenium.webdriver.common.by import By
        self.open_page()
        d = self.driver
        d.execute_script("document.querySelector('input[name=kind][value=point]').focus()")
        d.switch_to.active_element.send_keys(" ")
        d.execute_script("document.getElementById('enquiry-draw').focus()")
        d.switch_to.active_element.send_keys("\n")
        d.execute_script("document.getElementById('enquiry-centre').focus()")
        d.switch_to.active_element.send_keys("\n")
        self.assertRegex(d.find_element(By.ID, "enquiry-around").get_attribute("value"), r"^POINT \(")
        self.assertEqual(d.find_element(By.ID, "enquiry-draw").get_attribute("aria-pressed"), "false")
        d.execute_script("document.getElementById('enquiry-search').focus()")
        d.switch_to.active_element.send_keys("\n")
        self.wait_for("return document.getElementById('enquiry-status').textContent.includes('found')")

    def test_8_a_boundary_file_chosen_on_the_page(self):
        from selenium.webdriver.common.by import By
        self.open_page()
        x, y = self.site_place["x"], self.site_place["y"]
        ring = [[x - 40, y - 40], [x + 40, y - 40], [x + 40, y + 40], [x - 40, y + 40], [x - 40, y - 40]]
        path = os.path.join(self.folder, "plot 7.geojson")
        with open(path, "w") as f:
            json.dump({"type": "FeatureCollection",
                       "crs": {"type": "name", "properties": {"name": "urn:ogc:def:crs:EPSG::27700"}},
                       "features": [{"type": "Feature", "properties": {},
                                     "geometry": {"type": "Polygon", "coordinates": [ring]}}]}, f)
        self.driver.find_element(By.ID, "enquiry-file").send_keys(path)
        radius = self.driver.find_element(By.ID, "enquiry-radius")
        radius.clear()
        radius.send_keys("0")
        self.driver.find_element(By.ID, "enquiry-search").click()
        heading = self.wait_for("const h = document.getElementById('enquiry-results-heading');"
                                "return h ? h.textContent : '';")
        self.assertEqual(heading, "Sites within 0 m of plot7.geojson")
        self.assertIn(self.site_code, self.driver.find_element(By.ID, "enquiry-results").text)


def main():
    why = missing_tools()
    if why:
        print("skipped: " + why)
        return SKIP
    result = unittest.main(exit=False, verbosity=2).result
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
