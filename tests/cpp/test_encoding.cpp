#include <random>

#include "morvex/encoding.hpp"
#include "test_util.hpp"

using namespace morvex;
using morvex::test::bytes_of;

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
  for (const char* bad : {"Zg", "Zg=", "Zm9vYmF", "Zm9v\n", " Zm9v", "Zm 9v", "Zm-v", "Zm_v",
                          "====", "Zg==Zm9v", "Z===", "QUJD====", "=Zm9", "Zm=v", "Zg=a",
                          "Zm9v\xc2\xa0", "Zm9vYmFy\r\n"}) {
    EXPECT_THROW(encoding::base64_decode(bad), Base64Error) << bad;
    EXPECT_THROW(encoding::base64_decode_secure(bad), Base64Error) << bad;
    EXPECT_FALSE(encoding::try_base64_decode(bad).has_value()) << bad;
  }
}

TEST(Utf8, AcceptsWellFormedText) {
  for (const char* ok : {"", "plain", "\xc3\xa9t\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x94\x91",
                         "\xef\xbb\xbf" "bom", "\xf4\x8f\xbf\xbf", "\xed\x9f\xbf"}) {
    EXPECT_NO_THROW(encoding::validate_utf8(bytes_of(ok))) << ok;
  }
}

TEST(Utf8, RefusesMalformedSequences) {
  struct Case {
    std::string bytes;
    std::size_t start;
    const char* reason;
  };
  const Case cases[] = {
      {"a\x80", 1, "invalid start byte"},
      {"\xc0\xaf", 0, "invalid start byte"},             // overlong
      {"\xe0\x80\xaf", 0, "invalid continuation byte"},  // overlong
      {"\xed\xa0\x80", 0, "invalid continuation byte"},  // surrogate
      {"\xf4\x90\x80\x80", 0, "invalid continuation byte"},  // > U+10FFFF
      {"\xf5\x80\x80\x80", 0, "invalid start byte"},
      {"ab\xe2\x82", 2, "unexpected end of data"},
      {"\xc3(", 0, "invalid continuation byte"},
  };
  for (const auto& c : cases) {
    try {
      encoding::validate_utf8(bytes_of(c.bytes));
      ADD_FAILURE() << "accepted";
    } catch (const Utf8Error& e) {
      EXPECT_EQ(e.start(), c.start);
      EXPECT_EQ(e.reason(), c.reason);
    }
    EXPECT_FALSE(encoding::is_valid_utf8(bytes_of(c.bytes)));
  }
}
