"""Long calls let other Python threads run, and Ctrl-C stops them with
KeyboardInterrupt, after which the next call runs."""
import os
import pathlib
import signal
import subprocess
import sys
import threading
import time

import ravost
from conftest import EXAMPLES

SCRIPT = """
import os, ravost, sys
design = ravost.load(sys.argv[1])
print(len(os.listdir("/proc/self/task")), flush=True)
try:
    ravost.sweep(design, vary={"geometry.sub_radius": (0.2, 0.3, 100000)}, jobs=1)
    print("finished", flush=True)
except KeyboardInterrupt:
    print("interrupted", flush=True)
    # The stop is not left behind for the next call.
    print("rays", len(ravost.synthesise(design)), flush=True)
"""


def threads(pid):
    return len(os.listdir("/proc/{}/task".format(pid)))


def test_ctrl_c_stops_a_sweep_with_keyboard_interrupt():
    child = subprocess.Popen([sys.executable, "-c", SCRIPT, str(EXAMPLES / "uniform.toml")],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=os.environ.copy())
    try:
        before = int(child.stdout.readline())
        # The call runs its work on a thread of its own: once that thread is
        # there the sweep has started.
        deadline = time.monotonic() + 60
        while threads(child.pid) <= before:
            assert time.monotonic() < deadline, "the sweep did not start"
            time.sleep(0.01)
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        out, err = child.communicate(timeout=20)
        # The time to stop, to run one small synthesis and to exit.
        assert time.monotonic() - sent < 4.0
        assert out == "interrupted\nrays 45\n", err
        assert child.returncode == 0
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()


def test_a_sweep_on_another_thread_lets_this_one_run():
    design = ravost.load(str(EXAMPLES / "uniform.toml"))
    started, finished = threading.Event(), threading.Event()
    rows = []

    def work():
        started.set()
        rows.extend(ravost.sweep(design, vary={"geometry.sub_radius": (0.2, 0.25, 12)}, jobs=1))
        finished.set()

    worker = threading.Thread(target=work)
    worker.start()
    started.wait()
    # Python code runs here while the sweep runs (about a second): it does
    # not hold the GIL.  Held, this thread would get a few ms at most.
    ticks = 0
    while not finished.is_set():
        ticks += sum(range(1000)) > 0
    worker.join()
    assert len(rows) == 12
    assert ticks > 5000
