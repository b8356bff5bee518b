#include "module.hpp"
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

// A message may quote text the caller gave (a hash name, a mechanism name),
// lone surrogates included: it comes back as the same characters.
nb::object make(nb::handle cls, std::string_view message) {
  PyObject* text = PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "surrogatepass");
  if (text == nullptr) throw nb::python_error();
  return cls(nb::steal(text));
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
  } catch (const TextEncodeError& e) {
    // The offending character alone, never the caller's text; its position
    // in that text goes into the reason.
    const std::string reason = "surrogates not allowed (character " + std::to_string(e.position()) + " of the text)";
    return nb::handle(PyExc_UnicodeEncodeError)("utf-8", nb::steal(PyUnicode_FromOrdinal(static_cast<int>(e.code_point()))),
                                                0, 1, reason);
  } catch (const IoError& e) {
    return nb::handle(PyExc_OSError)(e.error_number(), e.what(), e.path());
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
    } catch (const TextEncodeError&) {
      raise(p);
    } catch (const PrimitiveError&) {
      raise(p);
    } catch (const IoError&) {
      raise(p);
    }
  });
}

}  // namespace morvex::py
