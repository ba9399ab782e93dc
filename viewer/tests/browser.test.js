// The viewer in a real browser (Debian's chromium, headless, WebGL2 on its software
// renderer), driven as a person drives it: files chosen, the mouse pointed and clicked,
// keys pressed. What the page shows is checked against `orvo query` and against what the
// test works out from the file: hover values, measurements, the pixels of every layer, the
// cube's edges, refusals, and the folder `orvo web` writes.
'use strict';

const assert = require('node:assert/strict');
const fs = require('node:fs');
const http = require('node:http');
const path = require('node:path');
const test = require('node:test');
const { chromium } = (() => {
    try {
        return require('playwright-core');
    } catch (error) {
        throw new Error('playwright-core is not installed here: scripts/setup.sh --viewer-tests installs it');
    }
})();

const { tools, work, must, query, refusal, makeFiles, plainTiff, decodePng } = require('./support.js');

const ViewerUrl = 'file://' + path.resolve(__dirname, '..', 'index.html');
const Size = { width: 1000, height: 620 };
let browser;
const pageErrors = [];

test.before(async () => {
    makeFiles();
    browser = await chromium.launch({
        executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
        args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
            '--disable-background-networking', '--disable-component-update', '--disable-sync', '--no-first-run'],
    });
});
test.after(async () => {
    await browser.close();
    assert.deepEqual(pageErrors, [], 'uncaught errors in the page');
});

async function newPage(url = ViewerUrl) {
    const page = await browser.newPage({ viewport: Size });
    page.on('pageerror', (error) => pageErrors.push(error.message));
    await page.goto(url);
    return page;
}

// Chooses a file through the picker and waits for its first frame or its refusal.
async function choose(page, file) {
    const before = await page.evaluate(() => [orvoViewer.timings.firstFrame, Number(document.body.dataset.refused || 0)]);
    await page.setInputFiles('#file-input', file);
    await page.waitForFunction((b) => orvoViewer.state.loading === null &&
        (orvoViewer.timings.firstFrame > b[0] || Number(document.body.dataset.refused || 0) > b[1]), before);
}

async function waitReady(page) {
    await page.waitForFunction(() => document.body.dataset.state === 'ready' && orvoViewer.state.loading === null);
}

// Sets the view through the address's fragment and waits for it to be drawn.
async function look(page, hash) {
    await page.evaluate((h) => {
        location.hash = h;
    }, hash);
    await page.waitForFunction((h) => orvoViewer.state.appliedHash === h, hash);
    await page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve))));
}

async function stageBox(page) {
    return page.locator('#stage').boundingBox();
}

// Points at a CSS position of the stage and reads the hover panel.
async function hover(page, x, y) {
    const box = await stageBox(page);
    await page.mouse.move(box.x + x, box.y + y);
    return page.evaluate(() => {
        const d = document.getElementById('hover-values').dataset;
        const text = (id) => document.getElementById(id).textContent;
        return {
            x: Number(d.x), y: Number(d.y), id: d.id === '' ? null : Number(d.id), name: d.name === '' ? null : d.name,
            depth: d.depth === '' ? null : Number(d.depth), distance: d.distance === '' ? null : Number(d.distance),
            point: d.point === '' ? null : JSON.parse(d.point),
            text: { distance: text('hover-distance'), depth: text('hover-depth'), point: text('hover-point') },
        };
    });
}

async function screenshot(page) {
    const box = await stageBox(page);
    await page.mouse.move(0, 0);
    return decodePng(await page.screenshot({ clip: box }));
}

// The hovered values equal the tool's for the same pixels, as doubles and as text.
function assertLikeTool(file, seen, unit) {
    const answers = query(file, seen.map((s) => [s.x, s.y]));
    seen.forEach((page, i) => {
        const tool = answers[i];
        const where = file + ' pixel ' + tool.x + ', ' + tool.y;
        assert.deepEqual([page.id, page.name, page.depth, page.distance, page.point],
            [tool.id, tool.name, tool.depth, tool.distance, tool.point], where);
        if (tool.depth !== null) {
            assert.equal(page.text.depth, tool.text[6] + ' ' + unit + ' along the view direction', where);
            assert.equal(page.text.distance, tool.text[7] + ' ' + unit + ' along the ray', where);
            assert.equal(page.text.point, tool.text.slice(8, 11).join(', '), where);
        }
    });
    return answers;
}

