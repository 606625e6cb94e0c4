#include "barometra/thermal/thermal_model.hpp"

#include <array>
#include <string_view>
#include <tuple>
#include <vector>

#include "barometra/named_parameters.hpp"

namespace barometra {

namespace {

// Rebuilds a model of the same kind from new values (in kParameterNames
// order) over a new reference EOS, through its constructor. Models with
// options have overloads below that keep them.
template <class Model, class R, std::size_t N>
std::expected<Model, EosError> rebuild(const Model&, R reference,
                                       const std::array<double, N>& values) noexcept {
  return std::apply(
      [&](auto... value) noexcept { return Model::create(std::move(reference), value...); },
      values);
}

// Cvmax is passed as stored, so a default 3nR stays the value it was.
template <class R>
std::expected<MieGruneisenDebye<R>, EosError> rebuild(const MieGruneisenDebye<R>& model,
                                                      R reference,
                                                      const std::array<double, 6>& values) noexcept {
  const auto [tr, theta0, gamma0, q, n, cvmax] = values;
  return MieGruneisenDebye<R>::create(std::move(reference), tr, theta0, gamma0, q, n,
                                      model.debye_temperature_law(),
                                      model.thermal_pressure_reference(), cvmax);
}

template <class R>
std::expected<Dewaele2006<R>, EosError> rebuild(const Dewaele2006<R>& model, R reference,
                                                const std::array<double, 10>& values) noexcept {
  return std::apply(
      [&](auto... value) noexcept {
        return Dewaele2006<R>::create(std::move(reference), value...,
                                      model.thermal_pressure_reference(),
                                      model.zero_point_pressure());
      },
      values);
}

// Applies the temperature laws again, betas included.
template <class R>
std::expected<ThermalReferenceState<R>, EosError> rebuild(
    const ThermalReferenceState<R>& model, R reference,
    const std::array<double, 9>& values) noexcept {
  return model.rebuild(std::move(reference), values);
}

std::expected<RtModel, FitError> reference_with(const RtModel& reference,
                                                std::span<const std::string_view> names,
                                                std::span<const double> values) {
  return reference.with_parameters(names, values);
}

// The same rules as any RtModel; the result is still a ModifiedTait.
std::expected<ModifiedTait, FitError> reference_with(const ModifiedTait& reference,
                                                     std::span<const std::string_view> names,
                                                     std::span<const double> values) {
  auto rebuilt = RtModel(reference).with_parameters(names, values);
  if (!rebuilt) return std::unexpected(std::move(rebuilt.error()));
  return *rebuilt->get_if<ModifiedTait>();
}

template <std::size_t N>
std::optional<double> named_value(const std::array<const char*, N>& known,
                                  const std::array<double, N>& values,
                                  std::string_view name) noexcept {
  for (std::size_t i = 0; i < N; ++i) {
    if (name == known[i]) return values[i];
  }
  return std::nullopt;
}

template <class Model>
std::optional<double> parameter_of(const Model& model, std::string_view name) noexcept {
  if constexpr (std::is_same_v<Model, RtModel>) {
    return std::visit([name](const auto& m) { return parameter_of(m, name); }, model.variant());
  } else {
    return named_value(Model::kParameterNames, model.parameters(), name);
  }
}

}  // namespace

std::optional<double> ThermalModel::parameter(std::string_view name) const noexcept {
  return visit([name](const auto& m) {
    if (name.starts_with(kReferencePrefix)) {
      return parameter_of(m.reference_eos(), name.substr(kReferencePrefix.size()));
    }
    return parameter_of(m, name);
  });
}

std::expected<ThermalModel, FitError> ThermalModel::with_parameters(
    std::span<const std::string_view> names, std::span<const double> values) const {
  if (names.size() != values.size()) return std::unexpected(detail::parameter_lengths_differ());
  std::vector<std::string_view> reference_names;
  std::vector<double> reference_values;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i].starts_with(kReferencePrefix)) {
      reference_names.push_back(names[i].substr(kReferencePrefix.size()));
      reference_values.push_back(values[i]);
    }
  }
  return visit([&](const auto& m) -> std::expected<ThermalModel, FitError> {
    using Model = std::remove_cvref_t<decltype(m)>;
    auto reference = reference_with(m.reference_eos(), reference_names, reference_values);
    if (!reference) return std::unexpected(std::move(reference.error()));
    for (std::string_view name : names) {
      if (!name.starts_with(kReferencePrefix) &&
          !detail::is_parameter_name(Model::kParameterNames, name)) {
        return std::unexpected(detail::unavailable_parameter(name));
      }
    }
    // No native thermal name starts with the prefix, so the prefixed names
    // never match here.
    auto current = m.parameters();
    detail::take_named_values(Model::kParameterNames, names, values, current);
    auto rebuilt = rebuild(m, std::move(*reference), current);
    if (!rebuilt) return std::unexpected(FitError(rebuilt.error()));
    return ThermalModel(std::move(*rebuilt));
  });
}

}  // namespace barometra
