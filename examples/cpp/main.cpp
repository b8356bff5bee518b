// morvex from C++: AES-256-GCM under a passphrase, RSA-4096 encryption and
// signatures, a post-quantum (X25519 + ML-KEM) message and an ML-DSA signature.
#include <cstdlib>
#include <iostream>
#include <string>

#include "morvex/aes.hpp"
#include "morvex/errors.hpp"
#include "morvex/quantum.hpp"
#include "morvex/rsa.hpp"

namespace {

int failures = 0;

void check(bool ok, const char* what) {
  std::cout << (ok ? "  ok    " : "  FAIL  ") << what << "\n";
  if (!ok) ++failures;
}

}  // namespace

int main() {
  using namespace morvex;

  std::cout << "aes\n";
  const std::string token = aes::encrypt_str("hello from C++", "a passphrase");
  // What is decrypted comes back in an owner that wipes it when released.
  const SecureString text = aes::decrypt_str(token, "a passphrase");
  check(text == "hello from C++", "text round trip (Base64 token)");
  try {
    aes::decrypt_str(token, "another passphrase");
    check(false, "wrong passphrase refused");
  } catch (const DecryptionError& e) {
    // Every error of the library derives from MorvexError and carries a fixed message.
    check(true, "wrong passphrase refused");
    std::cout << "        DecryptionError: " << e.what() << "\n";
  }
  const Bytes blob = aes::encrypt_bytes(as_bytes("raw bytes"), "a passphrase");
  check(blob.size() == 9 + aes::GCM_NONCE_SIZE + aes::GCM_TAG_SIZE, "sealed blob = nonce || ciphertext || tag");

  std::cout << "rsa\n";
  const auto [private_pem, public_pem] = rsa::new_key_pair();  // RSA-4096, PEM texts (the private one wiped)
  const Bytes direct = rsa::encrypt_bytes(as_bytes("a short secret"), public_pem);
  check(to_string(rsa::decrypt_bytes(direct, private_pem)) == "a short secret", "direct RSA-OAEP block");
  const std::string long_text(5000, 'x');
  const Bytes envelope = rsa::encrypt_bytes(as_bytes(long_text), public_pem);
  check(to_string(rsa::decrypt_bytes(envelope, private_pem)) == long_text, "long data as a hybrid envelope");
  const Bytes signature = rsa::sign_bytes(as_bytes("statement"), private_pem);
  check(rsa::verify_bytes(as_bytes("statement"), signature, public_pem), "RSA-PSS signature verifies");
  check(!rsa::verify_bytes(as_bytes("altered"), signature, public_pem), "altered data does not verify");

  std::cout << "quantum\n";
  try {
    const quantum::KeyPair keys = quantum::generate_keypair();  // GEN8 (X25519 + ML-KEM-1024)
    const quantum::Encrypted sealed = quantum::encrypt("post-quantum hello", keys.public_key);
    check(quantum::decrypt(sealed.message, keys.private_key, sealed.secret) == "post-quantum hello",
          "Gen8 message round trip");
    // Other generations and strengths by their enumerations: Gen6 (FrodoKEM-976).
    const quantum::KeyPair gen6 =
        quantum::generate_keypair(quantum::QuantumGeneration::GEN6, quantum::QuantumStrength::MEDIUM);
    const quantum::Encrypted sealed6 = quantum::encrypt("frodo hello", gen6.public_key);
    check(quantum::decrypt(sealed6.message, gen6.private_key, sealed6.secret) == "frodo hello",
          "Gen6 message round trip");
    const quantum::KeyPair signer =
        quantum::generate_signature_keypair(quantum::SignatureAlgorithm::ML_DSA, quantum::QuantumStrength::HIGHEST);
    const Bytes sig = quantum::sign(as_bytes("document"), signer.private_key);
    check(quantum::verify(as_bytes("document"), sig, signer.public_key), "ML-DSA signature verifies");
  } catch (const QuantumOperationError& e) {
    // A build without the post-quantum backend reports it here.
    std::cout << "        QuantumOperationError: " << e.what() << "\n";
  }

  std::cout << (failures == 0 ? "all checks passed\n" : "some checks FAILED\n");
  return failures == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