// The ray through a CSS position for a panorama view, as a person's camera has it.
function screenRay(view, x, y) {
    const rad = Math.PI / 180;
    const [yaw, pitch] = [view.yaw * rad, view.pitch * rad];
    const forward = [Math.sin(yaw) * Math.cos(pitch), Math.cos(yaw) * Math.cos(pitch), Math.sin(pitch)];
    const right = [Math.cos(yaw), -Math.sin(yaw), 0];
    const up = [-Math.sin(yaw) * Math.sin(pitch), -Math.cos(yaw) * Math.sin(pitch), Math.cos(pitch)];
    const tanY = Math.tan(view.fov * rad / 2);
    const tanX = tanY * view.width / view.height;
    const nx = (x + 0.5) / view.width * 2 - 1;
    const ny = 1 - (y + 0.5) / view.height * 2;
    return [0, 1, 2].map((k) => forward[k] + nx * tanX * right[k] + ny * tanY * up[k]);
}

function angle(a, b) {
    const dot = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    return Math.acos(Math.min(1, dot / Math.hypot(...a) / Math.hypot(...b)));
}

test('hover: panorama, a face of each revision and a parallel view give orvo query\'s values', async () => {
    const files = makeFiles();
    const page = await newPage();
    await choose(page, files.panorama);
    const box = await stageBox(page);
    const info = JSON.parse(must(tools.ORVO, ['info', '--json', files.panorama]));
    const eye = info.panorama.eyePoint;
    const n = info.panorama.faceSize;
    const seen = [];
    // Each face, and looking across the edges of the up and down faces.
    const views = [[0, 0], [45, 30], [100, -20], [-135, -50], [170, 80], [-60, -85], [30, 89]];
    for (const [yaw, pitch] of views) {
        const view = { yaw, pitch, fov: 80, width: box.width, height: box.height };
        await look(page, '#yaw=' + yaw + '&pitch=' + pitch + '&fov=80');
        for (let i = 0; i < 9; ++i) {
            const x = Math.round(box.width * (0.1 + 0.4 * (i % 3) + 0.008 * i));
            const y = Math.round(box.height * (0.1 + 0.8 * Math.floor(i / 3) / 2));
            const answer = await hover(page, x, y);
            seen.push(answer);
            // The pixel is the one the camera sees there: its surface lies along the ray.
            if (answer.point !== null) {
                const off = angle(screenRay(view, x, y), answer.point.map((c, k) => c - eye[k]));
                assert.ok(off < 2.5 * (Math.PI / 2) / (n - 1), 'view ' + yaw + ', ' + pitch + ' at ' + x + ', ' +
                    y + ': ' + off);
            }
        }
    }
    const answers = assertLikeTool(files.panorama, seen, 'metre');
    assert.ok(new Set(answers.map((a) => a.slot)).size === 6, 'all six faces were pointed at');

    for (const [file, cx, cy, zoom] of [[files.face, 48.3, 40.6, 7], [files.parallel, 11.3, 8.6, 30]]) {
        await choose(page, file);
        await look(page, '#x=' + cx + '&y=' + cy + '&zoom=' + zoom);
        const flat = [];
        for (let i = 0; i < 10; ++i) {
            const x = Math.round(box.width / 2 + (i - 5) * 23.7);
            const y = Math.round(box.height / 2 + ((i * 7) % 9 - 4) * 19.3);
            const answer = await hover(page, x, y);
            assert.deepEqual([answer.x, answer.y], [Math.floor(cx + (x + 0.5 - box.width / 2) / zoom),
                Math.floor(cy + (y + 0.5 - box.height / 2) / zoom)]);
            flat.push(answer);
        }
        assertLikeTool(file, flat, file === files.face ? 'metre' : 'units of 2.54 centimetre');
    }
    await page.close();
});

