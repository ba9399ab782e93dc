// Times the web viewer in headless chromium on its software renderer: from a chosen file to
// the first drawn frame, the answer to a hover, and the frame rate while turning, with the
// view 1280 x 720 pixels. Usage: node bench/viewer_bench.js FILE...   (see viewer_bench.sh)
'use strict';

const path = require('node:path');
const { chromium } = require(path.join(__dirname, '..', 'viewer', 'tests', 'node_modules', 'playwright-core'));

const Page = 'file://' + path.join(__dirname, '..', 'viewer', 'index.html');
const Stage = { width: 1280, height: 720 };

async function measure(browser, file) {
    const page = await browser.newPage({ viewport: { width: Stage.width + 330, height: Stage.height + 44 } });
    page.on('pageerror', (error) => console.error('page error:', error.message));
    await page.goto(Page);
    const stage = await page.evaluate(() => [document.getElementById('stage').clientWidth,
        document.getElementById('stage').clientHeight]);
    if (stage[0] !== Stage.width || stage[1] !== Stage.height) {
        throw new Error('the view is ' + stage.join(' x ') + ', not 1280 x 720');
    }
    const opens = [];
    for (let run = 0; run < 3; ++run) {
        const before = await page.evaluate(() => orvoViewer.timings.firstFrame);
        await page.setInputFiles('#file-input', file);
        await page.waitForFunction((b) => orvoViewer.timings.firstFrame > b, before, { timeout: 120000 });
        const t = await page.evaluate(() => ({ ...orvoViewer.timings }));
        opens.push({ total: t.firstFrame - t.chosen, parse: t.parsed - t.chosen, upload: t.uploaded - t.parsed });
        const messages = await page.locator('#messages').textContent();
        if (messages.trim() !== '') {
            console.log('  page says: ' + messages.trim());
        }
    }
    const box = await page.locator('#stage').boundingBox();
    const hovers = [];
    for (let i = 0; i < 60; ++i) {
        await page.mouse.move(box.x + 20 + (i * 211) % 1240, box.y + 20 + (i * 127) % 680);
        hovers.push(await page.evaluate(() => orvoViewer.timings.hover));
    }
    // Turning: one degree a frame, each frame waited for, for three seconds.
    const fps = await page.evaluate(() => new Promise((resolve) => {
        const gl = document.getElementById('scene').getContext('webgl2');
        const view = orvoViewer.state.view;
        const start = performance.now();
        let frames = 0;
        const step = () => {
            view.yaw = (view.yaw + 1) % 180;
            orvoViewer.redraw();
            gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, new Uint8Array(4));
            frames++;
            if (performance.now() - start < 3000) {
                requestAnimationFrame(step);
            } else {
                resolve(frames / ((performance.now() - start) / 1000));
            }
        };
        requestAnimationFrame(step);
    }));
    await page.close();
    hovers.sort((a, b) => a - b);
    const best = opens.reduce((a, b) => (a.total < b.total ? a : b));
    console.log(path.basename(file) + ': first frame ' + (best.total / 1000).toFixed(2) + ' s (best of 3; parsed after ' +
        (best.parse / 1000).toFixed(2) + ' s, textures after ' +
        ((best.parse + best.upload) / 1000).toFixed(2) + ' s), all ' + opens.map((o) => (o.total / 1000).toFixed(2)).join(' ') + ' s');
    console.log('  hover: median ' + hovers[30].toFixed(2) + ' ms, slowest ' + hovers[59].toFixed(2) + ' ms of 60');
    console.log('  turning at 1280 x 720: ' + fps.toFixed(1) + ' frames a second');
}

(async () => {
    const browser = await chromium.launch({
        executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
        args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
            '--disable-background-networking', '--disable-component-update', '--disable-sync', '--no-first-run'],
    });
    try {
        for (const file of process.argv.slice(2)) {
            await measure(browser, path.resolve(file));
        }
    } finally {
        await browser.close();
    }
})().catch((error) => {
    console.error(error);
    process.exit(1);
});
