"""The suite's own pieces on hand-made input: the contact model, the judges, the count-change
measure and the floors."""

import subprocess
import sys

import numpy as np

from .model import *
from .judge import *
from .scenarios import *
from .rates import *

def self_test():
    """The checker on hand-made points: each fault it is there to catch, caught."""
    sc = Scenario("check", [hold(0, 4, 5.0, 5.0), hold(0, 4, 5.0, 15.0)], 6)
    truth = [[(0, 5.0, 5.0), (1, 5.0, 15.0)]] * 4 + [[], []]
    ident = lambda x, y: (y, x)
    clean = [(k, 0, "down" if k == 0 else "move", 5, 5) for k in range(4)] + [(4, 0, "up", 5, 5)]
    clean += [(k, 1, "down" if k == 0 else "move", 15, 5) for k in range(4)] + [(4, 1, "up", 15, 5)]
    faults = {
        "clean": ([], {}),
        "ghost": ([(2, 7, "down", 30, 12)], {"ghosts": 1, "extra_ups": 0}),
        "id change": ([(p[0], 9 if p[0] >= 2 and p[1] == 1 else p[1]) + p[2:] for p in clean], {"id_changes": 1}),
        "missing up": ([p for p in clean if not (p[2] == "up" and p[1] == 1)], {"missing_ups": 1}),
        "extra up": (clean + [(5, 1, "up", 15, 5)], {"extra_ups": 1}),
        "off by half a node": ([(p[0], p[1], p[2], p[3] + (0.5 if p[1] == 0 else 0), p[4]) for p in clean],
                               {"p95": 0.5}),
    }
    bad = []
    for name, (points, want) in faults.items():
        pts = points if name in ("id change", "missing up", "extra up", "off by half a node") else clean + points
        got = score(sc, truth, pts, ident)
        base = {"fingers": 2, "found": 100.0, "id_changes": 0, "ghosts": 0, "missing_ups": 0, "extra_ups": 0}
        base.update(want)
        for key, value in base.items():
            if got[key] != value:
                bad.append("%s: %s is %s, want %s" % (name, key, got[key], value))
    # The regression check: a figure worse than its expected value by more than the slack fails,
    # one within it or better passes.
    want = {"found": 100.0, "median": 0.2, "p95": 0.3, "id_changes": 0, "ghosts": 0, "missing_ups": 0,
            "extra_ups": 0}
    worse = {"found": 99.1, "median": 0.22, "p95": 0.32, "id_changes": 1, "ghosts": 1, "missing_ups": 1,
             "extra_ups": 1}
    for key, value in worse.items():
        if not regressions("x", dict(want, **{key: value}), want):
            bad.append("regression check: %s %s against %s passed" % (key, value, want[key]))
    for got in (want, dict(want, median=0.205, p95=0.1)):
        if regressions("x", got, want):
            bad.append("regression check: %s failed against %s" % (got, want))
    if not regressions("x", dict(want, p95=None), want):
        bad.append("regression check: a figure gone passed")
    # The thumb model: its profile down its column has two maxima APART rows apart with a dip
    # of DIP between them.
    for apart, dip in ((2.5, 0.05), (2.75, 0.09), (3.0, 0.15)):
        thumb = Finger({0: (0.0, 0.0)}, thumb=(apart, dip))
        rows = np.linspace(-4, 4, 8001)
        line = thumb.signal(rows, np.zeros_like(rows), 0.0, 0.0, 0)
        tops = [i for i in range(1, len(line) - 1) if line[i - 1] < line[i] >= line[i + 1]]
        got = (rows[tops[-1]] - rows[tops[0]], 1 - line.min(where=abs(rows) < apart / 2, initial=1e9) / line.max())
        if len(tops) != 2 or abs(got[0] - apart) > 0.02 or abs(got[1] - dip) > 0.005:
            bad.append("thumb model: maxima %s apart with a dip of %s, want %s and %s" % (got[0], got[1], apart, dip))
    for line in bad:
        print("checker self-test: " + line, file=sys.stderr)
    print("%d passed, %d failed" % (len(faults) - len({b.split(':')[0] for b in bad}), len({b.split(':')[0] for b in bad})))
    return 1 if bad else 0


