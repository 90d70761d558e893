"""Judging the points a run printed against where the contacts were."""

import numpy as np

from .model import REACH

RATE_GRACE = 3          # frames after a landing that are not judged

def match(pts, down):
    """Nearest point-finger pairs within reach, each point and finger used once:
    [(distance, point index, finger index)]."""
    pairs = []
    for pi, (pid, (pr, pc)) in enumerate(pts):
        for (fi, fr, fc) in down:
            d = max(abs(pr - fr), abs(pc - fc))
            if d <= REACH:
                pairs.append((d, pi, fi))
    pairs.sort()
    used_p, used_f, out = set(), set(), []
    for (d, pi, fi) in pairs:
        if pi not in used_p and fi not in used_f:
            used_p.add(pi)
            used_f.add(fi)
            out.append((d, pi, fi))
    return out


def score(scenario, truth, points, to_nodes):
    """Figures of one run: the points against the fingers, frame by frame."""
    by_frame, ups_in = {}, {}
    for (frame, pid, action, x, y) in points:
        if action == "up":
            ups_in.setdefault(frame, []).append(pid)
        else:
            by_frame.setdefault(frame, []).append((pid, to_nodes(x, y)))
    reported = [i for i, f in enumerate(scenario.fingers) if f.kept_out is None]
    first_frame = {i: min(f.track) for i, f in enumerate(scenario.fingers)}
    errors, lags, ghosts, due, found, stray_ups = [], [], 0, 0, 0, 0
    ids = {i: [] for i in range(len(scenario.fingers))}
    up_count = {i: 0 for i in range(len(scenario.fingers))}
    owner = {}                      # point id -> finger it is matched to now
    for k, down in enumerate(truth):
        # An up ends the id of the finger it was matched to until then.
        for pid in ups_in.get(k, []):
            if pid in owner:
                up_count[owner.pop(pid)] += 1
            else:
                stray_ups += 1
        pts = by_frame.get(k, [])
        pairs = match(pts, down)
        used_f = set()
        for (d, pi, fi) in pairs:
            pid = pts[pi][0]
            track = scenario.fingers[fi].track
            if k - 1 in track and fi in reported:
                # How many frames behind its moving finger the point is, along the motion.
                (r0, c0), (r1, c1) = track[k - 1], track[k]
                vr, vc = r1 - r0, c1 - c0
                if vr * vr + vc * vc > 1e-6:
                    pr, pc = pts[pi][1]
                    lags.append(-((pr - r1) * vr + (pc - c1) * vc) / (vr * vr + vc * vc))
            owner[pid] = fi
            ids[fi].append(pid)
            used_f.add(fi)
            if fi in reported:
                errors.append(d)
        ghosts += len(pts) - len(pairs)
        for (fi, _, _) in down:
            if fi in reported and k > first_frame[fi]:
                due += 1
                found += fi in used_f
    id_changes = sum(sum(1 for a, b in zip(seq, seq[1:]) if a != b) for seq in ids.values())
    missing_ups = sum(1 for i in reported if ids[i] and up_count[i] == 0)
    extra_ups = sum(max(0, n - 1) for n in up_count.values()) + stray_ups
    errors.sort()
    return {
        "fingers": len(reported),
        "found": round(100.0 * found / due, 1) if due else None,
        "median": round(float(np.median(errors)), 3) if errors else None,
        "p95": round(float(np.percentile(errors, 95)), 3) if errors else None,
        "lag": round(float(np.median(lags)), 2) if lags else None,
        "id_changes": id_changes,
        # Points of a finger a rule keeps out count as ghosts: nothing should be reported.
        "ghosts": ghosts + sum(len(ids[i]) for i, f in enumerate(scenario.fingers) if f.kept_out),
        "missing_ups": missing_ups,
        "extra_ups": extra_ups,
    }


