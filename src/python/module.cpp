// The _scrivane extension module. It uses only the CPython stable ABI, so one build serves every
// interpreter from 3.8 on. Every function releases the interpreter lock while it converts.
#include <Python.h>

#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "scrivane/backend/kestrum_backend.h"
#include "scrivane/cli.h"
#include "scrivane/emit/markdown.h"
#include "scrivane/emit/text.h"
#include "scrivane/emit/typst.h"
#include "scrivane/pipeline.h"

namespace {

using scrivane::Caveman;
using scrivane::Document;
using scrivane::Error;

// Created once per process when the module is first executed.
PyObject* scanned_document = nullptr;
// Raised for a broken invariant inside the library. It derives from BaseException so that an
// ordinary `except Exception` does not swallow it.
PyObject* internal_fault = nullptr;

constexpr char kScannedDoc[] = "The PDF is image-only, which this pipeline does not handle.";

// The outcome of work done without the interpreter lock: a value, a driver error, or a fault.
template <class T>
struct Outcome {
  std::optional<T> value;
  std::optional<Error> error;
  std::optional<std::string> fault;
};

template <class T, class F>
Outcome<T> without_lock(F&& work) {
  Outcome<T> outcome;
  PyThreadState* state = PyEval_SaveThread();
  try {
    auto result = work();
    if (result) {
      outcome.value = std::move(*result);
    } else {
      outcome.error = std::move(result.error());
    }
  } catch (const std::exception& e) {
    outcome.fault = e.what();
  } catch (...) {
    outcome.fault = "unknown internal fault";
  }
  PyEval_RestoreThread(state);
  return outcome;
}

PyObject* raise_error(const Error& error) {
  PyObject* type = PyExc_ValueError;
  if (error.get<Error::Io>()) type = PyExc_OSError;
  if (error.get<Error::Scanned>()) type = scanned_document;
  PyErr_SetString(type, error.text().c_str());
  return nullptr;
}

PyObject* raise_fault(const std::string& what) {
  PyErr_SetString(internal_fault, ("internal fault: " + what).c_str());
  return nullptr;
}

PyObject* to_str(const std::string& text) {
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

// A str argument as UTF-8, or nullopt with TypeError set.
std::optional<std::string> utf8_argument(PyObject* value, const char* name) {
  if (!PyUnicode_Check(value)) {
    PyErr_Format(PyExc_TypeError, "argument '%s' must be str", name);
    return std::nullopt;
  }
  PyObject* bytes = PyUnicode_AsUTF8String(value);
  if (!bytes) return std::nullopt;
  char* data = nullptr;
  Py_ssize_t size = 0;
  std::optional<std::string> out;
  if (PyBytes_AsStringAndSize(bytes, &data, &size) == 0) out.emplace(data, size);
  Py_DecRef(bytes);
  return out;
}

// `text` in quotes with the escapes a debugging display uses.
std::string debug_quoted(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\0':
        out += "\\0";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[12];
          std::snprintf(buf, sizeof buf, "\\u{%x}", c);
          out += buf;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  return out + "\"";
}

// The `caveman` argument: None, "off" or "none" turn compression off.
std::optional<Caveman> caveman_level(PyObject* value) {
  if (value == nullptr || value == Py_None) return Caveman::Off;
  auto text = utf8_argument(value, "caveman");
  if (!text) return std::nullopt;
  if (*text == "off" || *text == "none") return Caveman::Off;
  if (*text == "light") return Caveman::Light;
  if (*text == "hard") return Caveman::Hard;
  std::string message =
      "unknown caveman level " + debug_quoted(*text) + "; expected \"off\", \"light\" or \"hard\"";
  PyErr_SetString(PyExc_ValueError, message.c_str());
  return std::nullopt;
}

struct ConvertCall {
  std::string path;
  scrivane::Options options;
};

std::optional<ConvertCall> parse_convert_args(PyObject* args, PyObject* kwargs,
                                              const char* format) {
  static const char* keywords[] = {"path", "caveman", nullptr};
  PyObject* path = nullptr;
  PyObject* caveman = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, format, const_cast<char**>(keywords), &path,
                                   &caveman))
    return std::nullopt;
  ConvertCall call;
  auto text = utf8_argument(path, "path");
  if (!text) return std::nullopt;
  call.path = std::move(*text);
  auto level = caveman_level(caveman);
  if (!level) return std::nullopt;
  call.options.caveman = *level;
  return call;
}

