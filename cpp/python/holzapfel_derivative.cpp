// holzapfel_derivative_analytical: the closed-form dK/dP of the Holzapfel form.
#include <array>

#include "arguments.hpp"
#include "barometra/isothermal/holzapfel.hpp"
#include "errors.hpp"
#include "module.hpp"

namespace barometra::python {

namespace {

PyObject* holzapfel_derivative_analytical(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                          PyObject* kwnames) noexcept {
  static constexpr const char* kName = "holzapfel_derivative_analytical";
  static constexpr std::array<const char*, 6> kNames{"v0", "volume", "bulk_modulus",
                                                     "k0", "c0",     "c2"};
  PyObject* objects[kNames.size()];
  std::array<double, kNames.size()> values;
  if (!parse_arguments(kName, kNames, args, nargs, kwnames, objects)) return nullptr;
  for (std::size_t i = 0; i < kNames.size(); ++i) {
    if (!parse_double(objects[i], kName, kNames[i], &values[i])) return nullptr;
  }
  const Result result = holzapfel_bulk_modulus_derivative_analytical(
      values[0], values[1], values[2], values[3], values[4], values[5]);
  if (!result) return guarded([&] { return raise_eos_error(result.error()); });
  return PyFloat_FromDouble(*result);
}

}  // namespace

PyMethodDef holzapfel_derivative_analytical_def = {
    "holzapfel_derivative_analytical",
    fastcall<&holzapfel_derivative_analytical>(),
    METH_FASTCALL | METH_KEYWORDS,
    "holzapfel_derivative_analytical(v0, volume, bulk_modulus, k0, c0, c2)\n--\n\n"
    "Closed-form dK/dP of the Holzapfel AP2 form at a volume, given the bulk\n"
    "modulus there and the model's V0, K0, c0 and c2."};

}  // namespace barometra::python
