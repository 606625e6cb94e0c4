#include "model_rows.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <new>
#include <utility>

#include "arguments.hpp"
#include "arrays.hpp"
#include "barometra/thermal/thermal_quantity.hpp"
#include "errors.hpp"
#include "worker_pool.hpp"

namespace barometra::python {

namespace {

using RtQuantity = std::pair<std::string_view, BatchOperation>;

constexpr std::array<RtQuantity, 5> kRtQuantities{{
    {"pressure", BatchOperation::Pressure},
    {"volume", BatchOperation::Volume},
    {"bulk_modulus", BatchOperation::BulkModulus},
    {"bulk_modulus_pressure_derivative", BatchOperation::BulkModulusPressureDerivative},
    {"bulk_modulus_second_pressure_derivative",
     BatchOperation::BulkModulusSecondPressureDerivative},
}};

// An isothermal quantity of the parameters alone, the same at every state.
constexpr std::string_view kImpliedK0DoublePrime = "implied_k0_double_prime";

// The states, copied so that the rows can be evaluated detached. A thermal
// quantity of the volume alone reads it as both inputs.
struct States {
  std::vector<double> first, second;
  std::size_t size() const noexcept { return first.size(); }
};

// Evaluates one row: the model rebuilt from the start with the row's
// values, then the quantity at every state (an isothermal model's through
// its batch kernels, which give the scalar operations' bits).
struct RowEvaluator {
  const RebuiltModel& start;
  std::vector<std::string_view> names;
  const States& states;
  BatchOperation rt_operation{};
  bool implied_k0_double_prime = false;
  ThermalQuantity thermal_quantity{};

  std::optional<FitError> operator()(std::span<const double> parameters,
                                     std::span<double> values) const {
    if (const auto* rt = std::get_if<RtModel>(&start)) {
      auto model = rt->with_parameters(names, parameters);
      if (!model) return std::move(model.error());
      if (implied_k0_double_prime) {
        const auto implied = model->implied_k0_double_prime();
        if (!implied) return FitError::invalid_input("the model's K0'' is not implied by its form");
        std::ranges::fill(values, *implied);
        return std::nullopt;
      }
      if (auto failure = evaluate_batch(*model, rt_operation, states.first, values)) {
        return FitError(failure->error);
      }
      return std::nullopt;
    }
    auto model = std::get<ThermalModel>(start).with_parameters(names, parameters);
    if (!model) return std::move(model.error());
    for (std::size_t i = 0; i < values.size(); ++i) {
      const Result value = *model->evaluate(thermal_quantity, states.first[i], states.second[i]);
      if (!value) return FitError(value.error());
      values[i] = *value;
    }
    return std::nullopt;
  }
};

// Rows of a thermal model are costly enough to share out at once; an
// isothermal model's from this many evaluations.
constexpr std::size_t kParallelEvaluations = 512;

// Evaluates every row, detached, on the worker pool when that pays. Rows fill
// their own slots, so the results do not depend on the scheduling.
void evaluate_rows(const RowEvaluator& row, bool thermal, std::span<const double> parameters,
                   std::span<double> values, std::span<std::optional<FitError>> failures) {
  const std::size_t rows = failures.size(), q = row.states.size();
  const std::size_t k = row.names.size();
  std::atomic<bool> out_of_memory{false};
  auto run = [&](std::size_t begin, std::size_t end) noexcept {
    for (std::size_t r = begin; r < end; ++r) {
      try {
        failures[r] = row(parameters.subspan(r * k, k), values.subspan(r * q, q));
      } catch (const std::bad_alloc&) {  // the one exception the core may throw
        out_of_memory.store(true, std::memory_order_relaxed);
      }
    }
  };
  WorkerPool* pool = nullptr;
  if (rows > 1 && (thermal || rows * q >= kParallelEvaluations)) pool = &WorkerPool::instance();
  {
    Detached detached;
    if (pool == nullptr) {
      run(0, rows);
    } else {
      auto body = [&](std::size_t, std::size_t begin, std::size_t end) noexcept {
        run(begin, end);
      };
      pool->parallel_for(rows, std::min(rows, 4 * (pool->worker_count() + 1)), body);
    }
  }
  if (out_of_memory.load(std::memory_order_relaxed)) throw std::bad_alloc();
}

// The evaluator of the requested quantity, or nothing with the exception set.
std::optional<RowEvaluator> evaluator(const RebuiltModel& start,
                                      std::span<const std::string> names,
                                      const PredictionArguments& a, const States& states) {
  RowEvaluator row{start, {names.begin(), names.end()}, states};
  if (std::holds_alternative<RtModel>(start)) {
    const auto known = std::ranges::find(kRtQuantities, a.quantity, &RtQuantity::first);
    const bool implied = a.quantity == kImpliedK0DoublePrime;
    if (known != kRtQuantities.end() || implied) {
      if (a.second != nullptr) {
        raise(python_validation_error("an isothermal quantity takes one state array"));
        return std::nullopt;
      }
      if (known != kRtQuantities.end()) row.rt_operation = known->second;
      row.implied_k0_double_prime = implied;
      return row;
    }
  } else {
    const auto quantity = thermal_quantity_named(a.quantity);
    if (quantity && std::get<ThermalModel>(start).provides(*quantity)) {
      row.thermal_quantity = *quantity;
      return row;
    }
  }
  raise(python_unsupported_error("quantity '" + std::string(a.quantity) +
                                 "' is unavailable for this model"));
  return std::nullopt;
}

// The states as flat copies, or nothing with the exception set when the two
// arrays differ in shape.
std::optional<States> copy_states(const PredictionArguments& a) {
  if (a.second != nullptr && !ArrayView(a.first).same_shape(ArrayView(a.second))) {
    raise(python_validation_error(kShapeMismatchMessage));
    return std::nullopt;
  }
  States states{flat_copy(a.first), {}};
  states.second = a.second != nullptr ? flat_copy(a.second) : states.first;
  return states;
}

}  // namespace

bool parse_prediction(PyObject* const* objects, const char* function,
                      PredictionArguments& out) noexcept {
  return parse_str(objects[0], function, "quantity", &out.quantity) &&
         parse_float64_array(objects[1], function, "first", &out.first) &&
         parse_optional_float64_array(objects[2], function, "second", &out.second);
}

PyObject* raise_prediction_error(const FitError& error) {
  if (const EosError* eos = error.eos_error()) return raise_eos_error(*eos);
  return raise_fit_error(error);
}

PyObject* run_prediction(const RebuiltModel& start, std::span<const std::string> names,
                         const PredictionArguments& a, PredictionBody body) noexcept {
  return guarded([&]() -> PyObject* {
    const auto states = copy_states(a);
    if (!states) return nullptr;
    const auto row = evaluator(start, names, a, *states);
    if (!row) return nullptr;
    const bool thermal = std::holds_alternative<ThermalModel>(start);
    auto rows = [&](std::span<const double> parameters, std::span<double> values,
                    std::span<std::optional<FitError>> failures) {
      evaluate_rows(*row, thermal, parameters, values, failures);
    };
    return body(QuantityRows(rows), states->size());
  });
}

}  // namespace barometra::python
