"""Rate tables: many short cases of algorithm A, each judged right or wrong, counted per cell."""

import math
import os
import time
import zlib

import numpy as np

from .model import *
from .host import *
from .judge import *

# ---- Rate tables: two fingertips against one finger laid down -------------------------------
#
# Many short cases, each judged as a whole (a success or not), counted per cell: where two
# fingertips close together must stay two points and where one finger laid down (two maxima
# along its length) must stay one. A case's fingertips are Gaussian blobs (exp(-d^2 / 2 sigma^2),
# as a real fingertip falls off); a laid-down finger is two such lobes (lobes_signal, the
# thumb model above) whose dip is measured on the nodes it gives. Algorithm A only: it is the
# algorithm whose rule the tables judge (algorithm B runs one panel and keeps its own merge).
#
# Cases are written many to a frames file, each followed by RATE_GAP untouched frames, and the
# noise of a case comes from its own key, so a case gives the same frames wherever it stands;
# --alone N runs N of them alone to show their outcome does not depend on their neighbours.

RATE_GAP = 5            # untouched frames after each case: the module reports every up in the first
                        # of them, and cases run alone went as among others with a gap of one
RATE_CHUNK = 3000       # frames per touch_host run at most (runs go side by side, --jobs)
RATE_SIGMAS = (0.7, 0.8, 0.9, 1.0, 1.1)
RATE_DISTANCES = (2.5, 3.0, 3.5, 4.0, 5.0)
RATE_ANGLES = (0, 30, 45, 60, 90)       # degrees from the rows (0: side by side on one row)
RATE_SECOND_PEAKS = (700, 450)
RATE_MOTIONS = ("together", "after", "passing")
PINCH_STARTS = (3.0, 3.5)
PINCH_SPEEDS = (0.25, 0.5, 1.0)         # nodes a frame the distance between the two grows by
PINCH_SIGMAS = (0.8, 0.9, 1.0, 1.1)
PINCH_END = 7.0
BESIDE_DISTANCES = (3.5, 4.0, 4.5, 5.0)
BESIDE_ANGLES = tuple(range(0, 180, 15))
THUMB_BINS = ((0.0, 0.1), (0.1, 0.2), (0.2, 0.3))
THUMB_MOTIONS = ("landing", "pressing", "grows in 1", "grows in 3", "slides along", "slides across")
THUMB_PLACES = ("middle", "row 0", "last row", "column 0", "last column")
DRAG_HELD = (2, 4, 8, 14)                # frames a dragged contact is held still first
DRAG_SPEEDS = (0.1, 0.2, 0.3, 0.5, 1.0)   # nodes a frame
DRAG_PEAKS = (400, 700)
DRAG_LENGTH = 4.0                         # nodes a dragged contact goes
DRAG_THUMBS = 10                          # thumbs a drag cell
DIAG_THUMB_AXES = (30, 45, 60)
DIAG_THUMB_CASES = 32                     # a cell: axis and dip band
LAID_AXES = (45, 135)
LAID_CASES = 12
GROUP_SIDE = 3.5
GROUP_PEAKS = (700, 560, 450)
GROUP_SIGMAS = (0.8, 0.9, 1.0, 1.1, 1.2)
GROUP_ROTATIONS = (0, 30, 45, 60, 90, 135)
GROUP_PHASES = 4
COUNT_MOTIONS = ("held", "pressing harder", "pressing lighter", "tilting", "sliding")
COUNT_DISTANCES = (2.5, 3.0, 3.5)
COUNT_WEAKER = (0.65, 0.7, 0.75, 0.8)
COUNT_ANGLES = (0, 45, 90, 135)
COUNT_PHASES = 2
COUNT_FRAMES = 20
RATE_FAMILIES = ("two", "pinch", "beside", "thumbs", "drag", "diagthumbs", "laid", "groups", "count")
# The ci set runs the first four (their floors stand there); the others on request (--rates).
CI_RATE_FAMILIES = ("two", "pinch", "beside", "thumbs")
THUMB_CASES = {"full": 24, "ci": 8}     # laid-down fingers per cell


class RateCase:
    """One case of a rate table: its contacts (Finger, tracks from frame 0), its
    length in frames, its cell, how it is judged (KIND "apart": as many points as fingertips
    down, "one": one point, "pinch": two points at the end, one near each fingertip) and its
    key (its noise comes from it)."""

    def __init__(self, family, panel, cell, key, contacts, length, kind, noise=None):
        self.family, self.panel, self.cell, self.key = family, panel, cell, key
        self.contacts, self.length, self.kind = contacts, length, kind
        # NOISE: counts of frame noise a node (with a slow baseline drift when above 0); None
        # for the tables' usual frames (noise 4, no drift), whose cells carry no noise name.
        self.noise = noise

    def with_noise(self, level):
        return RateCase(self.family, self.panel, self.cell, "%s noise %g" % (self.key, level), self.contacts,
                        self.length, self.kind, level)


def rate_cell_name(family, panel, cell, noise=None):
    return "A %s %s %s%s" % (panel, family, " ".join(cell), "" if noise is None else " noise %g" % noise)


def fmt_g(v):
    return ("%g" % v)


def two_tracks(panel, distance, angle, phase, motion):
    """Tracks of two fingertips DISTANCE apart at ANGLE near the panel's middle, the first on a
    node (PHASE 0) or half a node off it in both directions (PHASE 0.5)."""
    p = RATE_PANELS[panel]
    u = np.array([math.sin(math.radians(angle)), math.cos(math.radians(angle))])   # (row, column)
    w = np.array([u[1], -u[0]])
    middle = np.array([(p.rows - 1) / 2, (p.columns - 1) / 2])
    first = np.round(middle - distance / 2 * u) + phase
    second = first + distance * u
    if motion == "together":
        return ({k: tuple(first) for k in range(10)}, {k: tuple(second) for k in range(10)}, 10)
    if motion == "after":
        return ({k: tuple(first) for k in range(14)}, {k: tuple(second) for k in range(6, 14)}, 14)
    if motion == "passing":
        # Both move across the line between them, in opposite directions, 0.4 node a frame:
        # from 2 nodes on one side to 2 on the other, DISTANCE apart where they pass.
        steps = [-2 + 0.4 * k for k in range(11)]
        return ({k: tuple(first + t * w) for k, t in enumerate(steps)},
                {k: tuple(second - t * w) for k, t in enumerate(steps)}, 11)
    raise ValueError(motion)


