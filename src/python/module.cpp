// The _scrivane extension module (stable ABI).
#include <Python.h>

namespace {

int exec_module(PyObject* module) {
  return PyModule_AddStringConstant(module, "__version__", SCRIVANE_VERSION);
}

PyModuleDef_Slot slots[] = {{Py_mod_exec, reinterpret_cast<void*>(exec_module)}, {0, nullptr}};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "_scrivane", "", 0, nullptr, slots, nullptr, nullptr, nullptr};

}  // namespace

PyMODINIT_FUNC PyInit__scrivane() {
  return PyModuleDef_Init(&module_def);
}
