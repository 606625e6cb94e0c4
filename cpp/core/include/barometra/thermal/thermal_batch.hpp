// Batch evaluation of the thermal models: a named quantity, or the volume
// heated in a diamond-anvil cell, over spans of state pairs, element by
// element with exactly the checks, values and errors of the scalar
// operations. The model and the quantity are resolved once per batch, and
// each (model, quantity) pair has a loop of its own with the operation
// inlined.
//
// As the isothermal batch, a batch evaluates in order and stops at the first
// failing element, returning its index and error; the outputs before it are
// written and the rest are unspecified. The output may be the first input
// span itself (element i is read before it is written) or must not overlap
// the inputs.
#pragma once

#include <span>

#include "barometra/isothermal/batch.hpp"
#include "barometra/thermal/thermal_model.hpp"
#include "barometra/thermal/thermal_quantity.hpp"

namespace barometra {

// The quantity at (first[i], second[i]) into out[i]; all three spans have one
// length. The model must provide the quantity (ThermalModel::provides).
BatchResult thermal_quantity_batch(const ThermalModel& model, ThermalQuantity quantity,
                                   std::span<const double> first, std::span<const double> second,
                                   std::span<double> out) noexcept;

// volume_with_dac_confinement(cold_pressures[i], temperatures[i], f_dac).
BatchResult volume_with_dac_confinement_batch(const ThermalModel& model,
                                              std::span<const double> cold_pressures,
                                              std::span<const double> temperatures, double f_dac,
                                              std::span<double> volumes) noexcept;

}  // namespace barometra