def two_cases(panels):
    out = []
    for panel in panels:
        for motion in RATE_MOTIONS:
            for distance in RATE_DISTANCES:
                for sigma in RATE_SIGMAS:
                    cell = (motion, "d" + fmt_g(distance), "s" + fmt_g(sigma))
                    for angle in RATE_ANGLES:
                        for phase in (0.0, 0.5):
                            for second in RATE_SECOND_PEAKS:
                                a, b, n = two_tracks(panel, distance, angle, phase, motion)
                                key = "two %s %s a%d p%g %d" % (panel, " ".join(cell), angle, phase, second)
                                out.append(RateCase("two", panel, cell, key,
                                                    [Finger(a, peak=PEAK, sigma=sigma),
                                                     Finger(b, peak=second, sigma=sigma)], n, "apart"))
    return out


def pinch_cases(panels):
    """Two fingertips landing together START apart, held 4 frames, then moving apart along
    the line between them, the distance growing by SPEED a frame to PINCH_END, and held 3
    frames there."""
    out = []
    for panel in panels:
        p = RATE_PANELS[panel]
        middle = np.array([(p.rows - 1) / 2, (p.columns - 1) / 2])
        for start in PINCH_STARTS:
            for speed in PINCH_SPEEDS:
                for sigma in PINCH_SIGMAS:
                    cell = ("from " + fmt_g(start), "v" + fmt_g(speed), "s" + fmt_g(sigma))
                    for angle in RATE_ANGLES:
                        u = np.array([math.sin(math.radians(angle)), math.cos(math.radians(angle))])
                        dist = [start] * 4
                        while dist[-1] < PINCH_END:
                            dist.append(min(PINCH_END, dist[-1] + speed))
                        dist += [PINCH_END] * 3
                        for phase in (0.0, 0.5):
                            centre = np.round(middle) + phase
                            for second in RATE_SECOND_PEAKS:
                                a = {k: tuple(centre - d / 2 * u) for k, d in enumerate(dist)}
                                b = {k: tuple(centre + d / 2 * u) for k, d in enumerate(dist)}
                                key = "pinch %s %s a%d p%g %d" % (panel, " ".join(cell), angle, phase, second)
                                out.append(RateCase("pinch", panel, cell, key,
                                                    [Finger(a, peak=PEAK, sigma=sigma),
                                                     Finger(b, peak=second, sigma=sigma)], len(dist), "pinch"))
    return out


def beside_cases(panels, seed):
    """A fingertip landing DISTANCE beside one held for 6 frames, at every 15 degrees, each at
    a grid phase of its own."""
    out = []
    for panel in panels:
        p = RATE_PANELS[panel]
        middle = np.array([(p.rows - 1) / 2, (p.columns - 1) / 2])
        for distance in BESIDE_DISTANCES:
            for sigma in RATE_SIGMAS:
                cell = ("d" + fmt_g(distance), "s" + fmt_g(sigma))
                rng = np.random.default_rng([seed, zlib.crc32(("beside %s %s" % (panel, cell)).encode())])
                for angle in BESIDE_ANGLES:
                    for second in RATE_SECOND_PEAKS:
                        u = np.array([math.sin(math.radians(angle)), math.cos(math.radians(angle))])
                        first = np.round(middle - distance / 2 * u) + rng.uniform(0, 1, 2)
                        a = {k: tuple(first) for k in range(14)}
                        b = {k: tuple(first + distance * u) for k in range(6, 14)}
                        key = "beside %s %s a%d %d" % (panel, " ".join(cell), angle, second)
                        out.append(RateCase("beside", panel, cell, key,
                                            [Finger(a, peak=PEAK, sigma=sigma), Finger(b, peak=second, sigma=sigma)],
                                            14, "apart"))
    return out


def thumb_table_finger(panel, motion, place, rng):
    """A laid-down finger of random shape (lobes 2-3.5 nodes apart, spread 0.75-1.2, the
    weaker 70-100 % of the stronger) with MOTION at PLACE, and its node dip (the deepest
    over the frames in which it has its whole shape)."""
    p = RATE_PANELS[panel]
    distance, spread, weaker = rng.uniform(*THUMB_LOBES), rng.uniform(*THUMB_SPREAD), rng.uniform(*THUMB_WEAKER)
    turned = rng.uniform() < 0.5
    edge = rng.uniform(0.0, 0.3)   # the ridge this far in from the border
    along_rows = {"middle": rng.uniform() < 0.5, "row 0": False, "last row": False}.get(place, True)
    middle = np.array([(p.rows - 1) / 2, (p.columns - 1) / 2]) + rng.uniform(-1, 1, 2)
    centre = {"middle": middle, "row 0": np.array([edge, middle[1]]),
              "last row": np.array([p.rows - 1 - edge, middle[1]]), "column 0": np.array([middle[0], edge]),
              "last column": np.array([middle[0], p.columns - 1 - edge])}[place]
    length_dir = np.array([1.0, 0.0]) if along_rows else np.array([0.0, 1.0])
    across_dir = length_dir[::-1]
    if place in ("row 0", "column 0"):
        inward = across_dir
    elif place in ("last row", "last column"):
        inward = -across_dir
    else:
        inward = across_dir * (1 if rng.uniform() < 0.5 else -1)
    speed = rng.uniform(0.2, 0.5)
    n, kw = 10, {}
    if motion == "pressing":
        kw = {"press": 4}
    elif motion in ("grows in 1", "grows in 3"):
        kw = {"held": 5, "grow": int(motion[-1])}
        n = 5 + kw["grow"] + 6
    if motion == "slides along":
        sign = 1 if rng.uniform() < 0.5 else -1
        track = {k: tuple(centre + sign * length_dir * speed * (k - 5)) for k in range(12)}
        n = 12
    elif motion == "slides across":
        start = centre if place != "middle" else centre - inward * 1.25
        track = {k: tuple(start + inward * min(2.5, speed * k)) for k in range(12)}
        n = 12
    else:
        track = {k: tuple(centre) for k in range(n)}
    finger = laid_finger(track, distance, spread, weaker, along_rows, turned=turned, **kw)
    rr, cc = np.mgrid[0:p.rows, 0:p.columns]
    dip = max(node_dip(finger.signal(rr, cc, r, c, k), along_rows)
              for k, (r, c) in track.items() if k >= finger.full_from())
    return finger, n, dip, (distance, spread, weaker)


