"""The Python module against marionette-sim, bit for bit, and against bad input.

Run by python/tests/run_pytest.sh (CTest's python_test), which puts the
build's package on PYTHONPATH and names the runner in MARIONETTE_SIM.
"""

import gc
import io
import json
import os
import pickle
import subprocess
import threading
import time

import numpy as np
import pytest

import marionette

SIM = os.environ["MARIONETTE_SIM"]


def sim_rows(*args):
    """marionette-sim's CSV rows as float64 (17 digits: the same doubles)."""
    out = subprocess.run([SIM, *args], check=True, capture_output=True, text=True).stdout
    return np.array([[float(v) for v in line.split(",")] for line in out.splitlines()[1:]])


# One session per figure: keys, knobs, a grab that is moved and released.
# (figure, grabbed segment, held point, targets)
SESSIONS = {
    "marionette": ("leftHand", (10.0, 5.0), [(-150.0, 80.0), (-40.0, 200.0)]),
    "chain:8": ("link5", (0.5, 0.0), [(3.0, -2.0), (1.0, 4.0)]),
}


def session_text(figure):
    segment, held, (t1, t2) = SESSIONS[figure]
    return "\n".join([
        "marionette-session 2", f"figure {figure}",
        "0 key down", "300 knob gravity 3.71", "500 key left",
        f"700 grab {segment} {held[0]} {held[1]} {t1[0]} {t1[1]}",
        f"1100 move {t2[0]} {t2[1]}", "1400 knob stiffness 2.5", "1500 release",
        "1800 key up", "2000 end", ""])


def drive(model, session, data, every):
    """Runs `data` through the session's lines by Data's own calls; its rows as the runner's."""
    rows = []
    for line in session.splitlines()[2:]:
        step, kind, *rest = line.split()
        while data.step_count < int(step):
            if data.step_count % every == 0:
                rows.append(np.concatenate([[data.step_count, data.time], data.q, data.p]))
            marionette.step(model, data)
        if kind == "key":
            data.press(rest[0])
        elif kind == "knob":
            data.set_knob(rest[0], float(rest[1]))
        elif kind == "grab":
            data.grab(rest[0], (float(rest[1]), float(rest[2])), (float(rest[3]), float(rest[4])))
        elif kind == "move":
            data.move((float(rest[0]), float(rest[1])))
        elif kind == "release":
            data.release()
    rows.append(np.concatenate([[data.step_count, data.time], data.q, data.p]))
    return np.array(rows)


@pytest.mark.parametrize("figure", SESSIONS)
def test_equals_the_runner(figure, tmp_path):
    """Data driven call by call, replay and rollout each give marionette-sim's numbers."""
    path = tmp_path / "run.session"
    path.write_text(session_text(figure))
    expected = sim_rows("--session", str(path), "--every", "100", "--energy")
    n = marionette.Model.builtin(figure).n
    assert expected.shape == (21, 2 + 2 * n + 8)

    np.testing.assert_array_equal(marionette.replay(str(path), every=100, energy=True), expected)
    model = marionette.Model.builtin(figure)
    data = marionette.Data(model)
    np.testing.assert_array_equal(drive(model, session_text(figure), data, 100), expected[:, :2 + 2 * n])
    energy = data.energy()
    assert list(energy) == ["kinetic", "gravity", "spring", "dissipated", "supplied", "knobs", "hand", "residual"]
    np.testing.assert_array_equal(list(energy.values()), expected[-1, 2 + 2 * n:])
    assert energy["hand"] != 0 and energy["knobs"] != 0  # the grab and the knobs acted

    # the rollout: the runner's --key and --knob schedule, knobs from step 0
    args = ["0:down", "300:left", "900:stiffness=0.5", "1200:up"]
    runner = sim_rows("--model", figure, "--steps", "2000", "--every", "100", "--damping", "0.5",
                      *[a for k in args for a in ("--knob" if "=" in k else "--key", k)])
    states = marionette.rollout(model, None, 2000, record_every=100, keys=args, knobs={"damping": 0.5})
    np.testing.assert_array_equal(states[0], runner[:, 2:])


def test_replay_of_a_comparison_gives_the_nudged_copy():
    """twin=True gives a comparing session's copy: the figure started from the nudged angle."""
    text = "marionette-session 2\nfigure chain:4\n0 compare link1 1e-09\n100 key down\n3000 end\n"
    model = marionette.Model.builtin("chain:4")
    data = marionette.Data(model)
    data.q[1] += 1e-9
    marionette.step(model, data, 100)
    data.press("down")
    marionette.step(model, data, 2900)
    np.testing.assert_array_equal(marionette.replay(text, every=0, twin=True)[-1, 2:], np.concatenate([data.q, data.p]))
    assert not np.array_equal(marionette.replay(text, every=0)[-1, 2:], np.concatenate([data.q, data.p]))


def test_state_save_and_restore():
    """set_state(get_state()) continues bit for bit: keys, knobs, hand and books included."""
    model = marionette.Model.builtin("chain:8")
    data = marionette.Data(model)
    data.press("right")
    data.set_knob("gravity", 20.0)
    data.grab("link7", (1.0, 0.0), (2.0, 2.0))
    marionette.step(model, data, 400)
    saved, pickled = data.get_state(), pickle.dumps(data)
    marionette.step(model, data, 300)
    later, books = data.get_state(), data.energy()

    copy = marionette.Data(marionette.Model.from_json(model.to_json()))
    copy.set_state(saved)
    assert copy.holding and copy.knob("gravity") == 20.0 and copy.step_count == 400
    for restored in (copy, pickle.loads(pickled)):
        marionette.step(restored.model, restored, 300)
        np.testing.assert_array_equal(restored.get_state(), later)
        assert restored.energy() == books
    # a state is refused by a figure of another size
    with pytest.raises(ValueError, match="8 segments"):
        copy.set_state(marionette.Data(marionette.Model.builtin("chain:7")).get_state())


