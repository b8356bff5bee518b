#include <nanobind/stl/optional.h>

#include <vector>

#include "module.hpp"
#include "morvex/encoding.hpp"
#include "morvex/password.hpp"

namespace morvex::py {
namespace {

using Item = password::JsonItem;

// The record as dicts and lists, built from the core's items without
// recursion.
nb::object parse(std::string_view hash_json) {
  const std::optional<std::vector<Item>> items = [&] {
    GilRelease unlocked;
    return password::_parse_items(hash_json);
  }();
  if (!items) return nb::none();
  using K = Item::Kind;
  std::vector<nb::object> open;  // containers being filled
  nb::object key, root;
  for (const Item& item : *items) {
    nb::object v;
    switch (item.kind) {
      case K::Key: key = nb::str(item.text.data(), item.text.size()); continue;
      case K::End: open.pop_back(); continue;
      case K::BeginObject: v = nb::dict(); break;
      case K::BeginArray: v = nb::list(); break;
      case K::Boolean: v = nb::bool_(item.boolean); break;
      case K::Integer: v = nb::int_(item.integer); break;
      case K::Unsigned: v = nb::steal(PyLong_FromUnsignedLongLong(item.unsigned_integer)); break;
      case K::BigInteger:  // under the interpreter's limit on digits, like int()
        v = nb::steal(PyLong_FromString(item.text.c_str(), nullptr, 10));
        if (!v.is_valid()) throw nb::python_error();
        break;
      case K::Float: v = nb::float_(item.number); break;
      case K::String: v = nb::str(item.text.data(), item.text.size()); break;
      case K::Null: v = nb::none(); break;
    }
    if (open.empty()) root = v;
    else if (PyDict_Check(open.back().ptr())) nb::borrow<nb::dict>(open.back())[key] = v;
    else nb::borrow<nb::list>(open.back()).append(v);
    if (item.kind == K::BeginObject || item.kind == K::BeginArray) open.push_back(std::move(v));
  }
  return root;
}

template <class T>
struct Arg : nb::detail::make_caster<T> {
  Arg(nb::handle h, const char* what) {
    if (!this->from_python(h, static_cast<std::uint32_t>(nb::detail::cast_flags::convert), nullptr))
      throw nb::type_error(what);
  }
};

// The core's refusals of an unknown hash name and of a password without a
// UTF-8 form come before the other arguments are converted (and so before
// their type errors).
SecureBytes derive(std::string_view pw, nb::handle salt, nb::handle iterations, nb::handle length,
                   std::string_view hash_algorithm) {
  if (password::_find_hash(hash_algorithm) == nullptr) return password::_derive(pw, {}, 1, 1, hash_algorithm);
  encoding::text_bytes(pw);
  const Arg<ByteView> s(salt, "salt must be a bytes-like object");
  const Arg<std::int64_t> it(iterations, "iterations must be an integer");
  const Arg<std::int64_t> len(length, "length must be an integer");
  GilRelease unlocked;
  return password::_derive(pw, s.value, it.value, len.value, hash_algorithm);
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
  m.def("hash_password", &password::hash_password, guard(), "password"_a, "iterations"_a = password::DEFAULT_ITERATIONS,
        "Hash a password into a new JSON record (PBKDF2-HMAC-SHA512, fresh 32-byte salt).\n\n"
        "Raises InvalidInputError \"Password cannot be empty\", or InvalidInputError for an\n"
        "iteration count outside 1..10000000.");
  m.def("verify_password", &password::verify_password, guard(), "password"_a, "hash_json"_a,
        "True when the password matches the record (constant-time comparison).\n\n"
        "False, never an error, for an empty password, a malformed record, an\n"
        "iteration count outside 1..10000000, an output length outside 1..1024, an\n"
        "unknown hash, or a mismatch.");
  m.def("needs_rehash", &password::needs_rehash, guard(), "hash_json"_a,
        "True when the record was made with fewer than 210000 iterations, or its\n"
        "iteration count cannot be read (malformed record).");
  m.def("_parse", &parse, "hash_json"_a, nb::sig("def _parse(hash_json: str) -> dict[str, object] | None"),
        "The record's top-level JSON object as a dict, or None when the text is not\n"
        "a JSON object. A repeated key keeps its last value.");
}

}  // namespace morvex::py
