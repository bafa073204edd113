"""python/examples/sweep.py on loopback: on a local cluster, and on a
dask-scheduler with two dask-worker processes started and stopped here; both
give the CSV of the same grid run serially, byte for byte."""

import json
import os
import subprocess
import sys
import time

import pytest

pytest.importorskip("distributed")

SWEEP = os.path.join(os.path.dirname(__file__), "..", "examples", "sweep.py")
GRID = ["--gravity", "2", "20", "3", "--stiffness", "0.5", "3", "4", "--steps", "1500", "--push", "500"]


def sweep(out, *args):
    env = dict(os.environ)
    env.pop("DASK_SCHEDULER_ADDRESS", None)
    done = subprocess.run([sys.executable, SWEEP, *GRID, "--out", str(out), *args], env=env, capture_output=True,
                          text=True, timeout=180)
    assert done.returncode == 0, done.stderr
    assert out.with_suffix(".png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    return done.stdout, out.with_suffix(".csv").read_text()


def stop(processes):
    for process in processes:
        process.terminate()
    for process in processes:
        try:
            process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def test_sweep_on_a_local_cluster_and_on_scheduler_and_workers(tmp_path):
    _, serial = sweep(tmp_path / "serial", "--serial")
    assert len(serial.splitlines()) == 1 + 3 * 4 and len(set(serial.splitlines()[1:])) == 12

    said, local = sweep(tmp_path / "local", "--workers", "2")
    assert local == serial and "on 2 workers" in said

    address_file = tmp_path / "scheduler.json"
    quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, cwd=tmp_path)
    processes = [subprocess.Popen(["dask-scheduler", "--host", "127.0.0.1", "--port", "0", "--no-dashboard",
                                   "--scheduler-file", str(address_file)], **quiet)]
    try:
        deadline = time.monotonic() + 60
        while not address_file.exists() or not address_file.read_text().strip():
            assert time.monotonic() < deadline and processes[0].poll() is None, "dask-scheduler did not start"
            time.sleep(0.2)
        address = json.loads(address_file.read_text())["address"]
        assert address.startswith("tcp://127.0.0.1:")
        for _ in range(2):
            processes.append(subprocess.Popen(["dask-worker", "--scheduler-file", str(address_file), "--nthreads", "1",
                                               "--host", "127.0.0.1", "--no-dashboard", "--nanny",
                                               "--local-directory", str(tmp_path)], **quiet))
        # the sweep waits for one worker; wait for both, so both take tasks
        from distributed import Client

        with Client(address, timeout="30s") as client:
            client.wait_for_workers(2, timeout=60)
        said, remote = sweep(tmp_path / "remote", "--scheduler", address)
    finally:
        stop(processes)
    assert remote == serial and f"on 2 workers (on the scheduler {address})" in said
