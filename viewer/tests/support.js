// What the viewer's tests share: the project's programs (paths from the environment, set by
// ctest), the files they make, `orvo query` answers, a PNG decoder for screenshots and a
// byte-order swap of whole Orvo files.
'use strict';

const assert = require('node:assert/strict');
const childProcess = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const zlib = require('node:zlib');

const tools = {};
for (const name of ['ORVO', 'ORVO_FIXTURE', 'ORVO_SAMPLE', 'RENDER_HOST', 'STITCH']) {
    tools[name] = process.env[name];
    assert.ok(tools[name] && fs.existsSync(tools[name]), name + ' must name the program (run through ctest)');
}

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'orvo_viewer_'));
process.on('exit', () => fs.rmSync(work, { recursive: true, force: true }));

function run(program, args, input) {
    const result = childProcess.spawnSync(program, args.map(String), { input, maxBuffer: 1 << 30 });
    return { status: result.status, stdout: result.stdout.toString(), stderr: result.stderr.toString() };
}

function must(program, args, input) {
    const result = run(program, args, input);
    assert.equal(result.status, 0, program + ' ' + args.join(' ') + ': ' + result.stderr);
    return result.stdout;
}

// orvo query --json for the pixels [[x, y], ...], and its text line per pixel.
function query(file, pixels) {
    const input = pixels.map((p) => p.join(' ')).join('\n') + '\n';
    const json = JSON.parse(must(tools.ORVO, ['query', '--json', file, '-'], input));
    const lines = must(tools.ORVO, ['query', file, '-'], input).trimEnd().split('\n').map((l) => l.split('\t'));
    return json.map((answer, i) => ({ ...answer, text: lines[i] }));
}

// The tool's verdict on a file: null when it reads it, else its message without the prefix and
// without libtiff's own words, which only the tool can give.
function refusal(file) {
    const result = run(tools.ORVO, ['info', file]);
    if (result.status === 0) {
        return null;
    }
    const prefix = 'orvo: ' + file + ': ';
    assert.ok(result.stderr.startsWith(prefix), result.stderr);
    return result.stderr.slice(prefix.length).trimEnd().replace(/ \(libtiff: .*\)$/, '');
}

// The files the tests look at, made by the project's own programs.
const files = {};
function makeFiles() {
    if (files.panorama !== undefined) {
        return files;
    }
    const faces = path.join(work, 'faces');
    must(tools.RENDER_HOST, ['faces', '--size', 96, '--out', faces]);
    files.panorama = path.join(work, 'panorama.orv');
    must(tools.STITCH, [files.panorama, ...['py', 'px', 'ny', 'nx', 'pz', 'nz'].map((f) =>
        path.join(faces, 'face_' + f + '.orv')), '1e-7', '0', '1']);
    // The same room from a rig whose up and down cameras are rolled by 180 degrees.
    const rolledFaces = path.join(work, 'rolled_faces');
    must(tools.RENDER_HOST, ['faces', '--size', 96, '--roll-up', '--roll-down', '--out', rolledFaces]);
    files.rolledPanorama = path.join(work, 'rolled_panorama.orv');
    must(tools.STITCH, [files.rolledPanorama, ...['py', 'px', 'ny', 'nx', 'pz', 'nz'].map((f) =>
        path.join(rolledFaces, 'face_' + f + '.orv')), '1e-7', '0', '1']);
    files.face = path.join(faces, 'face_px.orv');
    files.sample = path.join(work, 'sample.orv');
    must(tools.ORVO_SAMPLE, [files.sample]);
    files.parallel = path.join(work, 'parallel.orv');
    must(tools.ORVO_FIXTURE, [files.parallel], parallelDescription(23, 17));
    files.bigEndian = path.join(work, 'big_endian.orv');
    fs.writeFileSync(files.bigEndian, swapByteOrder(fs.readFileSync(files.parallel)));
    return files;
}