def thumb_cases(panels, seed, per_cell):
    """PER_CELL laid-down fingers in each cell (node dip bin, motion, place): shapes drawn at
    random until each bin of the motion and place holds enough (those dipping 30 % or more
    are left out: their node profile is two fingertips')."""
    out = []
    for panel in panels:
        for motion in THUMB_MOTIONS:
            for place in THUMB_PLACES:
                rng = np.random.default_rng([seed, zlib.crc32(("thumbs %s %s %s" % (panel, motion, place)).encode())])
                found = {b: [] for b in THUMB_BINS}
                for _ in range(200 * per_cell):
                    if all(len(v) >= per_cell for v in found.values()):
                        break
                    finger, n, dip, shape = thumb_table_finger(panel, motion, place, rng)
                    for b in THUMB_BINS:
                        if b[0] <= dip < b[1] and len(found[b]) < per_cell:
                            found[b].append((finger, n, dip, shape))
                for b in THUMB_BINS:
                    cell = ("dip %d-%d%%" % (b[0] * 100, b[1] * 100), motion, place)
                    for i, (finger, n, dip, shape) in enumerate(found[b]):
                        key = "thumbs %s %s #%d (lobes %.2f apart, spread %.2f, weaker %.2f, node dip %.1f%%)" % (
                            panel, " ".join(cell), i, shape[0], shape[1], shape[2], dip * 100)
                        out.append(RateCase("thumbs", panel, cell, key, [finger], n, "one"))
    return out


def unit(angle):
    """(row, column) of a step of one node at ANGLE degrees from a row."""
    return np.array([math.sin(math.radians(angle)), math.cos(math.radians(angle))])


def panel_middle(panel):
    p = RATE_PANELS[panel]
    return np.array([(p.rows - 1) / 2, (p.columns - 1) / 2])


def held_then_slid(start, held, speed, angle, length):
    """A track held at START for HELD frames, then moving SPEED nodes a frame at ANGLE until it
    has gone LENGTH nodes: (track, frames)."""
    u = unit(angle)
    steps = int(math.ceil(length / speed - 1e-9))
    track = {k: tuple(start) for k in range(held)}
    track.update({held + j: tuple(start + min(length, speed * (j + 1)) * u) for j in range(steps)})
    return track, held + steps


def drag_cases(panels, seed, thumbs_per_cell):
    """A round fingertip or a thumb held HELD frames and then slid DRAG_LENGTH nodes at SPEED
    along a row, a column or a diagonal: one point and one down throughout. Fingertips: every
    spread, peak and angle, each from a grid phase of its own; thumbs: shapes of the thumb
    table's model (laid along the rows or the columns) whose node dip stays under 20 % on the
    whole way, each slid at one of the angles."""
    out = []
    for panel in panels:
        rr, cc = np.mgrid[0:RATE_PANELS[panel].rows, 0:RATE_PANELS[panel].columns]
        for held in DRAG_HELD:
            for speed in DRAG_SPEEDS:
                cell = ("tip", "held %d" % held, "v" + fmt_g(speed))
                rng = np.random.default_rng([seed, zlib.crc32(("drag %s %s" % (panel, cell)).encode())])
                for sigma in RATE_SIGMAS:
                    for peak in DRAG_PEAKS:
                        for angle in RATE_ANGLES:
                            start = panel_middle(panel) - DRAG_LENGTH / 2 * unit(angle) + rng.uniform(-0.5, 0.5, 2)
                            track, n = held_then_slid(start, held, speed, angle, DRAG_LENGTH)
                            key = "drag %s %s s%g p%d a%d from (%.2f, %.2f)" % (
                                panel, " ".join(cell), sigma, peak, angle, start[0], start[1])
                            out.append(RateCase("drag", panel, cell, key, [Finger(track, peak=peak, sigma=sigma)],
                                                n, "one"))
                if (panel, held, speed) == ("16x30", 8, 0.3):
                    # A drag that once grew a second point on the finger's leading flank, 1.5 rows
                    # ahead of it, from the 15th frame of its motion to its lift.
                    track, n = held_then_slid(np.array([6.8, 14.28]), held, speed, 60, DRAG_LENGTH)
                    out.append(RateCase("drag", panel, cell, "drag 16x30 tip held 8 v0.3 s0.9 p700 a60 from "
                                        "(6.80, 14.28)", [Finger(track, peak=700, sigma=0.9)], n, "one"))
                cell = ("thumb", "held %d" % held, "v" + fmt_g(speed))
                rng = np.random.default_rng([seed, zlib.crc32(("drag %s %s" % (panel, cell)).encode())])
                i = 0
                while i < thumbs_per_cell:
                    angle = RATE_ANGLES[i % len(RATE_ANGLES)]
                    distance, spread, weaker = rng.uniform(*THUMB_LOBES), rng.uniform(*THUMB_SPREAD), rng.uniform(*THUMB_WEAKER)
                    along_rows, turned = rng.uniform() < 0.5, rng.uniform() < 0.5
                    start = panel_middle(panel) - DRAG_LENGTH / 2 * unit(angle) + rng.uniform(-0.5, 0.5, 2)
                    track, n = held_then_slid(start, held, speed, angle, DRAG_LENGTH)
                    finger = laid_finger(track, distance, spread, weaker, along_rows, turned=turned)
                    dip = max(node_dip(finger.signal(rr, cc, r, c, k), along_rows) for k, (r, c) in track.items())
                    if dip >= 0.2:
                        continue
                    key = "drag %s %s #%d a%d (lobes %.2f apart, spread %.2f, weaker %.2f, %s, node dip %.1f%%)" % (
                        panel, " ".join(cell), i, angle, distance, spread, weaker,
                        "along the rows" if along_rows else "along the columns", dip * 100)
                    out.append(RateCase("drag", panel, cell, key, [finger], n, "one"))
                    i += 1
    return out


def binned_shapes(rng, per_bin, draw):
    """Shapes from DRAW(rng) -> (dip, shape) until each of THUMB_BINS holds PER_BIN (those dipping
    30 % or more, two fingertips' profile, are left out): {bin: [(dip, shape)]}."""
    found = {b: [] for b in THUMB_BINS}
    for _ in range(200 * per_bin):
        if all(len(v) >= per_bin for v in found.values()):
            break
        dip, shape = draw(rng)
        for b in THUMB_BINS:
            if b[0] <= dip < b[1] and len(found[b]) < per_bin:
                found[b].append((dip, shape))
    return found


def dip_band(b):
    return "dip %d-%d%%" % (b[0] * 100, b[1] * 100)


