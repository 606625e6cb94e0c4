// The model table the extension publishes as barometra._engine.model_table:
// one entry per model class of the package (names, parameters with their
// defaults and options, quantities, documentation), from which the package
// builds its classes and the command line its choices. Each family's file
// fills its entries from the tables its constructors already use.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "py_ref.hpp"

namespace barometra::python {

// One argument of a static constructor: its Python name and its default.
struct Argument {
  enum class Default : std::uint8_t { none, number, text, null };  // none: required
  const char* name;
  Default kind = Default::none;
  double number = 0.0;         // the default of Default::number
  const char* text = nullptr;  // the default of Default::text
  std::span<const std::string_view> options = {};  // the strings an option accepts
};

constexpr Argument number_argument(const char* name, double value) {
  return {name, Argument::Default::number, value};
}
constexpr Argument option_argument(const char* name, const char* value,
                                   std::span<const std::string_view> options) {
  return {name, Argument::Default::text, 0.0, value, options};
}
constexpr Argument optional_argument(const char* name) {
  return {name, Argument::Default::null};
}

// The names of `arguments`, for parse_arguments.
template <std::size_t N>
constexpr std::array<const char*, N> argument_names(const std::array<Argument, N>& arguments) {
  std::array<const char*, N> names{};
  for (std::size_t i = 0; i < N; ++i) names[i] = arguments[i].name;
  return names;
}

// The native parameter names `Native` (an array of C strings) in lower case,
// "K0_prime" -> "k0_prime": the Python names of the parameters.
template <const auto& Native>
struct LowerCaseNames {
 private:
  static constexpr std::size_t kLength = [] {
    std::size_t length = 0;
    for (const char* name : Native) length += std::string_view(name).size() + 1;
    return length;
  }();
  static constexpr std::array<char, kLength> kText = [] {
    std::array<char, kLength> text{};
    std::size_t at = 0;
    for (const char* name : Native) {
      for (const char c : std::string_view(name)) {
        text[at++] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
      }
      text[at++] = '\0';
    }
    return text;
  }();

 public:
  static constexpr std::array<const char*, Native.size()> kNames = [] {
    std::array<const char*, Native.size()> names{};
    std::size_t at = 0;
    for (std::size_t i = 0; i < Native.size(); ++i) {
      names[i] = kText.data() + at;
      at += std::string_view(Native[i]).size() + 1;
    }
    return names;
  }();
};

// True when `name` is `native` in lower case ("k0_prime" and "K0_prime").
constexpr bool is_lower_case_of(std::string_view name, std::string_view native) {
  if (name.size() != native.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = native[i];
    if (name[i] != (c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c)) return false;
  }
  return true;
}

// True when the arguments name every native parameter in lower case, in the
// same order; other arguments (rt_eos, options) may stand between them.
template <std::size_t N, std::size_t M>
constexpr bool covers_native_names(const std::array<Argument, N>& arguments,
                                   const std::array<const char*, M>& native) {
  std::size_t next = 0;
  for (const Argument& argument : arguments) {
    if (next < M && is_lower_case_of(argument.name, native[next])) ++next;
  }
  return next == M;
}

// Required arguments: `leading`, then the native parameters `Native` in lower case.
template <const auto& Native, std::size_t L = 0>
constexpr std::array<Argument, L + Native.size()> lower_case_arguments(
    std::array<const char*, L> leading = {}) {
  std::array<Argument, L + Native.size()> arguments{};
  for (std::size_t i = 0; i < L; ++i) arguments[i] = {leading[i]};
  for (std::size_t i = 0; i < Native.size(); ++i) {
    arguments[L + i] = {LowerCaseNames<Native>::kNames[i]};
  }
  return arguments;
}

// "name(a, b, c=0.0, d=\"x\", e=None)\n--\n\nsummary": a constructor's
// docstring with its text signature. Throws std::bad_alloc.
std::string constructor_doc(const char* name, std::span<const Argument> arguments,
                            const char* summary);

// What the package documents of one parameter: its description, and whether
// it is a constant of the material or the model (atoms per formula unit, a
// reference temperature) that a fit holds fixed unless asked to vary it.
struct ParameterDoc {
  std::string_view name;  // the Python name
  const char* description;
  bool constant = false;
};

// The doc of `name`: from `own` if there, else from `common`; null if neither.
constexpr const ParameterDoc* find_parameter_doc(std::string_view name,
                                                 std::span<const ParameterDoc> own,
                                                 std::span<const ParameterDoc> common) noexcept {
  for (const ParameterDoc& doc : own) {
    if (doc.name == name) return &doc;
  }
  for (const ParameterDoc& doc : common) {
    if (doc.name == name) return &doc;
  }
  return nullptr;
}

// A model class of the package: its names and its documentation.
struct ClassDoc {
  const char* class_name;  // "BirchMurnaghan3"
  const char* alias;       // "BM3", or null
  const char* summary;     // the docstring's first line
  const char* details;     // the rest: equations, paper, examples (may be empty)
};

// One quantity a model evaluates and the state values it takes, in order.
// The last state values may be optional: `defaults` names, for each, the
// native parameter whose value it takes when not given.
struct PublishedQuantity {
  const char* name;
  std::span<const char* const> arguments;
  std::span<const char* const> defaults = {};
};

// One parameter of a model class as published: `native` is the fitting name
// (null for options and the reference isotherm); `doc` gives the rest.
struct PublishedParameter {
  const Argument* argument;
  const char* native;
  const ParameterDoc* doc;
};

struct PublishedModel {
  const char* family;       // "isothermal", "thermal" or "hugoniot"
  const char* constructor;  // the engine's static constructor
  const char* model_name;   // the engine's model name
  const ClassDoc* doc;
  std::vector<PublishedParameter> parameters;
  std::vector<PublishedQuantity> quantities;
  const char* reference_model = nullptr;  // the model name a thermal reference must have
};

// The published form of one model: a dict (see the package's eos._table).
// Null with an error set on failure.
PyRef publish_model(const PublishedModel& model) noexcept;

// Each family's entries appended to `table` (a list); -1 with an error set.
int publish_rt_models(PyObject* table) noexcept;
int publish_thermal_models(PyObject* table) noexcept;
int publish_hugoniot_models(PyObject* table) noexcept;

// Adds model_table (a tuple, not in __all__) to the module; -1 with an error set.
int register_model_table(PyObject* module) noexcept;

}  // namespace barometra::python
