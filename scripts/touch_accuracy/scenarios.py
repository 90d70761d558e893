"""The scenarios a user meets first, scored figure by figure, and the recording of algorithm A's
own panel."""

import json
import os
import sys

import numpy as np

from .model import *
from .host import *
from .judge import *

# How a self scan sees the touch on its line (frames_of): "sum", the touch signal summed over
# the line's nodes, as the road's simulated controller does (self_lines in
# tools/touch_host/testsupport/include/touch_host/self_scan.h); "peak", the strongest change
# among the line's nodes, for a scan whose response peaks under the finger.
SELF_MODELS = ("sum", "peak")


class Scenario:
    def __init__(self, name, fingers, frames, bursts=(), note="", self_model="sum"):
        assert self_model in SELF_MODELS
        self.name = name
        self.fingers = fingers
        self.frames = frames
        self.bursts = bursts      # (frame, row, column, counts): one node jumps for one frame
        self.note = note
        self.self_model = self_model


def scenarios():
    """Every scenario, in a fixed order: a scenario's noise comes from its place in this list, so
    the small set and the full one give it the same frames."""
    s = []
    t = LEAD
    s.append(Scenario("tap", [hold(t, 6, 8.3, 12.6)], t + 6 + TAIL))
    s.append(Scenario("two taps", [hold(t, 5, 5.2, 9.4), hold(t + 12, 5, 11.6, 27.3)], t + 17 + TAIL))
    s.append(Scenario("swipe along a row", [move(t, 40, (8.4, 4.0), (8.4, 33.5))], t + 40 + TAIL))
    s.append(Scenario("diagonal swipe", [move(t, 30, (4.0, 6.0), (13.0, 30.0))], t + 30 + TAIL))
    s.append(Scenario("pinch 12 to 4 nodes and back",
                      [Finger({**move(t, 20, (8.5, 13.0), (8.5, 17.0)).track,
                               **move(t + 20, 20, (8.5, 17.0), (8.5, 13.0)).track}),
                       Finger({**move(t, 20, (8.5, 25.0), (8.5, 21.0)).track,
                               **move(t + 20, 20, (8.5, 21.0), (8.5, 25.0)).track})],
                      t + 40 + TAIL))
    s.append(Scenario("two landing 4 nodes apart", [hold(t, 12, 8.0, 15.0), hold(t, 12, 8.0, 19.0)], t + 12 + TAIL))
    s.append(Scenario("two landing 3 nodes apart", [hold(t, 12, 8.0, 15.0), hold(t, 12, 8.0, 18.0)], t + 12 + TAIL))
    s.append(Scenario("second lands 4 nodes beside a held one",
                      [hold(t, 24, 8.0, 15.0), hold(t + 10, 10, 8.0, 19.0)], t + 24 + TAIL))
    s.append(Scenario("noise burst on one node", [], t + 10 + TAIL, bursts=[(t + 4, 9, 20, 900)]))
    s.append(Scenario("palm", [hold(t, 12, 9.0, 19.0, peak=900, sigma=2.2, kept_out="palm")], t + 12 + TAIL))
    s.append(Scenario("ten fingers",
                      [hold(t, 12, r, c) for r in (4.2, 12.2) for c in (5.5, 12.5, 19.5, 26.5, 33.5)],
                      t + 12 + TAIL))
    s.append(Scenario("slow swipe along a column", [move(t, 40, (3.0, 20.2), (14.0, 20.2))], t + 40 + TAIL))
    s.append(Scenario("three landing 4 nodes apart",
                      [hold(t, 12, 8.0, c) for c in (12.0, 16.0, 20.0)], t + 12 + TAIL))
    s.append(Scenario("finger beside a noise burst",
                      [hold(t, 12, 6.0, 10.0)], t + 12 + TAIL, bursts=[(t + 5, 12, 28, 900)]))
    # The palm above is a round blob about 5 nodes across, the size of a thumb laid flat; a
    # hand resting on the panel presses nearly evenly over some 6 x 8 nodes and is felt over
    # about 13 x 17.
    s.append(Scenario("flat hand resting",
                      [hold(t, 16, 8.5, 19.0, peak=900, sigma=3.5, sigma_columns=5.0, flat=2, kept_out="palm")],
                      t + 16 + TAIL))
    # Fingers side by side on one line, as light as a finger that barely touches (peak 500).
    for n, gap in ((3, 3), (3, 4), (5, 3), (5, 4)):
        first = 16.0 - gap * (n - 1) / 2
        s.append(Scenario("%s on a drive row %d nodes apart" % (("three", "five")[n == 5], gap),
                          [hold(t, 12, 8.0, first + gap * i, peak=500) for i in range(n)], t + 12 + TAIL))
    for n, gap in ((3, 4), (4, 3), (4, 4)):
        first = 8.0 - gap * (n - 1) / 2
        s.append(Scenario("%s on a sense column %d nodes apart" % (("three", "four")[n == 4], gap),
                          [hold(t, 12, first + gap * i, 19.0, peak=500) for i in range(n)], t + 12 + TAIL))
    # One finger that shows two maxima along the rows: a thumb laid down, landing so or
    # held round for 4 frames before its second maximum appears within one frame. Distance
    # and dip are those of its profile; on the nodes down its column (3 rows apart there)
    # the dip is smaller: 6, 3 and 11 %.
    for apart, dip, spread in ((2.75, 0.09, 0.9), (2.5, 0.05, 1.1), (3.0, 0.15, 0.75)):
        s.append(Scenario("thumb laid down, maxima %g rows apart, dip %d%%, spread %g" % (apart, dip * 100, spread),
                          [hold(t, 12, 8.5, 19.3, sigma=spread, thumb=(apart, dip))], t + 12 + TAIL))
    s.append(Scenario("thumb laid down, recorded profile 681, 527, 511, 561 down a column",
                      [hold(t, 12, 8.0, 19.0, sigma=0.9, profile=(681, 527, 511, 561))], t + 12 + TAIL))
    s.append(Scenario("thumb held 4 frames, then a second maximum 2.75 rows away, dip 9%",
                      [hold(t, 16, 8.5, 19.3, sigma=0.9, thumb=(2.75, 0.09), thumb_from=t + 4)], t + 16 + TAIL))
    # A drop of water resting: a weak blob that the normal self scan sees and the guarded one
    # does not.
    s.append(Scenario("water drop resting",
                      [hold(t, 12, 9.0, 25.0, peak=150, sigma=1.2, water=True, kept_out="water")], t + 12 + TAIL))
    # The fingers on one line, and full-strength ones beside them, with self lines that follow
    # the strongest change on each line rather than its sum (a scan whose response peaks under
    # the finger): the same fingers, frames of their own.
    for x in [x for x in s if " on a drive row " in x.name or " on a sense column " in x.name
              or x.name in ("ten fingers", "three landing 4 nodes apart")]:
        s.append(Scenario(x.name + ", peak self lines", x.fingers, x.frames, x.bursts, self_model="peak"))
    return s


