#include "model_table.hpp"

#include <utility>

#include "number_format.hpp"

namespace barometra::python {

std::string constructor_doc(const char* name, std::span<const Argument> arguments,
                            const char* summary) {
  std::string doc = name;
  doc += '(';
  for (const Argument& argument : arguments) {
    if (&argument != arguments.data()) doc += ", ";
    doc += argument.name;
    switch (argument.kind) {
      case Argument::Default::none: break;
      case Argument::Default::number: doc += '=' + format_shortest(argument.number); break;
      case Argument::Default::text: doc.append("=\"").append(argument.text) += '"'; break;
      case Argument::Default::null: doc += "=None"; break;
    }
  }
  return doc.append(")\n--\n\n").append(summary);
}

namespace {

// A read-only view of a new dict, so that no reader changes what the next one reads.
PyRef frozen(PyRef dict) noexcept {
  if (!dict) return dict;
  return PyRef::steal(PyDictProxy_New(dict.get()));
}

PyRef text_or_none(const char* text) noexcept {
  return text == nullptr ? PyRef::borrow(Py_None) : PyRef::steal(PyUnicode_FromString(text));
}

// A tuple of str from C strings.
PyRef texts(std::span<const char* const> items) noexcept {
  PyRef tuple = PyRef::steal(PyTuple_New(static_cast<Py_ssize_t>(items.size())));
  if (!tuple) return tuple;
  for (std::size_t i = 0; i < items.size(); ++i) {
    PyObject* item = PyUnicode_FromString(items[i]);
    if (item == nullptr) return {};
    PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(i), item);
  }
  return tuple;
}

PyRef default_value(const Argument& argument) noexcept {
  switch (argument.kind) {
    case Argument::Default::number: return PyRef::steal(PyFloat_FromDouble(argument.number));
    case Argument::Default::text: return PyRef::steal(PyUnicode_FromString(argument.text));
    default: return PyRef::borrow(Py_None);
  }
}

PyRef publish_parameter(const PublishedParameter& parameter) noexcept {
  const Argument& argument = *parameter.argument;
  if (parameter.doc == nullptr) {
    PyErr_Format(PyExc_RuntimeError, "parameter %s has no description", argument.name);
    return {};
  }
  PyRef options = PyRef::steal(PyTuple_New(static_cast<Py_ssize_t>(argument.options.size())));
  if (!options) return {};
  for (std::size_t i = 0; i < argument.options.size(); ++i) {
    const std::string_view option = argument.options[i];
    PyObject* item =
        PyUnicode_FromStringAndSize(option.data(), static_cast<Py_ssize_t>(option.size()));
    if (item == nullptr) return {};
    PyTuple_SET_ITEM(options.get(), static_cast<Py_ssize_t>(i), item);
  }
  PyRef native = text_or_none(parameter.native);
  if (!native) return {};
  PyRef dict = PyRef::steal(Py_BuildValue("{s:s,s:O,s:s,s:O,s:O}", "name", argument.name,
                                          "native", native.get(), "description",
                                          parameter.doc->description, "constant",
                                          parameter.doc->constant ? Py_True : Py_False,
                                          "options", options.get()));
  if (!dict || argument.kind == Argument::Default::none) return frozen(std::move(dict));
  PyRef value = default_value(argument);
  if (!value || PyDict_SetItemString(dict.get(), "default", value.get()) < 0) return {};
  return frozen(std::move(dict));
}

}  // namespace

PyRef publish_model(const PublishedModel& model) noexcept {
  PyRef parameters =
      PyRef::steal(PyTuple_New(static_cast<Py_ssize_t>(model.parameters.size())));
  if (!parameters) return {};
  for (std::size_t i = 0; i < model.parameters.size(); ++i) {
    PyRef parameter = publish_parameter(model.parameters[i]);
    if (!parameter) return {};
    PyTuple_SET_ITEM(parameters.get(), static_cast<Py_ssize_t>(i), parameter.release());
  }
  PyRef quantities =
      PyRef::steal(PyTuple_New(static_cast<Py_ssize_t>(model.quantities.size())));
  if (!quantities) return {};
  for (std::size_t i = 0; i < model.quantities.size(); ++i) {
    PyRef arguments = texts(model.quantities[i].arguments);
    PyRef defaults = texts(model.quantities[i].defaults);
    if (!arguments || !defaults) return {};
    PyObject* entry =
        Py_BuildValue("(sOO)", model.quantities[i].name, arguments.get(), defaults.get());
    if (entry == nullptr) return {};
    PyTuple_SET_ITEM(quantities.get(), static_cast<Py_ssize_t>(i), entry);
  }
  const ClassDoc& doc = *model.doc;
  PyRef aliases = texts(doc.alias == nullptr ? std::span<const char* const>()
                                             : std::span<const char* const>(&doc.alias, 1));
  PyRef reference = text_or_none(model.reference_model);
  if (!aliases || !reference) return {};
  return frozen(PyRef::steal(Py_BuildValue(
      "{s:s,s:s,s:s,s:s,s:O,s:s,s:s,s:O,s:O,s:O}", "family", model.family, "constructor",
      model.constructor, "model_name", model.model_name, "class_name", doc.class_name,
      "aliases", aliases.get(), "summary", doc.summary, "details", doc.details, "parameters",
      parameters.get(), "quantities", quantities.get(), "reference_model", reference.get())));
}

int register_model_table(PyObject* module) noexcept {
  PyRef table = PyRef::steal(PyList_New(0));
  if (!table || publish_rt_models(table.get()) < 0 || publish_thermal_models(table.get()) < 0 ||
      publish_hugoniot_models(table.get()) < 0) {
    return -1;
  }
  PyRef entries = PyRef::steal(PyList_AsTuple(table.get()));
  if (!entries) return -1;
  return PyModule_AddObjectRef(module, "model_table", entries.get());
}

}  // namespace barometra::python