// Panoramas of the demo room from rigs that roll the up camera, the down camera, both or
// neither by 180 degrees, seen from near a corner (the edges' distances tell the rolls) and
// from the default eye (the up face's edges see only the ceiling, whose shading tells); and a
// panorama whose up and down edges have no depth and one colour, which tells nothing.
function makeRolledPanoramas() {
    if (files.rolled !== undefined) {
        return files.rolled;
    }
    const faces = ['py', 'px', 'ny', 'nx', 'pz', 'nz'];
    const made = [];
    for (const eye of ['3.4,2.4,2.1', '0.4,-0.6,1.6']) {
        for (const options of [[], ['--roll-up'], ['--roll-down'], ['--roll-up', '--roll-down']]) {
            const name = 'rolled_' + made.length;
            const folder = path.join(work, name);
            must(tools.RENDER_HOST, ['faces', '--size', 20, '--eye', eye, ...options, '--out', folder]);
            const file = folder + '.orv';
            must(tools.STITCH, [file, ...faces.map((f) => path.join(folder, 'face_' + f + '.orv')), '1e-7', '0', '1']);
            made.push({ file, upRoll: options.includes('--roll-up') ? 180 : 0,
                downRoll: options.includes('--roll-down') ? 180 : 0 });
        }
    }
    const n = 6;
    const lines = ['writer stream', 'size ' + 6 * n + ' ' + n, 'panorama 0.25 -0.5 1.5 0.1 12 1 4', 'pixels'];
    for (let y = 0; y < n; ++y) {
        for (let x = 0; x < 6 * n; ++x) {
            const slot = Math.floor(x / n);
            const edge = y === 0 || y === n - 1 || (slot >= 4 && (x % n === 0 || x % n === n - 1));
            lines.push(edge ? '90 90 90 4294967295 0' : [(x * 37) % 256, (y * 53) % 256, 7, 1000000 * (x + 7 * y), 0].join(' '));
        }
    }
    const flat = path.join(work, 'flat_edges.orv');
    must(tools.ORVO_FIXTURE, [flat], lines.join('\n') + '\n');
    made.push({ file: flat, upRoll: 0, downRoll: 0, undetermined: true });
    files.rolled = made;
    return made;
}

// A parallel view turned away from the world axes, with chosen pixels: a few without depth,
// ids in and out of the table, names beyond ASCII.
function parallelDescription(width, height) {
    const lines = ['writer stream', 'size ' + width + ' ' + height,
        'perspective 1 1.5 -2 1.25  0.819152 -0.573576 0  0.196175 0.280166 0.939693 ' +
        ' -0.538986 -0.769751 0.34202  -3 2 -1  2.5 -1.5 -1  0.25 20 2.54 3',
        'object 1 120 160 90 Floor', 'object 2 220 40 40 Stuhl \u00b7 gr\u00fcn',
        'object 5 40 80 220 \u6905\u5b50 "quoted"', 'object 7 1 2 3 Unseen', 'pixels'];
    for (let y = 0; y < height; ++y) {
        for (let x = 0; x < width; ++x) {
            const k = y * width + x;
            const code = (k * 2654435761) % 4294967295;
            const none = k % 11 === 3;
            lines.push([(x * 11) % 256, (y * 15) % 256, (k * 7) % 256, none ? 4294967295 : code,
                none ? 0 : [0, 1, 2, 5, 9][k % 5]].join(' '));
        }
    }
    return lines.join('\n') + '\n';
}

