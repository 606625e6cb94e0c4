"""Model methods and fits on a two-process Dask cluster: the numbers of one process, bit
for bit, and a failing chunk's own error at its place in the whole array."""

import subprocess
import sys
import warnings

import numpy as np
import pytest

da = pytest.importorskip("dask.array")
distributed = pytest.importorskip("distributed")

from barometra import BM3, MieGruneisenEinstein, Vinet  # noqa: E402
from barometra.dask import map_blocks  # noqa: E402
from barometra.data import load_example  # noqa: E402
from barometra.errors import BarometraError  # noqa: E402
from barometra.fit import fit  # noqa: E402

MGSIO3 = MieGruneisenEinstein(reference=Vinet(v0=2.4445, k0=258.0, k0_prime=4.1),
                              tr=300.0, theta0=940.0, gamma0=1.5, q=1.1, n=5)
BRIDGMANITE = load_example("bridgmanite_pvt_tange2012").to_molar_volume()


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, \
            distributed.Client(cluster) as connected:
        yield connected


PRESSURE = np.linspace(0.0, 120.0, 37)
TEMPERATURE = np.linspace(300.0, 3000.0, 23)


@pytest.mark.parametrize("model, quantity, arguments, options", [
    # a column against a row, chunks that divide neither length
    (MGSIO3, "volume", [da.from_array(PRESSURE[:, None], chunks=(10, 1)),
                        da.from_array(TEMPERATURE[None, :], chunks=(1, 7))], {}),
    (MGSIO3, "volume_with_dac_confinement", [da.from_array(PRESSURE, chunks=8), 2000.0],
     {"f_dac": 0.3}),
    (BM3(v0=46.56, k0=296.0, k0_prime=4.2), "volume", [PRESSURE], {}),  # NumPy in
], ids=["grid", "keyword", "isothermal"])
def test_chunks_on_workers_give_the_local_bits(client, model, quantity, arguments, options):
    local = getattr(model, quantity)(*(np.asarray(a) for a in arguments), **options)
    remote = client.compute(map_blocks(model, quantity, *arguments, **options)).result()
    assert remote.dtype == np.float64
    np.testing.assert_array_equal(remote, local)


def test_a_failing_chunk_raises_its_first_failing_elements_own_error(client):
    pressure, temperature = np.meshgrid(PRESSURE[:30], TEMPERATURE[:20], indexing="ij")
    # Both in chunk (20:30, 10:20); (21, 18) comes first in row-major order only.
    temperature[21, 18] = -1.0
    pressure[23, 12] = np.nan
    with pytest.raises(BarometraError) as alone:
        MGSIO3.volume(pressure[21, 18], temperature[21, 18])
    grid = map_blocks(MGSIO3, "volume", da.from_array(pressure, chunks=10),
                      da.from_array(temperature, chunks=10))
    with pytest.raises(BarometraError) as raised:
        client.compute(grid).result()
    got, want = raised.value, alone.value
    assert type(got) is type(want) and str(got) == str(want)
    assert (got.code, got.field, got.operation) == (want.code, want.field, want.operation)
    assert got.index == (21, 18)


def test_misspelt_quantity_fails_before_any_task():
    with pytest.raises(AttributeError, match="volum"):
        map_blocks(MGSIO3, "volum", 30.0, 300.0)


def bootstrap_fit(seed):
    rows = np.random.default_rng(seed).integers(0, len(BRIDGMANITE), len(BRIDGMANITE))
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # a resampled set may stop short; its values still count
        result = fit(MGSIO3, BRIDGMANITE.select(rows), fix=("v0",), pressure_sigma=1.0)
    return result.values, result.standard_errors


def test_bootstrap_fits_as_tasks_give_the_local_fits(client):
    remote = client.gather(client.map(bootstrap_fit, range(6)))
    assert remote == [bootstrap_fit(seed) for seed in range(6)]


def test_importing_barometra_imports_no_dask():
    code = ("import sys, barometra, barometra.dask; "
            "print(sorted(m for m in sys.modules if m.split('.')[0] in ('dask', 'distributed')))")
    loaded = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                            check=True).stdout
    assert loaded.strip() == "[]"
