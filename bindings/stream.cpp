#include <nanobind/stl/filesystem.h>
#include <nanobind/stl/pair.h>

#include <atomic>

#include "module.hpp"
#include "morvex/stream.hpp"

namespace morvex::py {
namespace {

namespace st = morvex::stream;

// A bytes object of `n` bytes that the core fills without the GIL.
template <class F>
nb::bytes filled(std::size_t n, F&& fill) {
  PyObject* obj = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(n));
  if (obj == nullptr) throw nb::python_error();
  nb::bytes out = nb::steal<nb::bytes>(obj);
  const std::span<std::uint8_t> dest(reinterpret_cast<std::uint8_t*>(PyBytes_AsString(obj)), n);
  std::size_t got = 0;
  {
    GilRelease unlocked;
    got = fill(dest);
  }
  if (got != n) return to_bytes(dest.data(), got);
  return out;
}

// An incremental object as Python holds it: one call at a time (the work
// runs without the GIL, so a second thread is refused, not let in).
template <class Core>
struct Incremental {
  Core core;
  std::atomic<bool> busy{false};
  Incremental(std::string_view key, ByteView context) : core(key, context) {}

  struct Claim {
    std::atomic<bool>& flag;
    explicit Claim(std::atomic<bool>& f) : flag(f) {
      if (flag.exchange(true)) throw std::invalid_argument("the object is in use by another thread");
    }
    ~Claim() { flag.store(false); }
  };
  nb::bytes update(ByteView data) {
    Claim claim(busy);
    return filled(core.update_size(data.size()), [&](std::span<std::uint8_t> out) { return core.update_into(data, out); });
  }
  nb::bytes finalize() {
    Claim claim(busy);
    return filled(core.finalize_size(), [&](std::span<std::uint8_t> out) { return core.finalize_into(out); });
  }
};

template <class Core>
void bind_incremental(nb::module_& m, const char* name, const char* doc, const char* update_doc,
                      const char* finalize_doc) {
  using T = Incremental<Core>;
  nb::class_<T>(m, name, doc)
      .def(nb::init<std::string_view, ByteView>(), "key"_a, "context"_a = nb::bytes("", 0))
      .def("update", &T::update, "data"_a, update_doc)
      .def("finalize", &T::finalize, finalize_doc);
}

}  // namespace

void bind_stream(nb::module_& m) {
  m.attr("CHUNK_SIZE") = st::CHUNK_SIZE;
  m.attr("SALT_SIZE") = st::SALT_SIZE;
  m.attr("COMMITMENT_SIZE") = st::COMMITMENT_SIZE;
  m.attr("HEADER_SIZE") = st::HEADER_SIZE;
  m.attr("TAG_SIZE") = st::TAG_SIZE;
  m.attr("SEALED_CHUNK_SIZE") = st::SEALED_CHUNK_SIZE;
  m.attr("MAX_CHUNKS") = st::MAX_CHUNKS;
  const auto none = nb::bytes("", 0);
  // The Python contract of the whole-message operations; the errors are those
  // of morvex/stream.hpp (scripts/check_contracts.py compares them).
  const DocValues sizes = {{"SALT", st::SALT_SIZE},
                           {"COMMITMENT", st::COMMITMENT_SIZE},
                           {"CHUNK", st::CHUNK_SIZE},
                           {"TAG", st::TAG_SIZE}};

  m.def(
      "encrypt_bytes",
      [](ByteView data, std::string_view key, ByteView context) {
        return filled(st::encrypted_size(data.size()), [&](std::span<std::uint8_t> out) {
          st::encrypt_bytes_into(data, key, out, context);
          return out.size();
        });
      },
      "data"_a, "key"_a, "context"_a = none, doc(R"~(Encrypt a whole message (any length, the empty one included).

Args:
    data: the message.
    key: a passphrase or a Base64 key, normalised as in the ``aes`` area.
    context: bytes bound into the key derivation; decryption needs the same.

Returns:
    salt ({SALT}) || commitment ({COMMITMENT}) || chunks of {CHUNK} bytes +
    {TAG}-byte tags, the last one shorter.

Raises:
    InvalidInputError: "Key cannot be empty".
    EncryptionError: the AES-GCM primitive failed.)~", sizes));
  m.def(
      "decrypt_bytes",
      [](ByteView blob, std::string_view key, ByteView context) {
        return filled(st::decrypted_size_hint(blob.size()),
                      [&](std::span<std::uint8_t> out) { return st::decrypt_bytes_into(blob, key, out, context); });
      },
      "blob"_a, "key"_a, "context"_a = none, R"~(Decrypt a whole message in the chunked format.

Args:
    blob: the encrypted message, as any writer of the format made it.
    key: the key text used to encrypt.
    context: the context given when encrypting.

Returns:
    The message.

Raises:
    DecryptionError: the stream is truncated, the key or context is wrong
        (checked before any chunk), or a chunk does not authenticate.)~");
  m.def("encrypt_file", &st::encrypt_file, guard(), "src"_a, "dst"_a, "key"_a, "context"_a = none,
        "Encrypt the file at src into dst (replaced only on success).");
  m.def("decrypt_file", &st::decrypt_file, guard(), "src"_a, "dst"_a, "key"_a, "context"_a = none,
        "Decrypt the file at src into dst (replaced only on success; nothing is left\n"
        "behind on failure).");
  m.def("read_range", &st::read_range, guard(), "blob"_a, "key"_a, "offset"_a, "length"_a, "context"_a = none,
        "The plaintext bytes [offset, offset + length) of an encrypted message.");
  m.def("_check_range", &st::check_range, "length"_a, "The first check of read_range.");
  m.def("_read_range_file", &st::read_range_file, guard(), "src"_a, "key"_a, "offset"_a, "length"_a,
        "context"_a = none, "read_range over the file at src.");

  bind_incremental<st::Encryptor>(
      m, "Encryptor", "Incremental encryption into the chunked format.",
      "Encrypt more data; returns the header (first call) and every completed chunk.",
      "End the message; returns the final short chunk (and the header if nothing came before).");
  bind_incremental<st::Decryptor>(
      m, "Decryptor", "Incremental decryption: returns only authenticated plaintext.",
      "Decrypt more ciphertext; returns the plaintext of every chunk that authenticated.\n\n"
      "After a failure every call raises that failure again.",
      "End the message: checks and opens the final chunk (a truncated stream fails here).");

  nb::class_<st::RangeReader>(m, "_RangeReader", "Random access over a source the caller reads.")
      .def(nb::init<ByteView, std::uint64_t, std::string_view, ByteView>(), "header"_a, "total_size"_a, "key"_a,
           "context"_a = none)
      .def(
          "span",
          [](const st::RangeReader& r, std::int64_t offset, std::int64_t length) {
            const st::RangeReader::Span s = r.span(offset, length);
            return std::pair<std::uint64_t, std::uint64_t>(s.start, s.size);
          },
          "offset"_a, "length"_a, "(start, size) of the ciphertext bytes the range needs.")
      .def("open", &st::RangeReader::open, guard(), "offset"_a, "length"_a, "ciphertext"_a,
           "The plaintext of the range from exactly the bytes span() named.");

  nb::class_<st::PendingFile>(m, "_PendingFile", "A file that replaces its target only when committed.")
      .def(nb::init<const std::filesystem::path&>(), "target"_a)
      .def("write", &st::PendingFile::write, guard(), "data"_a)
      .def("commit", &st::PendingFile::commit, guard())
      .def("discard", &st::PendingFile::discard);
}

}  // namespace morvex::py
