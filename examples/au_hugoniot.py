"""Draw the principal Hugoniot of gold from the Au-Fei2007-BM3 pressure scale
beside the Hugoniot measured by Jamieson et al. (1982), Us = 3.071 km/s +
1.536 up from rho0 = 19.2827 g/cm^3, with the Hugoniot temperature along the
model's, and print both in a table. Writes au_hugoniot.png next to this file
(or to the path given as the first argument).

The measured line is taken on the scale's V0 (its own rho0 gives a V0 larger
by 3.5e-5, which changes its pressures by less than 0.1 %).
"""

import pathlib
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

from barometra import LinearUsUpHugoniot, scales  # noqa: E402


def main() -> None:
    gold = scales.get("Au-Fei2007-BM3").model  # in J/bar per mole of Au
    v0 = gold.reference.parameters["v0"]
    measured = LinearUsUpHugoniot(v0=v0, rho0=19.2827, c0=3.071, s=1.536)
    x = np.linspace(1.0, 0.64, 181)
    p_model, t_model = gold.hugoniot_pressure(x * v0), gold.hugoniot_temperature(x * v0)
    p_measured, p_300 = measured.pressure(x * v0), gold.pressure(x * v0, 300.0)

    print(" V/V0  P_H model  P_H Jamieson  ratio    T_H (K)")
    for i in range(0, x.size, 15):
        ratio = p_model[i] / p_measured[i] if p_measured[i] else 1.0
        print(f" {x[i]:.2f}  {p_model[i]:9.1f}  {p_measured[i]:12.1f}  {ratio:5.3f}  {t_model[i]:9.0f}")

    figure, ax = plt.subplots(figsize=(7.0, 4.6), layout="constrained")
    ax.axvspan(0.85, 0.95, color="0.92", label="agreement within 3.2 %")
    ax.plot(x, p_model, color="C0", label="Au-Fei2007-BM3 (BM3 + Mie-Grüneisen-Debye)")
    ax.plot(x, p_measured, "--", color="k", label="Jamieson et al. (1982), Us = 3.071 + 1.536 up")
    ax.plot(x, p_300, ":", color="C0", label="the model's 300 K isotherm")
    ax.axhline(100.0, color="0.6", lw=0.6)
    ax.set_xlabel("V/V0")
    ax.set_ylabel("P (GPa)")
    ax.set_xlim(1.0, x[-1])
    ax.set_ylim(0.0, 500.0)
    twin = ax.twinx()
    twin.plot(x, t_model, color="C3", lw=1.0, label="T_H along the model's Hugoniot")
    twin.set_ylabel("T_H (K)", color="C3")
    twin.set_ylim(0.0, 25000.0)
    twin.tick_params(axis="y", colors="C3")
    lines = ax.get_legend_handles_labels()
    extra = twin.get_legend_handles_labels()
    ax.legend(lines[0] + extra[0], lines[1] + extra[1], loc="upper left", fontsize=8)
    ax.set_title("Principal Hugoniot of gold from 300 K")
    out = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else \
        pathlib.Path(__file__).with_name("au_hugoniot.png")
    figure.savefig(out, dpi=110)
    print(f"wrote {out}")


if __name__ == "__main__":
    main()
