// fit_least_squares, linear_uncertainty and monte_carlo_summary: the Python
// face of the least-squares engine and its uncertainty tools. All three run
// attached to the interpreter; the first calls Python back for residuals.
#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "arguments.hpp"
#include "arrays.hpp"
#include "barometra/fit/covariance.hpp"
#include "barometra/fit/engine.hpp"
#include "errors.hpp"
#include "module.hpp"
#include "results.hpp"
#include "solver_arguments.hpp"

namespace barometra::python {

namespace {

std::unexpected<FitError> evaluation_failed(std::string message) {
  return std::unexpected(FitError::evaluation_failed(std::move(message)));
}

// The current Python exception as an EvaluationFailed "TypeName: text".
std::unexpected<FitError> evaluation_failed_from_exception() {
  PyRef exception = fetch_exception();
  if (!exception) return evaluation_failed("residual function failed");
  return evaluation_failed(describe_exception(exception.get(), "<exception str() failed>"));
}

// The caller's residual function seen as a core ResidualFunction. Each call
// gets its own new parameter array, so the callee may keep or change it.
class PythonResidual {
 public:
  explicit PythonResidual(PyObject* function) noexcept : function_(function) {}

  ResidualStatus operator()(std::span<const double> x, std::vector<double>& residuals) {
    const std::array<npy_intp, 1> shape{static_cast<npy_intp>(x.size())};
    PyRef parameters = new_array(x, shape);
    if (!parameters) return evaluation_failed_from_exception();
    PyRef result = PyRef::steal(PyObject_CallOneArg(function_, parameters.get()));
    if (!result) return evaluation_failed_from_exception();
    if (!PyArray_Check(result.get())) {
      return evaluation_failed(std::string("residual function must return a numpy.ndarray of "
                                           "dtype float64, not ") +
                               Py_TYPE(result.get())->tp_name);
    }
    auto* array = reinterpret_cast<PyArrayObject*>(result.get());
    if (PyArray_TYPE(array) != NPY_DOUBLE || !PyArray_ISNOTSWAPPED(array)) {
      PyRef dtype = PyRef::steal(PyObject_Str(reinterpret_cast<PyObject*>(PyArray_DESCR(array))));
      const char* name = dtype ? PyUnicode_AsUTF8(dtype.get()) : nullptr;
      if (name == nullptr) PyErr_Clear();
      return evaluation_failed(
          std::string("residual function must return a numpy.ndarray of dtype float64, not "
                      "numpy.ndarray of dtype ") +
          (name != nullptr ? name : "?"));
    }
    const ArrayView view(array);
    residuals.resize(static_cast<std::size_t>(view.size()));
    view.copy_to(residuals.data());
    return {};
  }

