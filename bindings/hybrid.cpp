#include "module.hpp"
#include "morvex/hybrid.hpp"

namespace morvex::py {

void bind_hybrid(nb::module_& m) {
  m.attr("RSA_BLOCK") = hybrid::RSA_BLOCK;
  m.attr("NONCE") = hybrid::NONCE;
  m.attr("TAG") = hybrid::TAG;
  m.attr("HYBR") = to_bytes(hybrid::HYBR);

  m.def("encrypt_bytes",
        &written_in_place<&hybrid::encrypted_size, &hybrid::encrypt_bytes_into, &hybrid::encrypt_bytes>, "data"_a,
        "public_pem"_a,
        "Seal data of any length to an RSA-4096 public key as a hybrid envelope:\n"
        "length (u32 LE) || RSA-OAEP block of a fresh AES-256 key || nonce || tag || ciphertext.\n\n"
        "Raises InvalidInputError for empty data, an unreadable key or a recipient key\n"
        "that is not 4096 bits; EncryptionError when the RSA or AES step fails.");
  m.def("encrypt_str", &hybrid::encrypt_str, guard(), "plaintext"_a, "public_pem"_a,
        "Seal text (as UTF-8) as a hybrid envelope; returns Base64 text.\n\n"
        "Raises InvalidInputError for the empty text.");
  m.def("_net_decrypt", &hybrid::_net_decrypt, guard(), "blob"_a, "private_pem"_a,
        "Open a hybrid envelope (fixed offsets; the length field is not read).\n\n"
        "Raises DecryptionError \"Hybrid AES-GCM decryption failed (wrong key or tampered data)\"\n"
        "or the RSA block's errors.");
  m.def("decrypt_auto",
        &written_in_place<&hybrid::known_plaintext_size, &hybrid::decrypt_auto_into, &hybrid::decrypt_auto>,
        "blob"_a, "private_pem"_a,
        "Decrypt whatever the RSA and hybrid areas write or wrote, told apart by the bytes:\n"
        "1. at least 8 bytes beginning with b\"HYBR\": legacy envelope;\n"
        "2. at least 544 bytes whose first four read 512 (u32 LE): hybrid envelope;\n"
        "3. anything else: a direct RSA-OAEP block.");
  m.def("_legacy_decrypt", &hybrid::_legacy_decrypt, guard(), "blob"_a, "private_pem"_a,
        "Open a legacy envelope: b\"HYBR\" || key length (u32 BE) || RSA block || sealed AES blob.\n\n"
        "Raises DecryptionError \"Invalid hybrid data (legacy Swift format)\" when nothing\n"
        "follows the RSA block.");
  m.def("decrypt_str", &hybrid::decrypt_str, guard(), "ciphertext_b64"_a, "private_pem"_a,
        "Decrypt Base64 text (any format decrypt_auto reads) back to text.\n\n"
        "Raises DecryptionError \"Ciphertext is not valid Base64\" or\n"
        "\"Decrypted data is not valid UTF-8\", or the error of decrypt_auto.");
}

}  // namespace morvex::py
