#include <random>

#include "morvex/encoding.hpp"
#include "morvex/keys.hpp"
#include "test_util.hpp"

using namespace morvex;
using morvex::test::bytes_of;
using morvex::test::from_hex;

namespace {

const nlohmann::json& cases() {
  static const nlohmann::json j = morvex::test::load_cases("encoding.json");
  return j;
}

}  // namespace

TEST(Base64, RoundTripsEveryLengthUpTo64AndKnownVectors) {
  std::mt19937 rng(7);
  for (std::size_t n = 0; n <= 64; ++n) {
    Bytes data(n);
    for (auto& b : data) b = static_cast<std::uint8_t>(rng());
    const std::string text = encoding::base64_encode(data);
    EXPECT_EQ(text.size(), encoding::base64_encoded_size(n));
    EXPECT_EQ(encoding::base64_decode(text), data);
  }
  EXPECT_EQ(encoding::base64_encode(bytes_of("f")), "Zg==");
  EXPECT_EQ(encoding::base64_encode(bytes_of("fo")), "Zm8=");
  EXPECT_EQ(encoding::base64_decode("Zm9vYg=="), bytes_of("foob"));
  const SecureBytes secret = encoding::base64_decode_secure("Zm9vYg==");  // the same reading into a wiping owner
  EXPECT_EQ(Bytes(secret.begin(), secret.end()), bytes_of("foob"));
  // Non-zero unused bits in the last group are accepted.
  EXPECT_EQ(encoding::base64_decode("Zh=="), bytes_of("f"));
  EXPECT_EQ(encoding::base64_decode("Zm9="), bytes_of("fo"));
}

TEST(Base64, StrictReadingRefusesEverythingOutsideTheRules) {
  for (const auto& c : cases()["base64_refused"]) {
    const std::string bad = c;
    EXPECT_THROW(encoding::base64_decode(bad), Base64Error) << bad;
    EXPECT_THROW(encoding::base64_decode_secure(bad), Base64Error) << bad;
    EXPECT_FALSE(encoding::try_base64_decode(bad).has_value()) << bad;
  }
}

TEST(Utf8, AcceptsWellFormedTextAndNamesTheFirstFault) {
  for (const auto& ok : cases()["utf8_accepted"])
    EXPECT_NO_THROW(encoding::validate_utf8(bytes_of(ok.get<std::string>()))) << ok;
  for (const auto& c : cases()["utf8_refused"]) {
    const Bytes text = from_hex(c[0].get<std::string>());
    try {
      encoding::validate_utf8(text);
      ADD_FAILURE() << c << " accepted";
    } catch (const Utf8Error& e) {
      EXPECT_EQ(e.start(), c[1].get<std::size_t>()) << c;
      EXPECT_EQ(e.reason(), c[2].get<std::string>()) << c;
    }
    EXPECT_FALSE(encoding::is_valid_utf8(text));
  }
}

TEST(Keys, ConvertKeyKnownAnswers) {
  for (const auto& c : cases()["convert_key"]) {
    const keys::AesKey key = keys::convert_key(c[0].get<std::string>());
    EXPECT_EQ(Bytes(key.data(), key.data() + keys::AES_KEY_SIZE), from_hex(c[1].get<std::string>())) << c[0];
  }
}
