"""Touch accuracy on recorded frames: both touch algorithms against a contact model.

Writes recorded-frame files (touch_host --frames-file) from a model of fingers on a panel
(uneven untouched panel, fingertips, thumbs and fingers laid down of a real finger's size and
strength, noise, slow baseline drift), each frame with both self lines as a device's two self
scans would see it, runs them through touch_host and judges the points printed against where
the contacts were:

  scenarios   what a user meets first, on a 17 x 38 panel, through algorithm A (configured for
              that panel by make_ferrant_config) and algorithm B, scored by figures:
    found     share of the frames in which a finger should be seen (from the frame after it
              lands to its last frame on the panel) that have a point within reach of it
    median, p95
              distance in nodes from each point to its finger (the larger of the row and column
              errors), in the frame the point came in
    lag       for moving fingers, how many frames behind its finger a point is
    id changes, ghosts, missing ups, extra ups
              a finger's point changing its id while it stays down; points of no finger; fingers
              whose point never went up; ups beyond one a finger
  rates       many short cases of algorithm A, each right or wrong, counted per cell (rates --help)
  all         both (what ctest's touch_accuracy.ci_set runs, with --set ci --check)
  self-test   the contact model, the judges and the count-change measure on hand-made input
  swipe-16x30 write or check the recording that ships for algorithm A's own 16 x 30 panel

Examples (scripts/test makes build-test, scripts/demo makes build):
  scripts/touch-accuracy all --build build-test --set ci --check
  scripts/touch-accuracy scenarios --build build --table
  scripts/touch-accuracy rates --build build-test --rates drag --panel 16x30 --cases 4 --table
"""

import argparse
import json
import os
import re
import subprocess
import sys
import tempfile

from .model import ROWS, COLUMNS, write_frames
from .host import ALGORITHMS, run_host
from .judge import score, regressions
from .scenarios import (scenarios, ci_set, frames_of, table, swipe_16x30, check_swipe_16x30, SHIPPED_ROWS,
                        SHIPPED_COLUMNS)
from .rates import RATE_HELP, add_rate_arguments, check_rate_arguments, run_rates
from .selftest import self_test, rate_self_test, shared_model_test
from .progress import Progress

EXPECTED = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "touch-accuracy-expected.json")
SUBCOMMANDS = ("scenarios", "rates", "all", "self-test", "swipe-16x30")


def legacy(argv):
    """The options of the single command before the sub-commands, as sub-commands."""
    if not argv:
        return argv
    if "--self-test" in argv:
        return ["self-test"]
    for flag, what in (("--write-swipe-16x30", "--write"), ("--check-swipe-16x30", "--check")):
        if flag in argv:
            return ["swipe-16x30"] + [what if a == flag else a for a in argv]
    if argv[0].startswith("-") and argv[0] not in ("-h", "--help"):
        return ["rates" if "--rates" in argv else "all"] + argv
    return argv


def add_build(p, needed=True):
    p.add_argument("--build", required=needed, metavar="DIR",
                   help="build folder with bin/touch_host, bin/make_ferrant_config and the plug-ins in lib/ "
                        "(scripts/test makes build-test, scripts/demo makes build)")


def add_run_arguments(p, with_rates):
    add_build(p)
    p.add_argument("--set", choices=["ci", "full"], default="full",
                   help="ci, the small set ctest runs (touch_accuracy.ci_set); full, everything (the default)")
    p.add_argument("--check", action="store_true",
                   help="fail on a regression against the expected figures and the floors")
    p.add_argument("--write-expected", action="store_true", help="record the figures (and floors) measured now")
    p.add_argument("--table", action="store_true", help="print the tables for the README")
    p.add_argument("--keep", metavar="DIR",
                   help="write the scenarios' frame files and algorithm A's configuration into DIR and keep them")
    p.add_argument("--seed", type=int, default=26,
                   help="seed of the frames' noise: scenario n of the full list gets SEED + n, so a scenario's "
                        "frames are the same in both sets (default 26, the seed the expected figures and the "
                        "README tables were measured with: --check against them holds only for it)")
    if with_rates:
        add_rate_arguments(p)


