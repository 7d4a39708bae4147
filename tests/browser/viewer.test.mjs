// SPDX-License-Identifier: Apache-2.0
// Drives the viewer page in headless Chromium against a simulated camera: starts orvane-camsim and
// `orvane-cli view`, waits until every stream has drawn frames, checks what the page shows and keeps
// screenshots. Usage: node viewer.test.mjs BUILD_DIR (or ORVANE_CAMSIM / ORVANE_CLI / ORVANE_ARTIFACTS).

import { spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';

const CAMERA_IP = '127.0.0.200';
const FRAMES_WANTED = 20;
const WAIT_MS = 20000;
const CHROMIUM_ARGS = ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--ignore-gpu-blocklist',
  '--disable-quic', '--no-first-run', '--disable-background-networking', '--disable-component-update', '--disable-sync'];

const build = process.argv[2] || '';
const camsimPath = process.env.ORVANE_CAMSIM || path.join(build, 'sim/orvane-camsim');
const cliPath = process.env.ORVANE_CLI || path.join(build, 'tools/cli/orvane-cli');
const artifacts = process.env.ORVANE_ARTIFACTS || path.join(build || '.', 'tests/browser/artifacts');

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer().once('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

// The programs started here, killed outright if the run itself is ended (by the time bound around it).
const children = new Set();
for (const signal of ['SIGTERM', 'SIGINT']) {
  process.on(signal, () => {
    for (const child of children) child.kill('SIGKILL');
    console.error(`viewer test: ended by ${signal}`);
    process.exit(1);
  });
}

// Starts a program and resolves with it once a line of its output matches `ready` (rejects at exit or
// after the time limit); its output is kept for the failure report.
function start(name, file, args, ready) {
  const child = spawn(file, args, { stdio: ['pipe', 'pipe', 'pipe'] });
  child.output = '';
  children.add(child);
  child.once('exit', () => children.delete(child));
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`${name} did not start:\n${child.output}`)), 15000);
    const onData = (chunk) => {
      child.output += chunk;
      const match = child.output.match(ready);
      if (match) {
        clearTimeout(timer);
        resolve({ child, match });
      }
    };
    child.stdout.on('data', onData);
    child.stderr.on('data', onData);
    child.once('error', (error) => reject(new Error(`${name}: ${error.message}`)));
    child.once('exit', (code) => reject(new Error(`${name} exited with ${code}:\n${child.output}`)));
  }).catch((error) => {
    child.kill('SIGKILL');
    throw error;
  });
}

// Ends a program with SIGINT, then SIGKILL if it is still there after three seconds.
function stop(child) {
  if (!child || child.exitCode !== null || child.signalCode !== null) return Promise.resolve();
  return new Promise((resolve) => {
    const timer = setTimeout(() => child.kill('SIGKILL'), 3000);
    child.once('exit', () => {
      clearTimeout(timer);
      resolve();
    });
    child.kill('SIGINT');
  });
}

// Distinct colours of a canvas, and the share of its pixels not of its most common colour (the background).
function canvasColours(id) {
  const source = document.getElementById(id);
  const copy = Object.assign(document.createElement('canvas'), { width: source.width, height: source.height });
  const context = copy.getContext('2d');
  context.drawImage(source, 0, 0);
  const pixels = new Uint32Array(context.getImageData(0, 0, copy.width, copy.height).data.buffer);
  const counts = new Map();
  for (const p of pixels) counts.set(p, (counts.get(p) || 0) + 1);
  return { colours: counts.size, covered: 1 - Math.max(...counts.values()) / pixels.length };
}

// Writes a setting's current value back from the settings panel; resolves with the answer shown beside it.
async function setFromPanel(page, name) {
  const row = page.locator('.setting', { has: page.locator('.name', { hasText: new RegExp(`^${name}$`) }) });
  const input = row.locator('input');
  await input.fill(await input.inputValue({ timeout: 5000 }), { timeout: 5000 });
  await input.dispatchEvent('change', {}, { timeout: 5000 });
  return row.locator('.ack.ok, .ack.refused').textContent({ timeout: 5000 });
}

