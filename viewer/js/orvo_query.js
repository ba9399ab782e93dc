// What one pixel of an Orvo file shows and where its surface lies: the ray through the
// pixel's centre for a perspective view, a parallel view and a panorama, and the pixel's
// object, depth, distance and world point. Every figure is worked out in double precision
// with the same operations in the same order as `orvo query`, so that both give the same
// doubles; numbers are shown as the tool prints them (C's %.9g).
//
// A plain script for the same reason as orvo_reader.js: page and Node alike.
(function (install) {
    'use strict';
    install(function OrvoQueryModule() {
        'use strict';

        const NoDepthCode = 0xFFFFFFFF;
        const ProjectionPerspective = 0;
        const ProjectionParallel = 1;
        const ProjectionPanorama = 3;

        // The cameras of the panorama's slots as the render host aims them: the side cameras
        // stand upright (world Z up, right = forward x up); the up and down cameras are the +Y
        // camera tilted, so they keep +X as their right axis. A panorama records none of
        // this. upRoll and downRoll (0 or 180 degrees) turn the up and the down camera about
        // their view axis, for panoramas whose rig rolled those cameras the other way.
        function slotCameras(upRoll = 0, downRoll = 0) {
            const turned = (camera, roll) => roll === 180 ? {
                name: camera.name, forward: camera.forward,
                right: scaled(camera.right, -1), up: scaled(camera.up, -1),
            } : camera;
            const v = (x, y, z) => ({ x, y, z });
            return [
                { name: '+Y', forward: v(0, 1, 0), right: v(1, 0, 0), up: v(0, 0, 1) },
                { name: '+X', forward: v(1, 0, 0), right: v(0, -1, 0), up: v(0, 0, 1) },
                { name: '-Y', forward: v(0, -1, 0), right: v(-1, 0, 0), up: v(0, 0, 1) },
                { name: '-X', forward: v(-1, 0, 0), right: v(0, 1, 0), up: v(0, 0, 1) },
                turned({ name: '+Z (up)', forward: v(0, 0, 1), right: v(1, 0, 0), up: v(0, -1, 0) }, upRoll),
                turned({ name: '-Z (down)', forward: v(0, 0, -1), right: v(1, 0, 0), up: v(0, 1, 0) }, downRoll),
            ];
        }

        function add(a, b) {
            return { x: a.x + b.x, y: a.y + b.y, z: a.z + b.z };
        }

        function scaled(v, s) {
            return { x: v.x * s, y: v.y * s, z: v.z * s };
        }

        function length(v) {
            return Math.sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
        }

        // The offset of pixel i of n between the centres of the first and the last pixel.
        function between(first, last, i, n) {
            return n > 1 ? first + i * (last - first) / (n - 1) : 0.5 * (first + last);
        }

        // The view window at the centres of the corner pixels: image-plane offsets at
        // distance 1 for a perspective view, offsets in scene units from the eye point for a
        // parallel one; x to the right, y upwards.
        function windowOf(view) {
            const a = view.cornerTopLeft;
            const b = view.cornerBottomRight;
            if (view.projection === ProjectionParallel) {
                return { left: a.x, top: a.y, right: b.x, bottom: b.y };
            }
            return { left: a.x / a.z, top: a.y / a.z, right: b.x / b.z, bottom: b.y / b.z };
        }

        // Why a file has no pixel rays, or null when it has them.
        function rayProblem(doc) {
            if (doc.panorama !== null) {
                return doc.width === 6 * doc.height ? null : 'a panorama of ' + doc.width + ' x ' + doc.height +
                    ' pixels is not six square faces side by side';
            }
            if (doc.view === null) {
                return 'has no depth layer, so no view record';
            }
            if (doc.view.projection !== ProjectionParallel && doc.view.projection !== ProjectionPerspective) {
                return 'its view record has the unknown projection ' + doc.view.projection;
            }
            return null;
        }

        // The ray of pixel (column, row): a surface at depth t lies at origin + t * direction.
        function rayThroughPixel(doc, column, row, cameras) {
            if (doc.panorama !== null) {
                const n = doc.height;
                const slot = Math.floor(column / n);
                const camera = cameras[slot];
                // The centres of a face's outer pixels lie on the cube's edges.
                const x = between(-1.0, 1.0, column % n, n);
                const y = between(1.0, -1.0, row, n);
                const direction = add(camera.forward, add(scaled(camera.right, x), scaled(camera.up, y)));
                return { origin: doc.panorama.eyePoint, direction, slot };
            }
            const view = doc.view;
            const w = windowOf(view);
            const x = between(w.left, w.right, column, doc.width);
            const y = between(w.top, w.bottom, row, doc.height);
            const offset = add(scaled(view.rightAxis, x), scaled(view.upAxis, y));
            if (view.projection === ProjectionParallel) {
                return { origin: add(view.eyePoint, offset), direction: view.viewDirection, slot: -1 };
            }
            return { origin: view.eyePoint, direction: add(view.viewDirection, offset), slot: -1 };
        }

        // How a panorama's up and down faces were turned, found from its own pixels by the rule
        // of `orvo info`: a border pixel of the up or down face and the side face's border pixel
        // on the same ray hold the same distance and nearly the same colour under the right
        // roll. Each face is tried both ways against the side faces' top (up) or bottom (down)
        // rows, first by distance, then by colour. Per face: determined, rolled, the cue that
        // decided ('distance', 'colour' or null), and the evidence [unrolled, rolled] as
        // {compared, agreeing} pairs; upRoll and downRoll in degrees for slotCameras.
        const RollDistanceTolerance = 1.0 / 65536.0;
        const RollColourTolerance = 3;
        const RollAgreementNeeded = 0.9;

        function findRolls(doc) {
            const n = doc.height;
            const scale = scaleOf(doc);
            const face = (slot) => {
                const finding = { determined: false, rolled: false, cue: null,
                    distance: [{ compared: 0, agreeing: 0 }, { compared: 0, agreeing: 0 }],
                    colour: [{ compared: 0, agreeing: 0 }, { compared: 0, agreeing: 0 }] };
                if (doc.panorama === null || n < 2 || doc.width !== 6 * n) {
                    return finding;
                }
                const sideRow = slot === 4 ? 0 : n - 1;
                for (let rolled = 0; rolled < 2; ++rolled) {
                    const cameras = slotCameras(slot === 4 ? 180 * rolled : 0, slot === 5 ? 180 * rolled : 0);
                    for (let sideColumn = 0; sideColumn < 4 * n; ++sideColumn) {
                        comparePair(doc, scale, slot, cameras, sideColumn, sideRow, finding.distance[rolled],
                            finding.colour[rolled]);
                    }
                }
                let choice = decide(finding.distance, n);
                finding.cue = 'distance';
                if (choice < 0) {
                    choice = decide(finding.colour, n);
                    finding.cue = 'colour';
                }
                finding.determined = choice >= 0;
                finding.rolled = choice === 1;
                if (!finding.determined) {
                    finding.cue = null;
                }
                return finding;
            };
            const up = face(4);
            const down = face(5);
            return { up, down, upRoll: up.rolled ? 180 : 0, downRoll: down.rolled ? 180 : 0 };
        }

        function dot(a, b) {
            return a.x * b.x + a.y * b.y + a.z * b.z;
        }

        function comparePair(doc, scale, slot, cameras, sideColumn, sideRow, distance, colour) {
            const n = doc.height;
            const ray = rayThroughPixel(doc, sideColumn, sideRow, cameras).direction;
            const camera = cameras[slot];
            const along = dot(ray, camera.forward);
            const x = dot(ray, camera.right) / along;
            const y = dot(ray, camera.up) / along;
            const last = n - 1;
            const column = Math.min(last, Math.max(0, Math.round((x + 1.0) * 0.5 * last)));
            const row = Math.min(last, Math.max(0, Math.round((1.0 - y) * 0.5 * last)));
            const side = sideRow * 6 * n + sideColumn;
            const own = row * 6 * n + slot * n + column;
            if (doc.depth !== null) {
                const a = doc.depth[side];
                const b = doc.depth[own];
                if (a !== NoDepthCode || b !== NoDepthCode) {
                    ++distance.compared;
                    if (a !== NoDepthCode && b !== NoDepthCode) {
                        const ownRay = rayThroughPixel(doc, slot * n + column, row, cameras).direction;
                        const tolerance = (scale.farDepth - scale.nearDepth) * RollDistanceTolerance * length(ray);
                        const gap = depthOf(scale, a) * length(ray) - depthOf(scale, b) * length(ownRay);
                        distance.agreeing += Math.abs(gap) <= tolerance ? 1 : 0;
                    }
                }
            }
            if (doc.colour !== null) {
                ++colour.compared;
                let same = true;
                for (let k = 0; k < 3; ++k) {
                    same = same && Math.abs(doc.colour[3 * side + k] - doc.colour[3 * own + k]) <= RollColourTolerance;
                }
                colour.agreeing += same ? 1 : 0;
            }
        }

        // Which roll one kind of evidence chooses, 0 or 1, or -1: the better roll must agree on
        // nearly all its pairs, and the other disagree on four times as many pairs and on at
        // least an eighth of them.
        function decide(evidence, n) {
            const [u, r] = evidence;
            const better = r.agreeing * u.compared > u.agreeing * r.compared ? 1 : 0;
            const chosen = evidence[better];
            const other = evidence[1 - better];
            const chosenMisses = chosen.compared - chosen.agreeing;
            const otherMisses = other.compared - other.agreeing;
            const decides = chosen.compared > 0 && chosen.agreeing >= RollAgreementNeeded * chosen.compared &&
                otherMisses >= 4 * chosenMisses && 2 * otherMisses >= n;
            return decides ? better : -1;
        }

        // The depth range and unit of whichever view record the file has.
        function scaleOf(doc) {
            const v = doc.panorama !== null ? doc.panorama : doc.view;
            return v === null ? { nearDepth: 0, farDepth: 1, unitScale: 1, unitCode: 0 }
                : { nearDepth: v.nearDepth, farDepth: v.farDepth, unitScale: v.unitScale, unitCode: v.unitCode };
        }

        function depthOf(scale, code) {
            return scale.nearDepth + code * ((scale.farDepth - scale.nearDepth) / 4294967296.0);
        }

        const UnitNames = { 2: 'millimetre', 3: 'centimetre', 4: 'metre', 5: 'kilometre', 7: 'inch', 8: 'foot' };

        // What the file's lengths are measured in, as the tool words it.
        function unitPhrase(scale) {
            const name = UnitNames[scale.unitCode];
            if (name === undefined) {
                return 'scene units';
            }
            return scale.unitScale === 1.0 ? name : 'units of ' + formatG(scale.unitScale) + ' ' + name;
        }

        // A pixel's answer, as `orvo query --json` gives it: x, y, slot and face (panoramas),
        // colour, id, name, depth, distance and point (null where the file has no value).
        function ask(doc, byId, x, y, cameras) {
            const i = y * doc.width + x;
            const answer = { x, y, slot: -1, face: null, colour: null, id: null, name: null, depth: null,
                distance: null, point: null };
            if (doc.colour !== null) {
                answer.colour = [doc.colour[3 * i], doc.colour[3 * i + 1], doc.colour[3 * i + 2]];
            }
            if (doc.ids !== null) {
                answer.id = doc.ids[i];
                const entry = byId.get(doc.ids[i]);
                if (doc.ids[i] !== 0 && entry !== undefined) {
                    answer.name = entry.name;
                }
            }
            if (doc.depth !== null) {
                const ray = rayThroughPixel(doc, x, y, cameras);
                answer.slot = ray.slot;
                answer.face = ray.slot >= 0 ? cameras[ray.slot].name : null;
                const code = doc.depth[i];
                if (code !== NoDepthCode) {
                    const depth = depthOf(scaleOf(doc), code);
                    answer.depth = depth;
                    answer.distance = depth * length(ray.direction);
                    answer.point = [ray.origin.x + depth * ray.direction.x, ray.origin.y + depth * ray.direction.y,
                        ray.origin.z + depth * ray.direction.z];
                }
            }
            return answer;
        }

        // The straight distance between two world points.
        function distanceBetween(a, b) {
            const dx = b[0] - a[0];
            const dy = b[1] - a[1];
            const dz = b[2] - a[2];
            return Math.sqrt(dx * dx + dy * dy + dz * dz);
        }

        // C's %.<precision>g: the shortest of fixed and exponent notation, trailing zeros
        // dropped.
        function formatG(value, precision = 9) {
            if (Number.isNaN(value)) {
                return 'nan';
            }
            if (!Number.isFinite(value)) {
                return value > 0 ? 'inf' : '-inf';
            }
            if (value === 0) {
                return Object.is(value, -0) ? '-0' : '0';
            }
            const exponential = value.toExponential(precision - 1);
            const e = Number(exponential.slice(exponential.indexOf('e') + 1));
            const trim = (digits) => digits.indexOf('.') < 0 ? digits : digits.replace(/0+$/, '').replace(/\.$/, '');
            if (e < -4 || e >= precision) {
                const mantissa = trim(exponential.slice(0, exponential.indexOf('e')));
                const magnitude = String(Math.abs(e)).padStart(2, '0');
                return mantissa + 'e' + (e < 0 ? '-' : '+') + magnitude;
            }
            return trim(value.toFixed(precision - 1 - e));
        }

        return {
            NoDepthCode, ProjectionPerspective, ProjectionParallel, ProjectionPanorama,
            slotCameras, findRolls, rayThroughPixel, rayProblem, windowOf, scaleOf, depthOf, unitPhrase, ask,
            distanceBetween, formatG, length,
        };
    });
})(function install(factory) {
    'use strict';
    const api = factory();
    if (typeof module === 'object' && module.exports) {
        module.exports = api;
    } else {
        globalThis.OrvoQuery = api;
    }
});
