// The trailing arguments of the fitting functions, loss, f_scale and
// max_nfev, and the solver options they set.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string_view>

#include "arguments.hpp"
#include "barometra/fit/problem.hpp"

namespace barometra::python {

struct SolverArguments {
  std::string_view loss = "linear";  // valid while the call's arguments live
  double f_scale = 1.0;
  std::optional<std::uint64_t> max_nfev;

  // objects[0], [1] and [2] are loss, f_scale and max_nfev, null where
  // omitted. False with a TypeError or ValueError set.
  bool parse(PyObject* const* objects, const char* function) noexcept {
    return (objects[0] == nullptr || parse_str(objects[0], function, "loss", &loss)) &&
           (objects[1] == nullptr || parse_double(objects[1], function, "f_scale", &f_scale)) &&
           (objects[2] == nullptr ||
            parse_optional_count(objects[2], function, "max_nfev", &max_nfev));
  }

  // The options (ftol = gtol = xtol = 1e-8, SolverOptions' defaults), or the
  // error of an unknown loss.
  std::expected<SolverOptions, FitError> options() const {
    auto named = Loss::from_name(loss);
    if (!named) return std::unexpected(named.error());
    SolverOptions options;
    options.max_evaluations = max_nfev;
    options.f_scale = f_scale;
    options.loss = *named;
    return options;
  }
};

}  // namespace barometra::python
