#!/usr/bin/python3
"""Independent numpy model of the floating-finger complement network, checked against
the engine.

Builds weight blocks from fixed seeds in the network's stream layout (every layer's
weights and bias, and every group normalisation's gamma and beta, as half-precision
values in call order), runs the engine (nn_float_tool) on a few images and compares the
two output maps with this model. Convolutions, projections, up-sampling and the hard
sigmoid follow the engine's rounding exactly; the group-normalisation statistics are
taken in float64 (as in the water network's model), so a map value may differ by a few
counts out of 1000.

usage: float_reference.py PATH_TO_nn_float_tool
"""
import os
import subprocess
import sys
import tempfile

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from water_reference import F16, F32, Stream, conv, depthwise, groupnorm, h, relu  # noqa: E402

BLOCK_BYTES = 28156
PITCH = 56
AREA = 2912
TOL = 4        # counts out of 1000, per value
TOL_MEAN = 0.5  # mean absolute difference over the grid


def dwr(s, x, stride):
    C = x.shape[0]
    w = s.take((C, 3, 3), 'w', 9)
    b = s.take((C,), 'bias')
    return relu(depthwise(x, w, b, (1, 1, 1, 1), stride=(stride, stride)))


def c1x1(s, x, C, act=False):
    w = s.take((C, x.shape[0], 1, 1), 'w', x.shape[0])
    b = s.take((C,), 'bias')
    y = conv(x, w, b, (0, 0, 0, 0))
    return relu(y) if act else y


def norm_relu(s, x):
    g = s.take((x.shape[0],), 'gamma')
    b = s.take((x.shape[0],), 'beta')
    return relu(groupnorm(x, g, b))


def projection(x):
    out = np.empty_like(x)
    for k in range(x.shape[0]):
        pos = np.maximum(x[k].astype(F32), F32(0))
        rs = np.zeros(x.shape[1], F16)
        cs = np.zeros(x.shape[2], F16)
        for c in range(x.shape[2]):
            rs = h(rs.astype(F32) + pos[:, c])
        for y in range(x.shape[1]):
            cs = h(cs.astype(F32) + pos[y, :])
        out[k] = h(rs.astype(F32).reshape(-1, 1) * cs.astype(F32).reshape(1, -1))
    return out


def upsample2(x):
    """Bilinear, half-pixel centres, scale 2, every step rounded to half."""
    def taps(S, D):
        t = []
        for i in range(D):
            src = (i + 0.5) * (S / D) - 0.5
            i0 = min(max(int(np.trunc(src)), 0), S - 1)
            i1 = i0 + 1 if i0 < S - 1 else S - 1
            f = h(src - np.trunc(src))
            if float(f) < 0:
                f = F16(0)
            g = h(F32(1.0) - F32(f))
            t.append((i0, i1, F32(f), F32(g)))
        return t

    C, H, W = x.shape
    tx, ty = taps(W, 2 * W), taps(H, 2 * H)
    xf = x.astype(F32)

    def lerp(a, b, f, g):
        return h(h(a.astype(F32) * g).astype(F32) + b.astype(F32) * f)

    rows = np.empty((C, H, 2 * W), F16)
    for xo, (i0, i1, f, g) in enumerate(tx):
        rows[:, :, xo] = lerp(xf[:, :, i0], xf[:, :, i1], f, g)
    out = np.empty((C, 2 * H, 2 * W), F16)
    for yo, (i0, i1, f, g) in enumerate(ty):
        out[:, yo, :] = lerp(rows[:, i0, :], rows[:, i1, :], f, g)
    return out


def down(s, x, C):
    a = c1x1(s, np.concatenate([x, projection(x)]), C, act=True)
    d = dwr(s, a, 2)
    return norm_relu(s, c1x1(s, d, C))


def bottleneck(s, x):
    for _ in range(2):
        x = c1x1(s, dwr(s, x, 1), x.shape[0])
    return norm_relu(s, x)


def up(s, x, skip, crop, C):
    if crop:
        x, skip = x[:, :5, :10], skip[:, :5, :10]
    a = c1x1(s, np.concatenate([x, skip]), C)
    d = dwr(s, upsample2(a), 1)
    return norm_relu(s, c1x1(s, d, C))


