// Python classes whose instances hold one immutable core model by value
// (RtEos, HugoniotEos): the instance layout, deallocation, creation of the
// class and of its instances.
#pragma once

#include <new>

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

// A new class named `qualified_name` (static text) from `slots` (static,
// with Py_tp_dealloc set to model_object_dealloc<Model>). It is immutable,
// not subclassable and not callable: instances come only from its static
// constructors. Null with an error set on failure.
template <class Model>
PyTypeObject* new_model_type(const char* qualified_name, PyType_Slot* slots) noexcept {
  PyType_Spec spec = {
      qualified_name,
      sizeof(ModelObject<Model>),
      0,
      Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION,
      slots,
  };
  return reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&spec));
}

// A new instance of `type` (null when the class could not be created) holding
// a copy of `model`, or null with an error set.
template <class Model>
PyObject* new_model_object(PyTypeObject* type, const Model& model) noexcept {
  if (type == nullptr) return nullptr;
  PyObject* object = type->tp_alloc(type, 0);
  if (object == nullptr) return nullptr;
  new (&reinterpret_cast<ModelObject<Model>*>(object)->model) Model(model);
  return object;
}

}  // namespace barometra::python
