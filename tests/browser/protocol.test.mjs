// SPDX-License-Identifier: Apache-2.0
// The page's reading of frame messages: a well-formed frame, every truncation of it, and headers whose
// fields contradict the payload are refused with an Error, never read past the message.

import assert from 'node:assert/strict';
import test from 'node:test';
import { decodeFrame, samples } from '../../tools/cli/view/assets/protocol.js';

const WIDTH = 4, HEIGHT = 3;

function depthMessage() {
  const bytes = new Uint8Array(48 + WIDTH * HEIGHT * 2);
  const view = new DataView(bytes.buffer);
  view.setUint32(0, 0x4656524f, true);
  view.setUint16(4, 1, true);
  view.setUint16(6, 48, true);
  view.setUint32(12, 77, true);
  view.setUint16(16, WIDTH, true);
  view.setUint16(18, HEIGHT, true);
  view.setBigUint64(24, 1700000000123456n, true);
  view.setBigUint64(32, 1700000000125000n, true);
  view.setUint32(40, WIDTH * HEIGHT * 2, true);
  for (let i = 0; i < WIDTH * HEIGHT; i++) view.setUint16(48 + 2 * i, 1000 + i, true);
  return bytes;
}

test('a depth frame is read with its header fields and pixels', () => {
  const frame = decodeFrame(depthMessage().buffer);
  assert.deepEqual([frame.stream, frame.format, frame.index, frame.width, frame.height], ['depth', 'gray16', 77, WIDTH, HEIGHT]);
  assert.equal(frame.timestampUs, 1700000000123456);
  assert.equal(frame.hostTimeUs - frame.timestampUs, 1544);
  assert.deepEqual(Array.from(samples(frame)), Array.from({ length: WIDTH * HEIGHT }, (_, i) => 1000 + i));
});

test('every truncated copy is refused', () => {
  const whole = depthMessage();
  for (let length = 0; length < whole.length; length++) {
    assert.throws(() => decodeFrame(whole.slice(0, length).buffer), Error, `length ${length}`);
  }
});

test('headers that contradict themselves or the payload are refused', () => {
  const cases = [
    ['magic', (v) => v.setUint32(0, 0x4656524e, true)],
    ['version', (v) => v.setUint16(4, 2, true)],
    ['header size below 48', (v) => v.setUint16(6, 40, true)],
    ['header size past the message', (v) => v.setUint16(6, 60000, true)],
    ['stream', (v) => v.setUint8(8, 4)],
    ['JPEG encoding of a raw format', (v) => v.setUint8(9, 1)],
    ['format', (v) => v.setUint16(10, 9, true)],
    ['width', (v) => v.setUint16(16, WIDTH + 1, true)],
    ['payload length', (v) => v.setUint32(40, 0xffffffff, true)],
  ];
  for (const [name, spoil] of cases) {
    const bytes = depthMessage();
    spoil(new DataView(bytes.buffer));
    assert.throws(() => decodeFrame(bytes.buffer), Error, name);
  }
});
