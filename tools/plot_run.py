#!/usr/bin/python3
"""plot_run.py RUN.csv OUT.png [--key STEP:NAME]...

Draws a run of `marionette-sim --energy` against simulated time, in three
panels: the angles of the torso and of the four upper limbs; the energy terms
(kinetic, gravity, spring) with the work dissipated and supplied since the
start, and what knob changes and a hand added (if any); and the residual of the energy balance. Each --key, given
as to the runner, marks the moment that key was switched.
"""

import csv
import math
import sys

USAGE = "usage: tools/plot_run.py RUN.csv OUT.png [--key STEP:NAME]..."
KEY_NAMES = ("left", "right", "up", "down")
ANGLES = (("q0", "torso"), ("q1", "right upper arm"), ("q4", "left upper arm"),
          ("q7", "right upper leg"), ("q10", "left upper leg"))
ENERGY_COLUMNS = ("kinetic", "gravity", "spring", "dissipated", "supplied", "knobs", "hand", "residual")


def fail(message, status=1):
    print(f"plot_run: {message}", file=sys.stderr)
    sys.exit(status)


def parse_arguments(argv):
    paths, keys = [], []
    i = 0
    while i < len(argv):
        if argv[i] == "--key":
            if i + 1 >= len(argv):
                fail("--key needs a value\n" + USAGE, 2)
            step, _, name = argv[i + 1].partition(":")
            if not step.isdigit() or name.lower() not in KEY_NAMES:
                fail(f"--key wants STEP:NAME (left, right, up or down), not '{argv[i + 1]}'\n" + USAGE, 2)
            keys.append((int(step), name.upper()))
            i += 2
        elif argv[i].startswith("--"):
            fail(f"unknown argument '{argv[i]}'\n" + USAGE, 2)
        else:
            paths.append(argv[i])
            i += 1
    if len(paths) != 2:
        fail("wants a CSV file to read and a PNG file to write\n" + USAGE, 2)
    return paths[0], paths[1], keys


def read_run(path):
    """The CSV's columns by name, as lists of floats."""
    try:
        with open(path, newline="") as f:
            rows = list(csv.reader(f))
    except OSError as e:
        fail(f"cannot read {path}: {e.strerror}")
    except (UnicodeDecodeError, csv.Error):
        fail(f"{path} is not a CSV file of marionette-sim")
    if not rows:
        fail(f"{path} is empty")
    header = rows[0]
    missing = [c for c in ("step", "t") + tuple(q for q, _ in ANGLES) + ENERGY_COLUMNS if c not in header]
    if missing:
        hint = " (run marionette-sim with --energy)" if "kinetic" in missing else ""
        fail(f"{path} has no column {', '.join(missing)}{hint}")
    columns = {name: [] for name in header}
    for line, row in enumerate(rows[1:], start=2):
        if len(row) != len(header):
            fail(f"{path}:{line}: {len(row)} fields where the header has {len(header)}")
        for name, text in zip(header, row):
            try:
                value = float(text)
            except ValueError:
                fail(f"{path}:{line}: '{text}' in column {name} is not a number")
            if not math.isfinite(value):
                fail(f"{path}:{line}: column {name} is {text}")
            columns[name].append(value)
    if len(columns["t"]) < 2:
        fail(f"{path} has fewer than two rows to draw")
    return columns


def time_step(columns):
    """Simulated seconds per step, from the last row."""
    if columns["step"][-1] <= 0:
        fail("the run has no step after step 0")
    return columns["t"][-1] / columns["step"][-1]


def main():
    run_path, png_path, keys = parse_arguments(sys.argv[1:])
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        fail("needs matplotlib (on Debian: apt-get install python3-matplotlib)")

    run = read_run(run_path)
    t = run["t"]
    dt = time_step(run)
    start = run["kinetic"][0] + run["gravity"][0] + run["spring"][0]
    balance = [k + g + s - start for k, g, s in zip(run["kinetic"], run["gravity"], run["spring"])]

    figure, (angles, energy, residual) = plt.subplots(
        3, 1, figsize=(11, 9), sharex=True, gridspec_kw={"height_ratios": [3, 3, 1.4]})

    for column, label in ANGLES:
        angles.plot(t, run[column], label=label, linewidth=1.2)
    angles.set_ylabel("joint angle (rad)")
    angles.set_title("Joint angles: the torso's against the fixed frame, the upper limbs' against the torso",
                     loc="left", fontsize=10, pad=16)

    energy.plot(t, run["kinetic"], label="kinetic", color="tab:red", linewidth=1.2)
    energy.plot(t, run["gravity"], label="gravity", color="tab:green", linewidth=1.2)
    energy.plot(t, run["spring"], label="spring (controllers)", color="tab:purple", linewidth=1.2)
    energy.plot(t, run["supplied"], label="supplied by the keys' torques", color="tab:orange",
                linewidth=1.6, linestyle="--")
    energy.plot(t, run["dissipated"], label="dissipated by damping", color="tab:blue",
                linewidth=1.6, linestyle="--")
    if any(run["knobs"]):
        energy.plot(t, run["knobs"], label="added by knob changes", color="tab:brown",
                    linewidth=1.6, linestyle="--")
    if any(run["hand"]):
        energy.plot(t, run["hand"], label="put in by a hand", color="tab:pink",
                    linewidth=1.6, linestyle="--")
    energy.plot(t, balance, label="stored: kinetic + gravity + spring,\nless their sum at the start", color="black",
                linewidth=1.0, linestyle=":")
    energy.set_ylabel("energy (J)")
    energy.set_title("Where the energy goes", loc="left", fontsize=10)

    residual.plot(t, [r * 1e3 for r in run["residual"]], color="black", linewidth=1.0)
    residual.axhline(0.0, color="grey", linewidth=0.6)
    residual.set_ylabel("residual (mJ)")
    residual.set_xlabel("simulated time (s)")
    residual.set_title("What the books miss: the residual, change of stored energy + dissipated - supplied - knobs - hand",
                       loc="left", fontsize=10)

    # the key switches: a line through every panel, named in the top one
    for step, name in sorted(keys):
        moment = step * dt
        if not t[0] <= moment <= t[-1]:
            continue
        for axes in (angles, energy, residual):
            axes.axvline(moment, color="grey", linewidth=0.8, linestyle="-.")
        angles.annotate(name, xy=(moment, 1.0), xycoords=("data", "axes fraction"), xytext=(0, 3),
                        textcoords="offset points", fontsize=9, ha="center", va="bottom")

    for axes in (angles, energy):
        axes.legend(loc="upper left", bbox_to_anchor=(1.01, 1.0), fontsize=9, frameon=False)
    for axes in (angles, energy, residual):
        axes.grid(True, linewidth=0.3)
    residual.set_xlim(t[0], t[-1])
    figure.tight_layout()
    try:
        figure.savefig(png_path, dpi=100)
    except OSError as e:
        fail(f"cannot write {png_path}: {e.strerror}")


if __name__ == "__main__":
    main()
