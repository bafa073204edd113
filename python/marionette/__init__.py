"""marionette: planar figures of rigid segments, simulated bit for bit as marionette-sim runs them.

A figure is a Model; a Data is one running copy of it; step advances a Data:

    import marionette
    model = marionette.Model.builtin("marionette")   # or "chain:8", "tree:7", "double-pendulum"
    data = marionette.Data(model)
    data.press("down")                               # the arrow keys, as the runner's --key
    marionette.step(model, data, 6667)               # one simulated second, 0.00015 s a step
    print(data.q, data.energy()["kinetic"])

data.q and data.p (angles and momenta) are numpy views of the running state.
Many runs at once, on every core, with the GIL released:

    states = marionette.rollout(model, starts, nstep=10000, record_every=100)

replay(session) gives the rows marionette-sim --session prints. Bad input
raises ValueError (TypeError for a wrong type) with the runner's one-line
message; a rollout whose state stops being finite raises RolloutError, which
carries the others' results.
"""

import os as _os

import numpy as _np

from ._core import KNOBS, TIME_STEP, Data, Model, step
from . import _core

__all__ = ["Model", "Data", "step", "rollout", "replay", "RolloutError", "KEYS", "KNOBS", "TIME_STEP"]

KEYS = ("left", "right", "up", "down")
"""The arrow keys Data.press and the rollout's keys take."""


def _read_source(source, what):
    """The text of a file object (read now), or None for a path."""
    if hasattr(source, "read"):
        text = source.read()
        if isinstance(text, bytes):
            text = text.decode("utf-8", errors="replace")
        if not isinstance(text, str):
            raise TypeError(f"{what}: the file gave {type(text).__name__}, not text")
        return text
    if not isinstance(source, (str, bytes, _os.PathLike)):
        raise TypeError(f"{what} must be a path or a file object, not {type(source).__name__}")
    return None


def _from_file(path):
    text = _read_source(path, "Model.from_file")
    if text is not None:
        return Model.from_json(text)
    return Model._from_path(_os.fsdecode(path))


Model.from_file = staticmethod(_from_file)
Model.from_file.__doc__ = """The model in the JSON model file at `path` (a path or an open file object),
as marionette-sim --model FILE reads it. ValueError names the fault."""


class RolloutError(FloatingPointError):
    """Some rollouts' states stopped being finite (the others ran to the end).

    failed:  the indices of the failed rollouts, in increasing order
    errors:  one message each, naming the rollout and the step
    states:  the whole result, shaped as rollout returns it; a failed
             rollout's rows from its first non-finite state on are NaN
    """

    def __init__(self, failed, errors, states):
        super().__init__("; ".join(errors))
        self.failed = failed
        self.errors = errors
        self.states = states

    def __reduce__(self):  # pickled whole, as Dask sends a worker's exception back
        return RolloutError, (self.failed, self.errors, self.states)


def _per_rollout(value, batch, is_single):
    return [value] * batch if is_single(value) else list(value)


def _schedule(keys, knobs):
    """The runner's arguments for one rollout's keys and knobs."""
    arguments = []
    for key in keys or ():
        if isinstance(key, tuple):
            key = f"{key[0]}:{key[1]}"
        if not isinstance(key, str):
            raise TypeError(f"a key is 'STEP:NAME' (or a tuple (STEP, NAME)), not {key!r}")
        arguments += ["--knob" if "=" in key else "--key", key]
    for name, value in (knobs or {}).items():
        _core._check_knob(name)
        arguments += [f"--{name}", repr(float(value))]
    return arguments