def diagthumb_cases(panels, seed, per_cell):
    """A thumb laid on a slant (its length at 30, 45 or 60 degrees from a row, lobes 2.5-3 nodes
    apart, spread 0.75-1.2, the weaker 70-100 %), binned by the dip of its profile along its
    length, held 3 frames, then sliding 10 frames at 0.2-0.5 node a frame in any direction: one
    point throughout."""
    out = []
    for panel in panels:
        for axis in DIAG_THUMB_AXES:
            rng = np.random.default_rng([seed, zlib.crc32(("diagthumbs %s %d" % (panel, axis)).encode())])

            def draw(rng):
                distance, spread, weaker = rng.uniform(2.5, 3.0), rng.uniform(*THUMB_SPREAD), rng.uniform(*THUMB_WEAKER)
                turned, speed, heading = rng.uniform() < 0.5, rng.uniform(0.2, 0.5), rng.uniform(0, 360)
                start = panel_middle(panel) - 5 * speed * unit(heading) + rng.uniform(-0.5, 0.5, 2)
                return profile_dip(distance, spread, weaker), (distance, spread, weaker, turned, speed, heading, start)

            for b, shapes in binned_shapes(rng, per_cell, draw).items():
                cell = ("axis %d" % axis, dip_band(b))
                for i, (dip, (distance, spread, weaker, turned, speed, heading, start)) in enumerate(shapes):
                    track, n = held_then_slid(start, 3, speed, heading, 10 * speed)
                    key = ("diagthumbs %s %s #%d (lobes %.2f apart, spread %.2f, weaker %.2f, dip %.1f%%, %.2f a frame "
                           "at %d degrees)" % (panel, " ".join(cell), i, distance, spread, weaker, dip * 100, speed,
                                               heading))
                    out.append(RateCase("diagthumbs", panel, cell, key,
                                        [laid_finger(track, distance, spread, weaker, axis=axis, turned=turned)],
                                        n, "one"))
    return out


def laid_cases(panels, seed, per_cell):
    """A finger laid on a diagonal (45 or 135 degrees), narrower across (spread 0.70-0.85) than
    along (0.9-1.2), lobes 2.5-3.5 nodes apart, the weaker 70-100 %, binned by the dip of its
    profile along its length, held 10 frames near the middle: one point throughout."""
    out = []
    for panel in panels:
        for axis in LAID_AXES:
            rng = np.random.default_rng([seed, zlib.crc32(("laid %s %d" % (panel, axis)).encode())])

            def draw(rng):
                distance, along, across = rng.uniform(2.5, 3.5), rng.uniform(0.9, 1.2), rng.uniform(*ACROSS)
                weaker, turned = rng.uniform(*THUMB_WEAKER), rng.uniform() < 0.5
                centre = panel_middle(panel) + rng.uniform(-1, 1, 2)
                return profile_dip(distance, along, weaker), (distance, along, across, weaker, turned, centre)

            for b, shapes in binned_shapes(rng, per_cell, draw).items():
                cell = ("axis %d" % axis, dip_band(b))
                for i, (dip, (distance, along, across, weaker, turned, centre)) in enumerate(shapes):
                    key = ("laid %s %s #%d (lobes %.2f apart, spread %.2f along, %.3f across, weaker %.2f, dip %.1f%%, "
                           "centre (%.3f, %.3f))" % (panel, " ".join(cell), i, distance, along, across, weaker,
                                                     dip * 100, centre[0], centre[1]))
                    out.append(RateCase("laid", panel, cell, key,
                                        [laid_finger({k: tuple(centre) for k in range(10)}, distance, along, weaker, axis=axis,
                                                     spread_across=across, turned=turned)],
                                        10, "one"))
    return out


def group_shapes():
    """The fingertip groups: name -> (offsets from the group's centre at rotation 0 in nodes,
    (row, column), their peaks, frames held, motion a frame or None)."""
    side = GROUP_SIDE
    h = side * math.sqrt(3) / 2
    return {
        "three in a row": ([(0, -side), (0, 0), (0, side)], GROUP_PEAKS, 10, None),
        "triangle": ([(-2 * h / 3, 0), (h / 3, -side / 2), (h / 3, side / 2)], GROUP_PEAKS, 10, None),
        # Four fingertips of one hand tapping: along a slight arc, the little finger lighter.
        "four-finger tap": ([(0.6, -1.5 * side), (0, -0.5 * side), (0, 0.5 * side), (0.6, 1.5 * side)],
                            (620, 700, 660, 450), 6, None),
        # Two fingertips side by side, sliding across the line between them.
        "two-finger swipe": ([(0, -side / 2), (0, side / 2)], (700, 620), 12, 0.4),
    }


def group_cases(panels, seed):
    """Three fingertips in a row or a triangle (side 3.5, 700/560/450), four fingertips tapping,
    two fingertips swiping: as many points as fingertips throughout after the grace, one down
    each. Each at every spread and rotation, from grid phases of their own."""
    out = []
    for panel in panels:
        for name, (offsets, peaks, frames, speed) in group_shapes().items():
            rng = np.random.default_rng([seed, zlib.crc32(("groups %s %s" % (panel, name)).encode())])
            for sigma in GROUP_SIGMAS:
                cell = (name, "s" + fmt_g(sigma))
                for rotation in GROUP_ROTATIONS:
                    for phase in range(GROUP_PHASES):
                        a = math.radians(rotation)
                        turn = np.array([[math.cos(a), math.sin(a)], [-math.sin(a), math.cos(a)]])
                        centre = panel_middle(panel) + rng.uniform(-0.5, 0.5, 2)
                        # A swipe moves across the line between them, 0.4 node a frame, centred on the middle.
                        step = (turn @ np.array([1.0, 0.0])) * speed if speed else np.zeros(2)
                        contacts = []
                        for (dr, dc), peak in zip(offsets, peaks):
                            at = centre + turn @ np.array([dr, dc]) - step * (frames - 1) / 2
                            contacts.append(Finger({k: tuple(at + step * k) for k in range(frames)}, peak=peak,
                                                   sigma=sigma))
                        key = "groups %s %s s%g r%d #%d (centre %.2f, %.2f)" % (
                            panel, name, sigma, rotation, phase, centre[0], centre[1])
                        out.append(RateCase("groups", panel, cell, key, contacts, frames, "apart"))
    return out


def pair_gains(motion, frames):
    """Per-frame gains of a count-change pair (stronger, weaker) for MOTION."""
    if motion == "pressing harder":
        g = [0.8 * 1.02 ** k for k in range(frames)]
        return g, g
    if motion == "pressing lighter":
        g = [1.2 * 0.98 ** k for k in range(frames)]
        return g, g
    if motion == "tilting":     # the pair rocks: the stronger lighter by 1 % a frame, the weaker harder by 1 %
        return [1 - 0.01 * k for k in range(frames)], [1 + 0.01 * k for k in range(frames)]
    return [1.0] * frames, [1.0] * frames


