"""The contact model: fingertips, thumbs and fingers laid down, on an uneven panel with
frame noise and a slow baseline drift, and the frames it gives."""

import math
import os
import re

import numpy as np

# The model's figures, shared with the C++ unit tables (touch_host/contact_model.h).
FIGURES_FILE = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))),
                            "tools", "touch_host", "testsupport", "include", "touch_host", "contact_model.def")


def read_figures(path=FIGURES_FILE):
    """{name: value} of the CONTACT_FIGURE lines of PATH."""
    with open(path) as f:
        return {m.group(1): float(m.group(2))
                for m in re.finditer(r"^CONTACT_FIGURE\((\w+), ([-0-9.eE+]+), ", f.read(), re.M)}


FIGURES = read_figures()
ROWS, COLUMNS = 17, 38          # algorithm B's built-in panel; algorithm A is configured for it
LEAD, TAIL = 14, 4              # untouched frames before the first touch and after the last
BASE = 3000                     # untouched raw level
SELF_BASE = 5000                # untouched raw level of the self lines
PEAK = FIGURES["kPeak"]         # a finger's signal at its centre (raw counts it takes off)
SIGMA = 0.75                    # the scenarios' finger spread in nodes (about 3 x 3 nodes carry it)
NOISE = FIGURES["kNoise"]       # frame-to-frame noise, counts (standard deviation)
DRIFT = FIGURES["kDrift"]       # baseline drift, counts per frame (slow, uneven over the panel)
THUMB_LOBES = (FIGURES["kThumbLobesMin"], FIGURES["kThumbLobesMax"])      # a thumb's lobes apart, nodes
THUMB_SPREAD = (FIGURES["kThumbSpreadMin"], FIGURES["kThumbSpreadMax"])   # a thumb's lobe spread, nodes
THUMB_WEAKER = (FIGURES["kThumbWeakerMin"], FIGURES["kThumbWeakerMax"])   # its weaker lobe, share
ACROSS = (FIGURES["kAcrossMin"], FIGURES["kAcrossMax"])                   # a diagonal finger's spread across
REACH = 1.25                    # a point this close (nodes) to a finger is that finger's: less than half
                                # the closest spacing here (3 nodes), so a point between two is neither's

# ---- Finger model ----------------------------------------------------------------------------

def thumb_lobes(apart, dip):
    """A thumb laid down along the rows as two round lobes: (distance between the lobes'
    centres, the lobes' spread along the rows) that give a profile along the rows whose two
    maxima are APART rows apart with a dip of DIP (a share of the maxima) between them."""
    def profile(x, d, s):
        return np.exp(-(x - d / 2) ** 2 / (2 * s * s)) + np.exp(-(x + d / 2) ** 2 / (2 * s * s))

    def shape(d, s):   # (distance between the maxima, dip)
        x = np.linspace(0, d, 4001)
        f = profile(x, d, s)
        return 2 * x[f.argmax()], 1 - profile(0.0, d, s) / f.max()

    def lobes_for(s):  # lobe distance that puts the maxima APART apart at spread s
        lo, hi = 0.0, 4 * apart
        for _ in range(50):
            d = (lo + hi) / 2
            lo, hi = (d, hi) if shape(d, s)[0] < apart else (lo, d)
        return hi

    lo, hi = 0.2, 3 * apart    # the wider the lobes, the shallower the dip
    for _ in range(40):
        s = (lo + hi) / 2
        lo, hi = (lo, s) if shape(lobes_for(s), s)[1] < dip else (s, hi)
    return lobes_for(s), s


def lobes_signal(along, across, distance, spread, spread_across, weaker=1.0):
    """The two lobes of a finger laid down, unscaled: at ALONG, ACROSS from its centre (along
    its length and across it), lobes DISTANCE apart along the length, of spread SPREAD along it
    and SPREAD_ACROSS across; the lobe at -DISTANCE/2 is WEAKER times the other."""
    return (np.exp(-(across / spread_across) ** 2 / 2)
            * (np.exp(-(along - distance / 2) ** 2 / (2 * spread * spread))
               + weaker * np.exp(-(along + distance / 2) ** 2 / (2 * spread * spread))))


