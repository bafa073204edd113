#!/usr/bin/python3
"""scaling_report.py BENCH.json OUT.png

Reads a run of dynamics_bench's chain:N and tree:N steps, written with
--benchmark_format=json (or --benchmark_out) and repetitions, and prints a
Markdown table of the medians, ns per RK4 step and per segment, for
marionette's planar and general passes and for MuJoCo, and of MuJoCo's time
over the planar passes' both in the medians and in the fastest repetitions
(the "min" statistic the benchmark adds), with the exponent of the growth
(the slope of log time against log N from N = 16 on) and the largest
coefficient of variation of the repetitions; then draws ns per segment
against N on log axes into OUT.png.

  build/bench/dynamics_bench --benchmark_filter='step/.*/(chain|tree):' \\
      --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \\
      --benchmark_min_time=0.2 --benchmark_out=scaling.json
  bench/scaling_report.py scaling.json docs/scaling.png
"""

import json
import math
import sys

PATHS = (("planar", "marionette, planar passes"), ("general", "marionette, general passes"),
         ("mujoco", "MuJoCo 2.2.2 mj_step (RK4)"))
SHAPES = ("chain", "tree")


def fail(message, status=1):
    print(f"scaling_report: {message}", file=sys.stderr)
    sys.exit(status)


def read(path):
    """{(path, shape, n): {"median": ns, "min": ns, "cv": fraction, "qacc_error": x}}"""
    try:
        with open(path) as f:
            runs = json.load(f)["benchmarks"]
    except (OSError, ValueError, KeyError) as e:
        fail(f"cannot read {path} as Google Benchmark's JSON: {e}")
    table = {}
    scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}
    for run in runs:
        name = run.get("run_name", run["name"])
        parts = name.split("/")
        if len(parts) != 3 or parts[0] != "step" or ":" not in parts[2]:
            continue
        shape, _, n = parts[2].partition(":")
        if shape not in SHAPES or run.get("error_occurred"):
            continue
        entry = table.setdefault((parts[1], shape, int(n)), {})
        aggregate = run.get("aggregate_name", "median" if run.get("run_type") != "aggregate" else "")
        if aggregate == "median":
            entry["median"] = run["cpu_time"] * scale[run.get("time_unit", "ns")]
            if "qacc_error" in run:
                entry["qacc_error"] = run["qacc_error"]
        elif aggregate == "min":
            entry["min"] = run["cpu_time"] * scale[run.get("time_unit", "ns")]
        elif aggregate == "cv":
            entry["cv"] = run["cpu_time"]
    return {k: v for k, v in table.items() if "median" in v}


def exponent(table, path, shape):
    points = [(math.log(n), math.log(v["median"])) for (p, s, n), v in table.items()
              if p == path and s == shape and n >= 16]
    if len(points) < 2:
        return None
    mx = sum(x for x, _ in points) / len(points)
    my = sum(y for _, y in points) / len(points)
    return sum((x - mx) * (y - my) for x, y in points) / sum((x - mx) ** 2 for x, _ in points)


def print_table(table):
    sizes = sorted({n for (_, _, n) in table})
    for shape in SHAPES:
        print(f"\n`{shape}:N`, ns per RK4 step (ns per segment)\n")
        print("| N | planar | general | MuJoCo | general / planar | MuJoCo / planar | fastest: MuJoCo / planar"
              " | MuJoCo's qacc error |")
        print("|---|---|---|---|---|---|---|---|")
        for n in sizes:
            cells = []
            for path, _ in PATHS:
                v = table.get((path, shape, n))
                cells.append(f"{v['median']:,.0f} ({v['median'] / n:,.1f})" if v else "-")
            planar = table.get(("planar", shape, n))
            ratios = []
            for path in ("general", "mujoco"):
                v = table.get((path, shape, n))
                ratios.append(f"{v['median'] / planar['median']:.1f}" if v and planar else "-")
            mujoco = table.get(("mujoco", shape, n))
            ratios.append(f"{mujoco['min'] / planar['min']:.1f}" if mujoco and planar and "min" in mujoco
                          and "min" in planar else "-")
            error = table.get(("mujoco", shape, n), {}).get("qacc_error")
            print(f"| {n} | " + " | ".join(cells + ratios) + f" | {error:.1e} |" if error is not None
                  else f"| {n} | " + " | ".join(cells + ratios) + " | - |")
        notes = []
        for path, label in PATHS:
            k = exponent(table, path, shape)
            a, b = table.get((path, shape, 16)), table.get((path, shape, 1024))
            ratio = f", per segment at 1024 / at 16: {(b['median'] / 1024) / (a['median'] / 16):.2f}" if a and b else ""
            if k is not None:
                notes.append(f"{path}: time grows as N^{k:.2f}{ratio}")
        cvs = [v["cv"] for (p, s, _), v in table.items() if s == shape and "cv" in v]
        if cvs:
            notes.append(f"largest coefficient of variation of the repetitions: {100 * max(cvs):.1f}%")
        print("\n" + "; ".join(notes) + ".")


def plot(table, out):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig, axes = plt.subplots(1, 2, figsize=(11, 4.5), sharey=True)
    styles = {"planar": ("tab:blue", "o-"), "general": ("tab:orange", "s-"), "mujoco": ("tab:red", "^-")}
    for ax, shape in zip(axes, SHAPES):
        for path, label in PATHS:
            points = sorted((n, v["median"] / n) for (p, s, n), v in table.items() if p == path and s == shape)
            if points:
                colour, style = styles[path]
                ax.plot([n for n, _ in points], [y for _, y in points], style, color=colour, label=label,
                        markersize=4)
        ax.set_xscale("log", base=2)
        ax.set_yscale("log")
        ax.set_title(f"{shape}:N")
        ax.set_xlabel("segments N")
        ax.grid(True, which="both", alpha=0.3)
    axes[0].set_ylabel("ns per segment per RK4 step")
    axes[0].legend(loc="upper left", fontsize=8)
    fig.tight_layout()
    fig.savefig(out, dpi=100)


def main(argv):
    if len(argv) != 2:
        fail("usage: bench/scaling_report.py BENCH.json OUT.png", 2)
    table = read(argv[0])
    if not table:
        fail(f"{argv[0]} holds no step/PATH/chain:N or tree:N benchmark with a median")
    print_table(table)
    plot(table, argv[1])


if __name__ == "__main__":
    main(sys.argv[1:])