def count_cases(panels, seed):
    """Two fingertips, the stronger 700, the weaker 65-80 % of it, 2.5-3.5 nodes apart, held,
    pressing harder or lighter by 2 % a frame, tilting (1 % a frame shifting from the stronger
    to the weaker) or sliding together 0.3 node a frame after 4 frames: whatever the count they
    are given, it should not change while they stay. Judged by the count-change measure only."""
    out = []
    for panel in panels:
        for motion in COUNT_MOTIONS:
            for distance in COUNT_DISTANCES:
                cell = (motion, "d" + fmt_g(distance))
                rng = np.random.default_rng([seed, zlib.crc32(("count %s %s" % (panel, " ".join(cell))).encode())])
                for weaker in COUNT_WEAKER:
                    for angle in COUNT_ANGLES:
                        for phase in range(COUNT_PHASES):
                            u = unit(angle)
                            first = panel_middle(panel) - distance / 2 * u + rng.uniform(-0.5, 0.5, 2)
                            frames = COUNT_FRAMES
                            if motion == "sliding":
                                heading = rng.uniform(0, 360)
                                a, _ = held_then_slid(first, 4, 0.3, heading, 0.3 * (frames - 4))
                            else:
                                a = {k: tuple(first) for k in range(frames)}
                            b = {k: tuple(np.array(p) + distance * u) for k, p in a.items()}
                            ga, gb = pair_gains(motion, frames)
                            sigma = rng.uniform(FIGURES["kSpreadTypicalMin"], FIGURES["kSpreadTypicalMax"])
                            key = "count %s %s w%g a%d #%d (spread %.2f, first at %.2f, %.2f)" % (
                                panel, " ".join(cell), weaker, angle, phase, sigma, first[0], first[1])
                            out.append(RateCase("count", panel, cell, key,
                                                [Finger(a, peak=PEAK, sigma=sigma, gain=dict(enumerate(ga))),
                                                 Finger(b, peak=PEAK * weaker, sigma=sigma, gain=dict(enumerate(gb)))],
                                                frames, "steady"))
    return out


def rate_cases(families, panels, seed, set_name, noises=None):
    """Every case of FAMILIES on PANELS, in a fixed order; the ci set leaves some out
    (ci_rate_case, THUMB_CASES). NOISES: the noise levels each case runs at (None: the usual
    frames)."""
    out = base_rate_cases(families, panels, seed, set_name)
    if noises is None:
        return out
    return [c.with_noise(level) for level in noises for c in out]


def base_rate_cases(families, panels, seed, set_name):
    out = []
    if "two" in families:
        out += two_cases(panels)
    if "pinch" in families:
        out += pinch_cases(panels)
    if "beside" in families:
        out += beside_cases(panels, seed)
    if "thumbs" in families:
        out += thumb_cases(panels, seed, THUMB_CASES[set_name])
    if "drag" in families:
        out += drag_cases(panels, seed, DRAG_THUMBS)
    if "diagthumbs" in families:
        out += diagthumb_cases(panels, seed, DIAG_THUMB_CASES)
    if "laid" in families:
        out += laid_cases(panels, seed, LAID_CASES)
    if "groups" in families:
        out += group_cases(panels, seed)
    if "count" in families:
        out += count_cases(panels, seed)
    if set_name == "ci":
        out = [c for c in out if ci_rate_case(c)]
    return out


def ci_rate_case(case):
    # Fingertips 5 nodes apart are two points with any rule worth keeping; every other case of
    # the fingertip tables is in the ci set (the laid-down fingers are fewer a cell there).
    return case.family != "two" or case.cell[1] != "d5"


def cap_cases(cases, per_cell):
    """At most PER_CELL cases of each cell, spread over the cell's cases (--cases)."""
    cells = {}
    for c in cases:
        cells.setdefault((c.family, c.panel, c.cell), []).append(c)
    keep = set()
    for group in cells.values():
        step = max(1.0, len(group) / per_cell)
        keep.update(id(group[int(i * step)]) for i in range(min(per_cell, len(group))))
    return [c for c in cases if id(c) in keep]


class RateFrames:
    """The frames of a panel's cases: an uneven untouched panel (without the scenarios' drift
    over the whole file: a file holds thousands of frames), frame noise from each case's key,
    both self sets starting from one untouched scan."""

    def __init__(self, panel, seed):
        p = RATE_PANELS[panel]
        rng = np.random.default_rng([seed, p.rows, p.columns])
        untouched = untouched_panel(rng, p.rows, p.columns)
        self_lines = untouched_self_lines(rng, p.rows + p.columns)
        self.maker = FrameMaker(untouched, [self_lines, self_lines])
        self.seed = seed

    def lines(self, contacts, length, key, noise=None, touched=None, drift=None):
        """LENGTH frames of CONTACTS and untouched frames after them, as frames-file lines.
        NOISE None: frame noise of NOISE counts; a level: that noise, and (DRIFT None) above 0
        a slow baseline drift too, DRIFT counts a frame up or down over the TOUCHED frames and
        back over the untouched ones after them (so every case starts from the same level)."""
        rng = np.random.default_rng([self.seed, zlib.crc32(key.encode())])
        drift = bool(noise) if drift is None else drift
        slope = DRIFT * (1 if rng.uniform() < 0.5 else -1) if drift else 0.0
        touched = length if touched is None else touched
        level = lambda k: slope * (k if k < touched else touched * (length - k) / (length - touched + 1))
        frames, _ = self.maker.frames(contacts, length, rng, rng, NOISE if noise is None else noise, level)
        return [frame_line(f) for f in frames]


def run_rate_cases(builds, cases, seed, jobs, work, keep_files=False, tag="rates", progress=None):
    """Runs CASES through touch_host of each of BUILDS [(build folder, algorithm A's plug-in)],
    many to a frames file (the same files for every build), and judges them: for each build
    ({case key: (success, why not, points)}, the cases that began while a point of an earlier
    one was still down)."""
    from concurrent.futures import ThreadPoolExecutor
    outcomes = [({}, []) for _ in builds]
    total = {}
    for c in cases:
        total[c.family] = total.get(c.family, 0) + 1
    written, judged = dict.fromkeys(total, 0), dict.fromkeys(total, 0)

    def show(what, counts):
        if progress:
            progress.show("rate tables, cases %s: %s" % (what, ", ".join(
                "%s %d of %d" % (f, counts[f], total[f]) for f in total)))

    by_panel = {}
    for c in cases:
        by_panel.setdefault(c.panel, []).append(c)
    with ThreadPoolExecutor(max_workers=jobs) as pool:
        runs = []
        for panel, group in by_panel.items():
            frames = RateFrames(panel, seed)
            # The first build's configuration is the scenarios' own (the same program, the same
            # panel); another build writes its own beside it.
            configs = [RATE_PANELS[panel].config(build, work, "" if b == 0 else "build_%d" % b)
                       for b, (build, _) in enumerate(builds)]
            chunk, lines = [], frames.lines([], LEAD, "lead")
            for n, c in enumerate(group):
                start = len(lines)
                lines += frames.lines(c.contacts, c.length + RATE_GAP, c.key, c.noise, c.length)
                chunk.append((c, start))
                written[c.family] += 1
                if n % 50 == 0:
                    show("written", written)
                if len(lines) >= RATE_CHUNK or n == len(group) - 1:
                    path = os.path.join(work, "%s_%s_%d.csv" % (tag, panel, len(runs)))
                    with open(path, "w") as out:
                        out.write("# %d cases of the rate tables on %s\n" % (len(chunk), panel))
                        out.write("\n".join(lines))
                        out.write("\n")
                    futures = [pool.submit(run_host, build, alg_lib, path, configs[b])
                               for b, (build, alg_lib) in enumerate(builds)]
                    runs.append((futures, chunk, panel, path, len(lines)))
                    chunk, lines = [], frames.lines([], LEAD, "lead")
        for futures, chunk, panel, path, frames in runs:
            for future, (results, busy) in zip(futures, outcomes):
                split_and_judge(future.result(), chunk, frames, RATE_PANELS[panel].nodes, results, busy)
            if not keep_files:
                os.unlink(path)
            for c, _ in chunk:
                judged[c.family] += 1
            show("judged", judged)
    return outcomes