def model(s, diff):
    rows, cols = diff.shape
    H = 20 if rows < 30 else 40
    inp = np.zeros((H, 40), np.float64)
    r, c = min(rows, H), min(cols, 40)
    inp[:r, :c] = diff[:r, :c]
    A = h(inp.astype(F32) * F32(0.00390625)).reshape(1, H, 40)
    c0 = conv(A, s.take((8, 1, 3, 3), 'w', 9), s.take((8,), 'bias'), (1, 1, 1, 1))
    e1 = down(s, c0, 8)
    e2 = down(s, e1, 16)
    ten = e2.shape[1] == 10
    pd = e2 if ten else np.pad(e2, ((0, 0), (0, 1), (0, 0)))
    e3 = down(s, pd, 32)
    b = bottleneck(s, e3)
    d1 = up(s, b, e3, False, 32)
    d2 = up(s, d1, pd, not ten, 24)
    d3 = up(s, d2, e1, False, 16)
    k = c1x1(s, np.concatenate([d3, c0]), 12)
    o = c1x1(s, dwr(s, k, 1), 12)
    q = relu(c1x1(s, dwr(s, o, 1), 12))
    t = conv(q, s.take((2, 12, 3, 3), 'w', 108), s.take((2,), 'bias'), (1, 1, 1, 1))
    sixth = h(F32(0.16666667)).astype(F32)
    hs = h(F32(0.5) + h(np.clip(t.astype(F32), -3, 3)).astype(F32) * sixth)
    maps = []
    for ch in range(2):
        m = np.zeros(AREA, np.int64)
        v = np.clip(np.trunc(hs[ch].astype(F32) * F32(1000)), 0, 1000).astype(np.int64)
        for y in range(H):
            m[(y + 1) * PITCH + 1:(y + 1) * PITCH + 41] = v[y]
        maps.append(m)
    return maps


def main():
    tool = sys.argv[1]
    failures = 0
    cases = [(0, 'random', 20, 40), (1, 'random', 40, 40), (2, 'random', 29, 52), (3, 'random', 32, 36),
             (4, 'zero', 24, 40), (5, 'bias', 36, 44)]
    with tempfile.TemporaryDirectory() as tmp:
        # The same tolerance holds for the fast paths (sums rounded once) as for the
        # reference kernels: the maps are read in counts out of 1000.
        for fast in (False, True):
            env = dict(os.environ)
            if not fast:
                env['FRNN_REFERENCE_KERNELS'] = '1'
            for seed, mode, rows, cols in cases:
                rng = np.random.default_rng(2000 + seed)
                s = Stream(rng, mode)
                diff = np.clip(rng.normal(0, 120, (rows, cols)), -2000, 2000).astype(np.int16)
                diff[rows // 3:rows // 3 + 5, 10:16] += 900
                want = model(s, diff)
                blob = s.blob()
                if len(blob) != BLOCK_BYTES:
                    print(f'model stream is {len(blob)} bytes, not {BLOCK_BYTES}')
                    return 1
                wpath, dpath = os.path.join(tmp, 'w.bin'), os.path.join(tmp, 'd.bin')
                with open(wpath, 'wb') as f:
                    f.write(blob)
                with open(dpath, 'wb') as f:
                    f.write(diff.astype('<i2').tobytes())
                out = subprocess.run([tool, wpath, dpath, str(rows), str(cols)], check=True, capture_output=True, env=env,
                                     text=True).stdout.split('\n')
                res, consumed = map(int, out[0].split())
                got = [np.array(list(map(int, out[1 + j].split()))) for j in range(2)]
                dmax = max(int(np.abs(got[j] - want[j]).max()) for j in range(2))
                dmean = max(float(np.abs(got[j] - want[j]).mean()) for j in range(2))
                spread = max(int(want[j].max() - want[j][want[j] > 0].min()) if (want[j] > 0).any() else 0
                             for j in range(2))
                ok = res == 0 and consumed == BLOCK_BYTES and dmax <= TOL and dmean <= TOL_MEAN
                # Random weights must give maps that vary, or the check proves little.
                ok = ok and (mode != 'random' or spread >= 50)
                print(f'{"fast paths" if fast else "reference kernels"} seed {seed} {mode} {rows}x{cols}: result {res}, consumed {consumed}, max difference {dmax}, '
                      f'mean {dmean:.3f}, spread {spread}: {"ok" if ok else "FAIL"}')
                failures += 0 if ok else 1
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
