// The viewer page: opening files (picker, drop, ?file=URL, the file `orvo web` named), the
// Worker that parses them, looking around and panning, hover, measuring, layers, the object
// list and the view kept in the address's fragment.
(function () {
    'use strict';

    const Q = globalThis.OrvoQuery;
    const Layers = ['colour', 'distance', 'ids', 'outlines'];
    const $ = (id) => document.getElementById(id);

    const state = {
        doc: null,
        byId: new Map(),
        counts: null,
        cameras: Q.slotCameras(),
        rolls: null,             // a panorama's face rolls: {upRoll, downRoll, how}
        unit: '',
        view: null,              // {yaw, pitch, fov} or {x, y, zoom}
        layer: 0,
        highlight: -1,
        measurements: [],
        pending: null,           // the first point of a measurement being made
        distanceRange: null,
        hover: null,             // the CSS position pointed at
        fragment: parseFragment(location.hash),
        loading: null,           // the Worker at work
        frames: 0,
    };
    const timings = { chosen: 0, parsed: 0, firstFrame: 0, hover: 0 };
    globalThis.orvoViewer = { state, timings, redraw: () => drawNow() };

    let renderer = null;
    const scene = $('scene');
    const overlay = $('overlay');
    const stage = $('stage');
    try {
        renderer = new OrvoRenderer.Renderer(scene);
    } catch (error) {
        message(String(error.message || error) + '. The page cannot draw files here.', 'error');
    }

    // ---- Messages ------------------------------------------------------------------------

    function message(text, kind) {
        const box = document.createElement('div');
        box.className = 'message ' + (kind || 'error');
        box.setAttribute('role', kind === 'note' ? 'status' : 'alert');
        const span = document.createElement('span');
        span.textContent = text;
        const close = document.createElement('button');
        close.type = 'button';
        close.textContent = '\u00d7';
        close.title = 'Dismiss';
        close.addEventListener('click', () => box.remove());
        box.append(span, close);
        const list = $('messages');
        list.prepend(box);
        while (list.children.length > 4) {
            list.lastChild.remove();
        }
    }

    function clearMessages() {
        $('messages').replaceChildren();
    }

    window.addEventListener('error', (event) => message('Unexpected problem: ' + event.message));
    window.addEventListener('unhandledrejection', (event) =>
        message('Unexpected problem: ' + (event.reason && event.reason.message || event.reason)));

    // ---- Opening -------------------------------------------------------------------------

    let workerUrl = null;

    // source: a File, an ArrayBuffer or a URL; name: what to call it; statedRolls: the face
    // rolls `orvo web --rolls` stated for this file, or null to find them.
    function open(source, name, statedRolls = null) {
        if (renderer === null) {
            return;
        }
        timings.chosen = performance.now();
        if (state.loading !== null) {
            state.loading.terminate();
        }
        showProgress('Reading ' + name, 0);
        document.body.dataset.state = 'loading';
        if (workerUrl === null) {
            workerUrl = URL.createObjectURL(new Blob([OrvoReader.workerSource], { type: 'text/javascript' }));
        }
        const worker = new Worker(workerUrl);
        state.loading = worker;
        worker.onmessage = (event) => {
            const data = event.data;
            if (data.progress !== undefined) {
                showProgress((data.stage === 'reading' ? 'Reading ' : 'Reading the layers of ') + name, data.progress);
                return;
            }
            worker.terminate();
            state.loading = null;
            hideProgress();
            if (data.error !== undefined) {
                refuse(name, data.error);
                return;
            }
            timings.parsed = performance.now();
            show(data.document, statedRolls);
        };
        worker.onerror = (event) => {
            worker.terminate();
            state.loading = null;
            hideProgress();
            refuse(name, 'cannot be read here (' + (event.message || 'the reader stopped') + ')');
        };
        worker.postMessage({ source, name }, source instanceof ArrayBuffer ? [source] : []);
    }

    function refuse(name, problem) {
        message(name + ': ' + problem, 'error');
        document.body.dataset.state = state.doc === null ? 'empty' : 'ready';
        document.body.dataset.refused = String(Number(document.body.dataset.refused || 0) + 1);
    }

    function showProgress(label, fraction) {
        $('progress').hidden = false;
        $('progress-label').textContent = label + '\u2026 ' + Math.round(fraction * 100) + '%';
        $('progress-fill').style.width = (fraction * 100).toFixed(1) + '%';
    }

    function hideProgress() {
        $('progress').hidden = true;
    }

    // The face rolls found in the panorama's pixels, as `orvo info` finds them.
    function settleRolls(doc) {
        const found = Q.findRolls(doc);
        const how = (face) => face.determined ? 'found from its edges' : 'not determined, taken as 0\u00b0';
        return { upRoll: found.upRoll, downRoll: found.downRoll, found,
            how: 'up ' + how(found.up) + ', down ' + how(found.down) };
    }

    // A parsed document from the Worker becomes the page's.
    function show(doc, statedRolls) {
        const problem = doc.depth !== null ? Q.rayProblem(doc) : null;
        if (problem !== null) {
            refuse(doc.name, problem);
            return;
        }
        clearMessages();
        state.rolls = null;
        if (doc.panorama !== null && doc.width === 6 * doc.height) {
            state.rolls = statedRolls !== null ? { ...statedRolls, how: 'as stated' } : settleRolls(doc);
        }
        state.cameras = state.rolls === null ? Q.slotCameras()
            : Q.slotCameras(state.rolls.upRoll, state.rolls.downRoll);
        const note = renderer.setDocument(doc, state.cameras, limitFromAddress());
        timings.uploaded = performance.now();
        state.doc = doc;
        state.byId = OrvoReader.objectsById(doc.objects);
        state.counts = null;
        state.unit = Q.unitPhrase(Q.scaleOf(doc));
        state.measurements = [];
        state.pending = null;
        state.distanceRange = null;
        state.highlight = -1;
        renderer.objectTexture(state.byId);
        if (note !== null) {
            message(note, 'note');
        }
        if (doc.bigEndian) {
            message(doc.name + ': a big-endian TIFF file, which neither Orvo writer writes; it was read as ' +
                'the orvo tool reads it, in its own byte order.', 'note');
        }
        state.view = defaultView();
        applyFragment(state.fragment);
        state.fragment = null; // later files open with their own defaults
        $('file-name').textContent = doc.name;
        $('start').hidden = true;
        $('layers').disabled = false;
        document.title = doc.name + ' \u2013 Orvo viewer';
        describeFile();
        listObjects();
        listMeasurements();
        setHover(null);
        syncLayerButtons();
        document.body.dataset.state = 'ready';
        document.body.dataset.mode = isPanorama() ? 'panorama' : 'flat';
        state.firstFrameDue = true;
        drawNow();
        stage.focus({ preventScroll: true });
        // The pixel counts of the object list, once the first frame is up.
        setTimeout(() => {
            if (state.doc === doc) {
                state.counts = OrvoReader.idCounts(doc.ids);
                listObjects();
                document.body.dataset.counted = doc.name;
            }
        }, 0);
    }

    // The largest texture side to use, from ?maxtexture=N (for trying the reduced path).
    function limitFromAddress() {
        const value = Number(new URLSearchParams(location.search).get('maxtexture'));
        return value >= 16 ? value : undefined;
    }

    function isPanorama() {
        return state.doc !== null && state.doc.panorama !== null;
    }

    function describeFile() {
        const doc = state.doc;
        const kind = doc.panorama !== null ? 'panorama, ' + doc.height + ' x ' + doc.height + ' pixels a face'
            : doc.view !== null ? (doc.view.projection === Q.ProjectionParallel ? 'parallel view' : 'perspective view')
                : 'no view record';
        const layers = doc.layers.map((l) => OrvoReader.kindName(l.kind)).join(', ');
        const rolls = state.rolls === null ? '' : ' Up face rolled ' + state.rolls.upRoll + '\u00b0, down face ' +
            state.rolls.downRoll + '\u00b0 (' + state.rolls.how + ').';
        $('file-info').textContent = 'Revision ' + doc.revision + ', ' + doc.width + ' x ' + doc.height +
            ' pixels, ' + kind + '. Layers: ' + layers + '. Lengths in ' + state.unit + '.' + rolls;
    }

    // ---- Views and the fragment ----------------------------------------------------------

    function defaultView() {
        if (isPanorama()) {
            return { yaw: 0, pitch: 0, fov: 75 };
        }
        return fitView();
    }

    function fitView() {
        const doc = state.doc;
        const zoom = Math.min(stage.clientWidth / doc.width, stage.clientHeight / doc.height) * 0.96;
        return { x: doc.width / 2, y: doc.height / 2, zoom: zoom > 0 ? zoom : 1 };
    }

    function parseFragment(hash) {
        const fields = new URLSearchParams(hash.replace(/^#/, ''));
        const out = {};
        for (const key of ['yaw', 'pitch', 'fov', 'x', 'y', 'zoom', 'object']) {
            if (fields.has(key) && Number.isFinite(Number(fields.get(key)))) {
                out[key] = Number(fields.get(key));
            }
        }
        if (Layers.includes(fields.get('layer'))) {
            out.layer = Layers.indexOf(fields.get('layer'));
        }
        return out;
    }

    function applyFragment(f) {
        if (f === null || state.doc === null) {
            return;
        }
        const v = state.view;
        if (isPanorama()) {
            for (const key of ['yaw', 'pitch', 'fov']) {
                if (f[key] !== undefined) {
                    v[key] = f[key];
                }
            }
        } else {
            for (const key of ['x', 'y', 'zoom']) {
                if (f[key] !== undefined) {
                    v[key] = f[key];
                }
            }
        }
        limitView();
        if (f.layer !== undefined) {
            state.layer = f.layer;
        }
        if (f.object !== undefined && f.object >= 0 && f.object < 65536) {
            state.highlight = f.object;
        }
    }

    function limitView() {
        const v = state.view;
        if (isPanorama()) {
            v.yaw = ((v.yaw % 360) + 540) % 360 - 180;
            v.pitch = Math.max(-90, Math.min(90, v.pitch));
            v.fov = Math.max(5, Math.min(140, v.fov));
        } else {
            v.zoom = Math.max(1e-4, Math.min(256, v.zoom));
            v.x = Math.max(0, Math.min(state.doc.width, v.x));
            v.y = Math.max(0, Math.min(state.doc.height, v.y));
        }
    }

    let fragmentTimer = 0;
    function writeFragment() {
        clearTimeout(fragmentTimer);
        fragmentTimer = setTimeout(() => {
            if (state.doc === null) {
                return;
            }
            const v = state.view;
            const round = (value, digits) => String(Number(value.toFixed(digits)));
            const fields = isPanorama()
                ? ['yaw=' + round(v.yaw, 2), 'pitch=' + round(v.pitch, 2), 'fov=' + round(v.fov, 2)]
                : ['x=' + round(v.x, 2), 'y=' + round(v.y, 2), 'zoom=' + round(v.zoom, 5)];
            fields.push('layer=' + Layers[state.layer]);
            if (state.highlight >= 0) {
                fields.push('object=' + state.highlight);
            }
            const hash = '#' + fields.join('&');
            if (hash !== location.hash) {
                history.replaceState(null, '', hash);
            }
        }, 120);
    }

    window.addEventListener('hashchange', (event) => {
        // The address a person gave wins over a pending rewrite of the old view.
        clearTimeout(fragmentTimer);
        const hash = new URL(event.newURL).hash;
        const f = parseFragment(hash);
        state.appliedHash = hash;
        if (state.doc === null) {
            state.fragment = f;
            return;
        }
        applyFragment(f);
        syncLayerButtons();
        listObjects();
        redraw();
    });

    // ---- Drawing -------------------------------------------------------------------------

    let frameRequested = false;
    function redraw() {
        if (!frameRequested) {
            frameRequested = true;
            requestAnimationFrame(() => {
                frameRequested = false;
                drawNow();
            });
        }
    }

    function drawNow() {
        if (renderer === null) {
            return;
        }
        resize();
        if (state.doc !== null && state.layer === 1 && state.distanceRange === null) {
            state.distanceRange = distanceRange(state.doc);
        }
        const view = state.doc === null ? null : isPanorama() ? state.view
            : { x: state.view.x, y: state.view.y, zoom: state.view.zoom * devicePixelRatio };
        renderer.draw(view, state.layer, state.highlight, state.distanceRange);
        if (state.firstFrameDue) {
            // Wait for the frame itself, for the time to the first frame.
            renderer.gl.readPixels(0, 0, 1, 1, renderer.gl.RGBA, renderer.gl.UNSIGNED_BYTE, new Uint8Array(4));
            timings.firstFrame = performance.now();
            state.firstFrameDue = false;
        }
        drawOverlay();
        showLegend();
        state.frames++;
        document.body.dataset.frames = String(state.frames);
        if (state.doc !== null) {
            writeFragment();
        }
    }

    function resize() {
        const ratio = devicePixelRatio || 1;
        const width = Math.max(1, Math.round(stage.clientWidth * ratio));
        const height = Math.max(1, Math.round(stage.clientHeight * ratio));
        for (const canvas of [scene, overlay]) {
            if (canvas.width !== width || canvas.height !== height) {
                canvas.width = width;
                canvas.height = height;
            }
        }
    }
    new ResizeObserver(() => redraw()).observe(stage);

    // The nearest and farthest distance along the rays among the pixels with depth.
    function distanceRange(doc) {
        if (doc.depth === null) {
            return null;
        }
        const scale = Q.scaleOf(doc);
        const step = (scale.farDepth - scale.nearDepth) / 4294967296.0;
        let low = Infinity;
        let high = -Infinity;
        const w = doc.width;
        const h = doc.height;
        // Squared lengths of the rays' parts that vary by column and by row.
        const columns = new Float64Array(w);
        const rows = new Float64Array(h);
        let perspective = null;
        if (doc.panorama !== null) {
            for (let i = 0; i < w; ++i) {
                const x = -1 + 2 * (i % h) / (h - 1 || 1);
                columns[i] = x * x;
            }
            for (let j = 0; j < h; ++j) {
                const y = 1 - 2 * j / (h - 1 || 1);
                rows[j] = 1 + y * y;
            }
        } else if (doc.view.projection === Q.ProjectionParallel) {
            const d = Q.length(doc.view.viewDirection);
            rows.fill(d * d);
        } else {
            perspective = [];
            for (let j = 0; j < h; ++j) {
                perspective.push(Q.rayThroughPixel(doc, 0, j, state.cameras).direction);
            }
        }
        const depth = doc.depth;
        for (let j = 0; j < h; ++j) {
            for (let i = 0; i < w; ++i) {
                const code = depth[j * w + i];
                if (code === 0xFFFFFFFF) {
                    continue;
                }
                let length;
                if (perspective !== null) {
                    length = Q.length(Q.rayThroughPixel(doc, i, j, state.cameras).direction);
                } else {
                    length = Math.sqrt(columns[i] + rows[j]);
                }
                const distance = (scale.nearDepth + code * step) * length;
                if (distance < low) {
                    low = distance;
                }
                if (distance > high) {
                    high = distance;
                }
            }
        }
        if (low === Infinity) {
            return null;
        }
        return [Math.max(low, 1e-9), Math.max(high, 1e-9)];
    }

    function showLegend() {
        const legend = $('legend');
        const range = state.distanceRange;
        legend.hidden = state.doc === null || state.layer !== 1;
        if (!legend.hidden) {
            legend.textContent = range === null ? 'No depth in this file.' :
                'Distance: bright ' + Q.formatG(range[0], 3) + ' \u2192 dark ' + Q.formatG(range[1], 3) + ' ' +
                state.unit + ' (log scale); hatched: no depth';
        }
    }

    // ---- From screen to pixel and back ---------------------------------------------------

    function cssSize() {
        return [stage.clientWidth, stage.clientHeight];
    }

    // The file pixel under a CSS position of the stage, or null.
    function pixelAt(px, py) {
        const doc = state.doc;
        const [w, h] = cssSize();
        if (doc === null || px < 0 || py < 0 || px >= w || py >= h) {
            return null;
        }
        if (isPanorama()) {
            const camera = OrvoRenderer.panoramaCamera(state.view, w, h);
            const nx = (px + 0.5) / w * 2 - 1;
            const ny = 1 - (py + 0.5) / h * 2;
            const d = [0, 1, 2].map((k) => camera.forward[k] + nx * camera.tanX * camera.right[k] +
                ny * camera.tanY * camera.up[k]);
            const dot = (a, v) => a.x * v[0] + a.y * v[1] + a.z * v[2];
            let slot = 0;
            let best = -Infinity;
            state.cameras.forEach((c, s) => {
                const f = dot(c.forward, d);
                if (f > best) {
                    best = f;
                    slot = s;
                }
            });
            const c = state.cameras[slot];
            const n = doc.height;
            const x = dot(c.right, d) / best;
            const y = dot(c.up, d) / best;
            const clamp = (v) => Math.max(0, Math.min(n - 1, v));
            const column = clamp(Math.floor((x + 1) * 0.5 * (n - 1) + 0.5));
            const row = clamp(Math.floor((1 - y) * 0.5 * (n - 1) + 0.5));
            return { x: slot * n + column, y: row };
        }
        const v = state.view;
        const ix = Math.floor(v.x + (px + 0.5 - w / 2) / v.zoom);
        const iy = Math.floor(v.y + (py + 0.5 - h / 2) / v.zoom);
        if (ix < 0 || iy < 0 || ix >= doc.width || iy >= doc.height) {
            return null;
        }
        return { x: ix, y: iy };
    }

    // Where a world point (panorama) or a pixel centre (flat) shows on the overlay, in CSS
    // pixels; for a panorama the point in camera space.
    function cameraSpace(point) {
        const [w, h] = cssSize();
        const camera = OrvoRenderer.panoramaCamera(state.view, w, h);
        const eye = state.doc.panorama.eyePoint;
        const v = [point[0] - eye.x, point[1] - eye.y, point[2] - eye.z];
        const dot = (a) => a[0] * v[0] + a[1] * v[1] + a[2] * v[2];
        return { x: dot(camera.right), y: dot(camera.up), z: dot(camera.forward), camera };
    }

    function project(c, camera, w, h) {
        return [w / 2 + (c.x / c.z) / camera.tanX * w / 2, h / 2 - (c.y / c.z) / camera.tanY * h / 2];
    }

    // The segment between two answers on screen, clipped in front of the eye; null when it
    // lies behind.
    function screenSegment(a, b) {
        const [w, h] = cssSize();
        if (!isPanorama()) {
            const v = state.view;
            const at = (p) => [w / 2 + (p.x + 0.5 - v.x) * v.zoom, h / 2 + (p.y + 0.5 - v.y) * v.zoom];
            return [at(a), at(b)];
        }
        let p = cameraSpace(a.point);
        let q = cameraSpace(b.point);
        const near = 1e-6;
        if (p.z < near && q.z < near) {
            return null;
        }
        const cut = (inside, outside) => {
            const t = (inside.z - near) / (inside.z - outside.z);
            return { x: inside.x + t * (outside.x - inside.x), y: inside.y + t * (outside.y - inside.y), z: near };
        };
        if (p.z < near) {
            p = cut(q, p);
        } else if (q.z < near) {
            q = cut(p, q);
        }
        return [project(p, p.camera || q.camera, w, h), project(q, q.camera || p.camera, w, h)];
    }

    function drawOverlay() {
        const ratio = devicePixelRatio || 1;
        const g = overlay.getContext('2d', { willReadFrequently: true });
        g.setTransform(1, 0, 0, 1, 0, 0);
        g.clearRect(0, 0, overlay.width, overlay.height);
        if (state.doc === null) {
            return;
        }
        g.setTransform(ratio, 0, 0, ratio, 0, 0);
        g.font = '600 13px system-ui, sans-serif';
        g.lineJoin = 'round';
        const camera = isPanorama() ? cameraSpace([0, 0, 0]).camera : null;
        const dot = (position, colour) => {
            g.beginPath();
            g.arc(position[0], position[1], 4, 0, 2 * Math.PI);
            g.fillStyle = colour;
            g.fill();
            g.lineWidth = 1.5;
            g.strokeStyle = '#000';
            g.stroke();
        };
        state.measurements.forEach((m, index) => {
            const segment = screenSegment(m.a, m.b);
            if (segment === null) {
                return;
            }
            const [p, q] = segment;
            g.beginPath();
            g.moveTo(p[0], p[1]);
            g.lineTo(q[0], q[1]);
            g.lineWidth = 4;
            g.strokeStyle = 'rgba(0,0,0,0.75)';
            g.stroke();
            g.lineWidth = 2;
            g.strokeStyle = '#ffd400';
            g.stroke();
            for (const [end, answer] of [[p, m.a], [q, m.b]]) {
                if (visible(answer, camera)) {
                    dot(end, '#ffd400');
                }
            }
            const label = (index + 1) + ': ' + Q.formatG(m.distance, 4) + ' ' + shortUnit();
            const mid = [(p[0] + q[0]) / 2, (p[1] + q[1]) / 2];
            const width = g.measureText(label).width;
            g.fillStyle = 'rgba(20,20,24,0.85)';
            g.fillRect(mid[0] - width / 2 - 5, mid[1] - 19, width + 10, 19);
            g.fillStyle = '#ffd400';
            g.fillText(label, mid[0] - width / 2, mid[1] - 5);
        });
        if (state.pending !== null && visible(state.pending, camera)) {
            const segment = screenSegment(state.pending, state.pending);
            if (segment !== null) {
                dot(segment[0], '#4fd1ff');
            }
        }
    }

    function visible(answer, camera) {
        return camera === null || cameraSpace(answer.point).z > 0;
    }

    function shortUnit() {
        const names = { millimetre: 'mm', centimetre: 'cm', metre: 'm', kilometre: 'km', inch: 'in', foot: 'ft' };
        return names[state.unit] || state.unit;
    }

    // ---- Hover ---------------------------------------------------------------------------

    function answerAt(px, py) {
        const pixel = pixelAt(px, py);
        return pixel === null ? null : Q.ask(state.doc, state.byId, pixel.x, pixel.y, state.cameras);
    }

    function setHover(answer) {
        const values = $('hover-values');
        $('hover-empty').hidden = answer !== null;
        values.hidden = answer === null;
        if (answer === null) {
            delete values.dataset.x;
            return;
        }
        const doc = state.doc;
        const n = doc.height;
        values.dataset.x = answer.x;
        values.dataset.y = answer.y;
        values.dataset.id = answer.id === null ? '' : answer.id;
        values.dataset.name = answer.name === null ? '' : answer.name;
        values.dataset.depth = answer.depth === null ? '' : String(answer.depth);
        values.dataset.distance = answer.distance === null ? '' : String(answer.distance);
        values.dataset.point = answer.point === null ? '' : JSON.stringify(answer.point);

        const swatch = $('hover-swatch');
        const entry = answer.id !== null && answer.id !== 0 ? state.byId.get(answer.id) : undefined;
        swatch.style.background = entry !== undefined ? rgb(entry) : 'transparent';
        swatch.hidden = entry === undefined;
        $('hover-object').textContent = answer.id === null ? '\u2013 (no object-id layer)'
            : answer.id === 0 ? '(no object), id 0'
                : (answer.name !== null ? answer.name : '(not in the object table)') + ', id ' + answer.id;
        const none = doc.depth === null ? 'none: the file has no depth layer' : 'none: nothing was hit';
        $('hover-distance').textContent = answer.distance === null ? none
            : Q.formatG(answer.distance) + ' ' + state.unit + ' along the ray';
        $('hover-depth').textContent = answer.depth === null ? none
            : Q.formatG(answer.depth) + ' ' + state.unit + ' along the view direction';
        $('hover-point').textContent = answer.point === null ? '\u2013' : answer.point.map((c) => Q.formatG(c)).join(', ');
        $('hover-pixel').textContent = answer.x + ', ' + answer.y +
            (answer.face !== null ? ' (panorama face ' + answer.face + ', column ' + (answer.x % n) + ' of it)' : '');
        $('hover-colour').textContent = answer.colour === null ? '\u2013 (no colour layer)'
            : answer.colour.join(' ') + ' (#' + answer.colour.map((c) => c.toString(16).padStart(2, '0').toUpperCase()).join('') + ')';
    }

    function rgb(entry) {
        return 'rgb(' + entry.red + ',' + entry.green + ',' + entry.blue + ')';
    }

    function hoverAt(px, py) {
        if (state.doc === null) {
            return;
        }
        const start = performance.now();
        setHover(answerAt(px, py));
        timings.hover = performance.now() - start;
    }

    // ---- Measuring -----------------------------------------------------------------------

    function measureAt(px, py) {
        const answer = answerAt(px, py);
        if (answer === null) {
            return;
        }
        if (answer.point === null) {
            message('Pixel ' + answer.x + ', ' + answer.y + ' has no depth, so no point to measure from.', 'note');
            return;
        }
        if (state.pending === null) {
            state.pending = answer;
        } else {
            state.measurements.push({ a: state.pending, b: answer, distance: Q.distanceBetween(state.pending.point, answer.point) });
            state.pending = null;
        }
        listMeasurements();
        redraw();
    }

    function listMeasurements() {
        const list = $('measurements');
        list.replaceChildren();
        const point = (a) => '(' + a.point.map((c) => Q.formatG(c, 6)).join(', ') + ')';
        state.measurements.forEach((m, index) => {
            const item = document.createElement('li');
            item.dataset.distance = String(m.distance);
            item.dataset.a = JSON.stringify(m.a.point);
            item.dataset.b = JSON.stringify(m.b.point);
            const text = document.createElement('span');
            text.textContent = Q.formatG(m.distance) + ' ' + state.unit + ' from ' + point(m.a) + ' to ' + point(m.b);
            const remove = document.createElement('button');
            remove.type = 'button';
            remove.className = 'small-button';
            remove.textContent = '\u00d7';
            remove.title = 'Remove this measurement';
            remove.addEventListener('click', () => {
                state.measurements.splice(index, 1);
                listMeasurements();
                redraw();
            });
            item.append(text, remove);
            list.append(item);
        });
        $('measure-hint').textContent = state.pending !== null ? 'Click the second point.'
            : 'Click two points to measure the straight distance between them.';
    }

    function clearMeasurements() {
        state.measurements = [];
        state.pending = null;
        listMeasurements();
        redraw();
    }
    $('clear-measurements').addEventListener('click', clearMeasurements);

    // ---- Objects -------------------------------------------------------------------------

    function listObjects() {
        const list = $('objects');
        list.replaceChildren();
        const doc = state.doc;
        if (doc === null) {
            return;
        }
        const ids = new Set(state.byId.keys());
        if (state.counts !== null && doc.ids !== null) {
            for (let id = 1; id < 65536; ++id) {
                if (state.counts[id] > 0) {
                    ids.add(id);
                }
            }
        }
        const filter = $('object-filter').value.trim().toLowerCase();
        let shown = 0;
        for (const id of [...ids].sort((a, b) => a - b)) {
            const entry = state.byId.get(id);
            const name = entry !== undefined ? entry.name : '(not in the object table)';
            const pixels = doc.ids !== null && state.counts !== null ? state.counts[id] : 0;
            const item = document.createElement('li');
            item.dataset.id = id;
            item.dataset.pixels = pixels;
            item.hidden = filter !== '' && !name.toLowerCase().includes(filter) && String(id) !== filter;
            shown += !item.hidden;
            item.className = id === state.highlight ? 'chosen' : '';
            const button = document.createElement('button');
            button.type = 'button';
            button.title = 'Highlight its pixels';
            const swatch = document.createElement('span');
            swatch.className = 'swatch';
            swatch.style.background = entry !== undefined ? rgb(entry) : '#f0f';
            const label = document.createElement('span');
            label.className = 'object-name';
            label.textContent = name;
            const figures = document.createElement('span');
            figures.className = 'object-figures';
            figures.textContent = 'id ' + id + ' \u00b7 ' + pixels + ' px';
            button.append(swatch, label, figures);
            button.addEventListener('click', () => {
                state.highlight = state.highlight === id ? -1 : id;
                listObjects();
                redraw();
            });
            item.append(button);
            list.append(item);
        }
        $('object-count').textContent = state.counts === null && doc.ids !== null ? '(counting pixels)'
            : shown === ids.size ? '(' + ids.size + ')' : '(' + shown + ' of ' + ids.size + ')';
    }
    $('object-filter').addEventListener('input', listObjects);

    // ---- Layers --------------------------------------------------------------------------

    function setLayer(index) {
        state.layer = index;
        syncLayerButtons();
        redraw();
    }

    function syncLayerButtons() {
        for (const input of document.querySelectorAll('input[name=layer]')) {
            input.checked = input.value === Layers[state.layer];
        }
        document.body.dataset.layer = Layers[state.layer];
    }

    for (const input of document.querySelectorAll('input[name=layer]')) {
        input.addEventListener('change', () => setLayer(Layers.indexOf(input.value)));
    }

    // ---- Pointer, wheel and keys ---------------------------------------------------------

    const pointers = new Map();
    let gesture = null;

    function local(event) {
        const box = stage.getBoundingClientRect();
        return [event.clientX - box.left, event.clientY - box.top];
    }

    stage.addEventListener('pointerdown', (event) => {
        if (state.doc === null) {
            return;
        }
        stage.setPointerCapture(event.pointerId);
        pointers.set(event.pointerId, local(event));
        if (pointers.size === 1) {
            gesture = { start: local(event), last: local(event), moved: false, spread: 0 };
        } else if (pointers.size === 2) {
            const [a, b] = [...pointers.values()];
            gesture = { pinch: Math.hypot(a[0] - b[0], a[1] - b[1]), moved: true, view: { ...state.view } };
        }
    });

    stage.addEventListener('pointermove', (event) => {
        const position = local(event);
        if (!pointers.has(event.pointerId)) {
            state.hover = position;
            hoverAt(position[0], position[1]);
            return;
        }
        pointers.set(event.pointerId, position);
        if (gesture === null) {
            return;
        }
        if (pointers.size >= 2 && gesture.pinch !== undefined) {
            const [a, b] = [...pointers.values()];
            const spread = Math.hypot(a[0] - b[0], a[1] - b[1]);
            zoomBy(gesture.pinch / Math.max(spread, 1), null, gesture.view);
            return;
        }
        const dx = position[0] - gesture.last[0];
        const dy = position[1] - gesture.last[1];
        if (!gesture.moved && Math.hypot(position[0] - gesture.start[0], position[1] - gesture.start[1]) < 4) {
            return;
        }
        gesture.moved = true;
        gesture.last = position;
        if (isPanorama()) {
            const perPixel = state.view.fov / stage.clientHeight;
            state.view.yaw -= dx * perPixel;
            state.view.pitch += dy * perPixel;
        } else {
            state.view.x -= dx / state.view.zoom;
            state.view.y -= dy / state.view.zoom;
        }
        limitView();
        redraw();
    });

    const endPointer = (event) => {
        if (!pointers.has(event.pointerId)) {
            return;
        }
        pointers.delete(event.pointerId);
        if (gesture !== null && !gesture.moved && pointers.size === 0 && event.type === 'pointerup') {
            const position = local(event);
            measureAt(position[0], position[1]);
        }
        if (pointers.size === 0) {
            gesture = null;
        }
    };
    stage.addEventListener('pointerup', endPointer);
    stage.addEventListener('pointercancel', endPointer);
    stage.addEventListener('pointerleave', (event) => {
        if (!pointers.has(event.pointerId)) {
            state.hover = null;
        }
    });

    // factor > 1 widens the view (zooms out). at: a CSS position that stays put (flat).
    function zoomBy(factor, at, from) {
        const base = from || state.view;
        if (isPanorama()) {
            state.view.fov = base.fov * factor;
        } else {
            const [w, h] = cssSize();
            const zoom = Math.max(1e-4, Math.min(256, base.zoom / factor));
            if (at !== null) {
                const ix = base.x + (at[0] - w / 2) / base.zoom;
                const iy = base.y + (at[1] - h / 2) / base.zoom;
                state.view.x = ix - (at[0] - w / 2) / zoom;
                state.view.y = iy - (at[1] - h / 2) / zoom;
            }
            state.view.zoom = zoom;
        }
        limitView();
        redraw();
        if (state.hover !== null) {
            hoverAt(state.hover[0], state.hover[1]);
        }
    }

    stage.addEventListener('wheel', (event) => {
        if (state.doc === null) {
            return;
        }
        event.preventDefault();
        const delta = event.deltaMode === 1 ? event.deltaY * 16 : event.deltaY;
        zoomBy(Math.exp(delta * 0.0015), local(event));
    }, { passive: false });

    document.addEventListener('keydown', (event) => {
        if (event.target instanceof HTMLInputElement && event.target.type !== 'radio') {
            return;
        }
        if (event.key === 'Escape') {
            if (!$('help').hidden) {
                $('help').hidden = true;
            } else {
                clearMeasurements();
            }
            return;
        }
        if (state.doc === null || event.ctrlKey || event.metaKey || event.altKey) {
            return;
        }
        const step = isPanorama() ? state.view.fov / 12 : 40 / state.view.zoom;
        const turns = { ArrowLeft: [-1, 0], ArrowRight: [1, 0], ArrowUp: [0, 1], ArrowDown: [0, -1] };
        if (turns[event.key] !== undefined) {
            const [x, y] = turns[event.key];
            if (isPanorama()) {
                state.view.yaw += x * step;
                state.view.pitch += y * step;
            } else {
                state.view.x += x * step;
                state.view.y -= y * step;
            }
            limitView();
            redraw();
        } else if (event.key === '+' || event.key === '=') {
            zoomBy(1 / 1.15, null);
        } else if (event.key === '-' || event.key === '_') {
            zoomBy(1.15, null);
        } else if (event.key === '0') {
            state.view = defaultView();
            redraw();
        } else if (event.key >= '1' && event.key <= '4') {
            setLayer(Number(event.key) - 1);
        } else {
            return;
        }
        event.preventDefault();
    });

    // ---- Files: picker, drop, address ----------------------------------------------------

    for (const id of ['file-input', 'file-input-start']) {
        $(id).addEventListener('change', (event) => {
            const file = event.target.files[0];
            if (file !== undefined) {
                open(file, file.name);
            }
            event.target.value = '';
        });
    }

    let dragDepth = 0;
    window.addEventListener('dragenter', (event) => {
        event.preventDefault();
        dragDepth++;
        $('drop').hidden = false;
    });
    window.addEventListener('dragover', (event) => event.preventDefault());
    window.addEventListener('dragleave', () => {
        dragDepth = Math.max(0, dragDepth - 1);
        $('drop').hidden = dragDepth > 0;
    });
    window.addEventListener('drop', (event) => {
        event.preventDefault();
        dragDepth = 0;
        $('drop').hidden = true;
        const file = event.dataTransfer.files[0];
        if (file !== undefined) {
            open(file, file.name);
        }
    });

    $('help-button').addEventListener('click', () => {
        $('help').hidden = !$('help').hidden;
    });
    $('help-close').addEventListener('click', () => {
        $('help').hidden = true;
    });

    // A page `orvo web` wrote, opened from a file:// address, cannot fetch the file beside
    // it; it reads the copy of the file's bytes that `orvo web` wrote as scripts instead.
    globalThis.OrvoEmbedded = {
        buffer: null,
        part(index, count, size, text) {
            if (this.buffer === null) {
                this.buffer = new Uint8Array(size);
                this.count = count;
                this.filled = 0;
            }
            const binary = atob(text);
            const bytes = new Uint8Array(binary.length);
            for (let i = 0; i < binary.length; ++i) {
                bytes[i] = binary.charCodeAt(i);
            }
            this.buffer.set(bytes, this.filled);
            this.filled += bytes.length;
            this.next(index + 1);
        },
    };

    function openEmbedded(file, statedRolls) {
        const embedded = globalThis.OrvoEmbedded;
        embedded.next = (index) => {
            if (index < embedded.count) {
                showProgress('Reading ' + file, index / embedded.count);
                load(index);
                return;
            }
            const buffer = embedded.buffer.buffer;
            embedded.buffer = null;
            open(buffer, file.split('/').pop(), statedRolls);
        };
        const load = (index) => {
            const script = document.createElement('script');
            script.src = file + '.' + index + '.js';
            script.onerror = () => {
                hideProgress();
                message(file + ': a page opened from a file cannot read the file beside it, and its copy ' +
                    'as scripts (' + script.src.split('/').pop() + ') is missing. Drop ' + file +
                    ' onto the page, or open the page through a web server.', 'error');
            };
            document.head.append(script);
        };
        showProgress('Reading ' + file, 0);
        load(0);
    }

    function openFromAddress() {
        const asked = new URLSearchParams(location.search).get('file');
        const meta = document.querySelector('meta[name=orvo-file]');
        const own = meta !== null ? meta.content.trim() : '';
        const file = asked !== null && asked !== '' ? asked : own;
        if (file === '') {
            return;
        }
        // Rolls stated by `orvo web --rolls` belong to the file it named.
        const rollsMeta = document.querySelector('meta[name=orvo-rolls]');
        const stated = file === own && rollsMeta !== null ? /^(0|180),(0|180)$/.exec(rollsMeta.content.trim()) : null;
        const statedRolls = stated === null ? null : { upRoll: Number(stated[1]), downRoll: Number(stated[2]) };
        const name = decodeURIComponent(file.split('?')[0].split('/').pop()) || file;
        if (location.protocol === 'file:' && asked === null) {
            openEmbedded(file, statedRolls);
            return;
        }
        if (location.protocol === 'file:') {
            message(name + ': a page opened from a file cannot fetch ?file=; drop the file onto the page or ' +
                'open the page through a web server.', 'error');
            return;
        }
        open(new URL(file, location.href).href, name, statedRolls);
    }

    listMeasurements();
    syncLayerButtons();
    drawNow();
    openFromAddress();
})();
