import sys

import numpy as np
from support import BM3, RtEos

from barometra import errors


def test_reference_counts_are_stable_on_success_and_failure():
    good = np.linspace(8.0, 10.5, 70_000)
    bad = good.copy()
    bad[5] = -1.0
    pressures = BM3.pressure_array(good[:1000])
    bad_pressures = pressures.copy()
    bad_pressures[7] = np.nan
    calls = [(BM3.pressure_array, good[:100]), (BM3.pressure_array, good),
             (BM3.pressure_array, bad[:100]), (BM3.pressure_array, bad),
             (BM3.volume_array, pressures), (BM3.volume_array, bad_pressures),
             (BM3.pressure_array, good.astype(np.float32)), (BM3.pressure_scalar, -1.0),
             (lambda v0: RtEos.vinet(v0, 160.0, 4.0), 10.0)]
    watched = (BM3, RtEos, errors.EosValidationError)

    def run(function, argument, times):
        for _ in range(times):
            try:
                function(argument)
            except (errors.BarometraError, TypeError):
                pass

    for function, argument in calls:
        run(function, argument, 2)  # the first calls may start the pool, import errors
        before = [sys.getrefcount(x) for x in (argument, *watched)]
        run(function, argument, 200)
        assert [sys.getrefcount(x) for x in (argument, *watched)] == before, function