def judge(case, points, to_nodes):
    """Whether CASE went as it should, from POINTS [(frame in the case, id, action, x, y)] of
    its frames and the untouched ones after it: (success, why not)."""
    downs = sum(1 for p in points if p[2] == "down")
    shown = {}
    for (k, pid, action, x, y) in points:
        if action != "up":
            shown.setdefault(k, []).append((pid, to_nodes(x, y)))
    truth = [[(i, f.track[k]) for i, f in enumerate(case.contacts) if k in f.track] for k in range(case.length)]
    landed = [min(f.track) for f in case.contacts]
    if case.kind == "pinch":
        last = case.length - 1
        pts = shown.get(last, [])
        pairs = match(pts, [(i, r, c) for i, (r, c) in truth[last]])
        if len(pts) != 2 or len(pairs) != 2:
            return False, "%d point(s) at the end, %d near a fingertip" % (len(pts), len(pairs))
        return True, ""
    want_downs = len(case.contacts)
    if case.kind == "steady":
        changes, extra = count_changes(case, points)
        if changes >= 2 or extra:
            return False, "%d count change(s), %d extra down(s)" % (changes, extra)
        return True, ""
    for k in range(case.length):
        if any(0 <= k - l < RATE_GRACE for l in landed):
            continue
        want = 1 if case.kind == "one" else len(truth[k])
        got = len(shown.get(k, []))
        if got != want:
            return False, "frame %d: %d point(s), not %d" % (k, got, want)
    if downs != want_downs:
        return False, "%d down(s), not %d" % (downs, want_downs)
    return True, ""


def count_changes(case, points):
    """The count-change measure of CASE from its POINTS: (how often the count of points changes
    from one frame to the next while the count of contacts down stays, both frames past every
    landing's grace; downs beyond one a contact)."""
    shown = {}
    for (k, pid, action, x, y) in points:
        if action != "up":
            shown[k] = shown.get(k, 0) + 1
    down = [sum(1 for f in case.contacts if k in f.track) for k in range(case.length)]
    settled = [all(k - min(f.track) >= RATE_GRACE for f in case.contacts if k in f.track) for k in range(case.length)]
    changes = sum(1 for k in range(1, case.length)
                  if settled[k - 1] and settled[k] and down[k] == down[k - 1] > 0
                  and shown.get(k, 0) != shown.get(k - 1, 0))
    downs = sum(1 for p in points if p[2] == "down")
    return changes, max(0, downs - len(case.contacts))


# How far a figure may move before it is a regression. The frames are the same on every run
# and both modules reckon in integers, so the figures are too unless a module changed: the
# slack only absorbs a rounding step (one frame missed is 0.9 points of found or more, a
# hundredth of a node in position is below any real fault).
SLACK = {"found": -0.1, "median": 0.01, "p95": 0.01, "id_changes": 0, "ghosts": 0, "missing_ups": 0,
         "extra_ups": 0}


def regressions(name, got, want):
    out = []
    for key, slack in SLACK.items():
        g, w = got.get(key), want.get(key)
        if w is None:
            continue
        if g is None:
            out.append("%s: %s is gone (was %s)" % (name, key, w))
        elif key == "found" and g < w + slack:
            out.append("%s: found %.1f%% < %.1f%%" % (name, g, w))
        elif key != "found" and g > w + slack:
            out.append("%s: %s %s > %s" % (name, key, g, w))
    return out


def rate_floor_failures(cells, floors):
    """Cells whose successes fell below their floor, or whose case count changed."""
    out = []
    for name, (s, n) in cells.items():
        want = floors.get(name)
        if want is not None:
            want = [int(v) for v in want.split("/")]     # "successes/cases"
        if want is None:
            out.append("%s: no floor recorded" % name)
        elif n != want[1]:
            out.append("%s: %d cases, the floor is for %d (record the floors again)" % (name, n, want[1]))
        elif s < want[0]:
            out.append("%s: %d of %d, below the floor %d" % (name, s, n, want[0]))
    return out


