#!/usr/bin/python3
"""How far the marionette's torso swings, over gravity x joint stiffness.

Every cell of the grid is one run of the thirteen-segment figure: RIGHT
pressed at step 0 turns the torso for --push steps, UP then switches the
torque off, and the cell's value is the torso angle's swing, its largest
minus its smallest, in radians, over the whole run. Each row of the grid
(one stiffness, every gravity) is one task of Dask's distributed scheduler;
a task carries the model's JSON text and numbers only, so it runs unchanged
on a local cluster of worker processes (the default), on a real cluster
(--scheduler ADDRESS or DASK_SCHEDULER_ADDRESS; the workers need marionette
importable, e.g. PYTHONPATH=build/python) or in this process (--serial).

Writes the grid as a CSV (gravity_m_s2, stiffness, swing_rad) and a heat map
PNG, and says how long the grid took on how many workers.

    PYTHONPATH=build/python python/examples/sweep.py --workers 2 --out sweep
"""

import argparse
import csv
import os
import sys
import time

import numpy as np


def swing_row(model_json, gravities, stiffness, steps, push, record_every):
    """One stiffness, every gravity: the torso's swing (rad) of each run."""
    import marionette

    model = marionette.Model.from_json(model_json)
    knobs = [{"gravity": g, "stiffness": stiffness} for g in gravities]
    states = marionette.rollout(model, None, steps, record_every, keys=["0:right", f"{push}:up"],
                                knobs=knobs, nthread=1)
    torso = states[:, :, 0]
    return [float(v) for v in torso.max(axis=1) - torso.min(axis=1)]


def run_grid(model_json, gravities, stiffnesses, args, client):
    """The grid, rows by stiffness; with a client, each row a task."""
    task = (args.steps, args.push, args.record_every)
    if client is None:
        return [swing_row(model_json, list(gravities), s, *task) for s in stiffnesses]
    futures = [client.submit(swing_row, model_json, list(gravities), float(s), *task, pure=False)
               for s in stiffnesses]
    return client.gather(futures)


def write_outputs(out, gravities, stiffnesses, grid, title):
    with open(out + ".csv", "w", newline="") as f:
        writer = csv.writer(f)
        writer.writerow(["gravity_m_s2", "stiffness", "swing_rad"])
        for s, row in zip(stiffnesses, grid):
            for g, value in zip(gravities, row):
                writer.writerow([repr(float(g)), repr(float(s)), repr(value)])
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig, ax = plt.subplots(figsize=(7, 5), dpi=100)
    image = ax.pcolormesh(gravities, stiffnesses, np.array(grid), shading="nearest", cmap="viridis")
    fig.colorbar(image, ax=ax, label="torso swing, largest minus smallest angle (rad)")
    if len(gravities) <= 12:
        ax.set_xticks(gravities, [f"{g:.3g}" for g in gravities])
    if len(stiffnesses) <= 12:
        ax.set_yticks(stiffnesses, [f"{s:.3g}" for s in stiffnesses])
    ax.set_xlabel("gravity (m/s²)")
    ax.set_ylabel("joint stiffness (× the standard gains)")
    ax.set_title(title)
    fig.tight_layout()
    fig.savefig(out + ".png")
    plt.close(fig)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--gravity", type=float, nargs=3, default=[1.0, 25.0, 9], metavar=("LOW", "HIGH", "COUNT"),
                        help="gravities, m/s^2 (default 1 25 9)")
    parser.add_argument("--stiffness", type=float, nargs=3, default=[0.25, 4.0, 8], metavar=("LOW", "HIGH", "COUNT"),
                        help="stiffness multiples (default 0.25 4 8)")
    parser.add_argument("--steps", type=int, default=13334, help="steps per run (default 13334, two seconds)")
    parser.add_argument("--push", type=int, default=2000, help="steps RIGHT stays on (default 2000, 0.3 s)")
    parser.add_argument("--record-every", type=int, default=20, help="steps between the angles looked at (default 20)")
    parser.add_argument("--workers", type=int, default=2, help="worker processes of the local cluster (default 2)")
    parser.add_argument("--scheduler", default=os.environ.get("DASK_SCHEDULER_ADDRESS"),
                        help="a running Dask scheduler's address (default: $DASK_SCHEDULER_ADDRESS, else a local cluster)")
    parser.add_argument("--serial", action="store_true", help="run every cell in this process, without Dask")
    parser.add_argument("--out", default="sweep", help="writes OUT.csv and OUT.png (default sweep)")
    args = parser.parse_args()

    import marionette

    model_json = marionette.Model.builtin("marionette").to_json(one_line=True)
    gravities = np.linspace(args.gravity[0], args.gravity[1], int(args.gravity[2]))
    stiffnesses = np.linspace(args.stiffness[0], args.stiffness[1], int(args.stiffness[2]))

    client = cluster = None
    if args.serial:
        where = "serially in this process"
    else:
        from dask.distributed import Client, LocalCluster

        if args.scheduler:
            client = Client(args.scheduler, timeout="30s")
            client.wait_for_workers(1, timeout=60)
            where = f"on the scheduler {args.scheduler}"
        else:
            cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                                   dashboard_address=None, host="127.0.0.1")
            client = Client(cluster)
            where = "on a local cluster"
    try:
        workers = len(client.scheduler_info()["workers"]) if client else 1
        start = time.perf_counter()
        grid = run_grid(model_json, gravities, stiffnesses, args, client)
        elapsed = time.perf_counter() - start
    finally:
        if client:
            client.close()
        if cluster:
            cluster.close()
    cells = len(gravities) * len(stiffnesses)
    write_outputs(args.out, gravities, stiffnesses, grid,
                  f"marionette: torso swing after RIGHT for {args.push * marionette.TIME_STEP:.3g} s, "
                  f"{args.steps * marionette.TIME_STEP:.3g} s runs")
    print(f"{cells} runs of {args.steps} steps in {elapsed:.2f} s on {workers} worker"
          f"{'s' if workers != 1 else ''} ({where}); wrote {args.out}.csv and {args.out}.png")
    return 0


if __name__ == "__main__":
    sys.exit(main())
