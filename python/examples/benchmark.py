#!/usr/bin/python3
"""How fast the Python module runs the marionette figure, beside marionette-sim.

  rollout on 1 and 2 threads: steps per second of a batch of rollouts
  one long rollout against the runner: time per step of each
  step(model, data, 1): what one call costs beyond the step itself

Every figure is the median of --repeat runs, with the smallest and largest
beside it (the machine's noise).

    PYTHONPATH=build/python python/examples/benchmark.py --runner build/app/marionette-sim
"""

import argparse
import resource
import statistics
import subprocess
import time

import numpy as np

import marionette


def timed(run, repeat, cores=None):
    """The median, smallest and largest wall time of `repeat` runs, seconds;
    appends to `cores` the processor time the process had per wall second."""
    times = []
    for _ in range(repeat):
        start, processor = time.perf_counter(), time.process_time()
        run()
        times.append(time.perf_counter() - start)
        if cores is not None:
            cores.append((time.process_time() - processor) / times[-1])
    return statistics.median(times), min(times), max(times)


def spread(t, scale, unit):
    median, low, high = (value * scale for value in t)
    return f"{median:.3g} {unit} (from {low:.3g} to {high:.3g})"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runner", default="build/app/marionette-sim", help="marionette-sim to compare with")
    parser.add_argument("--batch", type=int, default=8, help="rollouts in the batch (default 8)")
    parser.add_argument("--steps", type=int, default=20000, help="steps per rollout of the batch (default 20000)")
    parser.add_argument("--long", type=int, default=200000, help="steps of the long rollout (default 200000)")
    parser.add_argument("--calls", type=int, default=20000, help="step() calls timed (default 20000)")
    parser.add_argument("--repeat", type=int, default=5, help="runs of each measurement (default 5)")
    args = parser.parse_args()

    model = marionette.Model.builtin("marionette")
    keys = ["0:down", "5000:up"]
    total = args.batch * args.steps
    rates = {}
    # 1 and 2 threads taking turns, so that the others on the machine weigh on both alike
    runs, cores = {1: [], 2: []}, {1: [], 2: []}
    for _ in range(args.repeat):
        for threads in runs:
            runs[threads] += timed(lambda: marionette.rollout([model] * args.batch, None, args.steps, args.steps, keys=keys,
                                                              nthread=threads), 1, cores[threads])[:1]
    for threads, times in runs.items():
        t = statistics.median(times), min(times), max(times)
        rates[threads] = total / t[0]
        print(f"rollout, {args.batch} x {args.steps} steps on {threads} thread{'s' * (threads > 1)}: "
              f"{spread(t, 1e6 / total, 'us per step')}, {rates[threads]:.0f} steps/s, "
              f"the process on {statistics.median(cores[threads]):.2f} cores (median)")
    print(f"2 threads against 1: {rates[2] / rates[1]:.2f}x")

    # the rollout and the runner taking turns; wall time, and the processor
    # time each had (the runner's from the children's usage), which the
    # others on a busy machine disturb less
    runner = [args.runner, "--steps", str(args.long), "--every", "0", "--key", "0:down", "--key", "5000:up"]
    wall = {"rollout": [], "runner": []}
    processor = {"rollout": [], "runner": []}
    for _ in range(args.repeat):
        start, used = time.perf_counter(), time.process_time()
        marionette.rollout(model, None, args.long, args.long, keys=keys, nthread=1)
        wall["rollout"].append(time.perf_counter() - start)
        processor["rollout"].append(time.process_time() - used)
        start, used = time.perf_counter(), resource.getrusage(resource.RUSAGE_CHILDREN)
        subprocess.run(runner, check=True, stdout=subprocess.DEVNULL)
        wall["runner"].append(time.perf_counter() - start)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        processor["runner"].append(after.ru_utime + after.ru_stime - used.ru_utime - used.ru_stime)
    for name, label in (("rollout", f"one rollout of {args.long} steps"),
                        ("runner", "marionette-sim, the same run (its start included)")):
        w, c = wall[name], processor[name]
        print(f"{label}: {spread((statistics.median(w), min(w), max(w)), 1e6 / args.long, 'us per step')}; "
              f"processor time {spread((statistics.median(c), min(c), max(c)), 1e6 / args.long, 'us per step')}")
    print(f"rollout against the runner: {statistics.median(wall['rollout']) / statistics.median(wall['runner']):.3f} "
          f"of its time, {statistics.median(processor['rollout']) / statistics.median(processor['runner']):.3f} "
          f"of its processor time")

    # both from the same state, so that both take the same steps
    data = marionette.Data(model, energy=False)
    data.press("down")
    first = data.get_state()

    def calls():
        data.set_state(first)
        for _ in range(args.calls):
            marionette.step(model, data, 1)

    def bulk():
        data.set_state(first)
        marionette.step(model, data, args.calls)

    # taking turns, wall and processor time (the same process: process_time)
    wall = {calls: [], bulk: []}
    processor = {calls: [], bulk: []}
    for _ in range(args.repeat):
        for run in (calls, bulk):
            start, used = time.perf_counter(), time.process_time()
            run()
            wall[run].append(time.perf_counter() - start)
            processor[run].append(time.process_time() - used)
    for run, label in ((calls, f"step(model, data, 1) x {args.calls}"), (bulk, f"step(model, data, {args.calls})")):
        w, c = wall[run], processor[run]
        print(f"{label}: {spread((statistics.median(w), min(w), max(w)), 1e6 / args.calls, 'us per step')}; "
              f"processor time {spread((statistics.median(c), min(c), max(c)), 1e6 / args.calls, 'us per step')}")
    overhead = (statistics.median(processor[calls]) - statistics.median(processor[bulk])) / args.calls
    print(f"overhead of one step() call: {overhead * 1e6:.2f} us of processor time")
    assert np.isfinite(data.q).all()


if __name__ == "__main__":
    main()
