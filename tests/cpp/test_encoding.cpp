#include "morvex/encoding.hpp"
#include "morvex/keys.hpp"
#include "test_util.hpp"

using namespace morvex;
using morvex::test::bytes_of;
using morvex::test::from_hex;

const nlohmann::json kCases = morvex::test::load_cases("encoding.json");

TEST(Base64, KnownAnswers) {
  for (const auto& c : kCases["base64_accepted"]) {
    const std::string text = c[0];
    const Bytes data = from_hex(c[1].get<std::string>());
    EXPECT_EQ(encoding::base64_decode(text), data) << text;
    EXPECT_EQ(encoding::base64_decode_secure(text), data) << text;  // the same reading into a wiping owner
    if (!c[2].get<bool>()) continue;
    EXPECT_EQ(encoding::base64_encode(data), text);
    EXPECT_EQ(encoding::base64_encoded_size(data.size()), text.size());
  }
}

TEST(Base64, StrictReadingRefusesEverythingOutsideTheRules) {
  for (const auto& c : kCases["base64_refused"]) {
    const std::string bad = c;
    EXPECT_THROW(encoding::base64_decode(bad), Base64Error) << bad;
    EXPECT_THROW(encoding::base64_decode_secure(bad), Base64Error) << bad;
    EXPECT_FALSE(encoding::try_base64_decode(bad).has_value()) << bad;
    EXPECT_FALSE(encoding::try_base64_decode_secure(bad).has_value()) << bad;
  }
}

TEST(Utf8, AcceptsWellFormedTextAndNamesTheFirstFault) {
  for (const auto& ok : kCases["utf8_accepted"])
    EXPECT_NO_THROW(encoding::validate_utf8(bytes_of(ok.get<std::string>()))) << ok;
  for (const auto& c : kCases["utf8_refused"]) {
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
  for (const auto& c : kCases["convert_key"]) {
    const keys::AesKey key = keys::convert_key(c[0].get<std::string>());
    EXPECT_EQ(Bytes(key.data(), key.data() + keys::AES_KEY_SIZE), from_hex(c[1].get<std::string>())) << c[0];
  }
}
