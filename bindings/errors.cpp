#include <cstdio>
#include <string_view>

#include "module.hpp"
#include "morvex/errors.hpp"

namespace morvex::py {
namespace {

// The class of morvex.errors that each of the six error kinds becomes.
const char* class_name(ErrorKind k) {
  switch (k) {
    case ErrorKind::InvalidInput: return "InvalidInputError";
    case ErrorKind::Encryption: return "EncryptionError";
    case ErrorKind::Decryption: return "DecryptionError";
    case ErrorKind::Signature: return "SignatureError";
    case ErrorKind::QuantumOperation: return "QuantumOperationError";
    default: break;
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

// A key text outside ASCII, in the words Python's own ASCII codec uses.
std::string ascii_codec_text(const TextEncodeError& e) {
  char buf[160];
  const auto cp = static_cast<unsigned>(e.code_point());
  if (e.count() == 1) {
    const char* fmt = cp <= 0xFF     ? "'ascii' codec can't encode character '\\x%02x' in position %zu: "
                      : cp <= 0xFFFF ? "'ascii' codec can't encode character '\\u%04x' in position %zu: "
                                     : "'ascii' codec can't encode character '\\U%08x' in position %zu: ";
    std::snprintf(buf, sizeof buf, fmt, cp, e.position());
  } else {
    std::snprintf(buf, sizeof buf, "'ascii' codec can't encode characters in position %zu-%zu: ", e.position(),
                  e.position() + e.count() - 1);
  }
  return std::string(buf) + "ordinal not in range(128)";
}

// What Python's UTF-8 decoder says of each fault.
const char* decode_reason(Utf8Error::Fault fault) {
  switch (fault) {
    case Utf8Error::Fault::InvalidStart: return "invalid start byte";
    case Utf8Error::Fault::InvalidContinuation: return "invalid continuation byte";
    case Utf8Error::Fault::Truncated: break;
  }
  return "unexpected end of data";
}

nb::object to_exception(const std::exception_ptr& p);

// The Python form of a lower-level failure: the builtin class of its kind,
// with Python's wording where Python words it its own way.
nb::object lower_level(const Error& e) {
  switch (e.kind()) {
    case ErrorKind::Base64: return make(nb::module_::import_("binascii").attr("Error"), e.message());
    case ErrorKind::Utf8:
      if (const auto* u = dynamic_cast<const Utf8Error*>(&e)) {
        PyObject* obj = PyUnicodeDecodeError_Create("utf-8", u->bad_bytes().data(),
                                                    static_cast<Py_ssize_t>(u->bad_bytes().size()), 0,
                                                    static_cast<Py_ssize_t>(u->bad_bytes().size()),
                                                    decode_reason(u->fault()));
        if (obj == nullptr) throw nb::python_error();
        return nb::steal(obj);
      }
      break;
    case ErrorKind::TextEncode:
      if (const auto* t = dynamic_cast<const TextEncodeError*>(&e)) {
        // The PEM readers' refusal of a text outside ASCII has always been a
        // ValueError worded by the ASCII codec.
        if (std::string_view(t->encoding()) == "ascii") return make(nb::handle(PyExc_ValueError), ascii_codec_text(*t));
        // The offending character alone, never the caller's text; its
        // position in that text goes into the reason.
        const std::string reason =
            "surrogates not allowed (character " + std::to_string(t->position()) + " of the text)";
        return nb::handle(PyExc_UnicodeEncodeError)(
            t->encoding(), nb::steal(PyUnicode_FromOrdinal(static_cast<int>(t->code_point()))), 0, 1, reason);
      }
      break;
    case ErrorKind::Io:
      if (const auto* io = dynamic_cast<const IoError*>(&e))
        return nb::handle(PyExc_OSError)(io->error_number(), io->message(), io->path());
      break;
    case ErrorKind::InvalidArgument: return make(nb::handle(PyExc_ValueError), e.message());
    case ErrorKind::OutOfRange: return make(nb::handle(PyExc_IndexError), e.message());
    default: break;
  }
  return make(nb::handle(PyExc_RuntimeError), e.message());  // Primitive, State
}

// One of the six error classes. Where its message is a prefix followed by its
// cause's message, the prefix is followed by the cause's Python message.
nb::object morvex_error(const Error& e) {
  nb::object cause;
  std::string message = e.message();
  if (e.cause()) {
    cause = to_exception(e.cause());
    try {
      std::rethrow_exception(e.cause());
    } catch (const Error& c) {
      if (!c.message().empty() && message.ends_with(c.message())) {
        message.resize(message.size() - c.message().size());
        message += nb::cast<std::string>(nb::str(cause));
      }
    } catch (...) {
    }
  }
  nb::object inst = make(nb::module_::import_("morvex.errors").attr(class_name(e.kind())), message);
  if (cause.is_valid()) PyException_SetCause(inst.ptr(), cause.release().ptr());  // steals
  return inst;
}

nb::object to_exception(const std::exception_ptr& p) {
  try {
    std::rethrow_exception(p);
  } catch (const MorvexError& e) {
    return morvex_error(e);
  } catch (const Error& e) {
    return lower_level(e);
  } catch (const std::bad_alloc&) {
    return make(nb::handle(PyExc_MemoryError), "out of memory");
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
    } catch (const Error&) {
      raise(p);
    }
  });
}

}  // namespace morvex::py
