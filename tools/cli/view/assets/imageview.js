// SPDX-License-Identifier: Apache-2.0
// One 2-D view of a stream on a canvas sized to the frame: depth coloured, grey images auto-levelled,
// colour decoded from its JPEG.

import { colourDepth, colourGrey, levels } from './colormap.js';
import { samples } from './protocol.js';

export class ImageView {
  constructor(canvas) {
    this.canvas = canvas;
    this.context = canvas.getContext('2d');
    this.image = null;
  }

  // RGBA pixels of the frame's size, as one u32 each, to fill and then show with put().
  pixelsFor(width, height) {
    if (this.canvas.width !== width || this.canvas.height !== height) {
      this.canvas.width = width;
      this.canvas.height = height;
    }
    if (!this.image || this.image.width !== width || this.image.height !== height) {
      this.image = this.context.createImageData(width, height);
      this.pixels = new Uint32Array(this.image.data.buffer);
    }
    return this.pixels;
  }

  put() {
    this.context.putImageData(this.image, 0, 0);
  }

  drawDepth(frame, rangeMm) {
    colourDepth(samples(frame), this.pixelsFor(frame.width, frame.height), rangeMm.min, rangeMm.max);
    this.put();
  }

  drawGrey(frame) {
    const pixels = samples(frame);
    const { lo, hi } = levels(pixels);
    colourGrey(pixels, this.pixelsFor(frame.width, frame.height), lo, hi);
    this.put();
  }

  async drawColour(frame) {
    const bitmap = await createImageBitmap(new Blob([frame.payload], { type: 'image/jpeg' }));
    if (this.canvas.width !== bitmap.width || this.canvas.height !== bitmap.height) {
      this.canvas.width = bitmap.width;
      this.canvas.height = bitmap.height;
    }
    this.context.drawImage(bitmap, 0, 0);
    bitmap.close();
  }
}
