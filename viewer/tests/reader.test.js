// The viewer's own reader and pixel answers against the orvo tool, on files the project's
// programs wrote: every pixel must give the tool's doubles, and every refused file the
// tool's words.
'use strict';

const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const test = require('node:test');

const Reader = require('../js/orvo_reader.js');
const Query = require('../js/orvo_query.js');
const { tools, work, must, query, refusal, makeFiles, makeRolledPanoramas, plainTiff } = require('./support.js');

function parseFile(file) {
    const data = fs.readFileSync(file);
    return Reader.parse(data.buffer.slice(data.byteOffset, data.byteOffset + data.length));
}

// The page's answer for every pixel equals the tool's, double for double, and its text.
function assertAnswersAlike(file, step) {
    const doc = parseFile(file);
    const byId = Reader.objectsById(doc.objects);
    const rolls = doc.panorama !== null ? Query.findRolls(doc) : { upRoll: 0, downRoll: 0 };
    const cameras = Query.slotCameras(rolls.upRoll, rolls.downRoll);
    const pixels = [];
    for (let y = 0; y < doc.height; y += step) {
        for (let x = 0; x < doc.width; x += step) {
            pixels.push([x, y]);
        }
    }
    const answers = query(file, pixels);
    for (const tool of answers) {
        const page = Query.ask(doc, byId, tool.x, tool.y, cameras);
        const where = file + ' pixel ' + tool.x + ', ' + tool.y;
        for (const key of ['colour', 'id', 'name', 'depth', 'distance', 'point']) {
            assert.deepEqual(page[key], tool[key], where + ': ' + key);
        }
        if (doc.panorama !== null) {
            assert.deepEqual([page.slot, page.face], [tool.slot, tool.face], where);
        }
        const text = [page.depth, page.distance, ...(page.point || [null, null, null])]
            .map((v) => v === null ? '-' : Query.formatG(v));
        assert.deepEqual(text, tool.text.slice(6, 11), where + ': as text');
    }
    const info = JSON.parse(must(tools.ORVO, ['info', '--json', file]));
    assert.equal(doc.revision, info.revision);
    assert.deepEqual(doc.layers.map((l) => Reader.kindName(l.kind)), info.layers.map((l) => l.kindName));
    return { doc, answers };
}

test('every pixel reads as orvo query answers it, in both revisions and all three kinds of view', () => {
    const files = makeFiles();
    const { doc } = assertAnswersAlike(files.panorama, 1);
    assert.equal(doc.revision, '1.0');
    assert.equal(assertAnswersAlike(files.face, 1).doc.revision, '1.3');
    assertAnswersAlike(files.sample, 1);
    const parallel = assertAnswersAlike(files.parallel, 1);
    assert.equal(parallel.doc.view.projection, Query.ProjectionParallel);
    // The names beyond ASCII, the id missing from the table and the pixels without depth.
    const names = new Set(parallel.answers.map((a) => a.name));
    assert.ok(names.has('Stuhl \u00b7 gr\u00fcn') && names.has('\u6905\u5b50 "quoted"') && names.has(null));
    assert.ok(parallel.answers.some((a) => a.id === 9) && parallel.answers.some((a) => a.depth === null));
    // The numbers people read: as C prints them with %.9g.
    for (const [value, text] of [[1234567891, '1.23456789e+09'], [0.0001, '0.0001'], [0.00001234, '1.234e-05'],
        [-2.5, '-2.5'], [123456789, '123456789'], [2.54, '2.54'], [-0, '-0']]) {
        assert.equal(Query.formatG(value), text);
    }
});