def split_and_judge(points, chunk, total, to_nodes, results, busy):
    """Hands each case of CHUNK [(case, its first frame)] the POINTS of its own frames and
    judges it into RESULTS; a case that begins while a point is down goes into BUSY."""
    ends = [start for (_, start) in chunk[1:]] + [total]
    active = set()
    at = 0
    for (c, start), end in zip(chunk, ends):
        if active:
            busy.append(c.key)
        mine = []
        while at < len(points) and points[at][0] < end:
            f, pid, action, x, y = points[at]
            if f >= start:
                mine.append((f - start, pid, action, x, y))
            if action == "up":
                active.discard(pid)
            else:
                active.add(pid)
            at += 1
        ok, why = judge(c, mine, to_nodes)
        results[c.key] = (ok, why, mine, count_changes(c, mine))


def rate_cells(cases, results):
    """{cell name: [successes, cases]} in the cases' order."""
    cells = {}
    for c in cases:
        cell = cells.setdefault(rate_cell_name(c.family, c.panel, c.cell, c.noise), [0, 0])
        cell[0] += results[c.key][0]
        cell[1] += 1
    return cells


def rate_tables(cases, results, against=None):
    """The tables, as markdown: per family, panel and noise level, and the two-fingertip table of
    both panels and all three motions, as the issue that asked for it counted (120 cases a cell).
    With AGAINST (another build's results) a cell reads "here (there) / cases"."""
    out = []
    for noise in sorted({c.noise for c in cases}, key=lambda v: -1 if v is None else v):
        some = [c for c in cases if c.noise == noise]
        out += rate_tables_of(some, results, against, "" if noise is None else ", noise %g" % noise)
    return "\n".join(out).lstrip("\n")


def rate_tables_of(cases, results, against, suffix):
    out = []

    def grid(title, rows, columns, count):
        lines = ["", "**%s%s**" % (title, suffix), "", "| | " + " | ".join(columns) + " |",
                 "|---" * (len(columns) + 1) + "|"]
        for row in rows:
            cells = []
            for col in columns:
                s, t, n = count(row, col)
                if not n:
                    cells.append("-")
                elif t is None:
                    cells.append("%d/%d (%d%%)" % (s, n, round(100.0 * s / n)))
                else:
                    cells.append("%d (%d)/%d" % (s, t, n))
            lines.append("| %s | %s |" % (row, " | ".join(cells)))
        return lines

    def counter(select, measure=lambda r: r[0]):
        def count(row, col):
            chosen = [c for c in cases if select(c, row, col)]
            there = None if against is None else sum(measure(against[c.key]) for c in chosen)
            return sum(measure(results[c.key]) for c in chosen), there, len(chosen)
        return count

    flickers = lambda r: r[3][0] >= 2 or r[3][1] > 0

    panels = [p for p in RATE_PANELS if any(c.panel == p for c in cases)]
    sig = lambda vals: ["sigma %s" % fmt_g(v) for v in vals]
    for family in RATE_FAMILIES:
        fam = [c for c in cases if c.family == family]
        if not fam:
            continue
        for panel in panels:
            if family == "two":
                for motion in RATE_MOTIONS:
                    out += grid("two fingertips, %s, %s: two points throughout, two downs" % (motion, panel),
                                ["%s nodes" % fmt_g(d) for d in RATE_DISTANCES], sig(RATE_SIGMAS),
                                counter(lambda c, row, col, m=motion, p=panel: c.family == "two" and c.panel == p
                                        and c.cell == (m, "d" + row.split()[0], "s" + col.split()[1])))
            elif family == "pinch":
                out += grid("pinch-out to %g nodes, %s: two points at the end, one near each fingertip"
                            % (PINCH_END, panel),
                            ["from %s, %s a frame" % (fmt_g(s), fmt_g(v)) for s in PINCH_STARTS for v in PINCH_SPEEDS],
                            sig(PINCH_SIGMAS),
                            counter(lambda c, row, col, p=panel: c.family == "pinch" and c.panel == p
                                    and c.cell == ("from " + row.split()[1].rstrip(","),
                                                   "v" + row.split()[2], "s" + col.split()[1])))
            elif family == "beside":
                out += grid("fingertip landing beside a held one (every 15 degrees), %s: a point of its own"
                            % panel, ["%s nodes" % fmt_g(d) for d in BESIDE_DISTANCES], sig(RATE_SIGMAS),
                            counter(lambda c, row, col, p=panel: c.family == "beside" and c.panel == p
                                    and c.cell == ("d" + row.split()[0], "s" + col.split()[1])))
            elif family == "thumbs":
                for b in THUMB_BINS:
                    band = "dip %d-%d%%" % (b[0] * 100, b[1] * 100)
                    out += grid("one finger laid down, node dip %d-%d %%, %s: one point throughout, one down"
                                % (b[0] * 100, b[1] * 100, panel), list(THUMB_MOTIONS), list(THUMB_PLACES),
                                counter(lambda c, row, col, p=panel, band=band: c.family == "thumbs" and c.panel == p
                                        and c.cell == (band, row, col)))
            elif family == "drag":
                for contact, what in (("tip", "a fingertip (spread 0.7-1.1, peak 400 or 700, 0-90 degrees)"),
                                      ("thumb", "a thumb (the thumb table's model, node dip under 20 %)")):
                    out += grid("%s held, then dragged %g nodes, %s: one point throughout, one down"
                                % (what, DRAG_LENGTH, panel), ["held %d" % h for h in DRAG_HELD],
                                ["%s a frame" % fmt_g(v) for v in DRAG_SPEEDS],
                                counter(lambda c, row, col, p=panel, t=contact: c.family == "drag" and c.panel == p
                                        and c.cell == (t, row, "v" + col.split()[0])))
            elif family in ("diagthumbs", "laid"):
                what, axes = {"diagthumbs": ("a thumb laid on a slant, held 3 frames, then sliding", DIAG_THUMB_AXES),
                              "laid": ("a finger laid on a diagonal, narrower across than along", LAID_AXES)}[family]
                out += grid("%s, %s: one point throughout, one down" % (what, panel),
                            ["axis %d" % a for a in axes], [dip_band(b) for b in THUMB_BINS],
                            counter(lambda c, row, col, p=panel, f=family: c.family == f and c.panel == p
                                    and c.cell == (row, col)))
            elif family == "groups":
                names = list(group_shapes())
                out += grid("fingertip groups, %s: a point for each throughout, a down each" % panel,
                            sig(GROUP_SIGMAS), names,
                            counter(lambda c, row, col, p=panel: c.family == "groups" and c.panel == p
                                    and c.cell == (col, "s" + row.split()[1])))
                out += grid("fingertip groups, %s: cases with two count changes or more, or extra downs" % panel,
                            sig(GROUP_SIGMAS), names,
                            counter(lambda c, row, col, p=panel: c.family == "groups" and c.panel == p
                                    and c.cell == (col, "s" + row.split()[1]), flickers))
            elif family == "count":
                out += grid("two fingertips, the weaker 65-80 %%, %s: cases with two count changes or more, or "
                            "extra downs" % panel, ["%s nodes" % fmt_g(d) for d in COUNT_DISTANCES],
                            list(COUNT_MOTIONS),
                            counter(lambda c, row, col, p=panel: c.family == "count" and c.panel == p
                                    and c.cell == (col, "d" + row.split()[0]), lambda r: not r[0]))
        if family == "two":
            out += grid("two fingertips, %s, all three motions (angles, phases and second peaks as above): "
                        "two points throughout, two downs" % " and ".join(panels),
                        ["%s nodes" % fmt_g(d) for d in RATE_DISTANCES], sig(RATE_SIGMAS),
                        counter(lambda c, row, col: c.family == "two" and c.cell[1:] ==
                                ("d" + row.split()[0], "s" + col.split()[1])))
    return out


