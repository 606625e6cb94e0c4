"""Print a pressure-volume table for stishovite with BM3 and Vinet, then invert a pressure.

Parameters are the 300 K fit of Nishihara et al. (2005): V0 = 46.56 A^3,
K0 = 296 GPa, K0' = 4.2; the measured 300 K points come bundled with barometra.
"""

import numpy as np

from barometra import BM3, Vinet
from barometra.data import load_example


def main() -> None:
    bm3 = BM3(v0=46.56, k0=296.0, k0_prime=4.2)
    vinet = Vinet(**bm3.parameters)
    v0 = bm3.parameters["v0"]
    volumes = np.linspace(v0, 0.80 * v0, 9)
    p_bm3 = bm3.pressure(volumes)
    p_vinet = vinet.pressure(volumes)
    k_bm3 = bm3.bulk_modulus(volumes)

    print(f"Stishovite at 300 K: {bm3!r}")
    print(f"{'V (A^3)':>9} {'V/V0':>6} {'P BM3 (GPa)':>12} {'P Vinet (GPa)':>14} {'K BM3 (GPa)':>12}")
    for v, pb, pv, kb in zip(volumes, p_bm3, p_vinet, k_bm3):
        print(f"{v:9.3f} {v / v0:6.3f} {pb:12.3f} {pv:14.3f} {kb:12.2f}")

    target = 20.0
    v_bm3 = bm3.volume(target)
    v_vinet = vinet.volume(target)
    print(f"\nVolume at {target:.1f} GPa: BM3 {v_bm3:.4f} A^3, Vinet {v_vinet:.4f} A^3")
    print(f"check: BM3 pressure at that volume = {bm3.pressure(v_bm3):.12f} GPa")

    data = load_example("stishovite_300K_nishihara2005")
    residuals = bm3.pressure(data.volume) - data.pressure
    print(f"\nagainst the {len(data)} measured points of {data.name}:"
          f" rms P(model) - P(measured) = {np.sqrt(np.mean(residuals**2)):.3f} GPa")


if __name__ == "__main__":
    main()
