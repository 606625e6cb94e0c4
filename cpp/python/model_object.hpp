// Python classes whose instances hold one immutable core value (RtEos,
// ThermalEos, HugoniotEos, the fit result classes): the instance layout,
// deallocation, creation of the class and of its instances.
#pragma once

#include <array>
#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

#include "py_ref.hpp"

namespace barometra::python {

template <class Model>
struct ModelObject {
  PyObject_HEAD
  Model model;
};

// The model held by `self`, which the caller knows to be a ModelObject<Model>.
template <class Model>
const Model& model_in(PyObject* self) noexcept {
  return reinterpret_cast<ModelObject<Model>*>(self)->model;
}

template <class Model>
void model_object_dealloc(PyObject* self) noexcept {
  PyTypeObject* type = Py_TYPE(self);
  reinterpret_cast<ModelObject<Model>*>(self)->model.~Model();
  type->tp_free(self);
  Py_DECREF(type);  // instances of a heap type own a reference to it
}

// A new class named `qualified_name` (static text) with the given doc, repr,
// methods and attributes (each may be null; the tables static). It is
// immutable, not subclassable and not callable: instances come only from its
// static constructors or the module's functions. Null with an error set on
// failure.
template <class Model>
PyTypeObject* new_model_type(const char* qualified_name, const char* doc, reprfunc repr,
                             PyMethodDef* methods, PyGetSetDef* getset) noexcept {
  std::array<PyType_Slot, 6> slots{};  // zeroed: the first unused one ends the list
  std::size_t count = 0;
  const auto add = [&](int slot, void* value) noexcept {
    if (value != nullptr) slots[count++] = {slot, value};
  };
  add(Py_tp_dealloc, reinterpret_cast<void*>(&model_object_dealloc<Model>));
  add(Py_tp_repr, reinterpret_cast<void*>(repr));
  add(Py_tp_doc, const_cast<char*>(doc));
  add(Py_tp_methods, methods);
  add(Py_tp_getset, getset);
  PyType_Spec spec = {
      qualified_name,
      static_cast<int>(sizeof(ModelObject<Model>)),
      0,
      Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION,
      slots.data(),
  };
  return reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&spec));
}

// The class in `cache`, made as above on first use and kept for the life of
// the process, or null with an error set.
template <class Model>
PyTypeObject* cached_model_type(PyTypeObject*& cache, const char* qualified_name,
                                const char* doc, reprfunc repr, PyMethodDef* methods,
                                PyGetSetDef* getset) noexcept {
  if (cache == nullptr) cache = new_model_type<Model>(qualified_name, doc, repr, methods, getset);
  return cache;
}

// A new instance of `type` (null when the class could not be created) holding
// `model`, copied or moved, or null with an error set.
template <class Model>
PyObject* new_model_object(PyTypeObject* type, Model&& model) noexcept {
  using Stored = std::remove_cvref_t<Model>;
  if (type == nullptr) return nullptr;
  PyObject* object = type->tp_alloc(type, 0);
  if (object == nullptr) return nullptr;
  new (&reinterpret_cast<ModelObject<Stored>*>(object)->model) Stored(std::forward<Model>(model));
  return object;
}

}  // namespace barometra::python
