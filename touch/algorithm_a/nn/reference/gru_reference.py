#!/usr/bin/python3
"""Independent numpy model of the GRU layer's weight packing, checked against the engine.

Within each gate the hidden units are packed in whole blocks of 8 (a block holds its 8
units' weights input by input, unit within input), and the units that do not fill a block
follow one unit's row after another. Hidden size 12 mixes both: one block and four single
units. Seeded random weights, a seeded sequence of several steps and a seeded starting
state go through the engine (nn_gru_tool) and through this model, which computes the
gates in float64 with numpy's exact exponential; the outputs of every step and the final
state must agree within the half-precision rounding the engine prescribes.

usage: gru_reference.py PATH_TO_nn_gru_tool
"""
import os
import subprocess
import sys
import tempfile

import numpy as np

F16 = np.float16
TOL = 0.01  # absolute, per value; every value lies within (-1, 1)


def unpack(flat, hidden, n_in):
    """One weight array of 3 gates in the stream's packing -> [3 * hidden, n_in]."""
    m = np.empty((3 * hidden, n_in), np.float64)
    per_gate = hidden * n_in
    whole = hidden // 8 * 8
    for g in range(3):
        gate = flat[g * per_gate:(g + 1) * per_gate].astype(np.float64)
        for b in range(whole // 8):
            blk = gate[b * 8 * n_in:(b + 1) * 8 * n_in].reshape(n_in, 8)
            m[g * hidden + b * 8:g * hidden + b * 8 + 8] = blk.T
        for j in range(whole, hidden):
            m[g * hidden + j] = gate[j * n_in:(j + 1) * n_in]
    return m


def model(wih, whh, bih, bhh, xs, h0, hidden):
    n_in = xs.shape[1]
    Wi, Wh = unpack(wih, hidden, n_in), unpack(whh, hidden, hidden)
    b1, b2 = bih.astype(np.float64), bhh.astype(np.float64)
    h = h0.astype(np.float64)
    outs = []
    for x in xs.astype(np.float64):
        gi, gh = Wi @ x, Wh @ h
        H = hidden
        r = 1 / (1 + np.exp(-(gi[:H] + gh[:H] + b1[:H] + b2[:H])))
        z = 1 / (1 + np.exp(-(gi[H:2 * H] + gh[H:2 * H] + b1[H:2 * H] + b2[H:2 * H])))
        n = np.tanh(gi[2 * H:] + b1[2 * H:] + r * (gh[2 * H:] + b2[2 * H:]))
        h = (1 - z) * n + z * h
        # The engine keeps its state in half precision from step to step.
        h = h.astype(F16).astype(np.float64)
        outs.append(h)
    return np.array(outs)


def halves(text):
    return np.array([float(np.frombuffer(np.uint16(int(t, 16)).tobytes(), F16)[0]) for t in text.split()])


def main():
    tool = sys.argv[1]
    failures = 0
    # (seed, hidden, inputs, steps): 12 mixes a block and single units; 8 and 3 are the
    # block-only and unit-only packings beside it.
    cases = [(1, 12, 16, 5), (2, 12, 4, 6), (3, 12, 16, 3), (4, 8, 16, 4), (5, 3, 5, 4), (6, 20, 7, 3)]
    with tempfile.TemporaryDirectory() as tmp:
        for seed, hidden, n_in, steps in cases:
            rng = np.random.default_rng(3000 + seed)
            wih = (rng.standard_normal(3 * hidden * n_in) / np.sqrt(n_in)).astype(F16)
            whh = (rng.standard_normal(3 * hidden * hidden) / np.sqrt(hidden)).astype(F16)
            bih = (0.3 * rng.standard_normal(3 * hidden)).astype(F16)
            bhh = (0.3 * rng.standard_normal(3 * hidden)).astype(F16)
            xs = rng.uniform(-1.5, 1.5, (steps, n_in)).astype(F16)
            h0 = rng.uniform(-0.8, 0.8, hidden).astype(F16)
            want = model(wih, whh, bih, bhh, xs, h0, hidden)
            wpath, spath = os.path.join(tmp, 'w.bin'), os.path.join(tmp, 's.bin')
            with open(wpath, 'wb') as f:
                f.write(np.concatenate([wih, whh, bih, bhh]).astype('<f2').tobytes())
            with open(spath, 'wb') as f:
                f.write(np.concatenate([xs.reshape(-1), h0]).astype('<f2').tobytes())
            out = subprocess.run([tool, wpath, spath, str(n_in), str(hidden), str(steps)], check=True,
                                 capture_output=True, text=True).stdout.strip().split('\n')
            res = int(out[0])
            ok = res == 0 and len(out) == steps + 2
            dmax = float('inf')
            if ok:
                got = np.array([halves(line) for line in out[1:1 + steps]])
                state = halves(out[1 + steps])
                dmax = float(np.abs(got - want).max())
                ok = dmax <= TOL and np.array_equal(state, got[-1])
                # Seeded weights must move the state, or the check proves little.
                ok = ok and float(np.abs(want[-1] - h0.astype(np.float64)).max()) > 0.1
            print(f'seed {seed} hidden {hidden} inputs {n_in} steps {steps}: result {res}, '
                  f'max difference {dmax:.5f}: {"ok" if ok else "FAIL"}')
            failures += 0 if ok else 1
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
