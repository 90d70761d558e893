"""The suite's own pieces on hand-made input: the contact model, the judges, the count-change
measure and the floors."""

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
    return bad