def parser():
    ap = argparse.ArgumentParser(prog="scripts/touch-accuracy", description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = ap.add_subparsers(dest="command", metavar="COMMAND")
    raw = argparse.RawDescriptionHelpFormatter
    p = sub.add_parser("scenarios", help="the scenarios through both algorithms, scored", formatter_class=raw)
    add_run_arguments(p, False)
    p = sub.add_parser("rates", help="algorithm A's rate tables", epilog=RATE_HELP, formatter_class=raw)
    add_run_arguments(p, True)
    p = sub.add_parser("all", help="the scenarios and the rate tables", epilog=RATE_HELP, formatter_class=raw)
    add_run_arguments(p, True)
    p = sub.add_parser("self-test", help="the suite's own pieces on hand-made input; needs no build")
    p.add_argument("--model-program", metavar="PROGRAM",
                   help="also check the C++ contact model (the build's contact_model_values) against this one")
    p = sub.add_parser("swipe-16x30", help="the recording of a swipe on algorithm A's own 16 x 30 panel")
    add_build(p, needed=False)
    p.add_argument("--seed", type=int, default=26, help="seed of the frames' noise (default 26)")
    what = p.add_mutually_exclusive_group(required=True)
    what.add_argument("--write", metavar="FILE",
                      help="write it (the recording that ships as tools/touch_host/configs/swipe_16x30.csv)")
    what.add_argument("--check", metavar="FILE",
                      help="run FILE through algorithm A with the configuration that ships for that panel "
                           "(needs --build) and fail unless its points follow the swipe")
    return ap


def missing_programs(folders):
    """Names what a build folder lacks and how to build it; 2 if anything is missing."""
    needed = ["bin/touch_host", "bin/make_ferrant_config"] + ["lib/" + a["lib"] for a in ALGORITHMS.values()]
    for folder in folders:
        missing = [p for p in needed if not os.path.exists(os.path.join(folder, p))]
        if missing:
            print("touch-accuracy: %s lacks %s; build them with: cmake --build %s --target touch_host_cli "
                  "libtapsense_alg_ferrant libtapsense_alg (touch_host_cli brings make_ferrant_config)"
                  % (folder, ", ".join(missing), folder), file=sys.stderr)
            return 2
    return 0


def run_scenarios(args, expected, work, progress):
    """The scenarios of ARGS through both algorithms: (figures by key, failures)."""
    all_scenarios = scenarios()
    chosen = ci_set(all_scenarios) if args.set == "ci" else all_scenarios
    config = os.path.join(work, "ferrant_%dx%d.bin" % (ROWS, COLUMNS))
    subprocess.run([os.path.join(args.build, "bin", "make_ferrant_config"), "--panel", "%dx%d" % (ROWS, COLUMNS),
                    "--screen", "%dx%d" % (COLUMNS * 64, ROWS * 64), config], check=True)
    results, failures = {}, []
    done = 0
    for n, sc in enumerate(all_scenarios):
        if sc not in chosen:
            continue
        frames, truth = frames_of(sc, args.seed + n)
        path = os.path.join(work, re.sub(r"[^a-z0-9]+", "_", sc.name) + ".csv")
        write_frames(path, sc.name, frames)
        for alg, info in ALGORITHMS.items():
            points = run_host(args.build, info["lib"], path, config if alg == "A" else None)
            key = "%s: %s" % (alg, sc.name)
            results[key] = score(sc, truth, points, info["nodes"])
            if args.check:
                want = expected.get("figures", {}).get(key)
                if want is None:
                    failures.append("%s: no expected figures" % key)
                else:
                    failures += regressions(key, results[key], want)
            if not args.table:
                progress.line("%-45s %s" % (key, json.dumps(results[key])))
        done += 1
        progress.show("scenarios: %d of %d" % (done, len(chosen)))
    return results, failures


def run(args):
    if missing_programs([args.build] + ([args.against] if getattr(args, "against", None) else [])):
        return 2
    expected = {}
    if os.path.exists(EXPECTED):
        with open(EXPECTED) as f:
            expected = json.load(f)
    work = args.keep or tempfile.mkdtemp(prefix="touch-accuracy-")
    os.makedirs(work, exist_ok=True)
    progress = Progress(sys.stdout)
    results, failures = {}, []
    if args.command in ("scenarios", "all"):
        results, failures = run_scenarios(args, expected, work, progress)
    rate_cells_run, rate_text = {}, ""
    if args.command in ("rates", "all"):
        rate_cells_run, rate_failures, rate_text = run_rates(args, expected, work, progress)
        failures += rate_failures
    progress.done()
    if not args.keep:
        for name in os.listdir(work):
            os.unlink(os.path.join(work, name))
        os.rmdir(work)
    if args.write_expected:
        figures = expected.get("figures", {})
        figures.update(results)
        expected["figures"] = dict(sorted(figures.items()))
        with open(EXPECTED, "w") as f:
            json.dump(expected, f, indent=1, sort_keys=True)
            f.write("\n")
    if args.table and results:
        print(table(results, expected.get("notes", {})))
    if rate_text:
        print(rate_text)
    if failures:
        print("touch accuracy regressions:\n  " + "\n  ".join(failures), file=sys.stderr)
        print("0 passed, %d failed" % len(failures))
        return 1
    if args.check:
        print("%d passed, 0 failed" % (len(results) + len(rate_cells_run)))
    return 0


def main(argv=None):
    ap = parser()
    args = ap.parse_args(legacy(sys.argv[1:] if argv is None else argv))
    if args.command is None:
        ap.print_help()
        return 2
    if args.command == "self-test":
        bad = rate_self_test()
        if args.model_program:
            bad += ["shared contact model: " + b for b in shared_model_test(args.model_program)]
        for line in bad:
            print("rate tables self-test: " + line, file=sys.stderr)
        print("rate tables self-test: %d fault(s)" % len(bad))
        return self_test() or (1 if bad else 0)
    if args.command == "swipe-16x30":
        if args.write:
            sc = swipe_16x30()
            write_frames(args.write, sc.name, frames_of(sc, args.seed, SHIPPED_ROWS, SHIPPED_COLUMNS)[0])
            return 0
        if not args.build:
            ap.error("swipe-16x30 --check needs --build")
        return missing_programs([args.build]) or check_swipe_16x30(args.build, args.check, args.seed)
    if args.command in ("rates", "all"):
        check_rate_arguments(ap, args)
    return run(args)
