"""Timing loops shared by the Python benchmarks.

Each benchmark runs as ``python bench/<name>.py``, which puts this directory
on ``sys.path``: they import this module by its plain name.
"""

from __future__ import annotations

import math
import time


def best_times(contenders, budget, *, warm_up=True, max_rounds=200):
    """Best wall time of each callable, alternating them until the budget (s)
    is spent, with at least two rounds; by default after one untimed warm-up
    round, in which the first large allocations fault their pages in."""
    best = {name: math.inf for name in contenders}
    if warm_up:
        for call in contenders.values():
            call()
    start = time.perf_counter()
    rounds = 0
    while True:
        for name, call in contenders.items():
            t0 = time.perf_counter()
            call()
            best[name] = min(best[name], time.perf_counter() - t0)
        rounds += 1
        elapsed = time.perf_counter() - start
        if rounds >= 2 and elapsed > budget or elapsed > 4 * budget or rounds >= max_rounds:
            return best


def best_per_call(contenders, calls, seconds):
    """Best wall time per call of each callable, alternating batches of ``calls``
    calls until ``seconds`` have passed."""
    best = dict.fromkeys(contenders, math.inf)
    deadline = time.perf_counter() + seconds
    while time.perf_counter() < deadline:
        for name, call in contenders.items():
            t0 = time.perf_counter()
            for _ in range(calls):
                call()
            best[name] = min(best[name], (time.perf_counter() - t0) / calls)
    return best
