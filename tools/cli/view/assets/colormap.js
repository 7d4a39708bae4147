// SPDX-License-Identifier: Apache-2.0
// Turns depth and grey images into RGBA pixels: depth through a turbo-like colour map over the
// camera's measuring range (no depth shown black), grey images auto-levelled from a sample of pixels.

const BLACK = packRgba(0, 0, 0);
const LUT_SIZE = 1024;

function packRgba(r, g, b) {
  // ImageData bytes are R, G, B, A in memory; read as a little-endian u32 that is A<<24 | B<<16 | G<<8 | R.
  return ((255 << 24) | (b << 16) | (g << 8) | r) >>> 0;
}

// The turbo-like map as polynomials in x in [0, 1]; the point cloud's shader uses the same ones.
export function turbo(x) {
  const r = 0.13572138 + x * (4.6153926 + x * (-42.66032258 + x * (132.13108234 + x * (-152.94239396 + x * 59.28637943))));
  const g = 0.09140261 + x * (2.19418839 + x * (4.84296658 + x * (-14.18503333 + x * (4.27729857 + x * 2.82956604))));
  const b = 0.1066733 + x * (12.64194608 + x * (-60.58204836 + x * (110.36276771 + x * (-89.90310912 + x * 27.34824973))));
  const byte = (v) => Math.max(0, Math.min(255, Math.round(v * 255)));
  return [byte(r), byte(g), byte(b)];
}

const TURBO_LUT = (() => {
  const lut = new Uint32Array(LUT_SIZE);
  for (let i = 0; i < LUT_SIZE; i++) lut[i] = packRgba(...turbo(i / (LUT_SIZE - 1)));
  return lut;
})();

// Colours `depth` (millimetres, 0 = none) into `out` (a Uint32Array over ImageData bytes).
export function colourDepth(depth, out, minMm, maxMm) {
  const scale = (LUT_SIZE - 1) / Math.max(1, maxMm - minMm);
  for (let i = 0; i < depth.length; i++) {
    const d = depth[i];
    if (d === 0) {
      out[i] = BLACK;
      continue;
    }
    const k = (d - minMm) * scale;
    out[i] = TURBO_LUT[k <= 0 ? 0 : k >= LUT_SIZE - 1 ? LUT_SIZE - 1 : k | 0];
  }
}

// The 1st and 99th percentile of about 4096 pixels spread over the image.
export function levels(pixels) {
  const step = Math.max(1, Math.floor(pixels.length / 4096));
  const sample = [];
  for (let i = 0; i < pixels.length; i += step) sample.push(pixels[i]);
  sample.sort((a, b) => a - b);
  const lo = sample[Math.floor(sample.length * 0.01)] ?? 0;
  const hi = sample[Math.floor(sample.length * 0.99)] ?? 0;
  return { lo, hi: Math.max(hi, lo + 1) };
}

// Writes `pixels` (8- or 16-bit) into `out` as grey, stretched so that lo..hi spans black to white.
export function colourGrey(pixels, out, lo, hi) {
  const scale = 255 / (hi - lo);
  for (let i = 0; i < pixels.length; i++) {
    const v = (pixels[i] - lo) * scale;
    const g = v <= 0 ? 0 : v >= 255 ? 255 : v | 0;
    out[i] = (0xff000000 | (g << 16) | (g << 8) | g) >>> 0;
  }
}
