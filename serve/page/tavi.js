// The page's map: the service's layers over Leaflet in national-grid metres, the pointer's
// grid reference, Go to, the scale bar and the records under a click. Everything read
// from the service goes onto the page as text (textContent), never as markup: the
// records hold what people typed.
(function () {
  'use strict';

  // The national grid's extent in metres, and its false origin's north-west corner, from
  // which the tiles are counted.
  const GRID_EAST = 700000;
  const GRID_NORTH = 1300000;
  const TILE = 256;
  // From about 128 m a pixel to 8 pixels a metre.
  const MIN_ZOOM = -7;
  const MAX_ZOOM = 3;
  // How often a tile the service was too busy for is asked for again.
  const TILE_TRIES = 4;

  const statusLine = document.getElementById('status');
  function say(text) {
    statusLine.textContent = text;
  }

  if (typeof L === 'undefined') {
    say('The map cannot be shown: the service has no copy of its map library (libjs-leaflet).');
    return;
  }

  // Leaflet's planar coordinate system with the grid's transformation: x east and y north
  // in metres, 2^zoom pixels a metre (zoom 0 is a metre a pixel, -7 about 128 m).
  const crs = L.extend({}, L.CRS.Simple, {
    code: 'EPSG:27700',
    transformation: new L.Transformation(1, 0, -1, GRID_NORTH),
    infinite: true,
  });
  // Leaflet stops a tile's download by giving the picture a data: address, which the
  // page's policy refuses (pictures come from the service alone); taking the address
  // away stops it as well.
  const Tiles = L.TileLayer.WMS.extend({
    _abortLoading: function () {
      Object.keys(this._tiles).forEach((key) => {
        const tile = this._tiles[key];
        if (tile.coords.z !== this._tileZoom) {
          tile.el.onload = L.Util.falseFn;
          tile.el.onerror = L.Util.falseFn;
          if (!tile.el.complete) {
            tile.el.removeAttribute('src');
            L.DomUtil.remove(tile.el);
            delete this._tiles[key];
          }
        }
      });
    },
    _removeTile: function (key) {
      const tile = this._tiles[key];
      if (!tile) {
        return;
      }
      tile.el.onload = L.Util.falseFn;
      tile.el.onerror = L.Util.falseFn;
      tile.el.removeAttribute('src');
      L.GridLayer.prototype._removeTile.call(this, key);
    },
  });

  function latLng(x, y) {
    return L.latLng(y, x);
  }

  // A grid reference to the metre as the desk gives it ("SK 96595 70255"): the 500 km
  // and 100 km squares' letters and five digits each way; whole metres off the grid.
  const ROWS = ['VWXYZ', 'QRSTU', 'LMNOP', 'FGHJK', 'ABCDE'];
  function gridReference(x, y) {
    const e = Math.floor(x);
    const n = Math.floor(y);
    if (e < 0 || n < 0 || e >= 1000000 || n >= 2000000) {
      return e + ' ' + n;
    }
    const west = e < 500000;
    let first;
    let cn = 0;
    if (n < 500000) {
      first = west ? 'S' : 'T';
    } else if (n < 1000000) {
      first = west ? 'N' : 'O';
      cn = 500000;
    } else {
      first = west ? 'H' : 'J';
      cn = 1000000;
    }
    let de = e - (west ? 0 : 500000);
    let dn = n - cn;
    const col = Math.floor(de / 100000);
    const row = Math.floor(dn / 100000);
    if (row > 4) {
      return e + ' ' + n;
    }
    de -= col * 100000;
    dn -= row * 100000;
    const pad = (v) => String(v).padStart(5, '0');
    return first + ROWS[row][col] + ' ' + pad(de) + ' ' + pad(dn);
  }

  function element(tag, className, text) {
    const el = document.createElement(tag);
    if (className) {
      el.className = className;
    }
    if (text !== undefined) {
      el.textContent = text;
    }
    return el;
  }

  function getJson(url) {
    return fetch(url, { headers: { Accept: 'application/json' } }).then((r) => {
      if (!r.ok) {
        return r.text().then((t) => {
          throw new Error(t.trim() || 'the service answered ' + r.status);
        });
      }
      return r.json();
    });
  }

  function start(project) {
    document.getElementById('title').textContent = 'TAVI map: ' + project.title;
    document.title = 'TAVI map: ' + project.title;
    const ext = project.extent;
    const map = L.map('map', {
      crs: crs,
      minZoom: MIN_ZOOM,
      maxZoom: MAX_ZOOM,
      zoomSnap: 1,
      attributionControl: false,
      keyboardPanDelta: 120,
    });
    map.fitBounds(L.latLngBounds(latLng(ext[0], ext[1]), latLng(ext[2], ext[3])));
    L.control.scale({ imperial: false, maxWidth: 160 }).addTo(map);
    const container = map.getContainer();
    container.setAttribute('role', 'application');
    container.setAttribute('aria-roledescription', 'map');

    // One tile layer draws every layer shown, in the service's order.
    const shown = new Set(project.layers.map((l) => l.name));
    const tiles = new Tiles('/wms', {
      layers: '',
      styles: '',
      format: 'image/png',
      transparent: true,
      version: '1.3.0',
      tileSize: TILE,
      minZoom: MIN_ZOOM,
      maxZoom: MAX_ZOOM,
    });
    // A busy service answers 503 and asks to be tried again shortly: a tile is asked for
    // again a few times, later each time; one still not drawn stays blank, and the
    // status line says so.
    let failedTiles = 0;
    tiles.on('tileerror', (e) => {
      const tile = e.tile;
      const tries = Number(tile.dataset.tries || 0);
      if (tries < TILE_TRIES) {
        tile.dataset.tries = String(tries + 1);
        const url = tile.src;
        setTimeout(() => {
          if (tile.isConnected) {
            tile.src = url;
          }
        }, 1000 * (tries + 1));
        return;
      }
      failedTiles += 1;
      say('Some of the map could not be drawn (' + failedTiles + ' tiles); try again shortly.');
    });
    tiles.on('load', () => {
      if (failedTiles) {
        failedTiles = 0;
        say('');
      }
    });
    function shownLayers() {
      return project.layers.filter((l) => shown.has(l.name));
    }
    function refresh() {
      const names = shownLayers().map((l) => l.name).join(',');
      if (!names) {
        map.removeLayer(tiles);
        return;
      }
      tiles.setParams({ layers: names });
      if (!map.hasLayer(tiles)) {
        tiles.addTo(map);
      }
    }

    const list = document.getElementById('layers');
    project.layers.forEach((l, i) => {
      const item = element('li');
      const id = 'layer-' + i;
      const box = element('input');
      box.type = 'checkbox';
      box.id = id;
      box.checked = true;
      box.addEventListener('change', () => {
        if (box.checked) {
          shown.add(l.name);
        } else {
          shown.delete(l.name);
        }
        refresh();
      });
      const label = element('label');
      label.htmlFor = id;
      const swatch = element('span', 'swatch' + (l.colour ? '' : ' none'));
      swatch.setAttribute('aria-hidden', 'true');
      if (l.colour) {
        swatch.style.backgroundColor = l.colour;
      }
      label.append(swatch, element('span', '', l.title));
      item.append(box, label);
      list.append(item);
    });
    refresh();

    // The pointer's grid reference, as the desk's status bar gives it.
    const pointer = document.getElementById('pointer-reference');
    map.on('mousemove', (e) => {
      pointer.textContent = gridReference(e.latlng.lng, e.latlng.lat);
    });
    map.on('mouseout', () => {
      pointer.textContent = '\u2013';
    });

    // Go to a grid reference: the service reads it as the desk does.
    const gotoForm = document.getElementById('goto-form');
    const gotoInput = document.getElementById('goto-reference');
    const gotoStatus = document.getElementById('goto-status');
    gotoForm.addEventListener('submit', (e) => {
      e.preventDefault();
      const text = gotoInput.value.trim();
      if (!text) {
        return;
      }
      getJson('/place?reference=' + encodeURIComponent(text)).then(
        (place) => {
          map.setView(latLng(place.x, place.y), Math.max(map.getZoom(), -1), { animate: false });
          gotoStatus.textContent = 'Centred on ' + place.reference + '.';
          gotoInput.removeAttribute('aria-invalid');
        },
        (err) => {
          gotoStatus.textContent = err.message;
          gotoInput.setAttribute('aria-invalid', 'true');
        });
    });

    // The records under a click (or under the centre, by Enter on the map).
    function recordsAt(point, where) {
      const queried = shownLayers().filter((l) => l.queryable).map((l) => l.name);
      if (!queried.length) {
        return;
      }
      const size = map.getSize();
      const bounds = map.getBounds();
      const sw = crs.project(bounds.getSouthWest());
      const ne = crs.project(bounds.getNorthEast());
      const params = new URLSearchParams({
        SERVICE: 'WMS',
        VERSION: '1.3.0',
        REQUEST: 'GetFeatureInfo',
        LAYERS: shownLayers().map((l) => l.name).join(','),
        QUERY_LAYERS: queried.join(','),
        STYLES: '',
        CRS: 'EPSG:27700',
        BBOX: [sw.x, sw.y, ne.x, ne.y].join(','),
        WIDTH: String(size.x),
        HEIGHT: String(size.y),
        I: String(Math.round(point.x)),
        J: String(Math.round(point.y)),
        INFO_FORMAT: 'application/json',
        FEATURE_COUNT: '20',
      });
      getJson('/wms?' + params.toString()).then(
        (info) => showRecords(info, where),
        (err) => say('The records could not be read: ' + err.message));
    }
    function showRecords(info, where) {
      const body = element('div', 'record');
      let count = 0;
      info.layers.forEach((layer) => {
        if (!layer.features.length) {
          return;
        }
        body.append(element('h3', '', layer.title));
        layer.features.forEach((feature) => {
          const dl = element('dl');
          Object.keys(feature).forEach((name) => {
            const value = feature[name];
            dl.append(element('dt', '', name), element('dd', '', value === null ? '' : String(value)));
          });
          body.append(dl);
          count += 1;
        });
      });
      if (info.note) {
        body.append(element('p', 'note', info.note));
      }
      if (!count) {
        body.append(element('p', '', 'Nothing recorded here (' + gridReference(info.x, info.y) + ').'));
      }
      L.popup({ maxWidth: 360, autoPanPadding: [12, 12] }).setLatLng(where).setContent(body).openOn(map);
    }
    // While the enquiry takes the map's clicks (drawing a shape) it answers them itself.
    const page = {
      map: map,
      crs: crs,
      latLng: latLng,
      element: element,
      getJson: getJson,
      gridReference: gridReference,
      say: say,
      drawing: false,
    };
    map.on('click', (e) => {
      if (!page.drawing) {
        recordsAt(e.containerPoint, e.latlng);
      }
    });
    container.addEventListener('keydown', (e) => {
      if ((e.key === 'Enter' || e.key === ' ') && e.target === container && !page.drawing) {
        e.preventDefault();
        const size = map.getSize();
        recordsAt(L.point(size.x / 2, size.y / 2), map.getCenter());
      }
    });
    map.on('popupopen', (e) => {
      const close = e.popup.getElement().querySelector('.leaflet-popup-close-button');
      if (close) {
        close.setAttribute('aria-label', 'Close the records');
        close.setAttribute('role', 'button');
      }
    });

    window.taviMap = map; // for the browser tests and the curious
    document.dispatchEvent(new CustomEvent('tavi-map-ready', { detail: page }));
  }

  getJson('/layers.json').then(start, (err) => say('The project could not be read: ' + err.message));
}());