def ci_set(all_scenarios):
    keep = {"tap", "swipe along a row", "pinch 12 to 4 nodes and back", "two landing 4 nodes apart",
            "two landing 3 nodes apart", "second lands 4 nodes beside a held one",
            "noise burst on one node", "palm", "flat hand resting", "ten fingers",
            "five on a drive row 3 nodes apart", "four on a sense column 4 nodes apart",
            "thumb laid down, maxima 2.75 rows apart, dip 9%, spread 0.9",
            "thumb laid down, recorded profile 681, 527, 511, 561 down a column",
            "thumb held 4 frames, then a second maximum 2.75 rows away, dip 9%",
            "five on a drive row 3 nodes apart, peak self lines", "four on a sense column 4 nodes apart, peak self lines"}
    return [s for s in all_scenarios if s.name in keep]


def frames_of(scenario, seed, rows=ROWS, columns=COLUMNS):
    """The frames of SCENARIO on a ROWS x COLUMNS panel and the truth (FrameMaker.frames): noise
    of NOISE counts and a drift of DRIFT counts a frame from the first, the self lines' noise
    from a generator of their own (so the mutual frames are what they are without them)."""
    rng = np.random.default_rng(seed)
    self_rng = np.random.default_rng([seed, 1])
    untouched = untouched_panel(rng, rows, columns)
    selfs = [untouched_self_lines(self_rng, rows + columns) for _ in range(2)]
    return FrameMaker(untouched, selfs).frames(scenario.fingers, scenario.frames, rng, self_rng, NOISE,
                                               lambda k: DRIFT * k, scenario.self_model, scenario.bursts)