test('measuring: two clicks give the distance between the two world points; Escape clears', async () => {
    const files = makeFiles();
    const page = await newPage();
    await choose(page, files.panorama);
    await look(page, '#yaw=20&pitch=-15&fov=90');
    const box = await stageBox(page);
    const points = [];
    for (let i = 0; points.length < 4; ++i) {
        const [x, y] = [100 + (i * 173) % 800, 80 + (i * 137) % 460];
        const answer = await hover(page, x, y);
        if (answer.point !== null) {
            points.push(answer);
            await page.mouse.click(box.x + x, box.y + y);
        }
    }
    const tool = query(files.panorama, points.map((p) => [p.x, p.y]));
    const measured = await page.$$eval('#measurements li', (items) => items.map((li) => Number(li.dataset.distance)));
    const between = (a, b) => Math.sqrt((b[0] - a[0]) ** 2 + (b[1] - a[1]) ** 2 + (b[2] - a[2]) ** 2);
    assert.deepEqual(measured, [between(tool[0].point, tool[1].point), between(tool[2].point, tool[3].point)]);
    // The lines stay on the scene while looking around.
    await page.keyboard.press('ArrowLeft');
    // The overlay's lit pixels in a frame drawn now.
    const lines = () => page.evaluate(() => {
        orvoViewer.redraw();
        const overlay = document.getElementById('overlay');
        const pixels = overlay.getContext('2d').getImageData(0, 0, overlay.width, overlay.height).data;
        let count = 0;
        for (let i = 3; i < pixels.length; i += 4) {
            count += pixels[i] > 0;
        }
        return count;
    });
    assert.ok(await lines() > 500, 'the lines are drawn');
    await page.keyboard.press('Escape');
    assert.equal(await page.$$eval('#measurements li', (items) => items.length), 0);
    assert.equal(await lines(), 0);
    await page.close();
});

test('layers and highlight: the screen shows the file\'s colour, distance and ids where the test expects them', async () => {
    const files = makeFiles();
    const page = await newPage();
    await choose(page, files.panorama);
    await look(page, '#yaw=-30&pitch=-12&fov=70&layer=colour');
    const box = await stageBox(page);
    const info = JSON.parse(must(tools.ORVO, ['info', '--json', files.panorama]));
    const n = info.panorama.faceSize;
    const all = [];
    for (let y = 0; y < n; ++y) {
        for (let x = 0; x < 6 * n; ++x) {
            all.push([x, y]);
        }
    }
    const pixels = query(files.panorama, all);
    const at = (x, y) => pixels[y * 6 * n + x];
    const distances = pixels.filter((p) => p.distance !== null).map((p) => p.distance);
    const [low, high] = [Math.min(...distances), Math.max(...distances)];
    const table = new Map(info.objects.map((o) => [o.id, o.colour]));

    // Screen points and the 3 x 3 file pixels around the one under each (within its face).
    const points = [];
    for (let j = 0; j < 5; ++j) {
        for (let i = 0; i < 7; ++i) {
            const x = Math.round(box.width * (0.1 + 0.8 * i / 6));
            const y = Math.round(box.height * (0.12 + 0.7 * j / 4));
            const p = await hover(page, x, y);
            const face = Math.floor(p.x / n) * n;
            const around = [];
            for (let dy = -1; dy <= 1; ++dy) {
                for (let dx = -1; dx <= 1; ++dx) {
                    around.push(at(face + Math.min(n - 1, Math.max(0, p.x - face + dx)), Math.min(n - 1, Math.max(0, p.y + dy))));
                }
            }
            points.push({ x, y, around, uniform: around.every((a) => a.id === around[0].id) });
        }
    }
    const near = (got, want, tolerance) => got.every((c, k) => Math.abs(c - want[k]) <= tolerance);
    const within = (got, options, tolerance) => options.some((o) => near(got, o, tolerance));
    const shots = {};
    for (const [key, layer] of [['1', 'colour'], ['2', 'distance'], ['3', 'ids'], ['4', 'outlines']]) {
        await page.locator('#stage').focus();
        await page.keyboard.press(key);
        await page.waitForFunction((l) => document.body.dataset.layer === l, layer);
        await page.evaluate(() => orvoViewer.redraw());
        shots[layer] = await screenshot(page);
    }
    let outlined = 0;
    for (const p of points) {
        const where = 'screen ' + p.x + ', ' + p.y;
        const colour = shots.colour.pixel(p.x, p.y);
        for (let k = 0; k < 3; ++k) {
            const values = p.around.map((a) => a.colour[k]);
            assert.ok(colour[k] >= Math.min(...values) - 2 && colour[k] <= Math.max(...values) + 2, where + ' colour');
        }
        const grey = (d) => {
            const t = Math.log(d / low) / Math.log(high / low);
            return Array(3).fill(255 * (1 - 0.85 * t));
        };
        const hatch = [[92, 26, 107], [31, 10, 41]];
        assert.ok(within(shots.distance.pixel(p.x, p.y), p.around.map((a) => a.distance === null ? null : grey(a.distance))
            .filter((g) => g !== null).concat(p.around.some((a) => a.distance === null) ? hatch : []), 3), where + ' distance');
        const idColour = (id) => id === 0 ? [0, 0, 0] : table.get(id) || [255, 0, 255];
        assert.ok(within(shots.ids.pixel(p.x, p.y), p.around.map((a) => idColour(a.id)), 1), where + ' ids');
        if (p.uniform) {
            assert.deepEqual(shots.outlines.pixel(p.x, p.y), colour, where + ' outlines inside an object');
        }
    }
    for (let y = 0; y < shots.colour.height; ++y) {
        for (let x = 0; x < shots.colour.width; ++x) {
            const o = shots.outlines.pixel(x, y);
            if (!near(o, shots.colour.pixel(x, y), 0)) {
                assert.deepEqual(o, [255, 255, 255], 'an outline pixel is white');
                outlined++;
            }
        }
    }
    assert.ok(outlined > 300, 'outlines drawn: ' + outlined);

    // The object list: the pixel counts of orvo info; the filter; choosing highlights.
    await page.waitForFunction(() => document.body.dataset.counted === 'panorama.orv');
    const listed = await page.$$eval('#objects li', (items) => items.map((li) => [Number(li.dataset.id), Number(li.dataset.pixels)]));
    const inUse = info.layers.find((l) => l.kindName === 'object-id').idsInUse.filter((u) => u.id !== 0);
    assert.deepEqual(listed.filter(([, count]) => count > 0), inUse.map((u) => [u.id, u.pixels]));
    const chosen = points.find((p) => p.uniform && p.around[0].id !== 0).around[0];
    await page.fill('#object-filter', chosen.name.slice(0, 4).toUpperCase());
    const visible = await page.$$eval('#objects li:not([hidden])', (items) => items.map((li) => li.querySelector('.object-name').textContent));
    assert.ok(visible.includes(chosen.name) && visible.every((name) => name.toLowerCase().includes(chosen.name.slice(0, 4).toLowerCase())));
    await page.fill('#object-filter', '');
    await page.click('#objects li[data-id="' + chosen.id + '"] button');
    await page.evaluate(() => orvoViewer.redraw());
    const lit = await screenshot(page);
    for (const p of points.filter((q) => q.uniform)) {
        const colour = shots.colour.pixel(p.x, p.y);
        const want = p.around[0].id === chosen.id ? colour.map((c, k) => c + ([255, 219, 0][k] - c) * 0.45)
            : colour.map((c) => c * 0.35);
        assert.ok(near(lit.pixel(p.x, p.y), want, 2), 'highlight at ' + p.x + ', ' + p.y);
    }
    assert.match(await page.evaluate(() => location.hash), new RegExp('object=' + chosen.id));
    await page.close();
});