RATE_HELP = """rate tables (algorithm A on the 16x30 panel of its shipped configuration and on 17x38):
  two     two fingertips (Gaussian, peak 700, the second 700 or 450) landing together, one
          after the other, or passing each other: spread 0.7-1.1 x 2.5-5 nodes apart x angle
          0/30/45/60/90 x on a node or half a node off; a success when every frame after a
          3-frame grace has two points and there are exactly two downs
  pinch   two landing 3 or 3.5 nodes apart, held 4 frames, then moving apart to 7 nodes at
          0.25-1 node a frame (spread 0.8-1.1): a success when the last frame has two points,
          one near each fingertip
  beside  a fingertip landing 3.5-5 nodes beside one held for 6 frames, every 15 degrees:
          judged as two
  thumbs  one finger laid down (two lobes 2-3.5 nodes apart, spread 0.75-1.2, the weaker
          70-100 % of the stronger), binned by the dip of its node profile (0-10, 10-20,
          20-30 %): landing, pressing, held then growing its second maximum within 1 or 3
          frames, sliding along or across its length; in the middle and along each border; a
          success when every frame after the grace has one point and there is one down
  drag    a fingertip (spread 0.7-1.1, peak 400 or 700, every angle 0-90) or a thumb (the thumbs
          model, node dip under 20 %) held 2-14 frames, then slid 4 nodes at 0.1-1 node a frame:
          one point throughout and one down
  diagthumbs  a thumb laid on a slant (30/45/60 degrees, lobes 2.5-3 apart) held 3 frames, then
          sliding, binned by its profile's dip: one point and one down
  laid    a finger laid on a diagonal (45/135 degrees), spread 0.9-1.2 along and 0.70-0.85
          across, lobes 2.5-3.5 apart, binned by its profile's dip: one point and one down
  groups  three fingertips in a row or a triangle (side 3.5, 700/560/450), four tapping, two
          swiping: a point each and a down each; beside it, the cases whose point count
          changes twice or more while the fingers stay, or that have extra downs
  count   two fingertips, the weaker 65-80 %, 2.5-3.5 apart, held, pressing harder or lighter
          by 2 % a frame, tilting or sliding: a success unless the point count changes twice
          or more after the landing's grace while they stay, or there are extra downs
  --noise 0,4,8 runs every case at each noise level (a level above 0 with a slow baseline
  drift), each a cell of its own; --against DIR runs the same frames on another build folder
  and lists the cases right there and wrong here. The last five tables have no floors.
  Algorithm B is not in the tables (it runs one panel and is not what they judge).
  all --set full runs the scenarios and every table at the usual noise (14,281 cases; the
  first four tables 9,240 of them), all --set ci the scenarios and the first four tables
  without the fingertips 5 nodes apart and with 8 laid-down fingers a cell (5,760 cases), as
  ctest does (times in the README). rates runs tables only; with --rates, --panel, --cases
  and --failures it is quick to iterate on. On a terminal the run shows the cases done of
  all, per table, as it goes. scripts/test makes build-test (ASan), scripts/demo makes build:
    scripts/touch-accuracy rates --build build-test --rates two --panel 16x30 --cases 4 --table
    scripts/touch-accuracy rates --build build-test --rates thumbs,pinch --failures
    scripts/touch-accuracy rates --build build --rates drag,count --noise 0,4,8 --table
  The same frames on another tree's build folder (here another checkout's build-test),
  listing the cases right there and wrong here:
    scripts/touch-accuracy rates --build build-test --against ../other/build-test --rates all
  Another tree's rule, with this tree's touch_host (the frames carry self sets):
    scripts/touch-accuracy rates --build build-test --alg-build ../other/build-test --rates all --table
  --check also checks each cell of the first four tables against its floor (successes of its
  cases) in scripts/touch-accuracy-expected.json ("rates", per set); --write-expected records
  the floors measured now for those cells:
    scripts/touch-accuracy rates --build build-test --set ci --rates all --write-expected
"""


