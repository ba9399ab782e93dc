// The viewer's reader of Orvo files, both revisions: the TIFF directories, the layer headers
// behind tag 34953, the view records, the object-record chain and the three planes. It
// accepts and refuses files as the orvo tool does, with the tool's words for the problem, so
// that a person sees the same verdict in the page and on the command line.
//
// A plain script, not an ES module: browsers refuse module scripts and workers to a page
// opened from a file:// URL, and the viewer must run from one. The same text runs in the
// page, in a Worker made from it (OrvoReader.workerSource) and in Node (module.exports).
(function (install) {
    'use strict';
    install(function OrvoReaderModule() {
        'use strict';

        const TagSubfileData = 34953;
        const KindColour = 0;
        const KindPerspectiveDepth = 1;
        const KindObjectId = 2;
        const KindPanoramaDepth = 8;
        const LayerHeaderSize = 8;
        const PackedPerspectiveViewSize = 200;
        const PackedPanoramaViewSize = 136;
        const ObjectWindowSize = 264;
        const ObjectNameStart = 9;
        const LargestSide = 65535;
        // libtiff refuses a directory claiming more entries than this.
        const LargestEntryCount = 4096;
        const TypeSizes = { 1: 1, 2: 1, 3: 2, 4: 4, 5: 8, 6: 1, 7: 1, 8: 2, 9: 4, 10: 8, 11: 4, 12: 8, 13: 4 };
        // Entries that libtiff must read for a directory to be read at all, with the values
        // it takes.
        const StrictTags = {
            256: [0, 0xFFFFFFFF], 257: [0, 0xFFFFFFFF], 259: [0, 0xFFFF], 278: [1, 0xFFFFFFFF],
            284: [1, 2], 322: [0, 0xFFFFFFFF], 323: [0, 0xFFFFFFFF],
        };
        const HostIsLittle = new Uint8Array(new Uint16Array([1]).buffer)[0] === 1;

        class OrvoError extends Error {
            constructor(message) {
                super(message);
                this.name = 'OrvoError';
            }
        }

        function damaged(directory, problem) {
            return new OrvoError('damaged: directory ' + directory + ': ' + problem);
        }

        class Bytes {
            constructor(buffer, bigEndian) {
                this.buffer = buffer;
                this.u8 = new Uint8Array(buffer);
                this.view = new DataView(buffer);
                this.size = buffer.byteLength;
                this.little = !bigEndian;
            }
            // True when size bytes from offset lie inside the file.
            has(offset, size) {
                return offset >= 0 && size >= 0 && offset <= this.size && size <= this.size - offset;
            }
            u16(offset) {
                return this.view.getUint16(offset, this.little);
            }
            u32(offset) {
                return this.view.getUint32(offset, this.little);
            }
            f64(offset) {
                return this.view.getFloat64(offset, this.little);
            }
        }

        // The integer values of a directory entry (BYTE, SHORT, LONG and their signed kinds),
        // or null when they lie outside the file.
        function entryValues(bytes, entry) {
            if (!entry.inside) {
                return null;
            }
            const values = new Array(entry.count);
            const size = TypeSizes[entry.type];
            for (let i = 0; i < entry.count; ++i) {
                const at = entry.valueAt + i * size;
                switch (entry.type) {
                case 1: case 7: values[i] = bytes.u8[at]; break;
                case 6: values[i] = bytes.view.getInt8(at); break;
                case 3: values[i] = bytes.u16(at); break;
                case 8: values[i] = bytes.view.getInt16(at, bytes.little); break;
                case 4: case 13: values[i] = bytes.u32(at); break;
                case 9: values[i] = bytes.view.getInt32(at, bytes.little); break;
                default: return null;
                }
            }
            return values;
        }

        // One image directory with what the reader needs of it, or null where libtiff would
        // refuse to read it.
        function readDirectory(bytes, offset) {
            if (!bytes.has(offset, 2)) {
                return null;
            }
            const count = bytes.u16(offset);
            if (count > LargestEntryCount || !bytes.has(offset + 2, count * 12)) {
                return null;
            }
            const entries = new Map();
            for (let i = 0; i < count; ++i) {
                const at = offset + 2 + 12 * i;
                const tag = bytes.u16(at);
                const type = bytes.u16(at + 2);
                const valueCount = bytes.u32(at + 4);
                const size = TypeSizes[type];
                if (size === undefined || entries.has(tag)) {
                    continue; // libtiff skips entries of unknown types and later duplicates
                }
                const total = valueCount * size;
                const valueAt = total <= 4 ? at + 8 : bytes.u32(at + 8);
                entries.set(tag, { type, count: valueCount, valueAt, inside: bytes.has(valueAt, total) });
            }
            // libtiff gives up on a directory whose size, strip, tile or plane layout entries
            // or compression cannot be read as one whole number of a fitting value.
            for (let i = 0; i < count; ++i) {
                const at = offset + 2 + 12 * i;
                const tag = bytes.u16(at);
                const limit = StrictTags[tag];
                if (limit === undefined) {
                    continue;
                }
                const entry = entries.get(tag);
                // Compression may have one value a sample, as early TIFF had it.
                const single = tag === 259 ? entry !== undefined && entry.count >= 1
                    : entry !== undefined && entry.count === 1 && entry.valueAt === at + 8;
                if (!single) {
                    return null;
                }
                const values = entryValues(bytes, entry);
                if (values === null || values[0] < limit[0] || values[0] > limit[1]) {
                    return null;
                }
            }
            const linkAt = offset + 2 + 12 * count;
            // libtiff takes a link cut off by the end of the file for the end of the chain.
            const linkCut = !bytes.has(linkAt, 4);
            const directory = { offset, next: linkCut ? 0 : bytes.u32(linkAt), linkCut };

            const one = (tag, fallback) => {
                const entry = entries.get(tag);
                if (entry === undefined || entry.count < 1) {
                    return fallback;
                }
                const values = entryValues(bytes, entry);
                return values === null ? fallback : values[0];
            };
            if (!entries.has(256) && !entries.has(257)) {
                return null; // no image dimensions
            }
            directory.width = one(256, 0);
            directory.height = one(257, 0);
            directory.samplesPerPixel = one(277, 1);
            directory.planar = one(284, 1);
            directory.compression = one(259, 1);
            let rowsPerStrip = one(278, 0xFFFFFFFF);
            directory.rowsPerStrip = rowsPerStrip > 0 ? rowsPerStrip : 0xFFFFFFFF;
            directory.tiled = entries.has(322) || entries.has(323);
            const bits = entries.get(258);
            directory.bitsSet = bits !== undefined;
            directory.bitsPerSample = 1;
            if (bits !== undefined) {
                const values = entryValues(bytes, bits);
                if (values === null || values.length === 0) {
                    return null;
                }
                if (values.some((v) => v !== values[0])) {
                    return null; // libtiff handles one sample width only
                }
                directory.bitsPerSample = values[0];
            }
            const strips = directory.height === 0 ? 0 :
                directory.rowsPerStrip === 0xFFFFFFFF ? 1 : Math.ceil(directory.height / directory.rowsPerStrip);
            if (strips === 0 || !entries.has(273)) {
                return null;
            }
            const offsets = entryValues(bytes, entries.get(273));
            if (offsets === null) {
                return null;
            }
            let counts = null;
            if (entries.has(279)) {
                counts = entryValues(bytes, entries.get(279));
                if (counts === null) {
                    return null;
                }
            }
            directory.strips = strips;
            directory.stripOffsets = offsets;
            directory.stripByteCounts = counts;
            estimateByteCounts(bytes, directory);
            const subfile = entries.get(TagSubfileData);
            if (subfile !== undefined && subfile.count === 1) {
                const values = entryValues(bytes, subfile);
                if (values !== null && values[0] >= 0) {
                    directory.subfile = values[0];
                }
            }
            return directory;
        }

        // libtiff's mending of byte counts that cannot be right for an uncompressed image:
        // missing ones, a single strip's that is too short, and counts whose first two differ.
        // It then takes every strip to hold its rows' bytes, as far as the file reaches.
        function estimateByteCounts(bytes, d) {
            if (d.compression !== 1) {
                return;
            }
            const rowBytes = scanlineSize(d);
            const rows = Math.min(d.rowsPerStrip, d.height);
            const c = d.stripByteCounts;
            const bad = c === null ||
                (d.strips === 1 && (c[0] === 0 || c[0] < rowBytes * d.height)) ||
                (d.planar === 1 && d.strips > 2 && c.length > 1 && c[0] !== c[1] && c[0] !== 0 && c[1] !== 0);
            if (!bad) {
                return;
            }
            const estimated = [];
            for (let strip = 0; strip < d.strips; ++strip) {
                const start = strip < d.stripOffsets.length ? d.stripOffsets[strip] : 0;
                const inStrip = Math.min(rows, d.height - strip * rows);
                let count = rowBytes * inStrip;
                if (start + count > bytes.size) {
                    count = Math.max(0, bytes.size - start);
                }
                estimated.push(count);
            }
            d.stripByteCounts = estimated;
        }

        function scanlineSize(d) {
            const samples = d.planar === 2 ? 1 : d.samplesPerPixel;
            return Math.ceil((d.width * samples * d.bitsPerSample) / 8);
        }

        function hasLayout(d, samplesPerPixel, bits, otherBits) {
            if (!d.bitsSet || d.samplesPerPixel !== samplesPerPixel ||
                (d.bitsPerSample !== bits && d.bitsPerSample !== otherBits)) {
                return false;
            }
            return samplesPerPixel === 1 || d.planar === 1;
        }

        function hasRowBytes(d, rowBytes) {
            return scanlineSize(d) === rowBytes && !d.tiled;
        }

        // Calls take(row, offset) with the file offset of every row of the directory's
        // samples, as libtiff's scanline reading finds them. Throws the tool's words at the
        // first row that cannot be read: a strip without bytes, or one reaching past the end of
        // the file, is a layer whose writing was cut off; a strip too short for its rows cannot
        // be read.
        function eachRow(bytes, d, index, kind, rowBytes, take, progress) {
            const cutOff = (row) => new OrvoError('incomplete: directory ' + index + ': the ' + kind +
                ' layer ends at row ' + row + ' of ' + d.height + ' (its writing was cut off)');
            const unreadable = (row) => damaged(index, 'row ' + row + ' of the ' + kind + ' layer cannot be read');
            const firstCount = d.stripByteCounts === null ? rowBytes * Math.min(d.rowsPerStrip, d.height)
                : d.stripByteCounts.length > 0 ? d.stripByteCounts[0] : 0;
            if (d.compression !== 1) {
                if (firstCount <= 0) {
                    throw cutOff(0);
                }
                if (Codecs.has(d.compression)) {
                    throw damagedCompression(index, d.compression);
                }
                throw unreadable(0); // libtiff has no codec for it either
            }
            for (let row = 0; row < d.height; ++row) {
                const strip = d.rowsPerStrip === 0xFFFFFFFF ? 0 : Math.floor(row / d.rowsPerStrip);
                const within = row - strip * (d.rowsPerStrip === 0xFFFFFFFF ? 0 : d.rowsPerStrip);
                const start = strip < d.stripOffsets.length ? d.stripOffsets[strip] : 0;
                let count;
                if (d.stripByteCounts === null) {
                    count = rowBytes * Math.min(d.rowsPerStrip, d.height);
                } else {
                    count = strip < d.stripByteCounts.length ? d.stripByteCounts[strip] : 0;
                }
                if (count <= 0 || strip >= d.stripOffsets.length || !bytes.has(start, count)) {
                    throw cutOff(row);
                }
                if ((within + 1) * rowBytes > count) {
                    throw unreadable(row);
                }
                take(row, start + within * rowBytes);
                if (progress !== undefined && (row & 63) === 63) {
                    progress(row / d.height);
                }
            }
        }

        // The compression schemes that libtiff decodes.
        const Codecs = new Set([2, 3, 4, 5, 6, 7, 8, 32773, 32946, 34676, 34677, 34925, 50000, 50001]);

        function damagedCompression(index, compression) {
            return new OrvoError('directory ' + index + ' is compressed (TIFF compression ' + compression +
                '); the viewer reads uncompressed layers only, as both Orvo writers write them ' +
                '(the orvo tool reads this file)');
        }

        function readColour(bytes, d, index, progress) {
            const rowBytes = d.width * 3;
            const plane = new Uint8Array(rowBytes * d.height);
            eachRow(bytes, d, index, 'colour', rowBytes, (row, at) => {
                plane.set(bytes.u8.subarray(at, at + rowBytes), row * rowBytes);
            }, progress);
            return plane;
        }

        function readWide(bytes, d, index, kind, sampleBytes, progress) {
            const width = d.width;
            const plane = sampleBytes === 4 ? new Uint32Array(width * d.height) : new Uint16Array(width * d.height);
            const Typed = sampleBytes === 4 ? Uint32Array : Uint16Array;
            const fast = HostIsLittle === bytes.little;
            eachRow(bytes, d, index, kind, width * sampleBytes, (row, at) => {
                const out = row * width;
                if (fast && at % sampleBytes === 0) {
                    plane.set(new Typed(bytes.buffer, at, width), out);
                } else if (sampleBytes === 4) {
                    for (let x = 0; x < width; ++x) {
                        plane[out + x] = bytes.u32(at + 4 * x);
                    }
                } else {
                    for (let x = 0; x < width; ++x) {
                        plane[out + x] = bytes.u16(at + 2 * x);
                    }
                }
            }, progress);
            return plane;
        }

        function readNarrowIds(bytes, d, index, progress) {
            const width = d.width;
            const plane = new Uint16Array(width * d.height);
            eachRow(bytes, d, index, 'object-id', width, (row, at) => {
                const out = row * width;
                for (let x = 0; x < width; ++x) {
                    plane[out + x] = bytes.u8[at + x];
                }
            }, progress);
            return plane;
        }

        function readVector(bytes, at) {
            return { x: bytes.f64(at), y: bytes.f64(at + 8), z: bytes.f64(at + 16) };
        }

        function readPerspectiveView(bytes, at) {
            const view = { projection: bytes.u32(at) };
            const names = ['eyePoint', 'rightAxis', 'upAxis', 'viewDirection', 'spareAxis', 'cornerTopLeft',
                'cornerBottomRight'];
            names.forEach((name, i) => { view[name] = readVector(bytes, at + 4 + 24 * i); });
            const p = at + 4 + 24 * names.length;
            view.nearDepth = bytes.f64(p);
            view.farDepth = bytes.f64(p + 8);
            view.unitScale = bytes.f64(p + 16);
            view.unitCode = bytes.u32(p + 24);
            return view;
        }

        function readPanoramaView(bytes, at) {
            const view = { projection: bytes.u32(at) };
            const names = ['eyePoint', 'upAxis', 'viewDirection', 'centrePoint'];
            names.forEach((name, i) => { view[name] = readVector(bytes, at + 4 + 24 * i); });
            const p = at + 4 + 24 * names.length;
            view.scalar = bytes.f64(p);
            view.nearDepth = bytes.f64(p + 8);
            view.farDepth = bytes.f64(p + 16);
            view.unitScale = bytes.f64(p + 24);
            view.unitCode = bytes.u32(p + 32);
            return view;
        }

        const NameDecoder = new TextDecoder('utf-8');

        // The object records newest first, walked as the library's reader walks them: at most
        // count records, ending at a link of 0, at a window too short for a record, at a link
        // that does not point before its record, and before a record that would reach into
        // the one that links to it.
        function readObjects(bytes, offset) {
            const objects = [];
            const table = offset + LayerHeaderSize;
            if (!bytes.has(table, 8)) {
                return objects;
            }
            const count = bytes.u32(table);
            let position = bytes.u32(table + 4);
            let limit = bytes.size;
            for (let read = 0; read < count && position !== 0; ++read) {
                if (position >= bytes.size) {
                    break;
                }
                const size = Math.min(bytes.size - position, ObjectWindowSize);
                if (size < ObjectNameStart + 1) {
                    break;
                }
                const nameBytes = bytes.u8.subarray(position + ObjectNameStart, position + size);
                let nameLength = nameBytes.indexOf(0);
                const terminated = nameLength >= 0;
                if (!terminated) {
                    nameLength = nameBytes.length;
                }
                const extent = terminated ? ObjectNameStart + nameLength + 1 : size;
                if (position + extent > limit) {
                    break;
                }
                objects.push({
                    id: bytes.u16(position + 4),
                    red: bytes.u8[position + 6],
                    green: bytes.u8[position + 7],
                    blue: bytes.u8[position + 8],
                    name: NameDecoder.decode(nameBytes.subarray(0, nameLength)),
                });
                const previous = bytes.u32(position);
                if (previous >= position) {
                    break;
                }
                limit = position;
                position = previous;
            }
            return objects;
        }

        const KindNames = { 0: 'colour', 1: 'depth', 2: 'object-id', 8: 'panorama depth' };
        function kindName(kind) {
            return KindNames[kind] || 'unknown';
        }

        function checkHeader(u8) {
            const size = u8.length;
            if (size === 0) {
                throw new OrvoError('not an Orvo file: the file is empty');
            }
            const starts = (a, b, c, d) => size >= 4 && u8[0] === a && u8[1] === b && u8[2] === c && u8[3] === d;
            if (starts(0x49, 0x49, 0x2b, 0) || starts(0x4d, 0x4d, 0, 0x2b)) {
                throw new OrvoError('not an Orvo file: a BigTIFF file');
            }
            const little = starts(0x49, 0x49, 0x2a, 0);
            if (!little && !starts(0x4d, 0x4d, 0, 0x2a)) {
                throw new OrvoError('not an Orvo file: not a TIFF file');
            }
            if (size < 8) {
                throw new OrvoError('damaged: the TIFF header is cut short');
            }
            return !little;
        }

        // The layout a layer's kind needs, in the tool's words when it is not there.
        const LayoutWanted = {
            0: 'the colour layer is not 3 x 8-bit RGB in rows',
            2: 'the object-id layer is not one 8- or 16-bit sample a pixel in rows',
        };
        const DepthLayoutWanted = 'the depth layer is not one 32-bit sample a pixel in rows';
        // Bytes of samples a compressed layer may claim for each byte of the file.
        const LargestCompressionRatio = 256;

        // Parses a whole file. buffer: an ArrayBuffer of its bytes. progress(fraction), if
        // given, is told how far the reading of the rows has come. Returns the document or
        // throws an OrvoError whose message is the orvo tool's for the same file.
        //
        // One walk along the directory chain, stopping where the tool's walker stops, for the
        // same reason: every layer directory is checked and read in chain order.
        function parse(buffer, progress) {
            const bigEndian = checkHeader(new Uint8Array(buffer, 0, Math.min(8, buffer.byteLength)));
            const bytes = new Bytes(buffer, bigEndian);

            const layers = [];
            const visited = new Set();
            let view = null;
            let panorama = null;
            let panoramaDepth = null;
            let colour = null;
            let depth = null;
            let ids = null;
            let objects = [];
            let width = 0;
            let height = 0;
            let offset = bytes.u32(4);
            if (offset === 0) {
                throw new OrvoError('incomplete: the file holds no directory yet (its writing was cut off)');
            }
            if (offset + 2 > bytes.size) {
                throw new OrvoError('damaged: the file is cut short (its first directory lies past its end at ' +
                    bytes.size + ' bytes)');
            }
            const total = { rows: countLayerRows(bytes), done: 0 };
            // Progress over the rows of all layers, d being the directory being read.
            const rowProgress = (d) => progress === undefined ? undefined : (fraction) =>
                progress(Math.min(1, (total.done + fraction * d.height) / total.rows));
            for (let index = 0; ; ++index) {
                const d = visited.has(offset) ? null : readDirectory(bytes, offset);
                if (d === null) {
                    throw new OrvoError(index === 0 ? 'damaged: libtiff cannot read its first directory'
                        : 'damaged: directory ' + index + ' cannot be read (its link points past the end of ' +
                          'the file or back into the chain)');
                }
                visited.add(offset);
                d.index = index;
                if (d.subfile !== undefined) {
                    readLayer(d, index);
                }
                if (d.next === 0) {
                    if (d.linkCut) {
                        throw damaged(index, 'its link to the next directory is cut off by the end of the file');
                    }
                    break;
                }
                offset = d.next;
            }
            if (layers.length === 0) {
                throw new OrvoError('not an Orvo file: a TIFF file without Orvo layers');
            }
            if (progress !== undefined) {
                progress(1);
            }
            return {
                width, height, bigEndian, layers,
                revision: revisionOf(layers),
                view: view,
                panorama: panorama,
                objects,
                colour, depth: panorama !== null ? panoramaDepth : depth, ids,
            };

            function checkLayout(d, index, kind, samplesPerPixel, bits, otherBits) {
                const rowBytes = width * samplesPerPixel * Math.floor(d.bitsPerSample / 8);
                if (!hasLayout(d, samplesPerPixel, bits, otherBits) || !hasRowBytes(d, rowBytes)) {
                    throw damaged(index, LayoutWanted[kind] || DepthLayoutWanted);
                }
                if (d.compression !== 1 && rowBytes * height > LargestCompressionRatio * bytes.size) {
                    throw damaged(index, 'the ' + kindName(kind) + ' layer claims ' + width + ' x ' + height +
                        ' pixels, more than a compressed layer of this file can hold');
                }
            }

            function readLayer(d, index) {
                if (width === 0) {
                    if (d.width === 0 || d.height === 0 || d.width > LargestSide || d.height > LargestSide) {
                        throw damaged(index, 'its size ' + d.width + ' x ' + d.height + ' lies outside 1..65535');
                    }
                    width = d.width;
                    height = d.height;
                } else if (d.width !== width || d.height !== height) {
                    throw damaged(index, 'its size ' + d.width + ' x ' + d.height + " differs from the first layer's " +
                        width + ' x ' + height);
                }
                if (d.subfile === 0) {
                    throw new OrvoError('incomplete: directory ' + index +
                        ': its layer was never finished (its writing was cut off)');
                }
                if (!bytes.has(d.subfile, LayerHeaderSize)) {
                    throw damaged(index, 'its layer header lies outside the file');
                }
                const kind = bytes.u32(d.subfile);
                layers.push({
                    directory: index,
                    kind,
                    major: bytes.u16(d.subfile + 4),
                    minor: bytes.u16(d.subfile + 6),
                    width: d.width,
                    height: d.height,
                    bitsPerSample: d.bitsPerSample,
                    samplesPerPixel: d.samplesPerPixel,
                });
                const body = d.subfile + LayerHeaderSize;
                const layerProgress = rowProgress(d);
                if (kind === KindColour) {
                    if (colour !== null) {
                        throw damaged(index, 'a second colour layer');
                    }
                    checkLayout(d, index, kind, 3, 8, 8);
                    colour = readColour(bytes, d, index, layerProgress);
                } else if (kind === KindPerspectiveDepth) {
                    if (depth !== null) {
                        throw damaged(index, 'a second depth layer');
                    }
                    if (panorama !== null) {
                        throw damaged(index, 'two depth layers');
                    }
                    if (!bytes.has(body, 4 + PackedPerspectiveViewSize)) {
                        throw damaged(index, 'its view record lies outside the file');
                    }
                    view = readPerspectiveView(bytes, body + 4);
                    checkLayout(d, index, kind, 1, 32, 32);
                    depth = readWide(bytes, d, index, kindName(kind), 4, layerProgress);
                } else if (kind === KindPanoramaDepth) {
                    if (panorama !== null) {
                        throw damaged(index, 'a second panorama depth layer');
                    }
                    if (depth !== null) {
                        throw damaged(index, 'two depth layers');
                    }
                    if (!bytes.has(body, 4 + PackedPanoramaViewSize)) {
                        throw damaged(index, 'its panorama view record lies outside the file');
                    }
                    panorama = readPanoramaView(bytes, body + 4);
                    checkLayout(d, index, kind, 1, 32, 32);
                    panoramaDepth = readWide(bytes, d, index, kindName(kind), 4, layerProgress);
                } else if (kind === KindObjectId) {
                    if (ids !== null) {
                        throw damaged(index, 'a second object-id layer');
                    }
                    if (!bytes.has(body, 8)) {
                        throw damaged(index, 'its object table lies outside the file');
                    }
                    const objectCount = bytes.u32(body);
                    objects = readObjects(bytes, d.subfile);
                    // Both writers link every record they count; a shorter chain lost records.
                    if (objects.length !== objectCount) {
                        throw damaged(index, 'the object table lists ' + objectCount + ' records, ' +
                            objects.length + ' of them can be read');
                    }
                    checkLayout(d, index, kind, 1, 16, 8);
                    ids = d.bitsPerSample === 16 ? readWide(bytes, d, index, kindName(kind), 2, layerProgress)
                        : readNarrowIds(bytes, d, index, layerProgress);
                } else {
                    return; // kinds of later revisions
                }
                total.done += d.height;
            }
        }

        // The rows of all layer directories, for the progress; a chain that cannot be walked
        // is left to the walk that reports it.
        function countLayerRows(bytes) {
            let rows = 0;
            const visited = new Set();
            for (let offset = bytes.u32(4); offset !== 0 && !visited.has(offset);) {
                visited.add(offset);
                const d = readDirectory(bytes, offset);
                if (d === null) {
                    break;
                }
                rows += d.subfile !== undefined ? d.height : 0;
                offset = d.next;
            }
            return Math.max(rows, 1);
        }

        // "1.0" or "1.3", from the minor versions of the layer headers.
        function revisionOf(layers) {
            const colour = layers.find((l) => l.kind === KindColour);
            const ids = layers.find((l) => l.kind === KindObjectId);
            if (colour !== undefined) {
                return colour.major + '.' + colour.minor;
            }
            if (ids !== undefined) {
                return ids.minor === 1 ? '1.3' : ids.minor === 0 ? '1.0' : 'unknown';
            }
            return '1.0 or 1.3';
        }

        // The object table by id; where an id has several records the newest wins.
        function objectsById(objects) {
            const byId = new Map();
            for (const entry of objects) {
                if (!byId.has(entry.id)) {
                    byId.set(entry.id, entry);
                }
            }
            return byId;
        }

        // The number of pixels of every id, 65536 counts.
        function idCounts(ids) {
            const counts = new Uint32Array(65536);
            if (ids !== null) {
                for (let i = 0; i < ids.length; ++i) {
                    counts[ids[i]]++;
                }
            }
            return counts;
        }

        // The Worker's side: reads a File, a Blob, an ArrayBuffer or a URL, parses it and
        // hands back the document with its planes transferred. Messages out: {progress,
        // stage}, {document} or {error}.
        function serveWorker(scope) {
            scope.onmessage = async (event) => {
                const { source, name } = event.data;
                try {
                    const buffer = await readSource(source, (fraction) =>
                        scope.postMessage({ progress: fraction, stage: 'reading' }));
                    let last = -1;
                    const document = parse(buffer, (fraction) => {
                        const step = Math.floor(fraction * 50);
                        if (step !== last) {
                            last = step;
                            scope.postMessage({ progress: fraction, stage: 'parsing' });
                        }
                    });
                    document.name = name;
                    document.fileSize = buffer.byteLength;
                    const transfer = [];
                    for (const plane of [document.colour, document.depth, document.ids]) {
                        if (plane !== null) {
                            transfer.push(plane.buffer);
                        }
                    }
                    scope.postMessage({ document }, transfer);
                } catch (error) {
                    scope.postMessage({ error: error instanceof OrvoError ? error.message : String(error && error.message || error),
                        known: error instanceof OrvoError });
                }
            };
        }

        async function readSource(source, progress) {
            if (source instanceof ArrayBuffer) {
                return source;
            }
            let stream;
            let size;
            if (typeof source === 'string') {
                let response;
                try {
                    response = await fetch(source);
                } catch (error) {
                    throw new OrvoError('cannot be fetched (' + (error && error.message || error) + ')');
                }
                if (!response.ok) {
                    throw new OrvoError('cannot be fetched: the server answered ' + response.status + ' ' +
                        response.statusText);
                }
                size = Number(response.headers.get('Content-Length')) || 0;
                stream = response.body;
            } else {
                // A file on this computer: in large slices, each read at once.
                const buffer = new Uint8Array(source.size);
                const slice = 64 << 20;
                for (let at = 0; at < source.size; at += slice) {
                    const part = await source.slice(at, Math.min(source.size, at + slice)).arrayBuffer();
                    buffer.set(new Uint8Array(part), at);
                    progress(Math.min(1, (at + slice) / source.size));
                }
                return buffer.buffer;
            }
            // Read in pieces into one buffer of the final size, so that the file is held once.
            let buffer = new Uint8Array(size > 0 ? size : 1 << 20);
            let filled = 0;
            const reader = stream.getReader();
            for (;;) {
                const { done, value } = await reader.read();
                if (done) {
                    break;
                }
                if (filled + value.length > buffer.length) {
                    const grown = new Uint8Array(Math.max(buffer.length * 2, filled + value.length));
                    grown.set(buffer.subarray(0, filled));
                    buffer = grown;
                }
                buffer.set(value, filled);
                filled += value.length;
                if (size > 0) {
                    progress(filled / size);
                }
            }
            return filled === buffer.length ? buffer.buffer : buffer.slice(0, filled).buffer;
        }

        return {
            OrvoError, parse, objectsById, idCounts, kindName, serveWorker,
            KindColour, KindPerspectiveDepth, KindObjectId, KindPanoramaDepth,
        };
    });
})(function install(factory) {
    'use strict';
    const api = factory();
    // The text of a Worker that runs this reader.
    api.workerSource = '(' + factory.toString() + ')().serveWorker(self);';
    if (typeof module === 'object' && module.exports) {
        module.exports = api;
    } else {
        globalThis.OrvoReader = api;
    }
});