async function run(page, url, pageErrors) {
  await page.goto(url);
  const streams = ['depth', 'ir', 'confidence', 'color'];
  await page.waitForFunction((n) => window.orvaneViewer && Object.values(window.orvaneViewer.frames).every((f) => f > n),
    FRAMES_WANTED, { timeout: WAIT_MS, polling: 200 }).catch(() => {});
  // The page's latency median covers its last 200 frames drawn: wait for 200 more, past the start-up.
  const drawnBefore = await page.evaluate(() => Object.values(window.orvaneViewer.frames).reduce((a, b) => a + b, 0));
  await page.waitForFunction((since) => Object.values(window.orvaneViewer.frames).reduce((a, b) => a + b, 0) >= since + 200,
    drawnBefore, { timeout: WAIT_MS, polling: 200 }).catch(() => {});
  const viewer = await page.evaluate(() => window.orvaneViewer);
  const depth = await page.evaluate(canvasColours, 'depth');
  const cloud = await page.evaluate(canvasColours, 'cloud');
  const webglHere = await page.evaluate(() => document.createElement('canvas').getContext('webgl2') !== null);
  // A setting changed from the panel comes back acknowledged by the camera.
  const ack = await setFromPanel(page, 'ir-gain').catch((error) => error.message);

  fs.mkdirSync(artifacts, { recursive: true });
  const screenshot = path.join(artifacts, 'viewer.png');
  await page.screenshot({ path: screenshot, fullPage: true });
  console.log(`screenshot: ${path.resolve(screenshot)}`);
  console.log(`frames drawn ${JSON.stringify(viewer.frames)}, latency median ${viewer.latencyMs.median.toFixed(1)} ms ` +
    `(${viewer.latencyMs.kind}, ${viewer.latencyMs.samples} frames), ` +
    `depth ${depth.colours} colours, point cloud ${cloud.colours} colours over ${(cloud.covered * 100).toFixed(1)}%, ` +
    `renderer ${viewer.webgl ? 'WebGL2' : 'Canvas 2D'}`);
  if (!viewer.webgl) console.log('!!! WARNING: the point cloud ran on the Canvas 2D fallback, WebGL2 is ' +
    (webglHere ? 'available in this browser' : 'NOT available in this browser'));

  return [
    [`more than ${FRAMES_WANTED} frames drawn per stream`, streams.every((s) => viewer.frames[s] > FRAMES_WANTED), viewer.frames],
    ['no console errors or page errors', pageErrors.length === 0, pageErrors],
    ['the page recorded no errors', viewer.errors.length === 0, viewer.errors],
    ['connected, with the camera named in hello', viewer.connected && viewer.hello?.camera?.ip === CAMERA_IP, viewer.hello?.camera],
    ['the depth view shows many colours', depth.colours > 50, depth],
    ['the point cloud is not blank', cloud.colours > 20 && cloud.covered > 0.05, cloud],
    ['the point cloud runs on WebGL2 (unless this browser has none)', viewer.webgl || !webglHere, { webgl: viewer.webgl, webglHere }],
    ['end-to-end latency median under 100 ms', viewer.latencyMs.kind === 'end-to-end' && viewer.latencyMs.median < 100, viewer.latencyMs],
    ['a setting from the panel is acknowledged', ack === 'ok', ack],
  ];
}

async function main() {
  const port = await freePort();
  const url = `http://127.0.0.1:${port}/`;
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'orvane-viewer-test-'));
  let camsim, cli, context;
  try {
    ({ child: camsim } = await start('orvane-camsim', camsimPath,
      ['--wall-clock', '--camera', `serial=SN0200,ip=${CAMERA_IP}`], /^ready$/m));
    ({ child: cli } = await start('orvane-cli', cliPath,
      ['view', '--port', String(port), '--ip', CAMERA_IP, '--allow-control'], /viewer: http:\/\/\S+/));
    context = await chromium.launchPersistentContext(profile, {
      executablePath: '/usr/bin/chromium', headless: true, args: CHROMIUM_ARGS, viewport: { width: 1400, height: 900 },
    });
    const page = context.pages()[0] ?? (await context.newPage());
    const pageErrors = [];
    page.on('console', (m) => m.type() === 'error' && pageErrors.push(`console: ${m.text()}`));
    page.on('pageerror', (e) => pageErrors.push(`page: ${e.message}`));
    const checks = await run(page, url, pageErrors);
    let failed = 0;
    for (const [name, ok, detail] of checks) {
      if (!ok) failed++;
      console.log(`${ok ? 'ok    ' : 'FAILED'} ${name}${ok ? '' : `: ${JSON.stringify(detail)}`}`);
    }
    console.log(`${checks.length - failed} passed, ${failed} failed`);
    if (failed > 0) console.log(`orvane-cli said:\n${cli.output}`);
    return failed === 0 ? 0 : 1;
  } finally {
    await context?.close().catch(() => {});
    await Promise.all([stop(cli), stop(camsim)]);
    fs.rmSync(profile, { recursive: true, force: true });
  }
}

main().then((code) => process.exit(code), (error) => {
  console.error(`viewer test: ${error.stack || error}`);
  process.exit(1);
});
