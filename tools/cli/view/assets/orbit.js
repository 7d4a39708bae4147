// SPDX-License-Identifier: Apache-2.0
// The point cloud's view: orbit around the scene by dragging, zoom with the wheel, and the combined
// projection and view matrix (column-major, as WebGL takes it) for camera coordinates in metres.

const MIN_PITCH = -1.4;
const MAX_PITCH = 1.4;
const RADIANS_PER_PIXEL = 0.005;

function multiply(a, b) {
  const out = new Float32Array(16);
  for (let col = 0; col < 4; col++) {
    for (let row = 0; row < 4; row++) {
      let sum = 0;
      for (let k = 0; k < 4; k++) sum += a[k * 4 + row] * b[col * 4 + k];
      out[col * 4 + row] = sum;
    }
  }
  return out;
}

function translation(x, y, z) {
  return new Float32Array([1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1]);
}

function rotationX(a) {
  const c = Math.cos(a), s = Math.sin(a);
  return new Float32Array([1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1]);
}

function rotationY(a) {
  const c = Math.cos(a), s = Math.sin(a);
  return new Float32Array([c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1]);
}

function perspective(fovY, aspect, near, far) {
  const f = 1 / Math.tan(fovY / 2);
  const depth = near - far;
  return new Float32Array([f / aspect, 0, 0, 0, 0, f, 0, 0, 0, 0, (far + near) / depth, -1, 0, 0, (2 * far * near) / depth, 0]);
}

export class OrbitCamera {
  constructor(element) {
    this.yaw = 0;
    this.pitch = 0;
    this.targetM = 1; // distance of the point orbited, along the camera's axis
    this.distanceM = 1; // distance of the eye from that point
    this.fovY = Math.PI / 3;
    let last = null;
    element.addEventListener('pointerdown', (e) => {
      last = { x: e.clientX, y: e.clientY };
      element.setPointerCapture(e.pointerId);
    });
    element.addEventListener('pointerup', () => (last = null));
    element.addEventListener('pointermove', (e) => {
      if (!last) return;
      this.yaw += (e.clientX - last.x) * RADIANS_PER_PIXEL;
      this.pitch = Math.min(MAX_PITCH, Math.max(MIN_PITCH, this.pitch + (e.clientY - last.y) * RADIANS_PER_PIXEL));
      last = { x: e.clientX, y: e.clientY };
    });
    element.addEventListener('wheel', (e) => {
      e.preventDefault();
      this.distanceM = Math.min(50, Math.max(0.05, this.distanceM * Math.exp(e.deltaY * 0.001)));
    }, { passive: false });
    element.addEventListener('dblclick', () => this.reset(this.targetM));
  }

  // Looks at the point `targetM` metres ahead from where the camera stands, with the camera's field of view.
  reset(targetM, fovY = this.fovY) {
    this.yaw = 0;
    this.pitch = 0;
    this.targetM = targetM;
    this.distanceM = targetM;
    this.fovY = fovY;
  }

  // Camera coordinates (x right, y down, z ahead, metres) to clip space.
  matrix(aspect) {
    const flip = new Float32Array([1, 0, 0, 0, 0, -1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1]);
    const far = (this.targetM + this.distanceM) * 4;
    let m = perspective(this.fovY, aspect, Math.max(0.01, this.distanceM / 100), far);
    m = multiply(m, translation(0, 0, -this.distanceM));
    m = multiply(m, rotationX(this.pitch));
    m = multiply(m, rotationY(this.yaw));
    m = multiply(m, translation(0, 0, this.targetM));
    return multiply(m, flip);
  }
}
