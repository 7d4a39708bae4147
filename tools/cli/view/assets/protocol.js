// SPDX-License-Identifier: Apache-2.0
// Reads the viewer's binary frame messages: the 48-byte little-endian header, checked before the
// payload it describes is touched.

export const STREAMS = ['depth', 'ir', 'confidence', 'color'];
export const FRAME_MAGIC = 0x4656524f; // 'O','R','V','F' read as a little-endian u32
export const FRAME_HEADER_BYTES = 48;

const ENCODING_RAW = 0;
const ENCODING_JPEG = 1;
const FORMATS = [
  { name: 'gray16', bytesPerPixel: 2 },
  { name: 'gray8', bytesPerPixel: 1 },
  { name: 'rgb888', bytesPerPixel: 3 },
  { name: 'jpeg', bytesPerPixel: 0 },
];

// Returns { stream, format, index, width, height, timestampUs, hostTimeUs, payload } or throws an Error
// saying what is wrong with the message.
export function decodeFrame(buffer) {
  if (buffer.byteLength < FRAME_HEADER_BYTES) {
    throw new Error(`frame message of ${buffer.byteLength} bytes is shorter than its header`);
  }
  const view = new DataView(buffer);
  if (view.getUint32(0, true) !== FRAME_MAGIC) throw new Error('frame message without the frame magic');
  const version = view.getUint16(4, true);
  if (version !== 1) throw new Error(`frame message of unknown version ${version}`);
  const headerBytes = view.getUint16(6, true);
  const streamId = view.getUint8(8);
  const encoding = view.getUint8(9);
  const formatId = view.getUint16(10, true);
  const width = view.getUint16(16, true);
  const height = view.getUint16(18, true);
  const payloadBytes = view.getUint32(40, true);
  if (headerBytes < FRAME_HEADER_BYTES || headerBytes + payloadBytes > buffer.byteLength) {
    throw new Error(`frame header (${headerBytes} bytes) and payload (${payloadBytes}) exceed the message`);
  }
  if (streamId >= STREAMS.length || formatId >= FORMATS.length) {
    throw new Error(`frame of unknown stream ${streamId} or format ${formatId}`);
  }
  const format = FORMATS[formatId];
  if ((format.name === 'jpeg') !== (encoding === ENCODING_JPEG) || encoding > ENCODING_JPEG) {
    throw new Error(`frame format ${format.name} does not match encoding ${encoding}`);
  }
  if (encoding === ENCODING_RAW && payloadBytes !== width * height * format.bytesPerPixel) {
    throw new Error(`${width}x${height} ${format.name} frame with a payload of ${payloadBytes} bytes`);
  }
  return {
    stream: STREAMS[streamId],
    format: format.name,
    index: view.getUint32(12, true),
    width,
    height,
    timestampUs: Number(view.getBigUint64(24, true)),
    hostTimeUs: Number(view.getBigUint64(32, true)),
    payload: new Uint8Array(buffer, headerBytes, payloadBytes),
  };
}

// The payload's pixels as a typed array of the format's sample size (copied only when a 16-bit
// payload does not start on an even offset).
export function samples(frame) {
  if (frame.format !== 'gray16') return frame.payload;
  const { payload } = frame;
  const aligned = payload.byteOffset % 2 === 0 ? payload : payload.slice();
  return new Uint16Array(aligned.buffer, aligned.byteOffset, aligned.byteLength / 2);
}
