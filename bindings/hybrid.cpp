#include "rsa_side.hpp"
#include "morvex/hybrid.hpp"

namespace morvex::py {

nb::bytes decrypt_auto_result(nb::handle blob, const nb::str& pem) {
  const BytesArg in(blob);
  nb::object keep;
  const std::string_view k = lenient_text(pem, keep);
  const ByteView v = in.view();
  if (const std::optional<std::size_t> n = hybrid::known_plaintext_size(v)) {
    return bytes_result(*n, [&](std::span<std::uint8_t> out) { hybrid::decrypt_auto_into(v, k, out); });
  }
  return to_py_bytes(unlocked([&] { return hybrid::decrypt_auto(v, k); }));
}

void bind_hybrid(nb::module_& m) {
  m.attr("RSA_BLOCK") = hybrid::RSA_BLOCK;
  m.attr("NONCE") = hybrid::NONCE;
  m.attr("TAG") = hybrid::TAG;
  m.attr("HYBR") = nb::bytes(reinterpret_cast<const char*>(hybrid::HYBR.data()), hybrid::HYBR.size());

  m.def(
      "encrypt_bytes",
      [](nb::handle data, const nb::str& pem) -> nb::bytes {
        const BytesArg in(data);
        nb::object keep;
        const std::string_view k = lenient_text(pem, keep);
        const ByteView v = in.view();
        if (v.empty()) {  // no output to size: let the core report it
          unlocked([&] { return hybrid::encrypt_bytes(v, k); });
          return nb::bytes();
        }
        return bytes_result(v.size() + hybrid::ENVELOPE_OVERHEAD,
                            [&](std::span<std::uint8_t> out) { hybrid::encrypt_bytes_into(v, k, out); });
      },
      nb::arg("data"), nb::arg("public_pem"),
      nb::sig("def encrypt_bytes(data: bytes | bytearray | memoryview, public_pem: str) -> bytes"),
      "Seal data of any length to an RSA-4096 public key as a hybrid envelope:\n"
      "length (u32 LE) || RSA-OAEP block of a fresh AES-256 key || nonce || tag || ciphertext.\n\n"
      "Raises InvalidInputError for empty data, an unreadable key or a recipient key\n"
      "that is not 4096 bits; EncryptionError when the RSA or AES step fails.");
  m.def(
      "encrypt_str",
      text_with_key([](std::string_view t, std::string_view k) { return hybrid::encrypt_str(t, k); }),
      nb::arg("plaintext"), nb::arg("public_pem"),
      "Seal text (as UTF-8) as a hybrid envelope; returns Base64 text.\n\n"
      "Raises InvalidInputError for the empty text.");
  m.def(
      "_net_decrypt",
      bytes_with_key([](ByteView v, std::string_view k) { return hybrid::_net_decrypt(v, k); }),
      nb::arg("blob"), nb::arg("private_pem"),
      nb::sig("def _net_decrypt(blob: bytes | bytearray | memoryview, private_pem: str) -> bytes"),
      "Open a hybrid envelope (fixed offsets; the length field is not read).\n\n"
      "Raises DecryptionError \"Hybrid AES-GCM decryption failed (wrong key or tampered data)\"\n"
      "or the RSA block's errors.");
  m.def(
      "decrypt_auto",
      [](nb::handle blob, const nb::str& pem) { return decrypt_auto_result(blob, pem); },
      nb::arg("blob"), nb::arg("private_pem"),
      nb::sig("def decrypt_auto(blob: bytes | bytearray | memoryview, private_pem: str) -> bytes"),
      "Decrypt whatever the RSA and hybrid areas write or wrote, told apart by the bytes:\n"
      "1. at least 8 bytes beginning with b\"HYBR\": legacy envelope;\n"
      "2. at least 544 bytes whose first four read 512 (u32 LE): hybrid envelope;\n"
      "3. anything else: a direct RSA-OAEP block.");
  m.def(
      "_legacy_decrypt",
      bytes_with_key([](ByteView v, std::string_view k) { return hybrid::_legacy_decrypt(v, k); }),
      nb::arg("blob"), nb::arg("private_pem"),
      nb::sig("def _legacy_decrypt(blob: bytes | bytearray | memoryview, private_pem: str) -> bytes"),
      "Open a legacy envelope: b\"HYBR\" || key length (u32 BE) || RSA block || sealed AES blob.\n\n"
      "Raises DecryptionError \"Invalid hybrid data (legacy Swift format)\" when nothing\n"
      "follows the RSA block.");
  m.def(
      "decrypt_str",
      text_with_key([](std::string_view t, std::string_view k) { return hybrid::decrypt_str(t, k); }),
      nb::arg("ciphertext_b64"), nb::arg("private_pem"),
      "Decrypt Base64 text (any format decrypt_auto reads) back to text.\n\n"
      "Raises DecryptionError \"Ciphertext is not valid Base64\" or\n"
      "\"Decrypted data is not valid UTF-8\", or the error of decrypt_auto.");
}

}  // namespace morvex::py