// The file in the other byte order, field by field: what the library's reader must read
// alike. Knows the layout both writers use: SHORT, LONG and RATIONAL entries, strips of 16-
// and 32-bit samples, the layer headers, view records and object records.
function swapByteOrder(data) {
    const input = new DataView(data.buffer, data.byteOffset, data.length);
    const out = Buffer.from(data);
    const output = new DataView(out.buffer, out.byteOffset, out.length);
    const u16 = (at) => { output.setUint16(at, input.getUint16(at, true), false); };
    const u32 = (at) => { output.setUint32(at, input.getUint32(at, true), false); };
    const f64 = (at) => { output.setFloat64(at, input.getFloat64(at, true), false); };
    out.write('MM', 0, 'latin1');
    u16(2);
    u32(4);
    for (let ifd = input.getUint32(4, true); ifd !== 0; ifd = input.getUint32(ifd + 2 + 12 * input.getUint16(ifd, true), true)) {
        const count = input.getUint16(ifd, true);
        u16(ifd);
        const fields = {};
        for (let i = 0; i < count; ++i) {
            const at = ifd + 2 + 12 * i;
            const tag = input.getUint16(at, true);
            const type = input.getUint16(at + 2, true);
            const n = input.getUint32(at + 4, true);
            const size = { 1: 1, 2: 1, 3: 2, 4: 4, 5: 8 }[type];
            const values = n * size <= 4 ? at + 8 : input.getUint32(at + 8, true);
            u16(at);
            u16(at + 2);
            u32(at + 4);
            if (n * size > 4) {
                u32(at + 8);
            }
            const read = [];
            for (let k = 0; k < n; ++k) {
                if (type === 3) {
                    read.push(input.getUint16(values + 2 * k, true));
                    u16(values + 2 * k);
                } else if (type === 4) {
                    read.push(input.getUint32(values + 4 * k, true));
                    u32(values + 4 * k);
                } else if (type === 5) {
                    u32(values + 8 * k);
                    u32(values + 8 * k + 4);
                }
            }
            fields[tag] = read;
        }
        u32(ifd + 2 + 12 * count);
        const bits = fields[258][0];
        if (bits > 8) {
            fields[273].forEach((start, s) => {
                for (let at = start; at < start + fields[279][s]; at += bits / 8) {
                    (bits === 32 ? u32 : u16)(at);
                }
            });
        }
        const header = fields[34953][0];
        const kind = input.getUint32(header, true);
        u32(header);
        u16(header + 4);
        u16(header + 6);
        if (kind === 1 || kind === 8) {
            const doubles = kind === 1 ? 24 : 16;
            u32(header + 8);
            u32(header + 12);
            for (let k = 0; k < doubles; ++k) {
                f64(header + 16 + 8 * k);
            }
            u32(header + 16 + 8 * doubles);
        } else if (kind === 2) {
            u32(header + 8);
            u32(header + 12);
            for (let at = input.getUint32(header + 12, true); at !== 0; at = input.getUint32(at, true)) {
                u32(at);
                u16(at + 4);
            }
        }
    }
    return out;
}

// A plain TIFF of 2 x 2 grey pixels, without Orvo layers.
function plainTiff() {
    const plain = Buffer.alloc(8 + 2 + 12 * 5 + 4 + 4);
    plain.write('II*\0', 0, 'latin1');
    plain.writeUInt32LE(8, 4);
    plain.writeUInt16LE(5, 8);
    [[256, 2], [257, 2], [258, 8], [273, 74], [279, 4]].forEach(([tag, value], i) => {
        const at = 10 + 12 * i;
        plain.writeUInt16LE(tag, at);
        plain.writeUInt16LE(3, at + 2);
        plain.writeUInt32LE(1, at + 4);
        plain.writeUInt16LE(value, at + 8);
    });
    return plain;
}

// A PNG screenshot as {width, height, pixel(x, y) -> [r, g, b]}.
function decodePng(png) {
    let at = 8;
    let header = null;
    const data = [];
    while (at < png.length) {
        const length = png.readUInt32BE(at);
        const type = png.toString('latin1', at + 4, at + 8);
        const body = png.subarray(at + 8, at + 8 + length);
        if (type === 'IHDR') {
            header = { width: body.readUInt32BE(0), height: body.readUInt32BE(4), depth: body[8], colour: body[9] };
        } else if (type === 'IDAT') {
            data.push(body);
        }
        at += 12 + length;
    }
    assert.equal(header.depth, 8);
    const channels = { 2: 3, 6: 4 }[header.colour];
    const raw = zlib.inflateSync(Buffer.concat(data));
    const stride = header.width * channels;
    const pixels = Buffer.alloc(stride * header.height);
    for (let y = 0; y < header.height; ++y) {
        const filter = raw[y * (stride + 1)];
        for (let i = 0; i < stride; ++i) {
            const a = i >= channels ? pixels[y * stride + i - channels] : 0;
            const b = y > 0 ? pixels[(y - 1) * stride + i] : 0;
            const c = i >= channels && y > 0 ? pixels[(y - 1) * stride + i - channels] : 0;
            const p = a + b - c;
            const predictor = [0, a, b, (a + b) >> 1,
                Math.abs(p - a) <= Math.abs(p - b) && Math.abs(p - a) <= Math.abs(p - c) ? a
                    : Math.abs(p - b) <= Math.abs(p - c) ? b : c][filter];
            pixels[y * stride + i] = (raw[y * (stride + 1) + 1 + i] + predictor) & 255;
        }
    }
    return {
        width: header.width, height: header.height,
        pixel: (x, y) => [...pixels.subarray((y * header.width + x) * channels, (y * header.width + x) * channels + 3)],
    };
}

module.exports = { tools, work, run, must, query, refusal, makeFiles, makeRolledPanoramas, swapByteOrder, plainTiff, decodePng };
