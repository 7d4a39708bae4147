// SPDX-License-Identifier: Apache-2.0
// The 3-D point cloud: in WebGL2 the depth image is a 16-bit integer texture and the vertex shader
// unprojects one point per pixel with the depth camera's intrinsics; without WebGL2 a sample of the
// points is projected in JavaScript onto a 2-D canvas.

import { turbo } from './colormap.js';
import { OrbitCamera } from './orbit.js';

const VERTEX_SHADER = `#version 300 es
uniform highp usampler2D uDepth;
uniform ivec2 uColumns; // points per row, and the pixel step between points
uniform vec4 uIntrinsics; // fx, fy, cx, cy
uniform vec2 uRangeMm;
uniform mat4 uMatrix;
uniform float uPointSize;
out vec3 vColour;
vec3 turbo(float x) {
  vec4 x4 = vec4(1.0, x, x * x, x * x * x);
  vec2 x2 = x4.zw * x4.z;
  return clamp(vec3(
    dot(x4, vec4(0.13572138, 4.61539260, -42.66032258, 132.13108234)) + dot(x2, vec2(-152.94239396, 59.28637943)),
    dot(x4, vec4(0.09140261, 2.19418839, 4.84296658, -14.18503333)) + dot(x2, vec2(4.27729857, 2.82956604)),
    dot(x4, vec4(0.10667330, 12.64194608, -60.58204836, 110.36276771)) + dot(x2, vec2(-89.90310912, 27.34824973))),
    0.0, 1.0);
}
void main() {
  ivec2 pixel = ivec2(gl_VertexID % uColumns.x, gl_VertexID / uColumns.x) * uColumns.y;
  uint depthMm = texelFetch(uDepth, pixel, 0).r;
  if (depthMm == 0u) {
    gl_Position = vec4(2.0, 2.0, 2.0, 1.0); // outside the clip volume: no point
    gl_PointSize = 0.0;
    vColour = vec3(0.0);
    return;
  }
  float z = float(depthMm) * 0.001;
  vec2 xy = (vec2(pixel) - uIntrinsics.zw) * z / uIntrinsics.xy;
  gl_Position = uMatrix * vec4(xy, z, 1.0);
  gl_PointSize = uPointSize;
  vColour = turbo(clamp((float(depthMm) - uRangeMm.x) / max(1.0, uRangeMm.y - uRangeMm.x), 0.0, 1.0));
}`;

const FRAGMENT_SHADER = `#version 300 es
precision mediump float;
in vec3 vColour;
out vec4 colour;
void main() { colour = vec4(vColour, 1.0); }`;

const BACKGROUND = [0.07, 0.07, 0.08];
const FALLBACK_POINTS = 30000;

function compile(gl, type, source) {
  const shader = gl.createShader(type);
  gl.shaderSource(shader, source);
  gl.compileShader(shader);
  if (!gl.getShaderParameter(shader, gl.COMPILE_STATUS)) throw new Error(`shader: ${gl.getShaderInfoLog(shader)}`);
  return shader;
}

export class PointCloudView {
  constructor(canvas) {
    this.canvas = canvas;
    this.orbit = new OrbitCamera(canvas);
    this.intrinsics = null;
    this.rangeMm = { min: 0, max: 5000 };
    this.framed = false; // whether the orbit was placed on the scene since the intrinsics came
    this.step = 1; // pixels between the points drawn, in both directions
    this.gl = canvas.getContext('webgl2', { preserveDrawingBuffer: true, antialias: false });
    this.webgl = this.gl !== null;
    if (this.webgl) this.setUpWebGl();
    else this.context2d = canvas.getContext('2d');
  }

  setUpWebGl() {
    const gl = this.gl;
    const program = gl.createProgram();
    gl.attachShader(program, compile(gl, gl.VERTEX_SHADER, VERTEX_SHADER));
    gl.attachShader(program, compile(gl, gl.FRAGMENT_SHADER, FRAGMENT_SHADER));
    gl.linkProgram(program);
    if (!gl.getProgramParameter(program, gl.LINK_STATUS)) throw new Error(`program: ${gl.getProgramInfoLog(program)}`);
    this.program = program;
    this.uniforms = {};
    for (const name of ['uDepth', 'uColumns', 'uIntrinsics', 'uRangeMm', 'uMatrix', 'uPointSize']) {
      this.uniforms[name] = gl.getUniformLocation(program, name);
    }
    this.texture = null; // made at the first frame, of its size
    this.textureSize = '';
    gl.pixelStorei(gl.UNPACK_ALIGNMENT, 2);
    this.vertexArray = gl.createVertexArray(); // no attributes: points come from gl_VertexID
    gl.enable(gl.DEPTH_TEST);
  }

  setIntrinsics(intrinsics) {
    this.intrinsics = intrinsics;
    this.framed = false;
  }

  // Draws every second pixel's point in both directions when the page cannot keep up with the frames.
  thin() {
    this.step = 2;
  }

  setRange(rangeMm) {
    this.rangeMm = rangeMm;
  }

  // Draws one depth frame (Uint16Array of millimetres, width x height).
  draw(depth, width, height) {
    const k = this.intrinsics;
    if (!k || k.width !== width || k.height !== height) return false;
    this.fitCanvas();
    if (!this.framed) this.frameScene(depth, height);
    const matrix = this.orbit.matrix(this.canvas.width / this.canvas.height);
    if (this.webgl) this.drawWebGl(depth, width, height, matrix);
    else this.draw2d(depth, width, height, matrix);
    return true;
  }

