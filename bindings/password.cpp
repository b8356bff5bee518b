#include <climits>
#include <vector>

#include "glue.hpp"
#include "morvex/errors.hpp"
#include "morvex/password.hpp"
#include "password/record.hpp"

namespace morvex::py {
namespace {

using json = nlohmann::json;

// An integer argument (anything with __index__); values beyond 64 bits
// saturate, so the core's range checks still see them as too large or too
// small. A float or a str raises TypeError.
std::int64_t int_arg(nb::handle h) {
  nb::object i = nb::steal(PyNumber_Index(h.ptr()));
  if (!i.is_valid()) throw nb::python_error();
  int overflow = 0;
  const long long v = PyLong_AsLongLongAndOverflow(i.ptr(), &overflow);
  if (overflow > 0) return LLONG_MAX;
  if (overflow < 0) return LLONG_MIN;
  if (v == -1 && PyErr_Occurred()) throw nb::python_error();
  return v;
}

nb::object scalar_to_py(const json& j) {
  switch (j.type()) {
    case json::value_t::null: return nb::none();
    case json::value_t::boolean: return nb::bool_(j.get<bool>());
    case json::value_t::number_integer: return nb::steal(PyLong_FromLongLong(j.get<std::int64_t>()));
    case json::value_t::number_unsigned: return nb::steal(PyLong_FromUnsignedLongLong(j.get<std::uint64_t>()));
    case json::value_t::number_float: return nb::steal(PyFloat_FromDouble(j.get<double>()));
    case json::value_t::string: return to_py_str(j.get_ref<const std::string&>());
    default: return nb::none();
  }
}

// The Python form of a parsed value (dict, list, str, int, float, bool,
// None). Iterative, so a deeply nested record cannot exhaust the C stack.
nb::object json_to_py(const json& root) {
  struct Frame {
    const json* node;
    json::const_iterator it;
    nb::object out;
  };
  std::vector<Frame> stack;
  auto open = [&stack](const json& j) {
    nb::object out = j.is_object() ? nb::object(nb::dict()) : nb::object(nb::list());
    stack.push_back(Frame{&j, j.cbegin(), out});
    return out;
  };
  if (!root.is_structured()) return scalar_to_py(root);
  nb::object result = open(root);
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.it == f.node->cend()) {
      stack.pop_back();
      continue;
    }
    const json& child = *f.it;
    const bool in_object = f.node->is_object();
    nb::object parent = f.out;
    nb::object key = in_object ? nb::object(to_py_str(f.it.key())) : nb::object();
    ++f.it;
    nb::object value = child.is_structured() ? open(child) : scalar_to_py(child);  // may move `f`
    if (!value.is_valid()) throw nb::python_error();
    if (in_object) {
      if (PyDict_SetItem(parent.ptr(), key.ptr(), value.ptr()) != 0) throw nb::python_error();
    } else {
      if (PyList_Append(parent.ptr(), value.ptr()) != 0) throw nb::python_error();
    }
  }
  return result;
}

}  // namespace