def rate_self_test():
    """The rate tables' own pieces on hand-made input: the node dip, the laid-down finger it
    is measured on, the judge and the floors. Returns the faults found."""
    bad = []
    # The border thumb: a column profile of 707, 505, 456, 603 dips by 24 %.
    nodes = np.zeros((8, 3))
    nodes[2:6, 1] = (707, 505, 456, 603)
    if abs(node_dip(nodes, True) - 0.244) > 0.002:
        bad.append("node dip of 707, 505, 456, 603 is %.3f, want 0.244" % node_dip(nodes, True))
    if node_dip(np.outer(np.exp(-(np.arange(9) - 4.0) ** 2 / 4), np.ones(3)), True) != 0.0:
        bad.append("a profile with one maximum dips")
    # Lobes 3 nodes apart on nodes, spread 1, the weaker 85 %: the shape of that thumb.
    rr, cc = np.mgrid[0:12, 0:8]
    lf = laid_finger({0: (5.5, 4.0)}, 3.0, 1.0, 0.853, along_rows=True)
    got = node_dip(lf.signal(rr, cc, 5.5, 4.0, 0), True)
    if abs(got - 0.245) > 0.01 or abs(lf.signal(rr, cc, 5.5, 4.0, 0).max() - PEAK) > 15:
        bad.append("laid-down finger: node dip %.3f, want 0.245, peak near %d" % (got, PEAK))
    turned = laid_finger({0: (5.5, 4.0)}, 3.0, 1.0, 0.853, along_rows=False, turned=True)
    # Turned round and laid along the columns, the same finger: its map mirrored and transposed.
    if not np.allclose(turned.signal(cc.T, rr.T, 4.0, 5.5, 0), lf.signal(rr, cc, 5.5, 4.0, 0)[::-1, :].T):
        bad.append("a laid-down finger turned round along the columns is not the mirror of the one along the rows")
    if abs(node_dip(turned.signal(cc.T, rr.T, 4.0, 5.5, 0), False) - got) > 1e-9:
        bad.append("a laid-down finger turned round dips otherwise")
    # The judge: two fingertips held 6 frames; one finger laid down; a pinch-out's end.
    two = RateCase("two", "16x30", (), "t", [Finger({k: (5.0, 5.0) for k in range(6)}),
                                             Finger({k: (5.0, 9.0) for k in range(6)})], 6, "apart")
    pts = lambda n, frames=range(6): ([(k, 0, "down" if k == 0 else "move", 5, 5) for k in frames]
                                      + [(k, 1, "down" if k == 0 else "move", 9, 5) for k in frames if n == 2])
    ident = lambda x, y: (y, x)
    cases = [
        ("two held, two points", two, pts(2), True),
        ("two held, one point in the grace", two, [p for p in pts(2) if not (p[0] == 1 and p[1] == 1)], True),
        ("two held, one point after the grace", two, [p for p in pts(2) if not (p[0] == 4 and p[1] == 1)], False),
        ("two held, a second down", two, pts(2) + [(4, 1, "up", 9, 5), (5, 2, "down", 9, 5)], False),
        ("two held, one point", two, pts(1), False),
    ]
    one = RateCase("thumbs", "16x30", (), "o", [lf], 6, "one")
    cases += [("laid down, one point", one, pts(1), True), ("laid down, two points", one, pts(2), False)]
    pinch = RateCase("pinch", "16x30", (), "p", [Finger({0: (5.0, 5.0), 1: (5.0, 4.0)}),
                                                 Finger({0: (5.0, 8.0), 1: (5.0, 10.0)})], 2, "pinch")
    cases += [("pinch-out, two at the end", pinch, [(1, 0, "move", 4, 5), (1, 1, "move", 10, 5)], True),
              ("pinch-out, one between them", pinch, [(1, 0, "move", 7, 5)], False),
              ("pinch-out, two on one fingertip", pinch, [(1, 0, "move", 4, 5), (1, 1, "move", 5, 5)], False)]
    for name, case, points, want in cases:
        if judge(case, points, ident)[0] != want:
            bad.append("judge: %s is %s, want %s" % (name, not want, want))
    # The floors: a cell below its floor, of another size, or without one fails; at or above passes.
    floors = {"c": "5/8"}
    for cells, fails in (({"c": [5, 8]}, 0), ({"c": [7, 8]}, 0), ({"c": [4, 8]}, 1), ({"c": [5, 9]}, 1),
                         ({"d": [1, 1]}, 1)):
        if len(rate_floor_failures(cells, floors)) != fails:
            bad.append("floors: %s against %s gave %s" % (cells, floors, rate_floor_failures(cells, floors)))
    bad += contact_model_self_test()
    bad += count_self_test()
    return bad


