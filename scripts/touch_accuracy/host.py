"""Running touch_host on frames files, and where each algorithm's points are in nodes."""

import os
import re
import subprocess

# The source tree: this package lies in its scripts/ folder.
SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CONFIGS = os.path.join(SOURCE, "tools", "touch_host", "configs")

POINT = re.compile(r"^  id (-?\d+) (\w+) at \((-?\d+), (-?\d+)\)$")
FRAME = re.compile(r"^frame (\d+): ")


def run_host(build, alg, frames_path, config):
    cmd = [os.path.join(build, "bin", "touch_host"), "--alg", os.path.join(build, "lib", alg),
           "--frames-file", frames_path]
    if config:
        cmd += ["--config", config]
    done = subprocess.run(cmd, capture_output=True, text=True, timeout=300)
    if done.returncode != 0:
        raise RuntimeError("%s failed (%d): %s" % (" ".join(cmd), done.returncode, done.stderr[-2000:]))
    points = []   # (frame, id, action, x, y)
    frame = None
    for line in done.stdout.splitlines():
        m = FRAME.match(line)
        if m:
            frame = int(m.group(1))
            continue
        m = POINT.match(line)
        if m and frame is not None:
            points.append((frame, int(m.group(1)), m.group(2), int(m.group(3)), int(m.group(4))))
    return points


# Where a point is, in nodes (row, column), for each algorithm's units.
def ferrant_nodes(x, y):
    # The configuration's screen is an eighth of 512 units per node: x along the columns.
    return ((y * 8 - 256) / 512.0, (x * 8 - 256) / 512.0)


def luma_nodes(x, y):
    # 1/100 pixel on an even grid of the panel's 1220 x 2712 pixels: x along the rows.
    return ((x / 100.0 - 36) * 16 / 1149.0, (y / 100.0 - 20) * 37 / 2660.0)


ALGORITHMS = {
    "A": {"lib": "libtapsense_alg_ferrant.so", "nodes": ferrant_nodes},
    "B": {"lib": "libtapsense_alg.so", "nodes": luma_nodes},
}



class RatePanel:
    """A panel the tables run on: algorithm A's configuration for it, and where its points are
    in nodes. SHIPPED names a configuration file of the source tree; otherwise
    make_ferrant_config writes one for the panel and SCREEN."""

    def __init__(self, rows, columns, screen, shipped=None):
        self.rows, self.columns, self.screen, self.shipped = rows, columns, screen, shipped
        self.name = "%dx%d" % (rows, columns)

    def config(self, build, work, tag=""):
        if self.shipped:
            return self.shipped
        path = os.path.join(work, "ferrant_%s%s.bin" % (self.name, tag and "_" + tag))
        subprocess.run([os.path.join(build, "bin", "make_ferrant_config"), "--panel", self.name,
                        "--screen", "%dx%d" % self.screen, path], check=True)
        return path

    def nodes(self, x, y):
        # x along the sense lines (columns), y along the drive lines (rows); node n of N lines
        # is centred at (n + 0.5) / N of the screen.
        return (y * self.rows / self.screen[1] - 0.5, x * self.columns / self.screen[0] - 0.5)


RATE_PANELS = {
    # Algorithm A's shipped configuration: 16 drive x 30 sense lines on a 1080 x 2400 screen.
    "16x30": RatePanel(16, 30, (1080, 2400), shipped=os.path.join(CONFIGS, "ferrant_16x30.bin")),
    # The panel of the scenarios, configured as they are.
    "17x38": RatePanel(17, 38, (38 * 64, 17 * 64)),
}


