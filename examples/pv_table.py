"""Print a pressure-volume table for stishovite with BM3 and Vinet, then invert a pressure;
then a pressure-volume-temperature table for MgO and the volume of a heated sample.

Stishovite: the 300 K fit of Nishihara et al. (2005), V0 = 46.56 A^3, K0 = 296 GPa,
K0' = 4.2; the measured 300 K points come bundled with barometra.

MgO: a Mie-Grueneisen-Debye model over a BM3 300 K isotherm with the parameters of
Speziale et al. (2001): V0 = 11.248 cm^3/mol, K0 = 160.2 GPa, K0' = 3.99, theta0 = 773 K,
gamma0 = 1.524, q = 1.65, two atoms per formula unit. Thermal models take molar volumes
in J/bar (1 J/bar = 10 cm^3/mol) with pressures in GPa. The thermal model classes of the
public API are still to come, so this part calls the private engine directly.
"""

import numpy as np

from barometra import BM3, Vinet
from barometra._engine import RtEos, ThermalEos
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



def thermal() -> None:
    v0 = 1.1248  # J/bar per MgO
    isotherm = RtEos.bm3(v0, 160.2, 3.99)
    mgo = ThermalEos.mie_gruneisen_debye(isotherm, 300.0, 773.0, 1.524, 1.65, 2.0)
    ratios = np.array([1.0, 0.95, 0.90, 0.85, 0.80])
    temperatures = np.array([300.0, 1000.0, 2000.0, 3000.0])
    # Two arrays of one shape: every (V, T) pair of the grid.
    volumes, grid_temperatures = np.meshgrid(v0 * ratios, temperatures, indexing="ij")
    pressures = mgo.evaluate_array("pressure", volumes, grid_temperatures)

    print(f"\nMgO, Mie-Grueneisen-Debye over BM3 ({mgo!r}): P (GPa)")
    print(f"{'V/V0':>6}" + "".join(f"{t:>10.0f} K" for t in temperatures))
    for ratio, row in zip(ratios, pressures):
        print(f"{ratio:6.2f}" + "".join(f"{p:12.2f}" for p in row))

    cold, hot = 30.0, 2000.0
    v_cold = mgo.evaluate_scalar("volume", cold, 300.0)
    print(f"\nA sample loaded to {cold:.0f} GPa at 300 K (V/V0 = {v_cold / v0:.4f}), heated to"
          f" {hot:.0f} K:")
    for f_dac in (0.0, 0.5):
        v = mgo.volume_with_dac_confinement_scalar(cold, hot, f_dac)
        p = mgo.evaluate_scalar("pressure", v, hot)
        print(f"  cell keeping {f_dac:.0%} of the thermal pressure: V/V0 = {v / v0:.4f},"
              f" P = {p:.2f} GPa")


if __name__ == "__main__":
    main()
    thermal()
