// Turns the Natural Earth 1:50m outlines that world-atlas carries as TopoJSON into the compact
// file the offline map reads (logic/data/world-50m.bin). Run once after changing the pinned
// versions in package.json:
//
//   cd tools/outlines && npm ci && npm run convert
//
// File layout, all little-endian:
//   "PLW1"                                         magic and version
//   f64 scaleX, scaleY, translateX, translateY     degrees = q * scale + translate
//   varint landRingCount, then each land ring      closed rings; holes are rings too (even-odd)
//   varint borderLineCount, then each border line  open lines between two countries
// A ring or line is varint pointCount followed by its points as zigzag varints: the first point's
// grid coordinates, then each point's difference to the one before.
//
// world-atlas joins shapes across the 180° meridian. The map draws and tests on a flat plane, so
// each ring is unwrapped to run on continuously past ±180°, and a ring that goes once round the
// globe (Antarctica) is closed along the pole.
import { readFileSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { feature, mesh } from 'topojson-client';

const here = dirname(fileURLToPath(import.meta.url));
const topology = JSON.parse(
  readFileSync(join(here, 'node_modules/world-atlas/countries-50m.json'), 'utf8'));
const output = join(here, '../../logic/data/world-50m.bin');

const { scale, translate } = topology.transform;
const fullTurn = Math.round(360 / scale[0]);
// The grid cell of a coordinate; topojson-client computed it as q * scale + translate.
const gridX = (lon) => Math.round((lon - translate[0]) / scale[0]);
const gridY = (lat) => Math.round((lat - translate[1]) / scale[1]);
const poleY = gridY(-90);

// Grid points of one ring or line, each point within half a turn of the one before.
function unwrapped(coordinates) {
  const points = [];
  let shift = 0;
  for (const [lon, lat] of coordinates) {
    let x = gridX(lon) + shift;
    if (points.length > 0) {
      const previous = points[points.length - 1][0];
      while (x - previous > fullTurn / 2) { x -= fullTurn; shift -= fullTurn; }
      while (previous - x > fullTurn / 2) { x += fullTurn; shift += fullTurn; }
    }
    points.push([x, gridY(lat)]);
  }
  return points;
}

function landRing(coordinates) {
  const points = unwrapped(coordinates);
  const first = points[0];
  const last = points[points.length - 1];
  // The pole itself, as a line along the bottom of the plane: no area, nothing to fill.
  if (points.every(([, y]) => y === first[1]))
    return null;
  if (Math.abs(last[0] - first[0]) >= fullTurn / 2) {
    points.push([last[0], poleY], [first[0], poleY], first);
  }
  return points;
}

const land = feature(topology, topology.objects.land);
const rings = [];
for (const { geometry } of land.features ?? [land]) {
  const polygons = geometry.type === 'Polygon' ? [geometry.coordinates] : geometry.coordinates;
  for (const polygon of polygons)
    for (const ring of polygon) {
      const points = landRing(ring);
      if (points)
        rings.push(points);
    }
}
const borders = mesh(topology, topology.objects.countries, (a, b) => a !== b)
  .coordinates.map(unwrapped);

const bytes = [];
const varint = (value) => {
  do {
    let byte = value & 0x7f;
    value = Math.floor(value / 128);
    if (value > 0)
      byte |= 0x80;
    bytes.push(byte);
  } while (value > 0);
};
const zigzag = (value) => varint(value >= 0 ? value * 2 : -value * 2 - 1);
const writeShapes = (shapes) => {
  varint(shapes.length);
  for (const points of shapes) {
    varint(points.length);
    let [px, py] = [0, 0];
    for (const [x, y] of points) {
      zigzag(x - px);
      zigzag(y - py);
      [px, py] = [x, y];
    }
  }
};

const header = Buffer.alloc(4 + 4 * 8);
header.write('PLW1', 0, 'latin1');
[scale[0], scale[1], translate[0], translate[1]].forEach((v, i) => header.writeDoubleLE(v, 4 + i * 8));
writeShapes(rings);
writeShapes(borders);
const file = Buffer.concat([header, Buffer.from(bytes)]);
writeFileSync(output, file);

const count = (shapes) => shapes.reduce((sum, points) => sum + points.length, 0);
console.log(`${output}: ${file.length} bytes, ${rings.length} land rings (${count(rings)} points), ` +
            `${borders.length} border lines (${count(borders)} points)`);
