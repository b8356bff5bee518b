#include "hybrid/internal.hpp"
#include "module.hpp"
#include "morvex/hybrid.hpp"

namespace morvex::py {

void bind_hybrid(nb::module_& m) {
  m.attr("RSA_BLOCK") = hybrid::RSA_BLOCK;
  m.attr("NONCE") = aes::GCM_NONCE_SIZE;
  m.attr("TAG") = aes::GCM_TAG_SIZE;
  m.attr("HYBR") = to_bytes(hybrid::HYBR);

  // The Python contract of each public operation; the errors are those of
  // morvex/hybrid.hpp (scripts/check_contracts.py compares them).
  const DocValues sizes = {
      {"BLOCK", hybrid::RSA_BLOCK},
      {"BITS", hybrid::RSA_BLOCK * 8},
      {"NONCE", aes::GCM_NONCE_SIZE},
      {"TAG", aes::GCM_TAG_SIZE},
      {"OVERHEAD", hybrid::ENVELOPE_OVERHEAD}};

  m.def("encrypt_bytes",
        &written_in_place<&hybrid::encrypted_size, &hybrid::encrypt_bytes_into, &hybrid::encrypt_bytes>, "data"_a,
        "public_pem"_a, doc(R"~(Seal bytes of any length to an RSA-{BITS} public key as a hybrid envelope.

Envelope: {BLOCK} (u32 little-endian) || RSA-OAEP block of a fresh AES-256 key ||
nonce ({NONCE}) || tag ({TAG}) || ciphertext.

Args:
    data: the bytes to seal; must not be empty.
    public_pem: the recipient's RSA-{BITS} public key PEM.

Returns:
    The envelope, len(data) + {OVERHEAD} bytes.

Raises:
    InvalidInputError: "Data cannot be empty"; "Invalid RSA public key PEM:
        ..."; a recipient key that is not {BITS} bits.
    EncryptionError: the RSA or the AES step failed.)~", sizes));
  m.def("encrypt_str", &hybrid::encrypt_str, guard(), "plaintext"_a, "public_pem"_a,
        doc(R"~(Seal text to an RSA-{BITS} public key as a hybrid envelope.

Args:
    plaintext: the text (its UTF-8 bytes); must not be empty.
    public_pem: the recipient's RSA-{BITS} public key PEM.

Returns:
    The envelope as Base64 text.

Raises:
    InvalidInputError: "Plaintext cannot be empty"; "Invalid RSA public key
        PEM: ..."; a recipient key that is not {BITS} bits.
    EncryptionError: the RSA or the AES step failed.)~", sizes));
  m.def("_net_decrypt", &hybrid::_net_decrypt, guard(), "blob"_a, "private_pem"_a,
        "Open a hybrid envelope (fixed offsets; the length field is not read).\n\n"
        "Raises DecryptionError \"Hybrid AES-GCM decryption failed (wrong key or tampered data)\"\n"
        "or the RSA block's errors.");
  m.def("decrypt_auto",
        &written_in_place<&hybrid::known_plaintext_size, &hybrid::decrypt_auto_into, &hybrid::decrypt_auto>,
        "blob"_a, "private_pem"_a, doc(R"~(Open a hybrid envelope, a direct RSA-OAEP block or a legacy envelope.

The format is told apart by the blob's length and first four bytes:
b"HYBR" starts a legacy envelope (at least 8 bytes), a first u32 of {BLOCK} in
a blob of {OVERHEAD} bytes or more an envelope, anything else is a direct block.

Args:
    blob: the ciphertext.
    private_pem: the private key PEM.

Returns:
    The plaintext bytes.

Raises:
    DecryptionError: "RSA decryption failed: ..."; "Hybrid AES-GCM decryption
        failed (wrong key or tampered data)"; "Invalid hybrid data (legacy
        Swift format)"; the AES error of a legacy envelope's sealed blob.
    InvalidInputError: "Invalid RSA private key PEM: ..." for an unreadable key text.)~", sizes));
  m.def("_legacy_decrypt", &hybrid::_legacy_decrypt, guard(), "blob"_a, "private_pem"_a,
        "Open a legacy envelope: b\"HYBR\" || key length (u32 BE) || RSA block || sealed AES blob.\n\n"
        "Raises DecryptionError \"Invalid hybrid data (legacy Swift format)\" when nothing\n"
        "follows the RSA block.");
  m.def("decrypt_str", &hybrid::decrypt_str, guard(), "ciphertext_b64"_a, "private_pem"_a,
        R"~(Decrypt Base64 text of any RSA-side format back to text.

Args:
    ciphertext_b64: strict standard Base64 of an envelope, a direct RSA block
        or a legacy envelope.
    private_pem: the private key PEM.

Returns:
    The plaintext.

Raises:
    DecryptionError: "Ciphertext is not valid Base64"; any error of the
        format detection; "Decrypted data is not valid UTF-8".
    InvalidInputError: "Invalid RSA private key PEM: ..." for an unreadable key text.)~");
}

}  // namespace morvex::py
