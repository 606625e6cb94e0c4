// Replacing a model's parameters by native name, as fits do: names match
// exactly, case included; a repeated name takes its first value and a
// parameter that is not named keeps its own.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "barometra/error.hpp"

namespace barometra::detail {

inline FitError parameter_lengths_differ() {
  return FitError::invalid_input("native EOS parameter names and values have different lengths");
}

inline FitError unavailable_parameter(std::string_view name) {
  return FitError::invalid_input("parameter \"" + std::string(name) +
                                 "\" is unavailable for the native EOS");
}

template <std::size_t N>
constexpr bool is_parameter_name(const std::array<const char*, N>& known,
                                 std::string_view name) noexcept {
  return std::find(known.begin(), known.end(), name) != known.end();
}

// current[i], the value of known[i], becomes the value paired with the first
// occurrence of that name in `names`, if any.
template <std::size_t N>
void take_named_values(const std::array<const char*, N>& known,
                       std::span<const std::string_view> names, std::span<const double> values,
                       std::array<double, N>& current) noexcept {
  for (std::size_t i = 0; i < N; ++i) {
    const auto first = std::find(names.begin(), names.end(), std::string_view(known[i]));
    if (first != names.end()) current[i] = values[first - names.begin()];
  }
}

}  // namespace barometra::detail