  fitCanvas() {
    const scale = window.devicePixelRatio || 1;
    const w = Math.max(1, Math.round(this.canvas.clientWidth * scale));
    const h = Math.max(1, Math.round(this.canvas.clientHeight * scale));
    if (this.canvas.width !== w || this.canvas.height !== h) {
      this.canvas.width = w;
      this.canvas.height = h;
    }
  }

  // Orbits around the middle of the scene's depth, with the depth camera's own field of view.
  frameScene(depth, height) {
    let sum = 0, count = 0;
    const step = Math.max(1, Math.floor(depth.length / 2000));
    for (let i = 0; i < depth.length; i += step) {
      if (depth[i] > 0) {
        sum += depth[i];
        count++;
      }
    }
    if (count === 0) return;
    this.orbit.reset(sum / count / 1000, 2 * Math.atan(height / 2 / this.intrinsics.fy));
    this.framed = true;
  }

  drawWebGl(depth, width, height, matrix) {
    const gl = this.gl, u = this.uniforms, k = this.intrinsics;
    gl.viewport(0, 0, this.canvas.width, this.canvas.height);
    gl.clearColor(...BACKGROUND, 1);
    gl.clear(gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT);
    gl.useProgram(this.program);
    gl.activeTexture(gl.TEXTURE0);
    gl.bindTexture(gl.TEXTURE_2D, this.texture);
    if (this.textureSize !== `${width}x${height}`) {
      // A texture's storage is immutable: a new frame size needs a new texture.
      gl.deleteTexture(this.texture);
      this.texture = gl.createTexture();
      gl.bindTexture(gl.TEXTURE_2D, this.texture);
      gl.texStorage2D(gl.TEXTURE_2D, 1, gl.R16UI, width, height);
      gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MIN_FILTER, gl.NEAREST);
      gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MAG_FILTER, gl.NEAREST);
      this.textureSize = `${width}x${height}`;
    }
    gl.texSubImage2D(gl.TEXTURE_2D, 0, 0, 0, width, height, gl.RED_INTEGER, gl.UNSIGNED_SHORT, depth);
    gl.uniform1i(u.uDepth, 0);
    const columns = Math.ceil(width / this.step), rows = Math.ceil(height / this.step);
    gl.uniform2i(u.uColumns, columns, this.step);
    gl.uniform4f(u.uIntrinsics, k.fx, k.fy, k.cx, k.cy);
    gl.uniform2f(u.uRangeMm, this.rangeMm.min, this.rangeMm.max);
    gl.uniformMatrix4fv(u.uMatrix, false, matrix);
    gl.uniform1f(u.uPointSize, Math.min(6, Math.max(1, (1.5 * this.step * this.canvas.height) / height)));
    gl.bindVertexArray(this.vertexArray);
    gl.drawArrays(gl.POINTS, 0, columns * rows);
  }

  // The same projection in JavaScript for a sample of the pixels, written into an image with a depth
  // buffer so that near points hide far ones.
  draw2d(depth, width, height, matrix) {
    const k = this.intrinsics, m = matrix, w = this.canvas.width, h = this.canvas.height;
    if (!this.image || this.image.width !== w || this.image.height !== h) {
      this.image = this.context2d.createImageData(w, h);
      this.pixels = new Uint32Array(this.image.data.buffer);
      this.nearest = new Float32Array(w * h);
    }
    const [br, bg, bb] = BACKGROUND.map((c) => Math.round(c * 255));
    this.pixels.fill(((255 << 24) | (bb << 16) | (bg << 8) | br) >>> 0);
    this.nearest.fill(Infinity);
    const step = Math.max(1, Math.floor(Math.sqrt((width * height) / FALLBACK_POINTS)));
    const span = Math.max(1, this.rangeMm.max - this.rangeMm.min);
    const size = Math.max(2, Math.ceil((step * h) / height)); // a square of pixels per point, without gaps
    for (let v = 0; v < height; v += step) {
      for (let u = 0; u < width; u += step) {
        const d = depth[v * width + u];
        if (d === 0) continue;
        const z = d / 1000, px = ((u - k.cx) * z) / k.fx, py = ((v - k.cy) * z) / k.fy;
        const cw = m[3] * px + m[7] * py + m[11] * z + m[15];
        if (cw <= 0) continue;
        const sx = Math.floor(((m[0] * px + m[4] * py + m[8] * z + m[12]) / cw + 1) * 0.5 * w);
        const sy = Math.floor((1 - (m[1] * px + m[5] * py + m[9] * z + m[13]) / cw) * 0.5 * h);
        if (sx < 0 || sy < 0 || sx > w - size || sy > h - size) continue;
        const [r, g, b] = turbo(Math.min(1, Math.max(0, (d - this.rangeMm.min) / span)));
        const colour = ((255 << 24) | (b << 16) | (g << 8) | r) >>> 0;
        for (let row = sy; row < sy + size; row++) {
          for (let at = row * w + sx; at < row * w + sx + size; at++) {
            if (cw < this.nearest[at]) {
              this.nearest[at] = cw;
              this.pixels[at] = colour;
            }
          }
        }
      }
    }
    this.context2d.putImageData(this.image, 0, 0);
  }
}
