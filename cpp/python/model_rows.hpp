// A quantity of a model rebuilt from parameter vectors, at fixed states: what
// the delta method and Monte Carlo propagate a covariance of the model's own
// parameters through (the module functions delta_method and
// monte_carlo_prediction, for a fitted model or a pressure scale).
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "barometra/error.hpp"
#include "barometra/fit/prediction.hpp"
#include "barometra/isothermal/batch.hpp"
#include "barometra/isothermal/rt_model.hpp"
#include "barometra/thermal/thermal_model.hpp"
#include "numpy_api.hpp"

namespace barometra::python {

// The model every parameter vector rebuilds, by native parameter names.
using RebuiltModel = std::variant<RtModel, ThermalModel>;

// The arguments every propagation takes: the quantity and the states.
struct PredictionArguments {
  std::string_view quantity;
  PyArrayObject* first = nullptr;
  PyArrayObject* second = nullptr;  // null for None
};

// Parses (quantity, first, second) from objects[0..2]; false with a TypeError set.
bool parse_prediction(PyObject* const* objects, const char* function,
                      PredictionArguments& out) noexcept;

// An EOS failure reads as it would from the model's own methods.
PyObject* raise_prediction_error(const FitError& error);

using PredictionBody = ::barometra::detail::FunctionRef<PyObject*(QuantityRows, std::size_t)>;

// Runs body(QuantityRows rows, std::size_t q) -> PyObject* over the quantity
// of `start` rebuilt with values of `names` (k of them), at the states of
// `a`, copied so that the rows can be evaluated detached. Raises the
// validation error of mismatched state shapes, of a second state given to an
// isothermal quantity, and the unsupported error of an unknown quantity.
PyObject* run_prediction(const RebuiltModel& start, std::span<const std::string> names,
                         const PredictionArguments& a, PredictionBody body) noexcept;

}  // namespace barometra::python
