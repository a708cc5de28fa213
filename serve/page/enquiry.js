// The enquiry on the page: a boundary, a route or a point drawn on the map, typed as WKT
// or read from a file, and a radius; the service answers the sites within it, numbered
// as its report numbers them, which the page lists beside the map and rings on it, and
// "Report (PDF)" downloads that report. Every value from the service goes onto the page
// as text.
(function () {
  'use strict';

  document.addEventListener('tavi-map-ready', (event) => {
    const page = event.detail;
    const map = page.map;
    const element = page.element;
    const form = document.getElementById('enquiry-form');
    const drawButton = document.getElementById('enquiry-draw');
    const centreButton = document.getElementById('enquiry-centre');
    const around = document.getElementById('enquiry-around');
    const fileInput = document.getElementById('enquiry-file');
    const radius = document.getElementById('enquiry-radius');
    const title = document.getElementById('enquiry-title');
    const reportButton = document.getElementById('enquiry-report');
    const status = document.getElementById('enquiry-status');
    const results = document.getElementById('enquiry-results');

    const sketch = L.layerGroup().addTo(map); // the shape being drawn
    const found = L.layerGroup().addTo(map); // the area, the shape and the rings answered
    let vertices = [];

    function kind() {
      return form.querySelector('input[name="kind"]:checked').value;
    }

    // Grid metres to a millimetre, as WKT writes them.
    function xy(p) {
      return p[0].toFixed(3).replace(/\.?0+$/, '') + ' ' + p[1].toFixed(3).replace(/\.?0+$/, '');
    }
    function wkt() {
      if (!vertices.length) {
        return '';
      }
      if (kind() === 'point') {
        return 'POINT (' + xy(vertices[0]) + ')';
      }
      if (kind() === 'route') {
        return vertices.length >= 2 ? 'LINESTRING (' + vertices.map(xy).join(', ') + ')' : '';
      }
      return vertices.length >= 3 ?
        'POLYGON ((' + vertices.concat([vertices[0]]).map(xy).join(', ') + '))' : '';
    }

    function drawSketch() {
      sketch.clearLayers();
      const points = vertices.map((p) => page.latLng(p[0], p[1]));
      const style = { color: '#e08a00', weight: 2, dashArray: '6 4', interactive: false };
      if (kind() === 'boundary' && points.length >= 3) {
        L.polygon(points, Object.assign({ fillOpacity: 0.05 }, style)).addTo(sketch);
      } else if (points.length >= 2) {
        L.polyline(points, style).addTo(sketch);
      }
      points.forEach((p) => L.circleMarker(p, { radius: 4, color: '#e08a00', interactive: false }).addTo(sketch));
    }

    function setDrawing(on) {
      page.drawing = on;
      drawButton.setAttribute('aria-pressed', on ? 'true' : 'false');
      drawButton.textContent = on ? 'Finish drawing' : 'Draw on the map';
      centreButton.disabled = !on;
      map.getContainer().classList.toggle('drawing', on);
      if (on) {
        map.doubleClickZoom.disable();
      } else {
        map.doubleClickZoom.enable();
      }
    }

    function addVertex(x, y) {
      if (kind() === 'point') {
        vertices = [[x, y]];
      } else {
        vertices.push([x, y]);
      }
      around.value = wkt();
      fileInput.value = '';
      drawSketch();
      status.textContent = vertices.length + (vertices.length === 1 ? ' point' : ' points') +
        ', the last at ' + page.gridReference(x, y) + '.';
      if (kind() === 'point') {
        setDrawing(false);
      }
    }

    function finishDrawing() {
      setDrawing(false);
      if (!wkt()) {
        status.textContent = kind() === 'boundary' ? 'A boundary needs three points or more.' :
          kind() === 'route' ? 'A route needs two points or more.' : 'Click the map for the point.';
      } else {
        status.textContent = 'The ' + kind() + ' is drawn; set the radius and search.';
      }
    }

    drawButton.addEventListener('click', () => {
      if (page.drawing) {
        finishDrawing();
        return;
      }
      vertices = [];
      around.value = '';
      drawSketch();
      setDrawing(true);
      status.textContent = 'Click the map for each ' + (kind() === 'point' ? 'point' : 'corner') + '.';
    });
    centreButton.addEventListener('click', () => {
      const c = map.getCenter();
      addVertex(c.lng, c.lat);
    });
    map.on('click', (e) => {
      if (page.drawing) {
        addVertex(e.latlng.lng, e.latlng.lat);
      }
    });
    map.on('dblclick', () => {
      if (page.drawing) {
        finishDrawing();
      }
    });
    map.getContainer().addEventListener('keydown', (e) => {
      if (!page.drawing) {
        return;
      }
      if (e.key === 'Enter') {
        e.preventDefault();
        finishDrawing();
      } else if (e.key === 'Escape') {
        e.preventDefault();
        vertices = [];
        around.value = '';
        drawSketch();
        setDrawing(false);
        status.textContent = 'Drawing stopped.';
      }
    });
    form.querySelectorAll('input[name="kind"]').forEach((r) => r.addEventListener('change', () => {
      around.value = wkt();
      drawSketch();
    }));
    around.addEventListener('input', () => {
      vertices = [];
      sketch.clearLayers();
    });

    // The question as the service takes it: the file if one is chosen, else the WKT.
    function question(withTitle) {
      const data = new FormData();
      if (fileInput.files.length) {
        data.append('file', fileInput.files[0]);
      } else {
        data.append('around', around.value.trim());
      }
      data.append('radius', radius.value);
      if (withTitle && title.value.trim()) {
        data.append('title', title.value.trim());
      }
      return data;
    }
    function ready() {
      if (!fileInput.files.length && !around.value.trim()) {
        status.textContent = 'Draw a shape, type it as WKT or choose a boundary file first.';
        return false;
      }
      if (!radius.checkValidity()) {
        status.textContent = 'The radius is 0 to 5000 metres.';
        radius.focus();
        return false;
      }
      return true;
    }
    function post(path, data) {
      return fetch(path, { method: 'POST', body: data }).then((r) => {
        if (!r.ok) {
          return r.text().then((t) => {
            throw new Error(t.trim() || 'the service answered ' + r.status);
          });
        }
        return r;
      });
    }

    function rings(list) {
      return list.map((ring) => ring.map((p) => page.latLng(p[0], p[1])));
    }
    function show(answer) {
      setDrawing(false);
      sketch.clearLayers();
      found.clearLayers();
      if (answer.area.length) {
        L.polygon(rings(answer.area), {
          color: '#c00000', weight: 1.5, fillColor: '#c00000', fillOpacity: 0.08, interactive: false,
        }).addTo(found);
      }
      answer.shape.forEach((part) => {
        const line = rings([part])[0];
        if (line.length === 1) {
          L.circleMarker(line[0], { radius: 4, color: '#000', interactive: false }).addTo(found);
        } else if (answer.kind === 'boundary') {
          L.polygon(line, { color: '#000', weight: 2, fill: false, interactive: false }).addTo(found);
        } else {
          L.polyline(line, { color: '#000', weight: 2, interactive: false }).addTo(found);
        }
      });
      answer.sites.forEach((site) => {
        if (site.x === undefined) {
          return;
        }
        const label = element('span', '', String(site.number));
        L.circleMarker(page.latLng(site.x, site.y), {
          radius: 9, color: '#c00000', weight: 2, fill: false, interactive: false,
        }).bindTooltip(label, {
          permanent: true, direction: 'right', offset: [8, 0], className: 'ring-number',
        }).addTo(found);
      });

      results.replaceChildren();
      const heading = element('h3', '', answer.title);
      heading.id = 'enquiry-results-heading';
      results.append(heading, element('p', 'note', answer.line));
      const shown = answer.columns.slice(0, 3);
      if (answer.sites.length) {
        const list = element('ol', 'sites');
        list.setAttribute('aria-labelledby', heading.id);
        answer.sites.forEach((site) => {
          const parts = shown.map((_, i) => site.values[i]).filter((v) => v !== null && v !== '');
          const item = element('li', '', parts.join(' \u00b7 ') + ' \u2014 ' +
            site.distance.toFixed(1) + ' m');
          item.value = site.number;
          list.append(item);
        });
        results.append(list);
      } else {
        results.append(element('p', '', 'No recorded sites within the area.'));
      }
      if (answer.features.length) {
        results.append(element('h3', '', 'Drawn features within the area'));
        const list = element('ul', 'features');
        answer.features.forEach((f) => {
          list.append(element('li', '', f.drawing + ': ' + f.reference + ' (' + f.kind + ')'));
        });
        results.append(list);
      }
      if (answer.note) {
        results.append(element('p', 'note', answer.note));
      }
      status.textContent = answer.sites.length + (answer.sites.length === 1 ? ' site' : ' sites') +
        ' and ' + answer.features.length + ' drawn features found.';
      if (found.getLayers().length && answer.area.length) {
        map.fitBounds(L.polygon(rings(answer.area)).getBounds(), { padding: [20, 20], animate: false });
      }
    }

    form.addEventListener('submit', (e) => {
      e.preventDefault();
      if (!ready()) {
        return;
      }
      status.textContent = 'Searching\u2026';
      post('/enquiry', question(false)).then((r) => r.json()).then(show, (err) => {
        status.textContent = err.message;
      });
    });

    reportButton.addEventListener('click', () => {
      if (!ready()) {
        return;
      }
      status.textContent = 'Making the report\u2026';
      post('/report.pdf', question(true)).then((r) => r.blob()).then((pdf) => {
        const link = element('a');
        link.href = URL.createObjectURL(pdf);
        link.download = 'enquiry.pdf';
        document.body.append(link);
        link.click();
        link.remove();
        setTimeout(() => URL.revokeObjectURL(link.href), 60000);
        status.textContent = 'The report is downloaded (enquiry.pdf).';
      }, (err) => {
        status.textContent = err.message;
      });
    });
  });
}());