def lobes_top(distance, spread, weaker=1.0):
    """The highest value of lobes_signal down the finger's length: what scales it to a peak."""
    line = np.linspace(-2 * distance - 3 * spread, 2 * distance + 3 * spread, 4001)
    return lobes_signal(line, 0.0, distance, spread, 1.0, weaker).max()


class Lobes:
    """The shape of a finger laid down: two lobes DISTANCE apart along its length, of spread
    SPREAD along it and SPREAD_ACROSS across, the one at -DISTANCE/2 WEAKER times the other
    (TURNED: at +DISTANCE/2), its length at AXIS degrees from a row (0: along a drive row, 90:
    down a column)."""

    def __init__(self, distance, spread, weaker=1.0, axis=90.0, spread_across=None, turned=False):
        self.distance, self.spread, self.weaker, self.axis = distance, spread, weaker, float(axis)
        self.spread_across = spread if spread_across is None else spread_across
        self.turned = turned
        self.top = lobes_top(distance, spread, weaker)

    def signal(self, dr, dc, weaker_share=1.0):
        """Unscaled, at DR, DC from its centre, the weaker lobe at WEAKER_SHARE of its strength."""
        if self.axis in (0.0, 90.0):    # exact on the grid's lines
            along, across = (dr, dc) if self.axis == 90.0 else (dc, dr)
        else:
            a = math.radians(self.axis)
            along = dr * math.sin(a) + dc * math.cos(a)
            across = dr * math.cos(a) - dc * math.sin(a)
        if self.turned:
            along = -along
        return lobes_signal(along, across, self.distance, self.spread, self.spread_across,
                            self.weaker * weaker_share)


class Finger:
    """One contact: its track, frame -> (row, column), over the frames it is down.

    Its shape is a round fingertip, a Gaussian of spread SIGMA (SIGMA_COLUMNS across the
    columns), peak PEAK; FLAT 2 makes it flat-topped (its signal falls off as exp(-q^2) rather
    than exp(-q), so it presses evenly over most of its area, as a palm or a resting hand
    does). With LOBES (a Lobes) it is a finger laid down, scaled so that its highest value is
    PEAK, from frame LOBES_FROM of its track on (a round fingertip before it); THUMB = (maxima
    apart in rows, dip) gives such lobes down a column from the profile they should show.
    PROFILE: its values down its centre column, one a row, as recorded (its track gives the
    profile's weighted centre); a third of the end values one row further out, spread
    SIGMA_COLUMNS across the columns.

    How it presses: GAIN, frame -> a factor on its signal; PRESS, its signal rising from 30 %
    over that many frames from its landing; HELD, the stronger lobe alone for that many frames,
    the weaker then growing to its strength over GROW frames.

    KEPT_OUT names the rule that keeps it from being reported (a palm, water), None for a
    contact that should be; WATER: a drop of water, which the normal self scan sees and the
    scan guarded against water does not."""

    def __init__(self, track, peak=PEAK, sigma=SIGMA, kept_out=None, sigma_columns=None, flat=1, thumb=None,
                 thumb_from=None, water=False, profile=None, gain=None, lobes=None, press=0, held=0, grow=1):
        self.track = track
        self.first = min(track)
        self.peak = peak
        self.sigma = sigma
        self.sigma_columns = sigma if sigma_columns is None else sigma_columns
        self.flat = flat
        self.kept_out = kept_out
        self.water = water
        self.gain = gain
        if thumb:
            distance, spread = thumb_lobes(*thumb)
            lobes = Lobes(distance, spread, 1.0, 90.0, self.sigma_columns)
        self.lobes = lobes
        self.lobes_from = self.first if thumb_from is None else thumb_from
        self.scale = peak / lobes.top if lobes else None
        self.press, self.held, self.grow = press, held, grow
        self.profile = None
        if profile:
            p = [v / 3 for v in profile[:1]] + list(profile) + [v / 3 for v in profile[-1:]]
            self.profile = (np.array(p), float(np.dot(np.arange(len(p)), p) / np.sum(p)))

    def full_from(self):
        """The first frame of its track in which it has its whole shape and strength."""
        return max(self.lobes_from, self.first + max(self.press, self.held + self.grow - 1 if self.held else 0))

    def signal(self, rr, cc, r, c, k):
        """What it takes off the nodes RR, CC in frame K, centred at R, C."""
        if self.profile is not None:
            values, centre = self.profile
            rows = np.rint(rr - r + centre).astype(int)
            along = np.where((rows >= 0) & (rows < len(values)), values[np.clip(rows, 0, len(values) - 1)], 0.0)
            return along * np.exp(-((cc - c) / self.sigma_columns) ** 2 / 2)
        gain = self.gain.get(k, 1.0) if self.gain else 1.0
        if self.lobes and k >= self.lobes_from:
            j = k - self.first
            strength = min(1.0, 0.3 + 0.7 * j / self.press) if self.press else 1.0
            grown = 1.0 if not self.held else min(1.0, max(0, j - self.held + 1) / self.grow)
            return gain * self.scale * strength * self.lobes.signal(rr - r, cc - c, grown)
        q = ((rr - r) / self.sigma) ** 2 + ((cc - c) / self.sigma_columns) ** 2
        return gain * self.peak * np.exp(-(q / 2) ** self.flat)


