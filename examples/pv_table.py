"""Print a pressure-volume table for stishovite with BM3 and Vinet, then invert a pressure.

Parameters are the 300 K fit of Nishihara et al. (2005): V0 = 46.56 A^3,
K0 = 296 GPa, K0' = 4.2.
"""

import numpy as np

from barometra._engine import RtEos

V0, K0, K0_PRIME = 46.56, 296.0, 4.2


def main() -> None:
    bm3 = RtEos.bm3(V0, K0, K0_PRIME)
    vinet = RtEos.vinet(V0, K0, K0_PRIME)
    volumes = np.linspace(V0, 0.80 * V0, 9)
    p_bm3 = bm3.pressure_array(volumes)
    p_vinet = vinet.pressure_array(volumes)
    k_bm3 = bm3.bulk_modulus_array(volumes)

    print("Stishovite at 300 K: V0 = 46.56 A^3, K0 = 296 GPa, K0' = 4.2")
    print(f"{'V (A^3)':>9} {'V/V0':>6} {'P BM3 (GPa)':>12} {'P Vinet (GPa)':>14} {'K BM3 (GPa)':>12}")
    for v, pb, pv, kb in zip(volumes, p_bm3, p_vinet, k_bm3):
        print(f"{v:9.3f} {v / V0:6.3f} {pb:12.3f} {pv:14.3f} {kb:12.2f}")

    target = 20.0
    v_bm3 = bm3.volume_scalar(target)
    v_vinet = vinet.volume_scalar(target)
    print(f"\nVolume at {target:.1f} GPa: BM3 {v_bm3:.4f} A^3, Vinet {v_vinet:.4f} A^3")
    print(f"check: BM3 pressure at that volume = {bm3.pressure_scalar(v_bm3):.12f} GPa")


if __name__ == "__main__":
    main()