test('across the cube\'s edges: no seam and no jump, also at the up and down faces of either roll', async () => {
    const files = makeFiles();
    const page = await newPage();
    for (const file of [files.panorama, files.rolledPanorama]) {
        await choose(page, file);
        await assertSeamless(page, file);
    }
    await page.close();
});

async function assertSeamless(page, file) {
    const box = await stageBox(page);
    const [cx, cy] = [Math.round(box.width / 2), Math.round(box.height / 2)];
    // Each view puts one edge through the screen's centre, across the line checked.
    for (const [yaw, pitch, across] of [[45, 0, 'x'], [-135, 10, 'x'], [0, 45, 'y'], [90, 45, 'y'], [180, -45, 'y'], [-90, -45, 'y']]) {
        for (const layer of ['colour', 'distance']) {
            await look(page, '#yaw=' + yaw + '&pitch=' + pitch + '&fov=60&layer=' + layer);
            const shot = await screenshot(page);
            const line = (t) => across === 'x' ? shot.pixel(cx + t, cy) : shot.pixel(cx, cy + t);
            const step = (t) => Math.max(...line(t).map((c, k) => Math.abs(c - line(t + 1)[k])));
            const atEdge = Math.max(step(-2), step(-1), step(0), step(1));
            let elsewhere = 0;
            for (let t = -40; t <= 40; ++t) {
                if (Math.abs(t) > 3) {
                    elsewhere = Math.max(elsewhere, step(t));
                }
            }
            assert.ok(atEdge <= Math.max(6, 1.5 * elsewhere), file + ' ' + layer + ' at ' + yaw + ', ' + pitch + ': ' + atEdge +
                ' against ' + elsewhere);
        }
        // The surfaces either side of the edge lie next to each other.
        const before = await hover(page, across === 'x' ? cx - 2 : cx, across === 'x' ? cy : cy - 2);
        const after = await hover(page, across === 'x' ? cx + 2 : cx, across === 'x' ? cy : cy + 2);
        assert.notEqual(Math.floor(before.x / 96), Math.floor(after.x / 96), 'the edge lies between the two');
        const gap = Math.hypot(...before.point.map((c, k) => c - after.point[k]));
        assert.ok(gap < 0.1 * before.distance, file + ' at ' + yaw + ', ' + pitch + ': ' + gap);
        assertLikeTool(file, [before, after], 'metre');
    }
}

