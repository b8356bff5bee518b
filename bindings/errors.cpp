#include "glue.hpp"
#include "morvex/errors.hpp"

namespace morvex::py {
namespace {

const char* class_name(ErrorKind k) {
  switch (k) {
    case ErrorKind::InvalidInput: return "InvalidInputError";
    case ErrorKind::Encryption: return "EncryptionError";
    case ErrorKind::Decryption: return "DecryptionError";
    case ErrorKind::Signature: return "SignatureError";
    case ErrorKind::QuantumOperation: return "QuantumOperationError";
    case ErrorKind::Morvex: break;
  }
  return "MorvexError";
}

nb::object to_exception(const std::exception_ptr& p);

nb::object make(nb::handle cls, const std::string& message) {
  return cls(to_py_str(message));
}

nb::object to_exception(const std::exception_ptr& p) {
  try {
    std::rethrow_exception(p);
  } catch (const MorvexError& e) {
    nb::object cls = nb::module_::import_("morvex.errors").attr(class_name(e.kind()));
    nb::object inst = make(cls, e.message());
    if (e.cause()) {
      nb::object cause = to_exception(e.cause());
      PyException_SetCause(inst.ptr(), cause.release().ptr());  // steals
    }
    return inst;
  } catch (const Base64Error& e) {
    return make(nb::module_::import_("binascii").attr("Error"), e.what());
  } catch (const Utf8Error& e) {
    PyObject* obj = PyUnicodeDecodeError_Create("utf-8", e.bad_bytes().data(),
                                                static_cast<Py_ssize_t>(e.bad_bytes().size()), 0,
                                                static_cast<Py_ssize_t>(e.bad_bytes().size()),
                                                e.reason().c_str());
    if (obj == nullptr) throw nb::python_error();
    return nb::steal(obj);
  } catch (const std::bad_alloc&) {
    return make(nb::handle(PyExc_MemoryError), "out of memory");
  } catch (const std::invalid_argument& e) {
    return make(nb::handle(PyExc_ValueError), e.what());
  } catch (const std::out_of_range& e) {
    return make(nb::handle(PyExc_IndexError), e.what());
  } catch (const std::exception& e) {
    return make(nb::handle(PyExc_RuntimeError), e.what());
  }
}

void raise(const std::exception_ptr& p) {
  nb::object inst = to_exception(p);
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(inst.ptr())), inst.ptr());
}

}  // namespace

void register_error_translation() {
  nb::register_exception_translator([](const std::exception_ptr& p, void*) {
    try {
      std::rethrow_exception(p);
    } catch (const MorvexError&) {
      raise(p);
    } catch (const Base64Error&) {
      raise(p);
    } catch (const Utf8Error&) {
      raise(p);
    } catch (const PrimitiveError&) {
      raise(p);
    }
  });
}

void shutdown::install_exit_hook(nb::module_& m) {
  // Open again should an embedding host start a new interpreter after an exit.
  closing.store(false);
  m.def("_close_gate", [] {
    exit_thread.store(std::this_thread::get_id());
    closing.store(true);
    // Threads already past the gate get back into Python before
    // finalization can begin.
    PyThreadState* self = PyEval_SaveThread();
    while (returning.load() != 0) std::this_thread::yield();
    PyEval_RestoreThread(self);
  });
  nb::module_::import_("atexit").attr("register")(m.attr("_close_gate"));
}

}  // namespace morvex::py