void bind_password(nb::module_& m) {
  m.attr("ALGORITHM") = to_py_str(password::ALGORITHM);
  m.attr("VERSION") = password::VERSION;
  m.attr("DEFAULT_ITERATIONS") = password::DEFAULT_ITERATIONS;
  m.attr("SALT_LENGTH") = password::SALT_LENGTH;
  m.attr("OUTPUT_LENGTH") = password::OUTPUT_LENGTH;
  m.attr("HASH_ALGORITHM") = to_py_str(password::HASH_ALGORITHM);
  m.attr("UPGRADE_THRESHOLD") = password::UPGRADE_THRESHOLD;
  m.attr("MAX_ITERATIONS") = password::MAX_ITERATIONS;
  m.attr("MAX_OUTPUT_LENGTH") = password::MAX_OUTPUT_LENGTH;
  nb::list hashes;
  for (const password::HashEntry& h : password::_HASHES)
    hashes.append(nb::make_tuple(to_py_str(h.name), to_py_str(h.python_name)));
  m.attr("_HASHES") = hashes;

  m.def(
      "_derive",
      [](const nb::str& pw, nb::handle salt, nb::handle iterations, nb::handle length, const nb::str& hash_algorithm) {
        // The hash name is looked up before anything else is read.
        const std::string_view h = text_arg(hash_algorithm);
        if (password::_find_hash(h) == nullptr)
          throw MorvexError("Unsupported hash algorithm: " + std::string(h));
        const std::string_view p = text_arg(pw);
        const BytesArg s(salt);
        const std::int64_t iter = int_arg(iterations);
        const std::int64_t len = int_arg(length);
        const ByteView sv = s.view();
        const SecureBytes out = unlocked([&] { return password::_derive(p, sv, iter, len, h); });
        return to_py_bytes(out);
      },
      nb::arg("password"), nb::arg("salt"), nb::arg("iterations"), nb::arg("length"), nb::arg("hash_algorithm"),
      nb::sig("def _derive(password: str, salt: bytes | bytearray | memoryview, iterations: int, length: int, "
              "hash_algorithm: str) -> bytes"),
      "PBKDF2-HMAC over the UTF-8 password; returns `length` bytes.\n\n"
      "The hash name is looked up case-insensitively in _HASHES. Raises MorvexError\n"
      "\"Unsupported hash algorithm: <name>\" for another name, ValueError for an\n"
      "iteration count or length below 1.");

  m.def(
      "hash_password",
      [](const nb::str& pw, nb::handle iterations) {
        const std::string_view p = text_arg(pw);
        const std::int64_t iter = int_arg(iterations);
        return to_py_str(unlocked([&] { return password::hash_password(p, iter); }));
      },
      nb::arg("password"), nb::arg("iterations") = nb::int_(password::DEFAULT_ITERATIONS),
      nb::sig("def hash_password(password: str, iterations: int = 210000) -> str"),
      "Hash a password into a new JSON record (PBKDF2-HMAC-SHA512, fresh 32-byte salt).\n\n"
      "Raises InvalidInputError \"Password cannot be empty\", or InvalidInputError for an\n"
      "iteration count outside 1..10000000.");

  m.def(
      "verify_password",
      [](const nb::str& pw, const nb::str& hash_json) -> bool {
        nb::object keep;
        const std::string_view j = lenient_text(hash_json, keep);
        if (PyUnicode_GET_LENGTH(pw.ptr()) == 0) return false;
        Py_ssize_t n = 0;
        const char* p = PyUnicode_AsUTF8AndSize(pw.ptr(), &n);
        if (p == nullptr) {
          // No UTF-8 form: nothing can be derived from this password. Against a
          // malformed record the answer is still plainly false.
          nb::python_error err;
          const bool derivable = unlocked([&] { return password::_plan_verify(j).has_value(); });
          if (!derivable) return false;
          throw err;
        }
        const std::string_view pv(p, static_cast<std::size_t>(n));
        return unlocked([&] { return password::verify_password(pv, j); });
      },
      nb::arg("password"), nb::arg("hash_json"),
      nb::sig("def verify_password(password: str, hash_json: str) -> bool"),
      "True when the password matches the record (constant-time comparison).\n\n"
      "False, never an error, for an empty password, a malformed record, an\n"
      "iteration count outside 1..10000000, an output length outside 1..1024, an\n"
      "unknown hash, or a mismatch.");

  m.def(
      "needs_rehash",
      [](const nb::str& hash_json) -> bool {
        nb::object keep;
        const std::string_view j = lenient_text(hash_json, keep);
        return unlocked([&] { return password::needs_rehash(j); });
      },
      nb::arg("hash_json"), nb::sig("def needs_rehash(hash_json: str) -> bool"),
      "True when the record was made with fewer than 210000 iterations, or its\n"
      "iteration count cannot be read (malformed record).");

  m.def(
      "_parse",
      [](const nb::str& hash_json) -> nb::object {
        nb::object keep;
        const std::string_view j = lenient_text(hash_json, keep);
        std::optional<json> value = unlocked([&] { return password::_parse(j); });
        if (!value) return nb::none();
        nb::object out = json_to_py(*value);
        {
          GilRelease guard;  // a large record is freed off the GIL
          value.reset();
        }
        return out;
      },
      nb::arg("hash_json"), nb::sig("def _parse(hash_json: str) -> dict[str, object] | None"),
      "The record's top-level JSON object as a dict, or None when the text is not\n"
      "a JSON object. A repeated key keeps its last value.");
}

}  // namespace morvex::py
