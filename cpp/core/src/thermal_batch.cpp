#include "barometra/thermal/thermal_batch.hpp"

#include <cassert>
#include <cstddef>
#include <optional>
#include <type_traits>
#include <variant>

namespace barometra {

namespace {

template <class Element>
BatchResult batch_loop(std::size_t n, Element element, double* out) noexcept {
  for (std::size_t i = 0; i < n; ++i) {
    const Result r = element(i);
    if (!r) return BatchFailure{i, r.error()};
    out[i] = *r;
  }
  return std::nullopt;
}

// The Hugoniot's origin depends on T0 alone, so it is solved once for each run
// of equal T0; every element gets the checks and values of the scalar operation.
template <class Model>
BatchResult hugoniot_batch(const Model& m, ThermalQuantity quantity,
                           std::span<const double> volumes, std::span<const double> t0,
                           std::span<double> out) noexcept {
  std::optional<HugoniotOrigin> origin;
  return batch_loop(
      out.size(),
      [&](std::size_t i) noexcept -> Result {
        if (auto e = check_volume(volumes[i])) return std::unexpected(*e);
        if (!origin || !(origin->temperature == t0[i])) {
          auto solved = hugoniot_origin(m, t0[i]);
          if (!solved) return std::unexpected(solved.error());
          origin = *solved;
        }
        auto state = hugoniot_state(m, *origin, volumes[i]);
        if (!state) return std::unexpected(state.error());
        return quantity == ThermalQuantity::hugoniot_pressure ? state->pressure
                                                              : state->temperature;
      },
      out.data());
}

}  // namespace

BatchResult thermal_quantity_batch(const ThermalModel& model, ThermalQuantity quantity,
                                   std::span<const double> first, std::span<const double> second,
                                   std::span<double> out) noexcept {
  assert(first.size() == out.size() && second.size() == out.size());
  assert(model.provides(quantity));
  if (quantity == ThermalQuantity::hugoniot_pressure ||
      quantity == ThermalQuantity::hugoniot_temperature) {
    return std::visit(
        [&](const auto& m) {
          if constexpr (HasPrincipalHugoniot<std::remove_cvref_t<decltype(m)>>) {
            return hugoniot_batch(m, quantity, first, second, out);
          } else {
            return BatchResult{};  // excluded by the precondition
          }
        },
        model.variant());
  }
  return std::visit(
      [&](const auto& m) {
        using Model = std::remove_cvref_t<decltype(m)>;
        return visit_thermal_operation(quantity, [&]<class Call>(Call call) noexcept {
          if constexpr (std::is_invocable_v<Call, const Model&, double, double>) {
            return batch_loop(
                out.size(),
                [&](std::size_t i) noexcept { return call(m, first[i], second[i]); },
                out.data());
          } else {
            return BatchResult{};  // excluded by the precondition
          }
        });
      },
      model.variant());
}

BatchResult volume_with_dac_confinement_batch(const ThermalModel& model,
                                              std::span<const double> cold_pressures,
                                              std::span<const double> temperatures, double f_dac,
                                              std::span<double> volumes) noexcept {
  assert(cold_pressures.size() == volumes.size() && temperatures.size() == volumes.size());
  return std::visit(
      [&](const auto& m) {
        return batch_loop(
            volumes.size(),
            [&](std::size_t i) noexcept {
              return m.volume_with_dac_confinement(cold_pressures[i], temperatures[i], f_dac);
            },
            volumes.data());
      },
      model.variant());
}

}  // namespace barometra