template <class Render>
PyObject* convert_to(PyObject* args, PyObject* kwargs, const char* format, Render render) {
  auto call = parse_convert_args(args, kwargs, format);
  if (!call) return nullptr;
  auto outcome = without_lock<std::string>([&]() -> std::expected<std::string, Error> {
    auto doc = scrivane::convert_with(call->path, call->options);
    if (!doc) return std::unexpected(std::move(doc.error()));
    return render(*doc);
  });
  if (outcome.fault) return raise_fault(*outcome.fault);
  if (outcome.error) return raise_error(*outcome.error);
  return to_str(*outcome.value);
}

PyObject* to_markdown(PyObject*, PyObject* args, PyObject* kwargs) {
  return convert_to(args, kwargs, "O|O:to_markdown",
                    [](const Document& d) { return scrivane::emit::markdown::render(d); });
}

PyObject* to_json(PyObject*, PyObject* args, PyObject* kwargs) {
  return convert_to(args, kwargs, "O|O:to_json", [](const Document& d) {
    return scrivane::to_json(d, scrivane::JsonLayout::Compact);
  });
}

PyObject* to_typst(PyObject*, PyObject* args, PyObject* kwargs) {
  return convert_to(args, kwargs, "O|O:to_typst",
                    [](const Document& d) { return scrivane::emit::typst::render(d); });
}

PyObject* to_text(PyObject*, PyObject* args, PyObject* kwargs) {
  return convert_to(args, kwargs, "O|O:to_text",
                    [](const Document& d) { return scrivane::emit::text::render(d); });
}

PyObject* convert_json(PyObject*, PyObject* args, PyObject* kwargs) {
  auto call = parse_convert_args(args, kwargs, "O|O:convert_json");
  if (!call) return nullptr;
  using Pair = std::pair<std::string, std::string>;
  auto outcome = without_lock<Pair>([&]() -> std::expected<Pair, Error> {
    auto doc = scrivane::convert_with(call->path, call->options);
    if (!doc) return std::unexpected(std::move(doc.error()));
    return Pair{scrivane::emit::markdown::render(*doc),
                scrivane::to_json(*doc, scrivane::JsonLayout::Compact)};
  });
  if (outcome.fault) return raise_fault(*outcome.fault);
  if (outcome.error) return raise_error(*outcome.error);
  PyObject* markdown = to_str(outcome.value->first);
  PyObject* json = markdown ? to_str(outcome.value->second) : nullptr;
  PyObject* pair = json ? PyTuple_Pack(2, markdown, json) : nullptr;
  if (markdown) Py_DecRef(markdown);
  if (json) Py_DecRef(json);
  return pair;
}

PyObject* extract_json(PyObject*, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"path", nullptr};
  PyObject* path_arg = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O:extract_json", const_cast<char**>(keywords),
                                   &path_arg))
    return nullptr;
  auto path = utf8_argument(path_arg, "path");
  if (!path) return nullptr;
  auto outcome = without_lock<std::string>([&]() -> std::expected<std::string, Error> {
    auto backend = scrivane::KestrumBackend::open_with_password(*path);
    if (!backend) return std::unexpected(std::move(backend.error()));
    auto raw = scrivane::extract_from(**backend, *path);
    if (!raw) return std::unexpected(std::move(raw.error()));
    scrivane::JsonWriter out(scrivane::JsonLayout::Compact);
    scrivane::write_json(out, *raw);
    return out.take();
  });
  if (outcome.fault) return raise_fault(*outcome.fault);
  if (outcome.error) return raise_error(*outcome.error);
  return to_str(*outcome.value);
}

PyObject* run_cli(PyObject*, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"args", nullptr};
  PyObject* seq = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O:_run_cli", const_cast<char**>(keywords), &seq))
    return nullptr;
  if (PyUnicode_Check(seq) || PyBytes_Check(seq) || !PySequence_Check(seq)) {
    PyErr_SetString(PyExc_TypeError,
                    "argument 'args' must be a sequence of str; a string cannot be taken as a "
                    "sequence of arguments");
    return nullptr;
  }
  Py_ssize_t n = PySequence_Size(seq);
  if (n < 0) return nullptr;
  std::vector<std::string> argv;
  argv.reserve(static_cast<size_t>(n));
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject* item = PySequence_GetItem(seq, i);
    if (!item) return nullptr;
    auto text = PyUnicode_Check(item) ? utf8_argument(item, "args") : std::nullopt;
    if (!PyUnicode_Check(item))
      PyErr_Format(PyExc_TypeError, "argument 'args' must be a sequence of str (item %zd is not)",
                   i);
    Py_DecRef(item);
    if (!text) return nullptr;
    argv.push_back(std::move(*text));
  }
  int status = 0;
  std::optional<std::string> fault;
  PyThreadState* state = PyEval_SaveThread();
  try {
    status = scrivane::run_cli(argv);
  } catch (const std::exception& e) {
    fault = e.what();
  } catch (...) {
    fault = "unknown internal fault";
  }
  PyEval_RestoreThread(state);
  if (fault) return raise_fault(*fault);
  return PyLong_FromLong(status);
}

