// SPDX-License-Identifier: Apache-2.0
// The viewer page's wiring: the WebSocket to orvane-cli (reconnecting with a back-off), the header bar
// with the camera, rates, drops and latency, drawing the latest frame of each stream once per animation
// frame, and window.orvaneViewer for tests.

import { ImageView } from './imageview.js';
import { PointCloudView } from './pointcloud.js';
import { STREAMS, decodeFrame, samples } from './protocol.js';
import { SettingsPanel } from './settings.js';

const LATENCY_SAMPLES = 200;
const CAMERA_CLOCK_SLACK_US = 10e6; // a camera clock further than this from wall time is not wall time
const RETRY_FIRST_MS = 500;
const RETRY_LAST_MS = 8000;
const MAX_ERRORS = 100; // kept for tests; a flood past this is still logged

const $ = (id) => document.getElementById(id);
const perStream = (value) => Object.fromEntries(STREAMS.map((s) => [s, value]));

const views = { depth: new ImageView($('depth')), ir: new ImageView($('ir')), confidence: new ImageView($('confidence')), color: new ImageView($('color')) };
const cloud = new PointCloudView($('cloud'));
const state = window.orvaneViewer = {
  connected: false,
  webgl: cloud.webgl,
  frames: perStream(0),
  lastIndex: perStream(null),
  dropped: perStream(0),
  latencyMs: { median: null, samples: 0, kind: 'end-to-end' },
  errors: [],
  hello: null,
};
const latencies = [];
const pending = perStream(null); // the latest frame of each stream not drawn yet
const skipped = perStream(0); // frames replaced here before they could be drawn
let stats = null;
let rangeMm = { min: 0, max: 5000 };
let socket = null;
let retryMs = RETRY_FIRST_MS;
let drawScheduled = false;
let colourDecoding = false;

function report(message) {
  if (state.errors.length < MAX_ERRORS) state.errors.push(message);
  console.error(`viewer: ${message}`);
}

function send(message) {
  if (socket && socket.readyState === WebSocket.OPEN) socket.send(JSON.stringify(message));
}

const settings = new SettingsPanel($('settings-body'), send);

function setConnection(text, className) {
  $('connection').textContent = text;
  $('connection').className = `connection ${className}`;
}

function connect() {
  setConnection('connecting', 'waiting');
  const scheme = location.protocol === 'https:' ? 'wss' : 'ws';
  socket = new WebSocket(`${scheme}://${location.host}/ws`);
  socket.binaryType = 'arraybuffer';
  socket.onmessage = (event) => (typeof event.data === 'string' ? onText(event.data) : onFrame(event.data));
  socket.onclose = () => {
    state.connected = false;
    setConnection(`closed, retrying in ${(retryMs / 1000).toFixed(1)} s`, 'closed');
    setTimeout(connect, retryMs);
    retryMs = Math.min(RETRY_LAST_MS, retryMs * 2);
  };
}

function onText(text) {
  let message;
  try {
    message = JSON.parse(text);
  } catch {
    report(`a text message that is not JSON: ${text.slice(0, 80)}`);
    return;
  }
  switch (message.type) {
    case 'hello':
      onHello(message);
      break;
    case 'intrinsics':
      if (message.tof) cloud.setIntrinsics(message.tof);
      break;
    case 'stats':
      stats = message;
      state.dropped = { ...state.dropped, ...message.dropped };
      showRates();
      break;
    case 'ack':
      settings.acknowledge(message);
      break;
    case 'error':
      report(`the viewer refused a message: ${message.message}`);
      break;
    default:
      report(`a message of unknown type ${message.type}`);
  }
}

function onHello(hello) {
  if (hello.version !== 1) report(`the viewer speaks version ${hello.version}, this page version 1`);
  state.hello = hello;
  state.connected = true;
  retryMs = RETRY_FIRST_MS;
  rangeMm = hello.depthRangeMm || rangeMm;
  cloud.setRange(rangeMm);
  const c = hello.camera || {};
  $('camera').textContent = `${c.model} ${c.serial}${c.alias ? ` "${c.alias}"` : ''} at ${c.ip}, firmware ${c.firmware}`;
  $('range').textContent = `${rangeMm.min}–${rangeMm.max} mm`;
  setConnection('live', 'open');
  settings.show(hello);
  for (const box of document.querySelectorAll('input.live')) box.checked = true;
}

