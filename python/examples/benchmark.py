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

    t_long = timed(lambda: marionette.rollout(model, None, args.long, args.long, keys=keys, nthread=1), args.repeat)
    runner = [args.runner, "--steps", str(args.long), "--every", "0", "--key", "0:down", "--key", "5000:up"]
    t_runner = timed(lambda: subprocess.run(runner, check=True, stdout=subprocess.DEVNULL), args.repeat)
    print(f"one rollout of {args.long} steps: {spread(t_long, 1e6 / args.long, 'us per step')}")
    print(f"marionette-sim, the same run:  {spread(t_runner, 1e6 / args.long, 'us per step')} "
          f"(the process's start included)")
    print(f"rollout against the runner: {t_long[0] / t_runner[0]:.3f} of its time")

    # both from the same state, so that both take the same steps
    data = marionette.Data(model, energy=False)
    data.press("down")
    start = data.get_state()

    def calls():
        data.set_state(start)
        for _ in range(args.calls):
            marionette.step(model, data, 1)

    def bulk():
        data.set_state(start)
        marionette.step(model, data, args.calls)

    t_calls = timed(calls, args.repeat)
    t_bulk = timed(bulk, args.repeat)
    overhead = (t_calls[0] - t_bulk[0]) / args.calls
    print(f"step(model, data, 1) x {args.calls}: {spread(t_calls, 1e6 / args.calls, 'us per call')}; "
          f"step(model, data, {args.calls}): {spread(t_bulk, 1e6 / args.calls, 'us per step')}")
    print(f"overhead of one step() call: {overhead * 1e6:.2f} us")
    assert np.isfinite(data.q).all()


if __name__ == "__main__":
    main()
