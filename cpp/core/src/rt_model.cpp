#include "barometra/isothermal/rt_model.hpp"

#include <algorithm>
#include <string>

namespace barometra {

namespace {

// Lifts a model-typed result into an RtModel-typed one.
template <class Model, class Error>
std::expected<RtModel, Error> lift(std::expected<Model, Error> result) {
  if (!result) return std::unexpected(std::move(result.error()));
  return RtModel(*result);
}

}  // namespace

std::expected<RtModel, EosError> RtModel::with_reference_state(double v0,
                                                               double k0) const noexcept {
  return visit([=](const auto& m) { return lift(m.with_reference_state(v0, k0)); });
}

std::expected<RtModel, EosError> RtModel::with_pressure_derivative_shift(
    double shift) const noexcept {
  return visit([=](const auto& m) { return lift(m.with_pressure_derivative_shift(shift)); });
}

std::expected<RtModel, FitError> RtModel::with_parameters(std::span<const std::string_view> names,
                                                          std::span<const double> values) const {
  if (names.size() != values.size()) {
    return std::unexpected(
        FitError::invalid_input("native EOS parameter names and values have different lengths"));
  }
  return visit([&](const auto& m) -> std::expected<RtModel, FitError> {
    using Model = std::remove_cvref_t<decltype(m)>;
    const auto& known = Model::kParameterNames;
    for (std::string_view name : names) {
      if (std::find(known.begin(), known.end(), name) == known.end()) {
        return std::unexpected(FitError::invalid_input(
            "parameter \"" + std::string(name) + "\" is unavailable for the native EOS"));
      }
    }
    auto current = m.parameters();
    for (std::size_t i = 0; i < known.size(); ++i) {
      const auto first = std::find(names.begin(), names.end(), std::string_view(known[i]));
      if (first != names.end()) current[i] = values[first - names.begin()];
    }
    auto rebuilt = Model::from_parameters(current);
    if (!rebuilt) return std::unexpected(FitError(rebuilt.error()));
    return RtModel(*rebuilt);
  });
}

}  // namespace barometra
