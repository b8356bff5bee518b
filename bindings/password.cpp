// morvex._native.password: password records, and a record read into Python objects.
#include <charconv>
#include <string>
#include <vector>

#include "module.hpp"
#include "morvex/password.hpp"
#include "password/internal.hpp"
#include "password/json_reader.hpp"
#include "password/record.hpp"

namespace morvex::py {
namespace {

// Python objects from the core reader's values: dicts and lists, integers
// exact whatever their size (under the interpreter's limit on digits, like
// int()), and the keys of each dict in ascending order.
class ObjectBuilder {
 public:
  nb::object root;
  bool deferred = false;  // an integer stands as its literal

  void begin_object() { open(nb::dict(), true); }
  void begin_array() { open(nb::list(), false); }
  void end() {
    const Frame& f = open_.back();
    if (f.is_dict && !f.ordered) sort_keys(f.container);
    open_.pop_back();
  }
  void key(std::string_view k) {
    Frame& f = open_.back();
    if (k < f.last_key) f.ordered = false;
    f.last_key.assign(k);
    key_ = nb::str(k.data(), k.size());
  }
  void string(std::string_view s) { put(nb::str(s.data(), s.size())); }
  void integer(std::string_view literal) {
    std::int64_t v = 0;
    const auto [end, ec] = std::from_chars(literal.data(), literal.data() + literal.size(), v);
    if (ec == std::errc() && end == literal.data() + literal.size()) {
      put(nb::int_(v));
      return;
    }
    const std::string text(literal);
    PyObject* big = PyLong_FromString(text.c_str(), nullptr, 10);
    if (big != nullptr) {
      put(nb::steal(big));
      return;
    }
    if (!PyErr_ExceptionMatches(PyExc_ValueError)) throw nb::python_error();
    // Beyond the interpreter's limit on digits: the literal stands in until
    // the text is known to be a JSON object (see raise_deferred).
    PyErr_Clear();
    deferred = true;
    put(nb::bytes(literal.data(), literal.size()));
  }
  void number(double d) { put(nb::float_(d)); }
  void boolean(bool b) { put(nb::bool_(b)); }
  void null() { put(nb::none()); }

 private:
  struct Frame {
    nb::object container;
    bool is_dict;
    bool ordered = true;  // keys so far in ascending order
    std::string last_key;
  };

  void put(nb::object v) {
    if (open_.empty()) {
      root = std::move(v);
    } else if (open_.back().is_dict) {
      if (PyDict_SetItem(open_.back().container.ptr(), key_.ptr(), v.ptr()) != 0) throw nb::python_error();
    } else if (PyList_Append(open_.back().container.ptr(), v.ptr()) != 0) {
      throw nb::python_error();
    }
  }
  void open(nb::object container, bool is_dict) {
    put(container);
    open_.push_back(Frame{std::move(container), is_dict, true, {}});
  }
  static void sort_keys(nb::handle dict) {
    const nb::object items = nb::steal(PyDict_Items(dict.ptr()));
    if (!items.is_valid() || PyList_Sort(items.ptr()) != 0) throw nb::python_error();
    PyDict_Clear(dict.ptr());
    for (nb::handle pair : nb::borrow<nb::list>(items))
      if (PyDict_SetItem(dict.ptr(), PyTuple_GetItem(pair.ptr(), 0), PyTuple_GetItem(pair.ptr(), 1)) != 0)
        throw nb::python_error();
  }

