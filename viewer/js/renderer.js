// Draws an Orvo file with WebGL2: a panorama as the inside of its cube, looked at from the
// eye point, or a single rendered view flat with pan and zoom. The image is cut into tiles
// that are the layers of one 2D array texture per plane: a panorama's six faces are its six
// tiles, and a flat view wider or taller than the device's largest texture is cut into as
// many tiles as it needs. The GPU only draws; every figure a person reads is worked out on
// the CPU from the file's own planes (orvo_query.js).
(function () {
    'use strict';

    const VertexShader = `#version 300 es
layout(location = 0) in vec2 corner;
out vec2 ndc;
void main() {
    ndc = corner;
    gl_Position = vec4(corner, 0.0, 1.0);
}`;

    // Layers: 0 colour, 1 distance, 2 object ids, 3 colour with object outlines. Each
    // combination of mode, layer, highlight and planes present is a program of its own
    // (the #if lines), since a software renderer runs every branch that a program holds.
    const FragmentShader = `
precision highp float;
precision highp int;
precision highp sampler2DArray;
precision highp usampler2DArray;
in vec2 ndc;
out vec4 outColour;
uniform sampler2DArray colourTex;
uniform usampler2DArray depthTex;
uniform usampler2DArray idTex;
uniform sampler2D objectTex;        // 256 x 256: the table colour of every id
uniform int highlight;              // an id
uniform vec2 viewport;              // pixels
// Panorama: the viewing camera and the six slot cameras.
uniform vec3 camForward, camRight, camUp;
uniform vec2 tanHalf;
uniform vec3 slotRight[6];
uniform vec3 slotUp[6];
uniform float faceSize;             // texels a face side in the textures
uniform float fileFace;             // pixels a face side in the file
// Flat: the image coordinate at the screen's centre and the screen pixels a file pixel.
uniform vec2 imageSize;             // pixels of the file
uniform vec2 centre;
uniform float zoom;
uniform vec2 tileSize;              // texels a tile, in the textures
uniform float reduction;            // file pixels a texel
uniform int tilesX;
// Flat rays for the distance: window offsets and the camera's axes.
uniform vec4 window;                // left, top, right, bottom
uniform vec3 viewDir, viewRight, viewUp;
uniform bool parallel;
// Distance shading: nearest and farthest distance in the file, depth code scale.
uniform vec2 distanceRange;
uniform float nearDepth;
uniform float depthStep;

const uint NoDepth = 0xFFFFFFFFu;

vec3 tableColour(uint id) {
    return texelFetch(objectTex, ivec2(int(id % 256u), int(id / 256u)), 0).rgb;
}

float between(float first, float last, float i, float n) {
    return n > 1.0 ? first + i * (last - first) / (n - 1.0) : 0.5 * (first + last);
}

void main() {
    // Where the fragment looks: a tile (layer), a position inside it in texels, and the
    // file pixel for the integer planes.
    int tile;
    vec2 texel;        // continuous, texel centres at whole numbers
    ivec2 cell;        // nearest texel
    float rayLength = 1.0;
#if MODE == 0
    {
        vec3 d = camForward + ndc.x * tanHalf.x * camRight + ndc.y * tanHalf.y * camUp;
        // The slot looking most nearly along d; the slots look along +Y, +X, -Y, -X, +Z, -Z.
        vec3 a = abs(d);
        tile = a.z >= a.x && a.z >= a.y ? (d.z > 0.0 ? 4 : 5) : a.y >= a.x ? (d.y > 0.0 ? 0 : 2) : (d.x > 0.0 ? 1 : 3);
        float best = max(max(a.x, a.y), a.z);
        float x = dot(d, slotRight[tile]) / best;
        float y = dot(d, slotUp[tile]) / best;
        // Pixel centres 0 and N-1 lie on the cube's edges.
        texel = vec2(x + 1.0, 1.0 - y) * 0.5 * (faceSize - 1.0);
        cell = ivec2(floor(texel + 0.5));
        vec2 pixel = floor(vec2(x + 1.0, 1.0 - y) * 0.5 * (fileFace - 1.0) + 0.5);
        vec2 xy = vec2(between(-1.0, 1.0, pixel.x, fileFace), between(1.0, -1.0, pixel.y, fileFace));
        rayLength = length(vec3(1.0, xy));
    }
#else
    {
        vec2 screen = vec2(ndc.x, -ndc.y) * 0.5 * viewport;
        vec2 image = centre + screen / zoom;
        if (image.x < 0.0 || image.y < 0.0 || image.x >= imageSize.x || image.y >= imageSize.y) {
            outColour = vec4(0.09, 0.1, 0.12, 1.0);
            return;
        }
        vec2 pixel = floor(image);
        vec2 scaled = image / reduction;
        ivec2 t = ivec2(floor(scaled / tileSize));
        tile = t.y * tilesX + t.x;
        texel = scaled - vec2(t) * tileSize - 0.5;
        cell = ivec2(floor(pixel / reduction)) - t * ivec2(tileSize);
        if (zoom >= 2.0) {
            texel = vec2(cell); // zoomed in: the file's own pixels
        }
        vec2 xy = vec2(between(window.x, window.z, pixel.x, imageSize.x),
                       between(window.y, window.w, pixel.y, imageSize.y));
        rayLength = parallel ? length(viewDir) : length(viewDir + xy.x * viewRight + xy.y * viewUp);
    }
#endif
    vec3 size = vec3(textureSize(colourTex, 0));
#if LAYER != 2
    vec3 colour = texture(colourTex, vec3((texel + 0.5) / size.xy, float(tile))).rgb;
#endif
#if HAS_IDS
    uint id = texelFetch(idTex, ivec3(cell, tile), 0).r;
#else
    uint id = 0u;
#endif
    vec3 result;
#if LAYER == 0
    result = colour;
#elif LAYER == 1
  #if HAS_DEPTH
    uint code = texelFetch(depthTex, ivec3(cell, tile), 0).r;
  #else
    uint code = NoDepth;
  #endif
    if (code == NoDepth) {
        // Hatched, so that no depth cannot be taken for far away.
        bool stripe = mod(floor((gl_FragCoord.x + gl_FragCoord.y) / 6.0), 2.0) < 1.0;
        result = stripe ? vec3(0.36, 0.10, 0.42) : vec3(0.12, 0.04, 0.16);
    } else {
        float distance = (nearDepth + float(code) * depthStep) * rayLength;
        float t = distanceRange.y > distanceRange.x
            ? clamp(log(distance / distanceRange.x) / log(distanceRange.y / distanceRange.x), 0.0, 1.0)
            : 0.0;
        result = vec3(1.0 - 0.85 * t);
    }
#elif LAYER == 2
    result = id == 0u ? vec3(0.0) : tableColour(id);
#else
    result = colour;
  #if HAS_IDS
    ivec3 limit = ivec3(textureSize(idTex, 0)) - 1;
    uint left = texelFetch(idTex, ivec3(max(cell.x - 1, 0), cell.y, tile), 0).r;
    uint right = texelFetch(idTex, ivec3(min(cell.x + 1, limit.x), cell.y, tile), 0).r;
    uint up = texelFetch(idTex, ivec3(cell.x, max(cell.y - 1, 0), tile), 0).r;
    uint down = texelFetch(idTex, ivec3(cell.x, min(cell.y + 1, limit.y), tile), 0).r;
    if (left != id || right != id || up != id || down != id) {
        result = vec3(1.0);
    }
  #endif
#endif
#if HIGHLIGHT
    result = uint(highlight) == id ? mix(result, vec3(1.0, 0.86, 0.0), 0.45) : result * 0.35;
#endif
    outColour = vec4(result, 1.0);
}`;

    // The program of one combination, with its uniforms by name; linked on first use.
    function variant(gl, cache, defines) {
        const key = JSON.stringify(defines);
        if (!cache.has(key)) {
            const head = '#version 300 es\n' + Object.entries(defines).map(([k, v]) => '#define ' + k + ' ' + v + '\n').join('');
            const program = link(gl, VertexShader, head + FragmentShader);
            const uniforms = {};
            const count = gl.getProgramParameter(program, gl.ACTIVE_UNIFORMS);
            for (let i = 0; i < count; ++i) {
                const name = gl.getActiveUniform(program, i).name.replace(/\[0\]$/, '');
                uniforms[name] = gl.getUniformLocation(program, name);
            }
            cache.set(key, { program, uniforms });
        }
        return cache.get(key);
    }

    class Renderer {
        constructor(canvas) {
            this.canvas = canvas;
            const gl = canvas.getContext('webgl2', { antialias: false, depth: false, stencil: false,
                preserveDrawingBuffer: false, powerPreference: 'high-performance' });
            if (gl === null) {
                throw new Error('this browser has no WebGL2, which the viewer draws with');
            }
            this.gl = gl;
            this.maxTexture = gl.getParameter(gl.MAX_TEXTURE_SIZE);
            this.maxLayers = gl.getParameter(gl.MAX_ARRAY_TEXTURE_LAYERS);
            this.programs = new Map();
            const buffer = gl.createBuffer();
            gl.bindBuffer(gl.ARRAY_BUFFER, buffer);
            gl.bufferData(gl.ARRAY_BUFFER, new Float32Array([-1, -1, 3, -1, -1, 3]), gl.STATIC_DRAW);
            this.vao = gl.createVertexArray();
            gl.bindVertexArray(this.vao);
            gl.enableVertexAttribArray(0);
            gl.vertexAttribPointer(0, 2, gl.FLOAT, false, 0, 0);
            this.textures = {};
            this.document = null;
            // Made before any draw binds textures, since making them changes the bindings.
            this.placeholder('u32');
            this.placeholder('u16');
        }

        // Prepares the textures of a document and uploads its colour. limit, if given, caps
        // the texture size below the device's (to try the reduced path). Returns a note for
        // the person when the colour had to be reduced, else null.
        setDocument(doc, cameras, limit) {
            const gl = this.gl;
            this.release();
            this.document = doc;
            this.cameras = cameras;
            const largest = Math.min(this.maxTexture, limit || Infinity);
            const panorama = doc.panorama !== null;
            let layout;
            if (panorama) {
                const n = doc.height;
                // A reduced face keeps its outer texel centres on the cube's edges.
                const face = Math.min(n, largest);
                layout = { tileW: face, tileH: face, tilesX: 6, tilesY: 1, reduction: face === n ? 1 : (n - 1) / (face - 1) };
            } else {
                let reduction = 1;
                for (;;) {
                    const w = Math.ceil(doc.width / reduction);
                    const h = Math.ceil(doc.height / reduction);
                    const tileW = Math.min(w, largest);
                    const tileH = Math.min(h, largest);
                    const tilesX = Math.ceil(w / tileW);
                    const tilesY = Math.ceil(h / tileH);
                    if (tilesX * tilesY <= this.maxLayers) {
                        layout = { tileW, tileH, tilesX, tilesY, reduction, width: w, height: h };
                        break;
                    }
                    reduction *= 2;
                }
            }
            this.layout = layout;
            gl.pixelStorei(gl.UNPACK_ALIGNMENT, 1);
            if (doc.colour !== null) {
                this.textures.colour = this.upload(doc.colour, 3, gl.RGB8, gl.RGB, gl.UNSIGNED_BYTE, true);
            } else {
                this.textures.colour = this.upload(new Uint8Array(3), 3, gl.RGB8, gl.RGB, gl.UNSIGNED_BYTE, true, true);
            }
            this.objectTexture(new Map());
            if (layout.reduction !== 1) {
                const size = panorama ? layout.tileW + ' x ' + layout.tileW + ' pixels a face' :
                    layout.width + ' x ' + layout.height + ' pixels';
                return 'This device\'s textures hold at most ' + largest + ' pixels a side, so the picture ' +
                    'is shown reduced to ' + size + '; hover and measuring use the file\'s full data.';
            }
            return null;
        }

        // The depth or id plane's texture, uploaded on first use.
        ensure(name) {
            const gl = this.gl;
            const doc = this.document;
            if (this.textures[name] !== undefined || doc === null) {
                return;
            }
            if (name === 'depth' && doc.depth !== null) {
                this.textures.depth = this.upload(doc.depth, 1, gl.R32UI, gl.RED_INTEGER, gl.UNSIGNED_INT, false);
            } else if (name === 'ids' && doc.ids !== null) {
                this.textures.ids = this.upload(doc.ids, 1, gl.R16UI, gl.RED_INTEGER, gl.UNSIGNED_SHORT, false);
            }
        }

        // The table colours by id, for the id layer.
        objectTexture(byId) {
            const gl = this.gl;
            const table = new Uint8Array(256 * 256 * 4);
            // Ids on pixels but missing from the table show magenta, as in the id preview.
            for (let id = 1; id < 65536; ++id) {
                table.set([255, 0, 255, 255], 4 * id);
            }
            for (const [id, entry] of byId) {
                table.set([entry.red, entry.green, entry.blue, 255], 4 * id);
            }
            table.set([0, 0, 0, 255], 0);
            if (this.textures.objects === undefined) {
                this.textures.objects = gl.createTexture();
            }
            gl.activeTexture(gl.TEXTURE3);
            gl.bindTexture(gl.TEXTURE_2D, this.textures.objects);
            gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGBA8, 256, 256, 0, gl.RGBA, gl.UNSIGNED_BYTE, table);
            setFilter(gl, gl.TEXTURE_2D, gl.NEAREST);
        }

        // One plane into an array texture, tile by tile, reduced where the layout says so.
        upload(plane, channels, internal, format, type, linear, empty) {
            const gl = this.gl;
            const doc = this.document;
            const L = this.layout;
            const texture = gl.createTexture();
            gl.activeTexture(gl.TEXTURE0);
            gl.bindTexture(gl.TEXTURE_2D_ARRAY, texture);
            const layers = L.tilesX * L.tilesY;
            gl.texStorage3D(gl.TEXTURE_2D_ARRAY, 1, internal, L.tileW, L.tileH, layers);
            setFilter(gl, gl.TEXTURE_2D_ARRAY, linear ? gl.LINEAR : gl.NEAREST);
            if (empty) {
                return texture;
            }
            const panorama = doc.panorama !== null;
            if (L.reduction === 1) {
                gl.pixelStorei(gl.UNPACK_ROW_LENGTH, doc.width);
                for (let ty = 0; ty < L.tilesY; ++ty) {
                    for (let tx = 0; tx < L.tilesX; ++tx) {
                        const x0 = tx * L.tileW;
                        const y0 = ty * L.tileH;
                        const w = Math.min(L.tileW, doc.width - x0);
                        const h = Math.min(L.tileH, doc.height - y0);
                        gl.pixelStorei(gl.UNPACK_SKIP_PIXELS, x0);
                        gl.pixelStorei(gl.UNPACK_SKIP_ROWS, y0);
                        gl.texSubImage3D(gl.TEXTURE_2D_ARRAY, 0, 0, 0, ty * L.tilesX + tx, w, h, 1, format, type, plane);
                    }
                }
                gl.pixelStorei(gl.UNPACK_ROW_LENGTH, 0);
                gl.pixelStorei(gl.UNPACK_SKIP_PIXELS, 0);
                gl.pixelStorei(gl.UNPACK_SKIP_ROWS, 0);
                return texture;
            }
            // Reduced: each texel samples the file at its centre's position, bilinearly for the
            // colour and nearest for the integer planes. A panorama face keeps its outer texel
            // centres on the cube's edges.
            const Typed = plane.constructor;
            for (let ty = 0; ty < L.tilesY; ++ty) {
                for (let tx = 0; tx < L.tilesX; ++tx) {
                    const tile = new Typed(L.tileW * L.tileH * channels);
                    for (let v = 0; v < L.tileH; ++v) {
                        for (let u = 0; u < L.tileW; ++u) {
                            let sx;
                            let sy;
                            if (panorama) {
                                sx = tx * doc.height + u * L.reduction;
                                sy = v * L.reduction;
                            } else {
                                sx = ((tx * L.tileW + u) + 0.5) * L.reduction - 0.5;
                                sy = ((ty * L.tileH + v) + 0.5) * L.reduction - 0.5;
                            }
                            const maxX = panorama ? tx * doc.height + doc.height - 1 : doc.width - 1;
                            sx = Math.min(Math.max(sx, 0), maxX);
                            sy = Math.min(Math.max(sy, 0), doc.height - 1);
                            const out = (v * L.tileW + u) * channels;
                            if (linear) {
                                const x0 = Math.floor(sx);
                                const y0 = Math.floor(sy);
                                const x1 = Math.min(x0 + 1, maxX);
                                const y1 = Math.min(y0 + 1, doc.height - 1);
                                const fx = sx - x0;
                                const fy = sy - y0;
                                for (let c = 0; c < channels; ++c) {
                                    const at = (x, y) => plane[(y * doc.width + x) * channels + c];
                                    tile[out + c] = Math.round((at(x0, y0) * (1 - fx) + at(x1, y0) * fx) * (1 - fy) +
                                        (at(x0, y1) * (1 - fx) + at(x1, y1) * fx) * fy);
                                }
                            } else {
                                tile[out] = plane[Math.round(sy) * doc.width + Math.round(sx)];
                            }
                        }
                    }
                    gl.texSubImage3D(gl.TEXTURE_2D_ARRAY, 0, 0, 0, ty * L.tilesX + tx, L.tileW, L.tileH, 1,
                        format, type, tile);
                }
            }
            return texture;
        }

        release() {
            const gl = this.gl;
            for (const key of ['colour', 'depth', 'ids']) {
                if (this.textures[key] !== undefined) {
                    gl.deleteTexture(this.textures[key]);
                    delete this.textures[key];
                }
            }
            this.document = null;
        }

        // Draws one frame. view: {yaw, pitch, fov} (degrees) for a panorama, {x, y, zoom} for
        // a flat view; layer 0..3; highlight an id or -1; distanceRange [near, far].
        draw(view, layer, highlight, distanceRange) {
            const gl = this.gl;
            const doc = this.document;
            const canvas = this.canvas;
            gl.viewport(0, 0, canvas.width, canvas.height);
            gl.clearColor(0.09, 0.1, 0.12, 1);
            gl.clear(gl.COLOR_BUFFER_BIT);
            if (doc === null) {
                return;
            }
            if (layer === 1 || layer === 2 || layer === 3 || highlight >= 0) {
                this.ensure('ids');
            }
            if (layer === 1) {
                this.ensure('depth');
            }
            const chosen = variant(gl, this.programs, {
                MODE: doc.panorama !== null ? 0 : 1, LAYER: layer, HIGHLIGHT: highlight >= 0 ? 1 : 0,
                HAS_DEPTH: this.textures.depth !== undefined ? 1 : 0, HAS_IDS: this.textures.ids !== undefined ? 1 : 0,
            });
            gl.useProgram(chosen.program);
            gl.bindVertexArray(this.vao);
            // Uniforms a variant leaves out have no location, and setting them does nothing.
            const u = new Proxy(chosen.uniforms, { get: (table, name) => (name in table ? table[name] : null) });
            const bind = (unit, target, texture, name) => {
                gl.activeTexture(gl.TEXTURE0 + unit);
                gl.bindTexture(target, texture || null);
                gl.uniform1i(u[name], unit);
            };
            bind(0, gl.TEXTURE_2D_ARRAY, this.textures.colour, 'colourTex');
            bind(1, gl.TEXTURE_2D_ARRAY, this.textures.depth || this.placeholder('u32'), 'depthTex');
            bind(2, gl.TEXTURE_2D_ARRAY, this.textures.ids || this.placeholder('u16'), 'idTex');
            bind(3, gl.TEXTURE_2D, this.textures.objects, 'objectTex');
            gl.uniform1i(u.highlight, highlight);
            gl.uniform2f(u.viewport, canvas.width, canvas.height);
            const range = distanceRange || [1, 1];
            gl.uniform2f(u.distanceRange, range[0], range[1]);
            const scale = OrvoQuery.scaleOf(doc);
            gl.uniform1f(u.nearDepth, scale.nearDepth);
            gl.uniform1f(u.depthStep, (scale.farDepth - scale.nearDepth) / 4294967296.0);
            const L = this.layout;
            if (doc.panorama !== null) {
                const camera = panoramaCamera(view, canvas.width, canvas.height);
                gl.uniform3f(u.camForward, camera.forward[0], camera.forward[1], camera.forward[2]);
                gl.uniform3f(u.camRight, camera.right[0], camera.right[1], camera.right[2]);
                gl.uniform3f(u.camUp, camera.up[0], camera.up[1], camera.up[2]);
                gl.uniform2f(u.tanHalf, camera.tanX, camera.tanY);
                const flat = (key) => this.cameras.flatMap((c) => [c[key].x, c[key].y, c[key].z]);
                gl.uniform3fv(u.slotRight, flat('right'));
                gl.uniform3fv(u.slotUp, flat('up'));
                gl.uniform1f(u.faceSize, L.tileW);
                gl.uniform1f(u.fileFace, doc.height);
            } else {
                gl.uniform2f(u.imageSize, doc.width, doc.height);
                gl.uniform2f(u.centre, view.x, view.y);
                gl.uniform1f(u.zoom, view.zoom);
                gl.uniform2f(u.tileSize, L.tileW, L.tileH);
                gl.uniform1f(u.reduction, L.reduction);
                gl.uniform1i(u.tilesX, L.tilesX);
                if (doc.view !== null) {
                    const w = OrvoQuery.windowOf(doc.view);
                    const v = doc.view;
                    gl.uniform4f(u.window, w.left, w.top, w.right, w.bottom);
                    gl.uniform3f(u.viewDir, v.viewDirection.x, v.viewDirection.y, v.viewDirection.z);
                    gl.uniform3f(u.viewRight, v.rightAxis.x, v.rightAxis.y, v.rightAxis.z);
                    gl.uniform3f(u.viewUp, v.upAxis.x, v.upAxis.y, v.upAxis.z);
                    gl.uniform1i(u.parallel, v.projection === OrvoQuery.ProjectionParallel ? 1 : 0);
                }
            }
            gl.drawArrays(gl.TRIANGLES, 0, 3);
        }

        // A 1 x 1 integer texture for a plane the file lacks or that is not uploaded yet.
        placeholder(kind) {
            const gl = this.gl;
            const key = 'placeholder_' + kind;
            if (this[key] === undefined) {
                const texture = gl.createTexture();
                gl.activeTexture(gl.TEXTURE0);
                gl.bindTexture(gl.TEXTURE_2D_ARRAY, texture);
                if (kind === 'u32') {
                    gl.texImage3D(gl.TEXTURE_2D_ARRAY, 0, gl.R32UI, 1, 1, 1, 0, gl.RED_INTEGER, gl.UNSIGNED_INT,
                        new Uint32Array([0xFFFFFFFF]));
                } else {
                    gl.texImage3D(gl.TEXTURE_2D_ARRAY, 0, gl.R16UI, 1, 1, 1, 0, gl.RED_INTEGER, gl.UNSIGNED_SHORT,
                        new Uint16Array([0]));
                }
                setFilter(gl, gl.TEXTURE_2D_ARRAY, gl.NEAREST);
                this[key] = texture;
            }
            return this[key];
        }
    }

    // The viewing camera of a panorama: yaw from +Y towards +X, pitch upwards, fov the
    // vertical field of view, all in degrees; world Z up. Vectors as arrays.
    function panoramaCamera(view, width, height) {
        const yaw = view.yaw * Math.PI / 180;
        const pitch = view.pitch * Math.PI / 180;
        const forward = [Math.sin(yaw) * Math.cos(pitch), Math.cos(yaw) * Math.cos(pitch), Math.sin(pitch)];
        const right = [Math.cos(yaw), -Math.sin(yaw), 0];
        const up = [-Math.sin(yaw) * Math.sin(pitch), -Math.cos(yaw) * Math.sin(pitch), Math.cos(pitch)];
        const tanY = Math.tan(view.fov * Math.PI / 360);
        const tanX = tanY * width / height;
        return { forward, right, up, tanX, tanY };
    }

    function setFilter(gl, target, filter) {
        gl.texParameteri(target, gl.TEXTURE_MIN_FILTER, filter);
        gl.texParameteri(target, gl.TEXTURE_MAG_FILTER, filter);
        gl.texParameteri(target, gl.TEXTURE_WRAP_S, gl.CLAMP_TO_EDGE);
        gl.texParameteri(target, gl.TEXTURE_WRAP_T, gl.CLAMP_TO_EDGE);
    }

    function link(gl, vertexText, fragmentText) {
        const compile = (type, text) => {
            const shader = gl.createShader(type);
            gl.shaderSource(shader, text);
            gl.compileShader(shader);
            if (!gl.getShaderParameter(shader, gl.COMPILE_STATUS)) {
                throw new Error('a shader does not compile: ' + gl.getShaderInfoLog(shader));
            }
            return shader;
        };
        const program = gl.createProgram();
        gl.attachShader(program, compile(gl.VERTEX_SHADER, vertexText));
        gl.attachShader(program, compile(gl.FRAGMENT_SHADER, fragmentText));
        gl.linkProgram(program);
        if (!gl.getProgramParameter(program, gl.LINK_STATUS)) {
            throw new Error('the shaders do not link: ' + gl.getProgramInfoLog(program));
        }
        return program;
    }

    globalThis.OrvoRenderer = { Renderer, panoramaCamera };
})();