def contact_model_self_test():
    """The contact model and the frame maker on their own."""
    bad = []
    rr, cc = np.mgrid[0:16, 0:16]
    # A finger laid on a slant is the one laid along the rows, turned: its value at a node
    # equals the straight one's at the node turned back (both read off their formulas).
    straight = laid_finger({0: (0.0, 0.0)}, 2.75, 0.97, 0.76, axis=90, spread_across=0.785)
    slant = laid_finger({0: (7.3, 7.6)}, 2.75, 0.97, 0.76, axis=45, spread_across=0.785)
    a = np.radians(45)
    dr, dc = rr - 7.3, cc - 7.6
    back_r, back_c = dr * np.sin(a) + dc * np.cos(a), dr * np.cos(a) - dc * np.sin(a)
    if not np.allclose(slant.signal(rr, cc, 7.3, 7.6, 0), straight.signal(back_r, back_c, 0.0, 0.0, 0)):
        bad.append("a finger laid at 45 degrees is not the straight one turned")
    line = np.linspace(-4, 4, 8001)
    top = slant.signal(7.3 + line * np.sin(a), 7.6 + line * np.cos(a), 7.3, 7.6, 0).max()
    if abs(top - PEAK) > 0.5:
        bad.append("a finger laid on a slant peaks at %.1f, not %g" % (top, PEAK))
    # Narrower across than along: a step across falls more than a step along.
    along_step = slant.signal(np.array(7.3 + np.sin(a)), np.array(7.6 + np.cos(a)), 7.3, 7.6, 0)
    across_step = slant.signal(np.array(7.3 + np.cos(a)), np.array(7.6 - np.sin(a)), 7.3, 7.6, 0)
    if not across_step < along_step:
        bad.append("a finger 0.785 across and 0.97 along is not narrower across")
    # A fingertip is a Gaussian (not a cone): at one spread from its centre, exp(-1/2) of its peak.
    tip = Finger({0: (5.0, 5.0)}, peak=700, sigma=0.9, gain={1: 1.02})
    got = tip.signal(np.array(5.9), np.array(5.0), 5.0, 5.0, 0)
    if abs(got - 700 * np.exp(-0.5)) > 1e-9:
        bad.append("a fingertip one spread out reads %.3f, not %.3f" % (got, 700 * np.exp(-0.5)))
    if abs(tip.signal(np.array(5.0), np.array(5.0), 5.0, 5.0, 1) - 714) > 1e-9:
        bad.append("a fingertip pressed 2 %% harder does not read 714")
    # The frame maker: noise 0 and no drift leave the untouched panel less the signal, rounded;
    # a drift moves every node the same way and comes back by the end of a case.
    maker = FrameMaker(np.full((4, 5), 3000.0), [np.full(9, 5000.0)] * 2)
    rng = np.random.default_rng(1)
    frames, truth = maker.frames([Finger({0: (1.0, 2.0)}, peak=700, sigma=0.9)], 2, rng, rng, noise=0)
    want = np.rint(3000 - 700 * np.exp(-((maker.rr - 1.0) ** 2 + (maker.cc - 2.0) ** 2) / (2 * 0.81)))
    if not np.array_equal(frames[0][0], want) or truth != [[(0, 1.0, 2.0)], []] or frames[1][0].min() != 3000:
        bad.append("the frame maker without noise is not the panel less the signal")
    if frames[0][1].max() <= 5000 or frames[1][1].max() != 5000:
        bad.append("the self lines do not carry the touch, or carry it after the lift")
    rates = RateFrames("16x30", 26)
    untouched = rates.lines([], 60, "drift check", noise=0, touched=50, drift=True)
    values = [np.array(v.split(","), dtype=int)[:480] for v in untouched]
    moved = [int(np.abs(v - values[0]).max()) for v in values]
    if moved[49] < 5 or moved[-1] > moved[49] / 4 or len({int(np.sign(v - values[0]).sum() > 0) for v in values[5:50]}) != 1:
        bad.append("the rate frames' drift (moved %s) does not rise one way and come back" % moved)
    return bad