#define SCRIVANE_CONVERT_DOC(name, first, rest)                                           \
  name "(path, caveman=None)\n--\n\n" first                                               \
       "\n\n`caveman` strips grammatical scaffolding for models that charge by the "      \
       "token: \"off\" (or None), \"light\" (articles, copulas, stock phrases) or "       \
       "\"hard\" (also prepositions, pronouns and filler, about a quarter fewer words). " \
       "It is offered here because scripting callers are the ones that care about token " \
       "cost." rest

PyMethodDef functions[] = {
    {"to_markdown", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(to_markdown)),
     METH_VARARGS | METH_KEYWORDS,
     SCRIVANE_CONVERT_DOC("to_markdown", "Converts a PDF to Markdown.", "")},
    {"to_json", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(to_json)),
     METH_VARARGS | METH_KEYWORDS,
     SCRIVANE_CONVERT_DOC(
         "to_json", "Converts a PDF to the document model, as JSON.",
         "\n\nThe Python wrapper parses the JSON into a dictionary; passing JSON across the "
         "boundary keeps the binding free of an object-conversion layer, at a cost that is "
         "irrelevant next to conversion. It takes `caveman` so that the document model carries "
         "the same text as the Markdown would.")},
    {"to_typst", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(to_typst)),
     METH_VARARGS | METH_KEYWORDS,
     SCRIVANE_CONVERT_DOC("to_typst", "Converts a PDF to Typst markup.", "")},
    {"to_text", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(to_text)),
     METH_VARARGS | METH_KEYWORDS,
     SCRIVANE_CONVERT_DOC("to_text", "Converts a PDF to plain text, for indexing and search.", "")},
    {"convert_json", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(convert_json)),
     METH_VARARGS | METH_KEYWORDS,
     SCRIVANE_CONVERT_DOC(
         "convert_json",
         "Converts a PDF once, returning its Markdown and its document model as JSON.",
         "\n\nBoth renderings come from a single pipeline run, so callers that want the "
         "structure and the prose no longer convert the same PDF twice.")},
    {"extract_json", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(extract_json)),
     METH_VARARGS | METH_KEYWORDS,
     "extract_json(path)\n--\n\nExtracts page primitives without interpreting them, as JSON. For "
     "diagnostics.\n\nThe result is one object with the members \"fonts\" and \"pages\"; a "
     "Python-level wrapper parses it into dictionaries."},
    {"_run_cli", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(run_cli)),
     METH_VARARGS | METH_KEYWORDS,
     "_run_cli(args)\n--\n\nRun the same CLI as the native executable, returning its exit "
     "status."},
    {nullptr, nullptr, 0, nullptr},
};

int exec_module(PyObject* module) {
  if (PyModule_AddStringConstant(module, "__version__", SCRIVANE_VERSION) < 0) return -1;
  if (!scanned_document) {
    scanned_document = PyErr_NewExceptionWithDoc("_scrivane.ScannedDocument", kScannedDoc,
                                                 PyExc_ValueError, nullptr);
    if (!scanned_document) return -1;
  }
  if (!internal_fault) {
    internal_fault = PyErr_NewExceptionWithDoc("_scrivane.InternalFault",
                                               "A broken invariant inside the library.",
                                               PyExc_BaseException, nullptr);
    if (!internal_fault) return -1;
  }
  Py_IncRef(scanned_document);
  if (PyModule_AddObject(module, "ScannedDocument", scanned_document) < 0) {
    Py_DecRef(scanned_document);
    return -1;
  }
  return PyModule_AddFunctions(module, functions);
}

PyModuleDef_Slot slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "_scrivane", "", 0, nullptr, slots, nullptr, nullptr, nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit__scrivane() {
  return PyModuleDef_Init(&module_def);
}