  std::vector<Frame> open_;
  nb::object key_;
};

// An integer too long for int() is an error only in a JSON object, and only
// where it stays (a repeated key may replace it): the first literal standing
// in the finished object, in the order of its sorted keys, raises int()'s
// ValueError. Bytes are no JSON value, so every bytes object is such a
// literal.
void raise_deferred(nb::handle root) {
  struct Frame {
    PyObject* container;
    Py_ssize_t next;
  };
  std::vector<Frame> open{{root.ptr(), 0}};
  while (!open.empty()) {
    Frame& f = open.back();
    PyObject* v = nullptr;
    if (PyDict_Check(f.container)) {
      PyObject* k = nullptr;
      if (!PyDict_Next(f.container, &f.next, &k, &v)) v = nullptr;
    } else if (f.next < PyList_Size(f.container)) {
      v = PyList_GetItem(f.container, f.next++);
    }
    if (v == nullptr) {
      open.pop_back();
    } else if (PyBytes_CheckExact(v)) {
      const nb::object again = nb::steal(PyLong_FromString(PyBytes_AsString(v), nullptr, 10));
      if (!again.is_valid()) throw nb::python_error();
    } else if (PyDict_Check(v) || PyList_Check(v)) {
      open.push_back(Frame{v, 0});  // `f` is not used after this
    }
  }
}

nb::object parse(std::string_view hash_json) {
  ObjectBuilder built;
  if (!password::json::read(hash_json, built) || !PyDict_Check(built.root.ptr())) return nb::none();
  if (built.deferred) raise_deferred(built.root);
  return built.root;
}

template <class T>
struct Arg : nb::detail::make_caster<T> {
  Arg(nb::handle h, const char* what) {
    if (!this->from_python(h, static_cast<std::uint32_t>(nb::detail::cast_flags::convert), nullptr))
      throw nb::type_error(what);
  }
};

// The derivation's own checks of the name and the password come first; the
// other arguments are read after them.
SecureBytes derive(std::string_view pw, nb::handle salt, nb::handle iterations, nb::handle length,
                   std::string_view hash_algorithm) {
  const password::Derivation derivation(pw, hash_algorithm);
  const Arg<ByteView> s(salt, "salt must be a bytes-like object");
  const Arg<std::int64_t> it(iterations, "iterations must be an integer");
  const Arg<std::int64_t> len(length, "length must be an integer");
  GilRelease unlocked;
  return derivation(s.value, it.value, len.value);
}

}  // namespace

void bind_password(nb::module_& m) {
  m.attr("ALGORITHM") = password::ALGORITHM;
  m.attr("VERSION") = password::VERSION;
  m.attr("DEFAULT_ITERATIONS") = password::DEFAULT_ITERATIONS;
  m.attr("SALT_LENGTH") = password::SALT_LENGTH;
  m.attr("OUTPUT_LENGTH") = password::OUTPUT_LENGTH;
  m.attr("HASH_ALGORITHM") = password::HASH_ALGORITHM;
  m.attr("UPGRADE_THRESHOLD") = password::UPGRADE_THRESHOLD;
  m.attr("MAX_ITERATIONS") = password::MAX_ITERATIONS;
  m.attr("MAX_OUTPUT_LENGTH") = password::MAX_OUTPUT_LENGTH;
  nb::list hashes;
  for (const password::HashEntry& h : password::kHashes) hashes.append(nb::make_tuple(h.name, h.python_name));
  m.attr("_HASHES") = hashes;

  m.def("_derive", &derive, "password"_a, "salt"_a, "iterations"_a, "length"_a, "hash_algorithm"_a,
        nb::sig("def _derive(password: str, salt: bytes | bytearray | memoryview, iterations: int, length: int, "
                "hash_algorithm: str) -> bytes"),
        "PBKDF2-HMAC over the UTF-8 password; returns `length` bytes.\n\n"
        "The hash name is looked up case-insensitively in _HASHES. Raises MorvexError\n"
        "\"Unsupported hash algorithm: <name>\" for another name, ValueError for an\n"
        "iteration count or length below 1.");
  // The Python contract of each public operation; the errors are those of
  // morvex/password.hpp (scripts/check_contracts.py compares them).
  const DocValues values = {
      {"HASH", password::HASH_ALGORITHM},
      {"SALT", password::SALT_LENGTH},
      {"DEFAULT", password::DEFAULT_ITERATIONS},
      {"MAX_ITERATIONS", password::MAX_ITERATIONS},
      {"MAX_OUTPUT", password::MAX_OUTPUT_LENGTH},
      {"THRESHOLD", password::UPGRADE_THRESHOLD}};
  m.def("hash_password", &password::hash_password, guard(), "password"_a, "iterations"_a = password::DEFAULT_ITERATIONS,
        doc(R"~(Hash a password into a new JSON record (PBKDF2-HMAC-{HASH}, fresh {SALT}-byte salt).

Args:
    password: the password; must not be empty.
    iterations: the PBKDF2 count, 1..{MAX_ITERATIONS}; {DEFAULT} by default
        (DEFAULT_ITERATIONS).

Returns:
    The compact, key-sorted JSON record text.

Raises:
    InvalidInputError: "Password cannot be empty"; an iteration count outside
        1..{MAX_ITERATIONS}.)~", values));
  m.def("verify_password", &password::verify_password, guard(), "password"_a, "hash_json"_a,
        doc(R"~(Check a password against a record, in constant time.

Args:
    password: the candidate password.
    hash_json: a password record.

Returns:
    True when the password matches; False, never an error, for a mismatch, an
    empty password, a malformed record, an iteration count outside
    1..{MAX_ITERATIONS}, an output length outside 1..{MAX_OUTPUT} or an unknown hash.)~", values));
  m.def("needs_rehash", &password::needs_rehash, guard(), "hash_json"_a,
        doc(R"~(Tell whether a record should be renewed by hashing the password again.

Args:
    hash_json: a password record.

Returns:
    True when the record has fewer than {THRESHOLD} iterations (UPGRADE_THRESHOLD)
    or its iteration count cannot be read (malformed record).)~", values));
  m.def("_parse", &parse, "hash_json"_a, nb::sig("def _parse(hash_json: str) -> dict[str, object] | None"),
        "The record's top-level JSON object as a dict, or None when the text is not\n"
        "a JSON object. A repeated key keeps its last value.");
}

}  // namespace morvex::py