def count_self_test():
    """The count-change measure on hand-made points: two fingertips held 10 frames."""
    bad = []
    pair = RateCase("count", "16x30", (), "c", [Finger({k: (5.0, 5.0) for k in range(10)}),
                                                Finger({k: (5.0, 8.0) for k in range(10)})], 10, "steady")
    one = lambda frames, pid=0: [(k, pid, "down" if k == frames[0] else "move", 5, 5) for k in frames]
    second = lambda frames: [(k, 1, "down" if k == frames[0] else "move", 8, 5) for k in frames]
    two = lambda frames: one(frames) + second(frames)
    cases = [
        ("one point throughout", one(range(10)), (0, 0), True),
        ("two points throughout", two(range(10)), (0, 0), True),
        ("two, then one from frame 6", one(range(10)) + second(range(6)) + [(6, 1, "up", 8, 5)], (1, 0), True),
        ("one, two in frames 5-6, one again", one(range(10)) + [(5, 1, "down", 8, 5), (6, 1, "move", 8, 5),
                                                                 (7, 1, "up", 8, 5)], (2, 0), False),
        ("a flicker inside the landing's grace", one(range(10)) + [(1, 1, "down", 8, 5), (2, 1, "up", 8, 5)],
         (0, 0), True),
        ("one point whose id is new twice", one(range(4)) + [(4, 0, "up", 5, 5)] + one(range(4, 7), 2)
         + [(7, 2, "up", 5, 5)] + one(range(7, 10), 3), (0, 1), False),
    ]
    for name, points, want, ok in cases:
        points = sorted(points, key=lambda p: p[0])
        got = count_changes(pair, points)
        if got != want or judge(pair, points, lambda x, y: (y, x))[0] != ok:
            bad.append("count changes: %s gave %s (%s), want %s (%s)" % (
                name, got, judge(pair, points, lambda x, y: (y, x))[0], want, ok))
    # A lift is no count change: the contacts' count changed with it.
    lift = RateCase("count", "16x30", (), "l", [Finger({k: (5.0, 5.0) for k in range(10)}),
                                                Finger({k: (5.0, 8.0) for k in range(6)})], 10, "steady")
    got = count_changes(lift, one(range(10)) + second(range(6)) + [(6, 1, "up", 8, 5)])
    if got != (0, 0):
        bad.append("count changes: a lift counted as %s" % (got,))
    return bad


def shared_model_test(program):
    """The C++ contact model (PROGRAM, built from touch_host/contact_model.h) against this one:
    the same figures, and the same values for a fingertip and fingers laid along a column and
    on a slant. Returns the faults found."""
    rows, cols = 16, 30
    contacts = [("tip 16 30 7.3 14.6 700 0.9", Finger({0: (7.3, 14.6)}, peak=700, sigma=0.9)),
                ("laid 16 30 7.5 14.2 650 90 2.75 0.97 0.97 0.8",
                 laid_finger({0: (7.5, 14.2)}, 2.75, 0.97, 0.8, axis=90, peak=650)),
                ("laid 16 30 6.8 14.3 700 45 2.75 0.97 0.785 0.76",
                 laid_finger({0: (6.8, 14.3)}, 2.75, 0.97, 0.76, axis=45, spread_across=0.785)),
                ("laid 16 30 7.0 15.1 700 135 3.1 1.1 0.7 1.0",
                 laid_finger({0: (7.0, 15.1)}, 3.1, 1.1, 1.0, axis=135, spread_across=0.7))]
    done = subprocess.run([program], input="\n".join(c for c, _ in contacts) + "\n", capture_output=True,
                          text=True, timeout=60)
    if done.returncode != 0:
        return ["%s exited with %d: %s" % (program, done.returncode, done.stderr)]
    lines = done.stdout.splitlines()
    bad = []
    figures = dict((l.split()[0], float(l.split()[1])) for l in lines[:len(FIGURES)])
    if figures != FIGURES:
        bad.append("the figures differ: C++ %s, here %s" % (figures, FIGURES))
    values = np.array([[float(v) for v in l.split()] for l in lines[len(FIGURES):]])
    rr, cc = np.mgrid[0:rows, 0:cols]
    for n, (name, contact) in enumerate(contacts):
        theirs = values[n * rows:(n + 1) * rows]
        r, c = contact.track[0]
        ours = contact.signal(rr, cc, r, c, 0)
        if theirs.shape != ours.shape or not np.allclose(theirs, ours, rtol=1e-9, atol=1e-9):
            bad.append("%s: values differ by up to %g" % (name, np.abs(theirs - ours).max()
                                                         if theirs.shape == ours.shape else float("inf")))
    return bad