def add_rate_arguments(ap):
    ap.add_argument("--rates", metavar="FAMILIES",
                    help="run only these rate tables: all, or a comma list of %s" % ", ".join(RATE_FAMILIES))
    ap.add_argument("--panel", choices=sorted(RATE_PANELS), help="rate tables on this panel only")
    ap.add_argument("--cases", type=int, metavar="N", help="at most N cases a cell (quick; no --check)")
    ap.add_argument("--jobs", type=int, default=2, help="touch_host runs side by side (default 2)")
    ap.add_argument("--alone", type=int, default=None, metavar="N",
                    help="run N of the cases alone too and fail if any goes otherwise than among its "
                         "neighbours (default: 6 with --set ci, else 0)")
    ap.add_argument("--failures", action="store_true", help="list the rate cases that failed and why")
    ap.add_argument("--alg-build", metavar="DIR",
                    help="take algorithm A's plug-in from this build (another tree's) for the rate tables")
    ap.add_argument("--against", metavar="DIR", nargs="?", const=REFERENCE_BUILD,
                    help="run the same rate cases on this second build folder too (its touch_host, "
                         "make_ferrant_config and plug-in) and list, per table, the cases right there and "
                         "wrong here, and count those the other way (with no DIR: %s, or "
                         "$TOUCH_ACCURACY_AGAINST)" % REFERENCE_BUILD)
    ap.add_argument("--noise", metavar="LEVELS", type=noise_levels,
                    help="run every rate case at each of these levels of frame noise (counts a node, e.g. "
                         "0,4,8), each level a cell of its own; a level above 0 adds a slow baseline drift. "
                         "Without it the tables run on noise 4 without drift, as their floors were measured")
    ap.add_argument("--keep-rates", action="store_true",
                    help="with --keep, keep the rate tables' frame files too (hundreds of MB for all tables)")


REFERENCE_BUILD = os.environ.get("TOUCH_ACCURACY_AGAINST", "/work/ref-c2d5915/build-rel")


def noise_levels(text):
    try:
        levels = [float(v) for v in text.split(",")]
    except ValueError:
        raise argparse.ArgumentTypeError("a comma list of counts, e.g. 0,4,8")
    if any(v < 0 for v in levels) or len(set(levels)) != len(levels):
        raise argparse.ArgumentTypeError("levels of 0 or more, each once")
    return levels


def rate_families(args):
    if args.rates is None:
        return list(CI_RATE_FAMILIES if args.set == "ci" else RATE_FAMILIES)
    if args.rates == "none":
        return []
    return list(RATE_FAMILIES) if args.rates == "all" else args.rates.split(",")


def check_rate_arguments(ap, args):
    """Refuses rate options that cannot work, before anything is written."""
    unknown = [f for f in rate_families(args) if f not in RATE_FAMILIES]
    if unknown:
        ap.error("unknown rate table %s (all, none or %s)" % (", ".join(unknown), ", ".join(RATE_FAMILIES)))
    if args.cases is not None and args.cases < 1:
        ap.error("--cases wants 1 or more")
    if args.cases and (args.check or args.write_expected):
        ap.error("--cases makes cells of other sizes than their floors: no --check or --write-expected with it")
    if args.jobs < 1:
        ap.error("--jobs wants 1 or more")
    if args.keep_rates and not args.keep:
        ap.error("--keep-rates keeps the rate tables' frames in the folder --keep names: give both")


def run_rates(args, expected, work, progress=None):
    """The rate tables of ARGS: (cells, failures, tables text)."""
    families = rate_families(args)
    if not families:
        return {}, [], ""
    panels = [args.panel] if args.panel else list(RATE_PANELS)
    began = time.time()
    cases = rate_cases(families, panels, args.seed, args.set, args.noise)
    if args.cases:
        cases = cap_cases(cases, args.cases)
    alg_lib = os.path.join(os.path.abspath(args.alg_build or args.build), "lib", ALGORITHMS["A"]["lib"])
    builds = [(args.build, alg_lib)]
    if args.against:
        builds.append((args.against, os.path.join(os.path.abspath(args.against), "lib", ALGORITHMS["A"]["lib"])))
    outcomes = run_rate_cases(builds, cases, args.seed, args.jobs, work, args.keep_rates, progress=progress)
    (results, busy) = outcomes[0]
    failures = ["rate case began while a point of the case before was down: %s" % k for k in busy]
    alone = args.alone if args.alone is not None else (6 if args.set == "ci" else 0)
    if alone:
        picked = [cases[int(i * len(cases) / alone)] for i in range(min(alone, len(cases)))]
        for c in picked:
            [(single, _)] = run_rate_cases(builds[:1], [c], args.seed, 1, work, tag="alone")
            got, among = single[c.key], results[c.key]
            if got[0] != among[0] or [p[:3] for p in got[2]] != [p[:3] for p in among[2]]:
                failures.append("rate case %s: alone %s (%s), among others %s (%s)"
                                % (c.key, got[0], got[1] or "ok", among[0], among[1] or "ok"))
    cells = rate_cells(cases, results)
    # Floors stand for the tables whose aims are set, on their usual frames; the others are
    # printed, not pinned.
    floored = rate_cells([c for c in cases if c.family in CI_RATE_FAMILIES and c.noise is None], results)
    if args.check:
        failures += rate_floor_failures(floored, expected.get("rates", {}).get(args.set, {}))
    if args.write_expected:
        floors = expected.setdefault("rates", {}).setdefault(args.set, {})
        floors.update({name: "%d/%d" % (s, n) for name, (s, n) in floored.items()})
        expected["rates"][args.set] = dict(sorted(floors.items()))
    lines = []
    if args.failures:
        lines += ["rate case failed: %s: %s" % (c.key, results[c.key][1]) for c in cases if not results[c.key][0]]
    against = outcomes[1][0] if args.against else None
    if against is not None:
        lines += against_lines(cases, results, against, args.against)
    by = {}
    for c in cases:
        t = by.setdefault((c.family, c.panel, c.noise), [0, 0, 0])
        t[0] += results[c.key][0]
        t[1] += 1
        t[2] += bool(against) and against[c.key][0]
    lines += ["rates %s %s%s: %d of %d%s" % (f, p, "" if n is None else " noise %g" % n, s, k,
                                             "" if against is None else " (there: %d)" % t)
              for (f, p, n), (s, k, t) in by.items()]
    lines.append("rate tables: %d cases in %d cells, %.0f s%s" % (
        len(cases), len(cells), time.time() - began, " (%d also alone)" % alone if alone else ""))
    text = "\n".join(lines)
    if args.table:
        text = rate_tables(cases, results, against) + "\n\n" + text
    return cells, failures, text


def against_lines(cases, here, there, there_name):
    """Per family: the cases right on the other build and wrong on this one, each with what went
    wrong here, and how many went the other way."""
    lines = []
    for family in RATE_FAMILIES:
        fam = [c for c in cases if c.family == family]
        if not fam:
            continue
        lost = [c for c in fam if there[c.key][0] and not here[c.key][0]]
        won = [c for c in fam if here[c.key][0] and not there[c.key][0]]
        lines.append("against %s: %s: %d case(s) right there and wrong here, %d the other way (of %d)"
                     % (there_name, family, len(lost), len(won), len(fam)))
        lines += ["  right there, wrong here: %s: %s" % (c.key, here[c.key][1]) for c in lost]
    return lines


