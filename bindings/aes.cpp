#include "module.hpp"
#include "morvex/aes.hpp"

namespace morvex::py {

void bind_aes(nb::module_& m) {
  m.attr("GCM_NONCE_SIZE") = aes::GCM_NONCE_SIZE;
  m.attr("GCM_TAG_SIZE") = aes::GCM_TAG_SIZE;
  const auto no_ad = nb::bytes("", 0);

  m.def("encrypt_bytes",
        &written_in_place<&aes::encrypted_size, &aes::encrypt_bytes_into, &aes::encrypt_bytes, ByteView>, "data"_a,
        "key"_a, nb::kw_only(), "associated_data"_a = no_ad,
        "Seal data with AES-256-GCM under the key text.\n\n"
        "Returns nonce (12 bytes) || ciphertext || tag (16 bytes). associated_data is\n"
        "authenticated but not stored: decryption needs the same bytes (empty by default).\n"
        "Raises InvalidInputError for empty data, EncryptionError if sealing fails.");
  m.def("decrypt_bytes",
        &written_in_place<&aes::decrypted_size, &aes::decrypt_bytes_into, &aes::decrypt_bytes, ByteView>, "blob"_a,
        "key"_a, nb::kw_only(), "associated_data"_a = no_ad,
        "Open a sealed blob made by encrypt_bytes.\n\n"
        "Raises DecryptionError when the blob is shorter than 29 bytes or does not\n"
        "authenticate under the key and associated data (wrong key, wrong associated\n"
        "data or altered data).");
  m.def("encrypt_str", &aes::encrypt_str, guard(), "plaintext"_a, "key"_a, nb::kw_only(),
        "associated_data"_a = no_ad,
        "Encrypt text (as UTF-8) and return the sealed blob as Base64 text.\n\n"
        "associated_data is authenticated but not stored (empty by default).\n"
        "Raises InvalidInputError for the empty text, EncryptionError if sealing fails.");
  m.def("decrypt_str", &aes::decrypt_str, guard(), "ciphertext_b64"_a, "key"_a, nb::kw_only(),
        "associated_data"_a = no_ad,
        "Decrypt the Base64 text of a sealed blob back to text.\n\n"
        "Raises DecryptionError: \"Ciphertext is not valid Base64\", the error of\n"
        "decrypt_bytes, or \"Decrypted data is not valid UTF-8\".");
}

}  // namespace morvex::py