def table(results, notes):
    head = ("| algorithm | scenario | fingers | found | median error | p95 error | lag | id changes | ghosts "
            "| missing ups | extra ups | note |")
    lines = [head, "|" + "---|" * 12]
    fmt = lambda v, unit="": "-" if v is None else ("%s%s" % (v, unit))
    ordered = sorted(results.items(), key=lambda item: item[0].split(": ", 1)[0])  # stable: scenario order kept
    for key, r in ordered:
        alg, name = key.split(": ", 1)
        lines.append("| %s | %s | %d | %s | %s | %s | %s | %d | %d | %d | %d | %s |" % (
            alg, name, r["fingers"], fmt(r["found"], "%"), fmt(r["median"]), fmt(r["p95"]), fmt(r["lag"]),
            r["id_changes"],
            r["ghosts"], r["missing_ups"], r["extra_ups"], notes.get(key, "")))
    return "\n".join(lines)


# ---- A recording for algorithm A's own panel ---------------------------------------------------

# The panel and screen of the configuration that ships for algorithm A
# (tools/touch_host/configs/ferrant_16x30.bin): 16 drive x 30 sense lines, 1080 x 2400 with x
# along the sense lines; beside it ships the recording swipe_16x30() writes.
SHIPPED = CONFIGS
SHIPPED_ROWS, SHIPPED_COLUMNS = 16, 30


def swipe_16x30():
    """One finger of the model swiping diagonally across algorithm A's 16 x 30 panel, about
    0.9 node a frame."""
    return Scenario("diagonal swipe on algorithm A's 16 x 30 panel", [move(LEAD, 24, (3.0, 4.0), (12.0, 25.0))],
                    LEAD + 24 + TAIL)


def shipped_nodes(x, y):
    # Node n of N lines has its centre at (n + 0.5) / N of the screen: 1080 / 30 along x (the
    # columns), 2400 / 16 along y (the rows).
    return (y / (2400.0 / SHIPPED_ROWS) - 0.5, x / (1080.0 / SHIPPED_COLUMNS) - 0.5)


def check_swipe_16x30(build, path, seed):
    """Runs the recording PATH through algorithm A with the shipped configuration and checks
    that its points follow swipe_16x30's finger: a point within reach of it in every frame
    after the landing, at most one and a half frames behind it (algorithm A trails by one) and
    within a quarter node of a frame's travel, one id and one up, no ghost."""
    sc = swipe_16x30()
    _, truth = frames_of(sc, seed, SHIPPED_ROWS, SHIPPED_COLUMNS)
    points = run_host(build, ALGORITHMS["A"]["lib"], path, os.path.join(SHIPPED, "ferrant_16x30.bin"))
    got = score(sc, truth, points, shipped_nodes)
    print("%s: %s" % (path, json.dumps(got)))
    want = {"found": 100.0, "id_changes": 0, "ghosts": 0, "missing_ups": 0, "extra_ups": 0}
    bad = ["%s is %s, want %s" % (k, got[k], v) for k, v in want.items() if got[k] != v]
    if got["lag"] is None or got["lag"] > 1.5:
        bad.append("the points are %s frames behind the finger, want at most 1.5" % got["lag"])
    track = sc.fingers[0].track
    step = max(max(abs(a - b) for a, b in zip(track[k], track[k + 1])) for k in track if k + 1 in track)
    if got["p95"] is None or got["p95"] > step + 0.25:
        bad.append("p95 error %s nodes, want at most %.2f (a frame's travel and a quarter node)"
                   % (got["p95"], step + 0.25))
    for line in bad:
        print("the points do not follow the swipe: " + line, file=sys.stderr)
    return 1 if bad else 0