test('the rolls of a panorama\'s up and down faces are found as orvo info finds them', () => {
    const panoramas = makeRolledPanoramas();
    for (const { file, upRoll, downRoll, undetermined } of panoramas) {
        const found = Query.findRolls(parseFile(file));
        const tool = JSON.parse(must(tools.ORVO, ['info', '--json', file])).panorama.rolls;
        assert.deepEqual([found.upRoll, found.downRoll], [upRoll, downRoll], file);
        for (const face of ['up', 'down']) {
            const page = found[face];
            const where = file + ' ' + face;
            assert.equal(page.determined, !undetermined, where);
            assert.deepEqual([page.rolled ? 180 : 0, page.determined ? 'found' : 'assumed', page.cue],
                [tool[face].roll, tool[face].source, tool[face].cue], where);
            for (const cue of ['distance', 'colour']) {
                assert.deepEqual(page[cue].map((e) => e.compared), tool[face][cue].compared, where + ' ' + cue);
                assert.deepEqual(page[cue].map((e) => e.agreeing), tool[face][cue].agreeing, where + ' ' + cue);
            }
        }
    }
    // Both ways of telling occur: by the distances and, where the up face sees only the
    // ceiling, by its shading.
    const cues = new Set(panoramas.map((p) => Query.findRolls(parseFile(p.file)).up.cue));
    assert.deepEqual([...cues].sort((a, b) => String(a).localeCompare(String(b))), ['colour', 'distance', null]);
    // With both faces rolled, every pixel still reads as the tool answers it.
    assertAnswersAlike(panoramas[3].file, 1);
});

test('a big-endian file reads as its little-endian original, as the tool reads it', () => {
    const files = makeFiles();
    const original = parseFile(files.parallel);
    const swapped = parseFile(files.bigEndian);
    assert.equal(swapped.bigEndian, true);
    for (const key of ['width', 'height', 'view', 'objects', 'colour', 'depth', 'ids']) {
        assert.deepEqual(swapped[key], original[key], key);
    }
    assertAnswersAlike(files.bigEndian, 2);
});

test('damaged, truncated and foreign files are refused with the tool\'s words', () => {
    const files = makeFiles();
    const file = path.join(work, 'bad.orv');
    const verdict = (bytes) => {
        fs.writeFileSync(file, bytes);
        let page = null;
        try {
            Reader.parse(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.length));
        } catch (error) {
            assert.ok(error instanceof Reader.OrvoError, String(error.stack));
            page = error.message;
        }
        return [page, refusal(file)];
    };
    const plain = plainTiff();
    const foreign = [Buffer.alloc(0), Buffer.from('GIF89a, no TIFF at all'), Buffer.from('II+\0\x08\0\0\0'), Buffer.from('II*\0'), plain];
    const expected = ['not an Orvo file: the file is empty', 'not an Orvo file: not a TIFF file',
        'not an Orvo file: a BigTIFF file', 'damaged: the TIFF header is cut short',
        'not an Orvo file: a TIFF file without Orvo layers'];
    foreign.forEach((bytes, i) => assert.deepEqual(verdict(bytes), [expected[i], expected[i]]));

    let refused = 0;
    for (const good of [files.sample, files.face, files.panorama]) {
        const data = fs.readFileSync(good);
        const cases = [];
        for (let length = 0; length < data.length; length += Math.floor(data.length / 23)) {
            cases.push(data.subarray(0, length));
        }
        cases.push(data.subarray(0, data.length - 1));
        // Bytes changed at places chosen by a fixed sequence.
        let seed = 7;
        const next = () => (seed = (seed * 1103515245 + 12345) % 2147483648) / 2147483648;
        for (let trial = 0; trial < 45; ++trial) {
            const bytes = Buffer.from(data);
            for (let k = 0; k < [1, 4, 16][trial % 3]; ++k) {
                bytes[Math.floor(next() * bytes.length)] = Math.floor(next() * 256);
            }
            cases.push(bytes);
        }
        for (const bytes of cases) {
            const [page, tool] = verdict(bytes);
            assert.equal(page, tool, good + ' with ' + bytes.length + ' bytes');
            refused += tool !== null;
        }
    }
    assert.ok(refused > 50, 'many of the damaged files are refused: ' + refused);
});
