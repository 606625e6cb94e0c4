"""A daemon thread inside a call that releases the interpreter lock when the
interpreter exits: the process ends with the interpreter's exit status."""

import subprocess
import sys
import textwrap

import pytest

SETUP = """
import sys, threading, time
import numpy as np
from barometra._engine import HugoniotEos, RtEos, ThermalEos, fit_rt_eos_native
bm3 = RtEos.bm3(11.25, 160.0, 4.15)
v = np.linspace(9.0, 11.0, 2000)
"""

# Each call spends nearly all its time detached, with its inputs made once.
CALLS = {
    "volume_array": "bm3.volume_array, np.linspace(0.0, 50.0, 40000)",
    "native_fit": ("fit_rt_eos_native, bm3, ['V0', 'K0', 'K0_prime'], np.array([11.0, 140.0, 4.0]),"
                   " np.array([1.0, 1.0, 0.0]), np.array([100.0, 1e3, 10.0]), bm3.pressure_array(v),"
                   " v, np.full(v.size, 0.1), np.full(v.size, 0.01)"),
    "thermal_array": ("ThermalEos.mie_gruneisen_debye(bm3, 300.0, 760.0, 1.5, 1.2, 2.0)"
                      ".evaluate_array, 'pressure', np.linspace(10.0, 11.0, 4096),"
                      " np.full(4096, 1500.0)"),
    "hugoniot_array": ("HugoniotEos.linear_us_up(10.0, 3.0, 5.0, 1.5, 2.0).evaluate_array,"
                       " 'volume', np.linspace(2.0, 100.0, 400000)"),
}


@pytest.mark.parametrize("call", CALLS)
def test_daemon_thread_in_native_code_at_exit(call):
    # Linger keeps the interpreter finalizing long enough for the thread to
    # finish its call and take the lock back while it does.
    script = SETUP + textwrap.dedent(f"""
        class Linger:
            def __del__(self, sleep=time.sleep):
                sleep(0.3)
        linger = Linger()
        function, *arguments = {CALLS[call]}
        started = threading.Event()
        def loop():
            while True:
                function(*arguments)
                started.set()
        threading.Thread(target=loop, daemon=True).start()
        started.wait(60)
        sys.exit(7)
    """)
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          timeout=120)
    assert (done.returncode, done.stderr) == (7, "")