 private:
  PyObject* function_;  // borrowed for the call of fit_least_squares
};

// ---------------------------------------------------------------------------

constexpr const char* kFitName = "fit_least_squares";
constexpr std::array<const char*, 10> kFitArguments{
    "residual_function", "initial", "lower", "upper", "loss", "f_scale", "max_nfev",
    "global_parameter_count", "point_count", "latent_coordinate_count"};

struct FitArguments {
  PyObject* function = nullptr;
  std::array<PyArrayObject*, 3> vectors{};  // initial, lower, upper
  SolverArguments solver;  // loss, f_scale, max_nfev
  std::array<std::optional<std::uint64_t>, 3> counts;  // G, P, L
};

bool parse_fit_arguments(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                         FitArguments& out) noexcept {
  PyObject* objects[kFitArguments.size()];
  if (!parse_arguments(kFitName, kFitArguments, 4, args, nargs, kwnames, objects)) return false;
  out.function = objects[0];
  if (!PyCallable_Check(out.function)) {
    PyErr_Format(PyExc_TypeError, "%s() argument 'residual_function' must be callable, not %.200s",
                 kFitName, Py_TYPE(out.function)->tp_name);
    return false;
  }
  for (std::size_t i = 0; i < 3; ++i) {
    if (!parse_float64_array(objects[1 + i], kFitName, kFitArguments[1 + i], &out.vectors[i])) {
      return false;
    }
  }
  if (!out.solver.parse(objects + 4, kFitName)) return false;
  for (std::size_t i = 0; i < 3; ++i) {
    if (objects[7 + i] != nullptr &&
        !parse_optional_count(objects[7 + i], kFitName, kFitArguments[7 + i], &out.counts[i])) {
      return false;
    }
  }
  return true;
}

PyObject* fit_least_squares(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) noexcept {
  FitArguments a;
  if (!parse_fit_arguments(args, nargs, kwnames, a)) return nullptr;
  return guarded([&]() -> PyObject* {
    const std::vector<double> initial = flat_copy(a.vectors[0]), lower = flat_copy(a.vectors[1]),
                              upper = flat_copy(a.vectors[2]);
    const auto options = a.solver.options();
    if (!options) return raise_fit_error(options.error());

    const auto& [g, p, l] = a.counts;
    std::optional<StructuredLayout> layout;
    if (g && p && l) {
      layout = StructuredLayout{static_cast<std::size_t>(*g), static_cast<std::size_t>(*p),
                                static_cast<std::size_t>(*l)};
      if (layout->parameter_count() != initial.size()) {
        return raise_fit_error(
            FitError::invalid_input("structured layout does not match the parameter vector"));
      }
    } else if (g || p || l) {
      return raise_fit_error(FitError::invalid_input(
          "all structured least-squares dimensions must be supplied together"));
    }

    PythonResidual residual(a.function);
    auto solved = least_squares_internal(initial, lower, upper, *options, layout, residual);
    if (!solved) return raise_fit_error(solved.error());
    LeastSquaresRecord record{std::move(*solved),
                              layout ? layout->global_parameter_count : initial.size(), {}, {}};
    return wrap_least_squares_result(std::move(record));
  });
}

// ---------------------------------------------------------------------------

PyObject* linear_uncertainty(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames) noexcept {
  static constexpr const char* kName = "linear_uncertainty";
  static constexpr std::array<const char*, 4> kNames{"jacobian", "covariance", "state_variance",
                                                     "full_covariance"};
  PyObject* objects[kNames.size()];
  std::array<PyArrayObject*, 3> arrays;
  bool full = false;
  if (!parse_arguments(kName, kNames, 3, args, nargs, kwnames, objects)) return nullptr;
  for (std::size_t i = 0; i < arrays.size(); ++i) {
    if (!parse_float64_array(objects[i], kName, kNames[i], &arrays[i])) return nullptr;
  }
  if (objects[3] != nullptr && !parse_bool(objects[3], kName, kNames[3], &full)) return nullptr;
  return guarded([&]() -> PyObject* {
    if (PyArray_NDIM(arrays[0]) != 2) {
      return raise(python_validation_error("jacobian must be two-dimensional"));
    }
    const auto q = static_cast<std::size_t>(PyArray_DIM(arrays[0], 0));
    const auto p = static_cast<std::size_t>(PyArray_DIM(arrays[0], 1));
    auto propagated = propagate_linear_uncertainty(flat_copy(arrays[0]), q, p,
                                                   flat_copy(arrays[1]), flat_copy(arrays[2]),
                                                   full);
    if (!propagated) return raise_fit_error(propagated.error());
    return wrap_linear_propagation(std::move(*propagated));
  });
}

PyObject* monte_carlo_summary(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) noexcept {
  static constexpr const char* kName = "monte_carlo_summary";
  static constexpr std::array<const char*, 3> kNames{"samples", "confidence", "full_covariance"};
  PyObject* objects[kNames.size()];
  PyArrayObject* samples;
  double confidence;
  bool full = false;
  if (!parse_arguments(kName, kNames, 2, args, nargs, kwnames, objects) ||
      !parse_float64_array(objects[0], kName, kNames[0], &samples) ||
      !parse_double(objects[1], kName, kNames[1], &confidence) ||
      (objects[2] != nullptr && !parse_bool(objects[2], kName, kNames[2], &full))) {
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    if (PyArray_NDIM(samples) != 2) {
      return raise(python_validation_error("samples must be two-dimensional"));
    }
    auto summary = summarize_monte_carlo(
        flat_copy(samples), static_cast<std::size_t>(PyArray_DIM(samples, 0)),
        static_cast<std::size_t>(PyArray_DIM(samples, 1)), confidence, full);
    if (!summary) return raise_fit_error(summary.error());
    return wrap_monte_carlo_summary(std::move(*summary));
  });
}

}  // namespace

PyMethodDef fit_least_squares_def = {
    kFitName, fastcall<&fit_least_squares>(), METH_FASTCALL | METH_KEYWORDS,
    "fit_least_squares(residual_function, initial, lower, upper, loss=\"linear\", f_scale=1.0, "
    "max_nfev=None, global_parameter_count=None, point_count=None, "
    "latent_coordinate_count=None)\n--\n\n"
    "Private building block of barometra: bounded robust least squares.\n\n"
    "Minimises 0.5 * f_scale**2 * sum(rho((f / f_scale)**2)) of the residuals\n"
    "f = residual_function(x) within lower <= x <= upper by damped Gauss-Newton\n"
    "steps with a central-difference Jacobian (ftol = gtol = xtol = 1e-8).\n"
    "residual_function receives a new 1-D float64 array and must return a\n"
    "float64 ndarray of constant size (any shape, flattened). With the three\n"
    "layout counts, x holds G globals then L blocks of P latents, the residuals\n"
    "L + 1 blocks of P, and each point's rows may depend only on the globals\n"
    "and that point's latents. Returns a LeastSquaresResult."};

PyMethodDef linear_uncertainty_def = {
    "linear_uncertainty", fastcall<&linear_uncertainty>(), METH_FASTCALL | METH_KEYWORDS,
    "linear_uncertainty(jacobian, covariance, state_variance, full_covariance=False)\n--\n\n"
    "Private building block of barometra: delta-method propagation.\n\n"
    "Variances diag(J Sigma J^T) + state_variance of q derived quantities from\n"
    "their (q, p) Jacobian and the (p, p) parameter covariance, and the full\n"
    "(q, q) covariance when requested. Returns a LinearPropagation."};

PyMethodDef monte_carlo_summary_def = {
    "monte_carlo_summary", fastcall<&monte_carlo_summary>(), METH_FASTCALL | METH_KEYWORDS,
    "monte_carlo_summary(samples, confidence, full_covariance=False)\n--\n\n"
    "Private building block of barometra: Monte Carlo summary statistics.\n\n"
    "For (N, p) samples, one per row: sample standard deviations, central\n"
    "intervals of probability `confidence` by linear interpolation between\n"
    "order statistics, and the sample covariance when requested. Returns a\n"
    "MonteCarloSummary."};

}  // namespace barometra::python