def laid_finger(track, distance, spread, weaker, along_rows=True, axis=None, spread_across=None, turned=False,
                peak=PEAK, **how):
    """A finger laid down along the rows (ALONG_ROWS: its length down a column) or the columns,
    or at AXIS degrees, as a Finger (HOW: press, held, grow)."""
    axis = (90.0 if along_rows else 0.0) if axis is None else axis
    return Finger(track, peak=peak, lobes=Lobes(distance, spread, weaker, axis, spread_across, turned), **how)


def hold(start, frames, row, column, **kw):
    return Finger({start + k: (row, column) for k in range(frames)}, **kw)


def move(start, frames, a, b, **kw):
    track = {}
    for k in range(frames):
        t = k / max(frames - 1, 1)
        track[start + k] = (a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t)
    return Finger(track, **kw)


def untouched_panel(rng, rows, columns):
    """An uneven untouched panel: a gentle tilt, a bowl along the columns and node-to-node
    spread, as a real panel's reference is."""
    rr, cc = np.mgrid[0:rows, 0:columns]
    return (BASE + 40 * rr / rows - 30 * cc / columns + 25 * ((cc - columns / 2) / (columns / 2)) ** 2
            + rng.normal(0, 12, (rows, columns)))


def untouched_self_lines(rng, count):
    """One self scan of COUNT lines untouched: a gentle tilt and line-to-line spread."""
    return SELF_BASE + 30 * np.arange(count) / count + rng.normal(0, 12, count)