def rollout(models, initial_states=None, nstep=0, record_every=1, keys=None, nthread=None, knobs=None):
    """Runs many figures at once on threads of their own and returns their states.

    models          a Model for every rollout, or a list of one per rollout
                    (all of the same size n)
    initial_states  (batch, 2n) float64: n angles then n momenta per rollout;
                    None starts every rollout from its model's start state
    nstep           steps of TIME_STEP each rollout takes
    record_every    a state is recorded after every this many steps
    keys            the runner's --key schedule: "STEP:NAME" entries ("500:down",
                    acting once STEP steps are done; "STEP:KNOB=VALUE" turns a
                    knob, as --knob), one list for all or a list per rollout
    nthread         threads (default: every core); the results do not depend on it
    knobs           the knobs from step 0, e.g. {"gravity": 3.71}: one dict for
                    all, or a list of one per rollout

    The batch is as many rollouts as initial_states has rows; without them,
    as long as the first of models, keys and knobs given as a list per
    rollout; else one.

    Returns a float64 array (batch, nstep // record_every + 1, 2n): the start
    and every record_every-th state, each the angles then the momenta, every
    number the one marionette-sim prints for the same figure and inputs.
    The GIL is released while the rollouts run.

    A rollout whose state stops being finite raises RolloutError once all
    have run; its .failed lists the indices, its .states holds every result
    (the failed rollouts' rows NaN from the first non-finite state on).
    """
    is_model = lambda value: isinstance(value, Model)
    if initial_states is not None:
        starts = _np.asarray(initial_states)
        if starts.dtype.kind not in "fiu":
            raise TypeError(f"initial_states must be real numbers, not of dtype {starts.dtype}")
        if starts.ndim != 2:
            raise ValueError(f"initial_states must have the shape (batch, 2n), not {starts.shape}")
        batch = starts.shape[0]
        starts = list(starts)
    else:
        candidates = [len(v) for v, single in ((models, is_model(models)),
                      (keys, keys is None or all(isinstance(k, (str, tuple)) for k in keys)),
                      (knobs, knobs is None or isinstance(knobs, dict))) if not single]
        batch = candidates[0] if candidates else 1
        starts = [None] * batch
    model_list = _per_rollout(models, batch, is_model)
    if not all(is_model(m) for m in model_list):
        raise TypeError("models must be a Model or a list of them")
    key_lists = _per_rollout(keys, batch, lambda v: v is None or all(isinstance(k, (str, tuple)) for k in v))
    if not all(k is None or isinstance(k, (list, tuple)) for k in key_lists):
        raise TypeError("keys is a list of 'STEP:NAME' entries, or a list of such lists, one per rollout")
    knob_list = _per_rollout(knobs, batch, lambda v: v is None or isinstance(v, dict))
    if not len(model_list) == len(key_lists) == len(knob_list) == batch:
        raise ValueError(f"{batch} rollouts, but {len(model_list)} models, {len(key_lists)} key lists "
                         f"and {len(knob_list)} knob settings")
    schedules = [_schedule(k, s) for k, s in zip(key_lists, knob_list)]
    if nthread is None:
        nthread = _core._hardware_threads()
    if int(nthread) < 1:
        raise ValueError(f"nthread must be at least 1, not {nthread}")
    states, failed, errors = _core._rollout(model_list, starts, schedules, int(nstep), int(record_every),
                                            int(nthread))
    if batch == 0 and is_model(models):  # no rollout, but the figure's size is known
        states = states.reshape(0, states.shape[1], 2 * models.n)
    if failed:
        raise RolloutError(failed, errors, states)
    return states


def replay(session, steps=None, every=100, energy=False, twin=False):
    """The rows marionette-sim --session prints for a session, as numbers.

    session  the session's text ("marionette-session ..."), its path, or an
             open file object; sessions are saved by the web page, or written
             by hand (the format is in marionette-sim's run/session.h)
    steps    run to this step (default: the session's end), as --steps
    every    a row every this many steps, 0 for the last only, as --every
    energy   add the eight --energy columns
    twin     for a session that compares (a second copy, nudged, beside the
             figure, as the web page's Compare runs it): the copy's rows
             instead, at the steps where it runs, as --twin

    Returns a float64 array of rows: step, t, q0..q(n-1), p0..p(n-1) and, with
    energy, kinetic, gravity, spring, dissipated, supplied, knobs, hand, residual.
    """
    text = _read_source(session, "replay")
    if text is None and isinstance(session, str) and session.startswith("marionette-session"):
        text = session
    arguments = ["--every", str(int(every))]
    if steps is not None:
        arguments += ["--steps", str(int(steps))]
    if energy:
        arguments.append("--energy")
    if text is not None:
        return _core._replay(text, True, arguments, bool(twin))
    return _core._replay(_os.fsdecode(session), False, arguments, bool(twin))
