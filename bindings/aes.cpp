#include "glue.hpp"
#include "morvex/aes.hpp"

namespace morvex::py {

void bind_aes(nb::module_& m) {
  m.attr("GCM_NONCE_SIZE") = aes::GCM_NONCE_SIZE;
  m.attr("GCM_TAG_SIZE") = aes::GCM_TAG_SIZE;

  m.def(
      "encrypt_bytes",
      [](nb::handle data, const nb::str& key) {
        const BytesArg in(data);
        const std::string_view k = text_arg(key);
        const ByteView v = in.view();
        // Empty data is refused by the core before anything is written.
        return bytes_result(aes::sealed_size(v.size()),
                            [&](std::span<std::uint8_t> out) { aes::encrypt_bytes_into(v, k, out); });
      },
      nb::arg("data"), nb::arg("key"),
      nb::sig("def encrypt_bytes(data: bytes | bytearray | memoryview, key: str) -> bytes"),
      "Seal data with AES-256-GCM under the key text.\n\n"
      "Returns nonce (12 bytes) || ciphertext || tag (16 bytes).\n"
      "Raises InvalidInputError for empty data, EncryptionError if sealing fails.");

  m.def(
      "decrypt_bytes",
      [](nb::handle blob, const nb::str& key) -> nb::bytes {
        const BytesArg in(blob);
        const std::string_view k = text_arg(key);
        const ByteView v = in.view();
        // A blob too short to carry ciphertext is refused by the core before
        // anything is written, so the result is then sized 0.
        const std::size_t overhead = aes::GCM_NONCE_SIZE + aes::GCM_TAG_SIZE;
        return bytes_result(v.size() > overhead ? v.size() - overhead : 0,
                            [&](std::span<std::uint8_t> out) { aes::decrypt_bytes_into(v, k, out); });
      },
      nb::arg("blob"), nb::arg("key"),
      nb::sig("def decrypt_bytes(blob: bytes | bytearray | memoryview, key: str) -> bytes"),
      "Open a sealed blob made by encrypt_bytes.\n\n"
      "Raises DecryptionError when the blob is shorter than 29 bytes or does not\n"
      "authenticate under the key (wrong key or altered data).");

  m.def(
      "encrypt_str",
      [](const nb::str& plaintext, const nb::str& key) {
        const std::string_view p = text_arg(plaintext);
        const std::string_view k = text_arg(key);
        return to_py_str(unlocked([&] { return aes::encrypt_str(p, k); }));
      },
      nb::arg("plaintext"), nb::arg("key"),
      "Encrypt text (as UTF-8) and return the sealed blob as Base64 text.\n\n"
      "Raises InvalidInputError for the empty text, EncryptionError if sealing fails.");

  m.def(
      "decrypt_str",
      [](const nb::str& ciphertext_b64, const nb::str& key) {
        const std::string_view c = text_arg(ciphertext_b64);
        const std::string_view k = text_arg(key);
        return to_py_str(unlocked([&] { return aes::decrypt_str(c, k); }));
      },
      nb::arg("ciphertext_b64"), nb::arg("key"),
      "Decrypt the Base64 text of a sealed blob back to text.\n\n"
      "Raises DecryptionError: \"Ciphertext is not valid Base64\", the error of\n"
      "decrypt_bytes, or \"Decrypted data is not valid UTF-8\".");
}

}  // namespace morvex::py