function onFrame(buffer) {
  let frame;
  try {
    frame = decodeFrame(buffer);
  } catch (error) {
    report(error.message);
    return;
  }
  if (pending[frame.stream]) skipped[frame.stream]++;
  pending[frame.stream] = frame;
  if (!drawScheduled) {
    drawScheduled = true;
    requestAnimationFrame(drawPending);
  }
}

function drawn(frame) {
  state.frames[frame.stream]++;
  state.lastIndex[frame.stream] = frame.index;
  const nowUs = (performance.timeOrigin + performance.now()) * 1000;
  const cameraClock = Math.abs(nowUs - frame.timestampUs) <= CAMERA_CLOCK_SLACK_US;
  state.latencyMs.kind = cameraClock ? 'end-to-end' : 'host';
  latencies.push((nowUs - (cameraClock ? frame.timestampUs : frame.hostTimeUs)) / 1000);
  if (latencies.length > LATENCY_SAMPLES) latencies.shift();
}

function drawPending() {
  drawScheduled = false;
  for (const stream of ['depth', 'ir', 'confidence']) {
    const frame = pending[stream];
    if (!frame) continue;
    pending[stream] = null;
    try {
      if (stream === 'depth') {
        views.depth.drawDepth(frame, rangeMm);
        cloud.draw(samples(frame), frame.width, frame.height);
      } else {
        views[stream].drawGrey(frame);
      }
      drawn(frame);
    } catch (error) {
      report(`drawing ${stream}: ${error.message}`);
    }
  }
  if (pending.color && !colourDecoding) drawColour(pending.color);
}

function drawColour(frame) {
  pending.color = null;
  colourDecoding = true;
  views.color.drawColour(frame)
    .then(() => drawn(frame), (error) => report(`colour frame ${frame.index}: ${error.message}`))
    .finally(() => {
      colourDecoding = false;
      if (pending.color) drawColour(pending.color);
    });
}

function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  const middle = sorted.length >> 1;
  return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

function showRates() {
  const parts = STREAMS.map((s) => {
    const fps = stats?.fps?.[s] ?? 0;
    return `${s} ${fps.toFixed(1)} fps, ${state.dropped[s] ?? 0} dropped${skipped[s] ? ` (+${skipped[s]} here)` : ''}`;
  });
  const camera = stats?.cameraDropped;
  if (camera) parts.push(`camera dropped: tof ${camera.tof}, colour ${camera.color}`);
  $('rates').textContent = parts.join(' · ');
  if (latencies.length > 0) {
    state.latencyMs = { median: median(latencies), samples: latencies.length, kind: state.latencyMs.kind };
    const label = state.latencyMs.kind === 'host' ? 'host latency' : 'latency';
    $('latency').textContent = `${label} ${state.latencyMs.median.toFixed(1)} ms (median of ${latencies.length})`;
  }
}

// Thins the point cloud when depth frames arrive faster than the page draws them (a software renderer).
let depthSeen = { drawn: 0, skipped: 0 };
function keepUp() {
  const drawnNow = state.frames.depth - depthSeen.drawn, skippedNow = skipped.depth - depthSeen.skipped;
  depthSeen = { drawn: state.frames.depth, skipped: skipped.depth };
  if (skippedNow > Math.max(2, drawnNow / 4)) cloud.thin();
  showRates();
}

// A view's "live" box pauses or resumes its stream for this page only.
for (const box of document.querySelectorAll('input.live')) {
  box.addEventListener('change', () => send({ type: box.checked ? 'resume' : 'pause', streams: [box.dataset.stream] }));
}
$('renderer').textContent = cloud.webgl ? 'WebGL2' : 'Canvas 2D (no WebGL2 here)';
setInterval(keepUp, 1000);
connect();
