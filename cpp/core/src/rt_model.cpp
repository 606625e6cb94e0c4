#include "barometra/isothermal/rt_model.hpp"

#include "barometra/named_parameters.hpp"

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
  if (names.size() != values.size()) return std::unexpected(detail::parameter_lengths_differ());
  return visit([&](const auto& m) -> std::expected<RtModel, FitError> {
    using Model = std::remove_cvref_t<decltype(m)>;
    for (std::string_view name : names) {
      if (!detail::is_parameter_name(Model::kParameterNames, name)) {
        return std::unexpected(detail::unavailable_parameter(name));
      }
    }
    auto current = m.parameters();
    detail::take_named_values(Model::kParameterNames, names, values, current);
    auto rebuilt = Model::from_parameters(current);
    if (!rebuilt) return std::unexpected(FitError(rebuilt.error()));
    return RtModel(*rebuilt);
  });
}

}  // namespace barometra
