"""A thermal model's engine seen in another volume unit.

The engine computes in J/bar per formula unit; a model in another volume
unit multiplies its volumes by a fixed factor on the way in and divides the
volumes it returns by it on the way out. Nothing else changes: pressures
stay in GPa and energies per mole of formula units.
"""

from __future__ import annotations

from collections.abc import Mapping
from typing import Any

from .._arrays import FloatArray

# The quantities whose value is a volume.
_VOLUMES = frozenset({"volume"})


class VolumeScaledEngine:
    """The methods of a native ThermalEos that the model classes call, with
    volumes in a unit of ``scale`` J/bar."""

    __slots__ = ("native", "scale", "_volume_inputs")

    def __init__(self, native: Any, scale: float,
                 arguments: Mapping[str, tuple[str, ...]]) -> None:
        self.native = native
        self.scale = scale
        # For each quantity, which of the engine's two inputs are volumes (a
        # quantity of one state value gets it twice).
        self._volume_inputs = {
            name: tuple(argument == "volume" for argument in (*names, names[0])[:2])
            for name, names in arguments.items()}

    def _inputs(self, quantity: str, first: Any, second: Any) -> tuple[Any, Any]:
        in_first, in_second = self._volume_inputs.get(quantity, (False, False))
        return (first * self.scale if in_first else first,
                second * self.scale if in_second else second)

    def _output(self, quantity: str, value: Any) -> Any:
        return value / self.scale if quantity in _VOLUMES else value

    def evaluate_scalar(self, quantity: str, first: float, second: float) -> float:
        value: float = self._output(quantity, self.native.evaluate_scalar(
            quantity, *self._inputs(quantity, first, second)))
        return value

    def evaluate_array(self, quantity: str, first: FloatArray, second: FloatArray) -> FloatArray:
        value: FloatArray = self._output(quantity, self.native.evaluate_array(
            quantity, *self._inputs(quantity, first, second)))
        return value

    def volume_with_dac_confinement_scalar(self, cold_pressure: float, temperature: float,
                                           f_dac: float) -> float:
        volume: float = self.native.volume_with_dac_confinement_scalar(
            cold_pressure, temperature, f_dac) / self.scale
        return volume

    def volume_with_dac_confinement_array(self, cold_pressures: FloatArray,
                                          temperatures: FloatArray, f_dac: float) -> FloatArray:
        volume: FloatArray = self.native.volume_with_dac_confinement_array(
            cold_pressures, temperatures, f_dac) / self.scale
        return volume