def test_views_not_copies():
    """data.q and data.p view the running state, and outlive the Data they view."""
    model = marionette.Model.builtin("double-pendulum")
    data = marionette.Data(model)
    q, p = data.q, data.p
    marionette.step(model, data, 50)
    assert q[0] != 0.0 and np.array_equal(q, data.get_state()[:2]) and np.array_equal(p, data.get_state()[2:4])
    q[1] = 1.0  # a write moves the figure
    assert data.get_state()[1] == 1.0
    del data
    gc.collect()
    assert q[1] == 1.0 and q.flags.writeable


def test_rollout_on_threads_and_a_failure():
    """Any nthread gives the same bits; a diverging rollout is named, the others returned."""
    model = marionette.Model.builtin("chain:8")
    starts = np.random.default_rng(20).uniform(-1.0, 1.0, (6, 16))
    one = marionette.rollout(model, starts, 3000, record_every=300, nthread=1, keys=["100:down"])
    three = marionette.rollout(model, starts, 3000, record_every=300, nthread=3, keys=["100:down"])
    np.testing.assert_array_equal(one, three)
    assert one.shape == (6, 11, 16) and np.array_equal(one[:, 0], starts)
    assert len({r.tobytes() for r in one[:, -1]}) == 6

    starts[4, 8:] = 1e300  # momenta that overflow in the first step
    with pytest.raises(marionette.RolloutError) as failure:
        marionette.rollout(model, starts, 3000, record_every=300, nthread=3, keys=["100:down"])
    error = pickle.loads(pickle.dumps(failure.value))  # as Dask sends it back from a worker
    assert error.failed == [4] and "rollout 4" in str(error)
    states = error.states
    np.testing.assert_array_equal(np.delete(states, 4, axis=0), np.delete(one, 4, axis=0))
    assert np.isnan(states[4, 1:]).all()


def test_a_python_thread_runs_during_a_rollout():
    model = marionette.Model.builtin("marionette")
    ticks, stop = [], threading.Event()

    def tick():
        while not stop.is_set():
            ticks.append(time.perf_counter())
            time.sleep(0.001)

    ticker = threading.Thread(target=tick)
    ticker.start()
    try:
        begin = time.perf_counter()
        marionette.rollout(model, None, 200000, record_every=10000, nthread=1)
        end = time.perf_counter()
    finally:
        stop.set()
        ticker.join()
    during = [t for t in ticks if begin < t < end]
    # a held GIL would let the thread tick at most once while the rollout runs
    # (a fifth of a second at the least, at 1 us a step)
    assert len(during) >= 10, (end - begin, len(during))


def test_bad_input_raises_the_runners_messages(tmp_path):
    model = marionette.Model.builtin("chain:8")
    data = marionette.Data(model)
    closed = open(tmp_path / "m.json", "w")
    closed.close()
    with pytest.raises(ValueError, match="unknown key name.*left, right, up or down"):
        data.press("jump")
    with pytest.raises(ValueError, match=r"--gravity must be a number from 0 to 25 \(m/s\^2\), not 'nan'"):
        data.set_knob("gravity", float("nan"))
    with pytest.raises(ValueError, match="shape"):
        data.q = np.zeros(7)
    with pytest.raises(TypeError, match="dtype"):
        data.p = np.zeros(8, dtype=complex)
    with pytest.raises(ValueError, match="NaN"):
        data.set_state(np.full(16, np.nan))
    with pytest.raises(ValueError, match="closed file"):
        marionette.Model.from_file(closed)
    with pytest.raises(ValueError, match="not to 'marionette' of 13"):
        marionette.step(marionette.Model.builtin("marionette"), data)
    with pytest.raises(ValueError, match="not finite"):
        data.p[3] = np.inf
        marionette.step(model, data)
    with pytest.raises(ValueError, match="no segment called 'nose'"):
        data.grab("nose", (0, 0), (1, 1))
    with pytest.raises(ValueError, match=r"--key wants STEP:NAME"):
        marionette.rollout(model, None, 10, keys=["soon:down"])
    with pytest.raises(ValueError, match=r"rollout 0: the initial state must have the shape \(16,\), not \(15,\)"):
        marionette.rollout(model, np.zeros((3, 15)), 10)
    with pytest.raises(ValueError, match="one batch has one size"):
        marionette.rollout([model, marionette.Model.builtin("tree:7")], None, 10)
    with pytest.raises(ValueError, match="'chain:0'"):
        marionette.Model.builtin("chain:0")
    with pytest.raises(ValueError, match="line 3: unknown event 'jump'"):
        marionette.replay("marionette-session 2\nfigure chain:8\n12 jump\n")
    # the model file's reader, from a path and from a file object
    path = tmp_path / "chain.json"
    path.write_text(model.to_json())
    assert marionette.Model.from_file(path) == model
    heavier = json.loads(model.to_json())
    heavier["segments"][0]["mass_kg"] = 2.0
    assert marionette.Model.from_file(io.StringIO(json.dumps(heavier))) != model