class FrameMaker:
    """The frames of contacts on an uneven ROWS x COLUMNS panel (UNTOUCHED, the raw mutual map
    untouched) with both self sets (UNTOUCHED_SELFS, the two untouched self scans, drive lines
    then sense lines)."""

    def __init__(self, untouched, untouched_selfs):
        self.untouched = untouched
        self.untouched_selfs = untouched_selfs
        self.rows, self.columns = untouched.shape
        self.rr, self.cc = np.mgrid[0:self.rows, 0:self.columns]
        lines = self.rows + self.columns
        self.drift_shape = 0.5 + self.rr / self.rows               # drift is stronger towards the far rows
        self.self_drift_shape = 0.5 + np.arange(lines) / lines

    def frames(self, contacts, length, rng, self_rng, noise=NOISE, level=lambda k: 0.0, self_model="sum",
               bursts=()):
        """LENGTH frames of CONTACTS, each (raw mutual map, self set 1, self set 2) in integers,
        and the truth: for each frame the contacts down, (index, row, column).

        Frame noise of NOISE counts on every node and line (from RNG and SELF_RNG), a baseline
        drift of LEVEL(k) counts, uneven over the panel. Both self scans see the touch signal on
        each node (what the contacts take off its mutual value) and raise each line by what its
        nodes carry, by SELF_MODEL: "sum", their sum, as the road's simulated controller does;
        "peak", the strongest of them, as a scan whose response peaks under the finger. Set 1,
        the scan guarded against water, does not see water, set 2, the normal scan, does.
        BURSTS: (frame, row, column, counts), one node jumping for one frame."""
        rows, columns = self.rows, self.columns
        to_int = lambda a: np.clip(np.rint(a), -32768, 32767).astype(np.int64)
        out, truth = [], []
        for k in range(length):
            drift = level(k)
            raw = self.untouched + drift * self.drift_shape + rng.normal(0, noise, (rows, columns))
            selfs = [u + drift * self.self_drift_shape + self_rng.normal(0, noise, rows + columns)
                     for u in self.untouched_selfs]
            seen = [np.zeros((rows, columns)), np.zeros((rows, columns))]   # the touch signal each set sees
            down = []
            for i, f in enumerate(contacts):
                if k in f.track:
                    r, c = f.track[k]
                    signal = f.signal(self.rr, self.cc, r, c, k)
                    raw -= signal
                    if not f.water:
                        seen[0] += signal
                    seen[1] += signal
                    down.append((i, r, c))
            for j, s in enumerate(seen):   # drive lines, then sense lines
                if self_model == "sum":
                    selfs[j] += np.concatenate([s.sum(axis=1), s.sum(axis=0)])
                else:
                    selfs[j] += np.concatenate([s.max(axis=1), s.max(axis=0)])
            for (bk, br, bc, counts) in bursts:
                if bk == k:
                    raw[br, bc] -= counts
            out.append((to_int(raw), to_int(selfs[0]), to_int(selfs[1])))
            truth.append(down)
        return out, truth


def frame_line(frame):
    """A frame as a line of a frames file: the mutual values, then self set 1, then self set 2."""
    return ",".join(map(str, np.concatenate([frame[0].ravel(), frame[1], frame[2]]).tolist()))


def write_frames(path, title, frames):
    """A frames file of FRAMES under a comment line naming TITLE."""
    with open(path, "w") as out:
        out.write("# %s: %d frames of %dx%d, with both self sets\n" % ((title, len(frames)) + frames[0][0].shape))
        for frame in frames:
            out.write(frame_line(frame))
            out.write("\n")


def profile_dip(distance, spread, weaker):
    """The dip of a laid-down finger's own profile along its length (not its nodes'): 1 - the
    lowest value between its two maxima / the lower of them; 0 with one maximum."""
    line = lobes_signal(np.linspace(-distance, distance, 4001), 0.0, distance, spread, 1.0, weaker)
    tops = [t for t in range(1, len(line) - 1) if line[t - 1] < line[t] >= line[t + 1]]
    if len(tops) < 2:
        return 0.0
    return float(1 - line[tops[0]:tops[-1] + 1].min() / min(line[tops[0]], line[tops[-1]]))


def node_dip(nodes, along_rows):
    """The dip of a laid-down finger's node profile: down the line along its length through its
    strongest node, 1 - (the lowest node between its two highest maxima) / (the lower of them);
    0 where the profile has one maximum."""
    i, j = np.unravel_index(np.argmax(nodes), nodes.shape)
    line = nodes[:, j] if along_rows else nodes[i, :]
    n = len(line)
    tops = [t for t in range(n) if (t == 0 or line[t] > line[t - 1]) and (t == n - 1 or line[t] >= line[t + 1])
            and line[t] > 0.15 * line.max()]
    if len(tops) < 2:
        return 0.0
    a, b = sorted(sorted(tops, key=lambda t: -line[t])[:2])
    return float(1 - line[a:b + 1].min() / min(line[a], line[b]))


