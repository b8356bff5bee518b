// Fixed key texts shared by the RSA and envelope tests.
#pragma once

namespace morvex::test {

extern const char* const kPrivateA;
extern const char* const kPublicA;
extern const char* const kPublicA_Pkcs1;
extern const char* const kPrivateB;
extern const char* const kPublicB;
extern const char* const kPrivate2048;
extern const char* const kPublic2048;
extern const char* const kEncryptedPkcs8;
extern const char* const kEncryptedPkcs1;
extern const char* const kEcPrivate;
extern const char* const kEcPublic;

}  // namespace morvex::test
