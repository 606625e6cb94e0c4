#include "results.hpp"

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "arrays.hpp"
#include "errors.hpp"
#include "model_object.hpp"
#include "module.hpp"

namespace barometra::python {

namespace {

// Created once per process and never released, like RtEos.
PyTypeObject* g_least_squares_type = nullptr;
PyTypeObject* g_linear_propagation_type = nullptr;
PyTypeObject* g_monte_carlo_type = nullptr;

PyObject* optional_square_array(const std::optional<std::vector<double>>& values,
                                std::size_t order) noexcept {
  if (!values) Py_RETURN_NONE;
  return square_array(*values, order);
}

// The Python value of a record's member.
PyObject* to_python(double value) noexcept { return PyFloat_FromDouble(value); }
PyObject* to_python(std::uint64_t value) noexcept { return PyLong_FromUnsignedLongLong(value); }
PyObject* to_python(std::int32_t value) noexcept { return PyLong_FromLong(value); }
PyObject* to_python(bool value) noexcept { return PyBool_FromLong(value); }
PyObject* to_python(std::string_view text) noexcept {
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}
PyObject* to_python(const std::vector<double>& values) noexcept { return vector_array(values); }

template <class Member>
struct MemberOf;
template <class Record, class T>
struct MemberOf<T Record::*> {
  using type = Record;
};

// The getter of a member of the record the object holds, reached through
// the members given in turn (a LeastSquaresRecord's solver, then its x).
template <auto First, auto... Rest>
PyObject* member(PyObject* self, void*) noexcept {
  using Record = typename MemberOf<decltype(First)>::type;
  return to_python(((model_in<Record>(self).*First) .* ... .* Rest));
}

// ---------------------------------------------------------------------------
// LeastSquaresResult

const SolverResult& solver_of(PyObject* self) noexcept {
  return model_in<LeastSquaresRecord>(self).solver;
}

template <auto Member>
constexpr getter kSolverMember = &member<&LeastSquaresRecord::solver, Member>;

// The dense m x n matrix is built only here: a structured fit keeps its
// Jacobian compact, which at many points is far smaller.
PyObject* lsq_jac(PyObject* self, void*) noexcept {
  const Jacobian& jac = solver_of(self).jac;
  const std::array<npy_intp, 2> shape{static_cast<npy_intp>(jac.rows()),
                                      static_cast<npy_intp>(jac.cols())};
  std::size_t size;
  if (__builtin_mul_overflow(jac.rows(), jac.cols(), &size) ||
      size > static_cast<std::size_t>(PY_SSIZE_T_MAX) / sizeof(double)) {
    return PyErr_NoMemory();
  }
  PyRef array = PyRef::steal(PyArray_ZEROS(2, const_cast<npy_intp*>(shape.data()), NPY_DOUBLE, 0));
  if (!array) return nullptr;
  jac.write_dense(std::span(array_data(array), size));
  return array.release();
}

PyObject* lsq_predicted_pressure(PyObject* self, void*) noexcept {
  const auto& predicted = model_in<LeastSquaresRecord>(self).predicted_pressure;
  if (!predicted) Py_RETURN_NONE;
  return vector_array(*predicted);
}

PyObject* lsq_parameter_covariance(PyObject* self, void*) noexcept {
  const LeastSquaresRecord& record = model_in<LeastSquaresRecord>(self);
  const std::size_t k = record.leading_count;
  if (record.parameter_covariance) return square_array(*record.parameter_covariance, k);
  return guarded([&]() -> PyObject* {
    const Jacobian& jac = record.solver.jac;
    auto covariance = jac.layout()
                          ? parameter_covariance_structured(jac)
                          : parameter_covariance(jac.to_dense(), jac.rows(), jac.cols(), k);
    if (!covariance) return raise(to_python_fit_error(covariance.error()));
    return square_array(*covariance, k);
  });
}

PyObject* lsq_eos_fit(PyObject* self, void*) noexcept {
  PyObject* eos_fit = model_in<LeastSquaresRecord>(self).eos_fit.get();
  if (eos_fit == nullptr) Py_RETURN_NONE;
  return Py_NewRef(eos_fit);
}

PyObject* lsq_repr(PyObject* self) noexcept {
  const SolverResult& r = solver_of(self);
  PyRef cost = PyRef::steal(PyFloat_FromDouble(r.cost));
  if (!cost) return nullptr;
  return PyUnicode_FromFormat("LeastSquaresResult(status=%d, success=%s, cost=%R, nfev=%llu, njev=%llu)",
                              static_cast<int>(r.status), r.success ? "True" : "False",
                              cost.get(), static_cast<unsigned long long>(r.nfev),
                              static_cast<unsigned long long>(r.njev));
}

PyGetSetDef g_least_squares_getset[] = {
    {"x", kSolverMember<&SolverResult::x>, nullptr, "Final parameter vector (n).", nullptr},
    {"fun", kSolverMember<&SolverResult::fun>, nullptr, "Residuals at x (m).", nullptr},
    {"jac", &lsq_jac, nullptr,
     "Finite-difference Jacobian at the reported point, shape (m, n), rows scaled for the "
     "robust loss.",
     nullptr},
    {"cost", kSolverMember<&SolverResult::cost>, nullptr, "Robust cost at x.", nullptr},
    {"nfev", kSolverMember<&SolverResult::nfev>, nullptr,
     "Residual evaluations of the iteration (finite differences not counted).", nullptr},
    {"njev", kSolverMember<&SolverResult::njev>, nullptr, "Jacobian evaluations.", nullptr},
    {"status", kSolverMember<&SolverResult::status>, nullptr,
     "0: budget exhausted or no acceptable step; 1: gtol; 2: ftol; 3: xtol; 4: ftol and xtol.",
     nullptr},
    {"message", kSolverMember<&SolverResult::message>, nullptr, "Why the iteration stopped.",
     nullptr},
    {"success", kSolverMember<&SolverResult::success>, nullptr, "True for status 1 to 4.",
     nullptr},
    {"optimality", kSolverMember<&SolverResult::optimality>, nullptr,
     "Projected gradient norm of the last Jacobian.", nullptr},
    {"predicted_pressure", &lsq_predicted_pressure, nullptr,
     "Pressure predictions are present for end-to-end native EOS fits.", nullptr},
    {"parameter_covariance", &lsq_parameter_covariance, nullptr,
     "Leading model-parameter covariance after profiling latent coordinates.", nullptr},
    {"eos_fit", &lsq_eos_fit, nullptr,
     "The statistics and the fitted model of a native EOS fit (EosFitResult), else None.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// ---------------------------------------------------------------------------
// LinearPropagation and MonteCarloSummary

PyObject* propagation_covariance(PyObject* self, void*) noexcept {
  const LinearPropagation& p = model_in<LinearPropagation>(self);
  return optional_square_array(p.covariance, p.variance.size());
}

PyGetSetDef g_linear_propagation_getset[] = {
    {"variance", &member<&LinearPropagation::variance>, nullptr, "Variance of each derived quantity (q).",
     nullptr},
    {"covariance", &propagation_covariance, nullptr,
     "Covariance of the derived quantities (q x q), or None when not requested.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyObject* summary_covariance(PyObject* self, void*) noexcept {
  const MonteCarloSummary& s = model_in<MonteCarloSummary>(self);
  return optional_square_array(s.covariance, s.lower.size());
}

PyGetSetDef g_monte_carlo_getset[] = {
    {"lower", &member<&MonteCarloSummary::lower>, nullptr, "Lower ends of the central intervals (p).", nullptr},
    {"upper", &member<&MonteCarloSummary::upper>, nullptr, "Upper ends of the central intervals (p).", nullptr},
    {"standard_error", &member<&MonteCarloSummary::standard_error>, nullptr,
     "Sample standard deviation of each variable (p).", nullptr},
    {"covariance", &summary_covariance, nullptr,
     "Sample covariance (p x p), or None when not requested.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyTypeObject* least_squares_type() noexcept {
  return cached_model_type<LeastSquaresRecord>(
      g_least_squares_type, "barometra._engine.LeastSquaresResult",
      "Private SciPy-compatible view of a native least-squares result.", &lsq_repr, nullptr,
      g_least_squares_getset);
}

PyTypeObject* linear_propagation_type() noexcept {
  return cached_model_type<LinearPropagation>(
      g_linear_propagation_type, "barometra._engine.LinearPropagation",
      "Private result of native delta-method covariance propagation.", nullptr, nullptr,
      g_linear_propagation_getset);
}

PyTypeObject* monte_carlo_type() noexcept {
  return cached_model_type<MonteCarloSummary>(
      g_monte_carlo_type, "barometra._engine.MonteCarloSummary",
      "Private result of native Monte Carlo summary statistics.", nullptr, nullptr,
      g_monte_carlo_getset);
}

}  // namespace

PyObject* vector_array(std::span<const double> values) noexcept {
  const std::array<npy_intp, 1> shape{static_cast<npy_intp>(values.size())};
  return new_array(values, shape).release();
}

PyObject* square_array(std::span<const double> values, std::size_t order) noexcept {
  const std::array<npy_intp, 2> shape{static_cast<npy_intp>(order),
                                      static_cast<npy_intp>(order)};
  return new_array(values, shape).release();
}

int register_result_classes(PyObject* module) noexcept {
  const std::array<std::pair<const char*, PyTypeObject*>, 3> classes{{
      {"LeastSquaresResult", least_squares_type()},
      {"LinearPropagation", linear_propagation_type()},
      {"MonteCarloSummary", monte_carlo_type()},
  }};
  for (const auto& [name, type] : classes) {
    if (add_type(module, name, type) < 0) return -1;
  }
  return 0;
}

PyObject* wrap_least_squares_result(LeastSquaresRecord&& record) noexcept {
  return new_model_object(least_squares_type(), std::move(record));
}

PyObject* wrap_linear_propagation(LinearPropagation&& propagation) noexcept {
  return new_model_object(linear_propagation_type(), std::move(propagation));
}

PyObject* wrap_monte_carlo_summary(MonteCarloSummary&& summary) noexcept {
  return new_model_object(monte_carlo_type(), std::move(summary));
}

}  // namespace barometra::python
