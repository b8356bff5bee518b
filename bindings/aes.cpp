#include "module.hpp"
#include "morvex/aes.hpp"

namespace morvex::py {

void bind_aes(nb::module_& m) {
  m.attr("GCM_NONCE_SIZE") = aes::GCM_NONCE_SIZE;
  m.attr("GCM_TAG_SIZE") = aes::GCM_TAG_SIZE;
  const auto no_ad = nb::bytes("", 0);

  // The Python contract of each operation; the errors are those of
  // morvex/aes.hpp (scripts/check_contracts.py compares them).
  const DocValues sizes = {
      {"NONCE", aes::GCM_NONCE_SIZE}, {"TAG", aes::GCM_TAG_SIZE}, {"MIN_BLOB", aes::sealed_size(1)}};

  m.def("encrypt_bytes",
        &written_in_place<&aes::encrypted_size, &aes::encrypt_bytes_into, &aes::encrypt_bytes, ByteView>, "data"_a,
        "key"_a, nb::kw_only(), "associated_data"_a = no_ad, doc(R"~(Seal bytes with AES-256-GCM under a key text.

Args:
    data: the bytes to seal; must not be empty.
    key: a passphrase or a Base64 key, not empty; normalised to a 32-byte AES key.
    associated_data: bytes authenticated with the blob but not stored in it;
        decryption needs the same bytes. Empty by default (the blob is then
        exactly that of a call without it).

Returns:
    The sealed blob: nonce ({NONCE}) || ciphertext || tag ({TAG}), len(data) + {NONCE} + {TAG} bytes.

Raises:
    InvalidInputError: "Data cannot be empty"; "Key cannot be empty".
    EncryptionError: the AES-GCM primitive failed.)~", sizes));
  m.def("decrypt_bytes",
        &written_in_place<&aes::decrypted_size, &aes::decrypt_bytes_into, &aes::decrypt_bytes, ByteView>, "blob"_a,
        "key"_a, nb::kw_only(), "associated_data"_a = no_ad, doc(R"~(Open a sealed blob.

Args:
    blob: nonce || ciphertext || tag, as the sealing made it.
    key: the key text used to seal.
    associated_data: the associated data given when sealing; a wrong one
        fails exactly like a wrong key.

Returns:
    The original bytes.

Raises:
    DecryptionError: the blob is shorter than {MIN_BLOB} bytes, or does not
        authenticate under the key (wrong key, wrong associated data or
        altered data).)~", sizes));
  m.def("encrypt_str", &aes::encrypt_str, guard(), "plaintext"_a, "key"_a, nb::kw_only(),
        "associated_data"_a = no_ad, doc(R"~(Encrypt text with AES-256-GCM under a key text.

Args:
    plaintext: the text to encrypt (its UTF-8 bytes); must not be empty.
    key: a passphrase or a Base64 key, not empty; normalised to a 32-byte AES key.
    associated_data: bytes authenticated with the blob but not stored in it;
        decryption needs the same bytes. Empty by default.

Returns:
    The sealed blob (nonce {NONCE} || ciphertext || tag {TAG}) as Base64 text.

Raises:
    InvalidInputError: "Plaintext cannot be empty"; "Key cannot be empty".
    EncryptionError: the AES-GCM primitive failed.)~", sizes));
  m.def("decrypt_str", &aes::decrypt_str, guard(), "ciphertext_b64"_a, "key"_a, nb::kw_only(),
        "associated_data"_a = no_ad, doc(R"~(Decrypt the Base64 text of a sealed blob back to text.

Args:
    ciphertext_b64: strict standard Base64 of a sealed blob.
    key: the key text used to encrypt.
    associated_data: the associated data given when encrypting; a wrong one
        fails exactly like a wrong key.

Returns:
    The plaintext.

Raises:
    DecryptionError: "Ciphertext is not valid Base64"; the blob is too short
        or does not authenticate (wrong key, altered data); "Decrypted data
        is not valid UTF-8".)~", sizes));
}

}  // namespace morvex::py