test('bad files give the tool\'s message and the page then opens a good file', async () => {
    const files = makeFiles();
    const page = await newPage();
    const good = fs.readFileSync(files.face);
    const pointed = Buffer.from(good);
    pointed.writeUInt32LE(good.length + 100, 4);
    const bad = {
        'damaged.orv': pointed, 'foreign.orv': Buffer.from('GIF89a, no TIFF at all'),
        'truncated.orv': good.subarray(0, Math.floor(good.length / 2)), 'plain.tif': plainTiff(),
    };
    for (const [name, bytes] of Object.entries(bad)) {
        const file = path.join(work, name);
        fs.writeFileSync(file, bytes);
        await choose(page, file);
        const shown = await page.locator('#messages .message.error span').first().textContent();
        assert.equal(shown, name + ': ' + refusal(file));
    }
    assert.equal(await page.evaluate(() => document.body.dataset.refused), '4');
    await choose(page, files.bigEndian);
    assert.match(await page.locator('#messages').textContent(), /big-endian TIFF file/);
    const box = await stageBox(page);
    assertLikeTool(files.bigEndian, [await hover(page, box.width / 2, box.height / 2)], 'units of 2.54 centimetre');
    await choose(page, files.face);
    assert.equal(await page.locator('#file-name').textContent(), 'face_px.orv');
    assert.equal(await page.locator('#messages .message').count(), 0);
    assertLikeTool(files.face, [await hover(page, box.width / 2, box.height / 2)], 'metre');
    await page.close();
});

test('orvo web: the folder opens its file by itself, from the disk and from a server', async () => {
    const files = makeFiles();
    const folder = path.join(work, 'web');
    must(tools.ORVO, ['web', files.panorama, folder]);
    assert.ok(!fs.existsSync(path.join(folder, 'tests')), 'no tests in the folder');
    const refused = require('./support.js').run(tools.ORVO, ['web', path.join(work, 'foreign.orv'), folder]);
    assert.equal(refused.status, 1);
    assert.match(refused.stderr, /not an Orvo file/);
    fs.copyFileSync(files.parallel, path.join(folder, 'parallel.orv'));
    const server = http.createServer((request, response) => {
        const file = path.join(folder, decodeURIComponent(new URL(request.url, 'http://127.0.0.1').pathname));
        if (!file.startsWith(folder) || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
            response.writeHead(404).end();
            return;
        }
        response.writeHead(200, { 'Content-Length': fs.statSync(file).size });
        fs.createReadStream(file).pipe(response);
    });
    await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
    const base = 'http://127.0.0.1:' + server.address().port + '/index.html';
    try {
        for (const [url, name] of [['file://' + path.join(folder, 'index.html'), 'panorama.orv'],
            [base, 'panorama.orv'], [base + '?file=parallel.orv', 'parallel.orv']]) {
            const page = await newPage(url);
            await waitReady(page);
            assert.equal(await page.locator('#file-name').textContent(), name, url);
            await page.close();
        }
        // Rolls stated on the command line are the page's, not those it would find.
        const stated = path.join(work, 'web_stated');
        must(tools.ORVO, ['web', '--rolls', '0,180', files.rolledPanorama, stated]);
        const statedPage = await newPage('file://' + path.join(stated, 'index.html'));
        await waitReady(statedPage);
        assert.match(await statedPage.locator('#file-info').textContent(),
            /Up face rolled 0\u00b0, down face 180\u00b0 \(as stated\)\.$/);
        await choose(statedPage, files.rolledPanorama);
        assert.match(await statedPage.locator('#file-info').textContent(),
            /Up face rolled 180\u00b0, down face 180\u00b0 \(up found from its edges, down found from its edges\)\.$/);
        await statedPage.close();
        // Textures smaller than the file's faces: the picture is reduced, the values are not.
        const page = await newPage(base + '?maxtexture=40');
        await waitReady(page);
        assert.match(await page.locator('#messages').textContent(), /shown reduced to 40 x 40 pixels a face/);
        const box = await stageBox(page);
        assertLikeTool(files.panorama, [await hover(page, box.width / 3, box.height / 2)], 'metre');
        await page.close();
    } finally {
        server.close();
    }
});
