// The stable hash, base64 and the resume keys, through the internals and the
// C interface. Expected hashes were computed independently of this code.
#include <cstdint>
#include <cstring>
#include <string>

#include "keys/keys.h"
#include "support/fixture.h"

using kavo_test::KavoTest;

namespace {

class KeysTest : public KavoTest {
 protected:
  // Leaves a failure in the status frame so that a later success must empty it.
  static void leave_failure() {
    ASSERT_EQ(kavo_set_row_cap(0), 2);
    ASSERT_EQ(kavo_last_code(), 2);
  }
  static void expect_success() {
    EXPECT_EQ(kavo_last_code(), 0);
    EXPECT_STREQ(kavo_last_error(), "");
  }
  static void expect_failure(int32_t code, const char* message) {
    EXPECT_EQ(kavo_last_code(), code);
    EXPECT_STREQ(kavo_last_error(), message);
  }
};

// The hash of `text` as kavo_stable_hash writes it into a roomy buffer.
std::string hash_of(const char* text) {
  char out[32];
  std::memset(out, '#', sizeof out);
  int32_t rc = kavo_stable_hash(text, out, sizeof out);
  EXPECT_EQ(rc, 0) << "text: " << text;
  return rc == 0 ? std::string(out) : std::string("<failed>");
}

std::string b64(const std::string& bytes, std::size_t size = 64) {
  char out[64];
  std::memset(out, '#', sizeof out);
  kavo::b64_encode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out, size);
  return std::string(out);
}

TEST_F(KeysTest, HashUnitsLanesAndSign) {
  EXPECT_EQ(kavo::stable_hash_units(nullptr, 0), 371857150);
  const uint16_t abc[] = {'a', 'b', 'c'};
  EXPECT_EQ(kavo::stable_hash_units(abc, 3), 1099313834);
  // Even and odd positions feed different lanes: swapping units changes it.
  const uint16_t ab[] = {'a', 'b'};
  const uint16_t ba[] = {'b', 'a'};
  EXPECT_EQ(kavo::stable_hash_units(ab, 2), 1093630535);
  EXPECT_NE(kavo::stable_hash_units(ba, 2), 1093630535);
  // A single unit only touches the first lane.
  const uint16_t a[] = {'a'};
  EXPECT_EQ(kavo::stable_hash_units(a, 1), 372029373);
  // Surrogates as separate units.
  const uint16_t smile[] = {0xD83D, 0xDE00};
  EXPECT_EQ(kavo::stable_hash_units(smile, 2), 1126268081);
  // These two units make the mixed value exactly -2^31, which has no absolute
  // value in 32 bits and therefore gives 0.
  const uint16_t minimum[] = {25440, 7610};
  EXPECT_EQ(kavo::stable_hash_units(minimum, 2), 0);
  const uint16_t near_minimum[] = {0x6360, 0x1DBB};
  EXPECT_EQ(kavo::stable_hash_units(near_minimum, 2), 581399707);
}

TEST_F(KeysTest, StableHashKnownTexts) {
  leave_failure();
  EXPECT_EQ(hash_of(""), "371857150");
  expect_success();
  EXPECT_EQ(hash_of("abc"), "1099313834");
  EXPECT_EQ(hash_of("ab"), "1093630535");
  EXPECT_EQ(hash_of(std::string(1000, 'x').c_str()), "1082926846");
  // A long text mixing one-, two-, three- and four-byte sequences: the lanes
  // wrap many times and the working buffer must hold every unit.
  std::string long_text;
  for (int i = 0; i < 100000; ++i) long_text += "h\xC3\xA9llo\xF0\x9F\x98\x80";
  EXPECT_EQ(hash_of(long_text.c_str()), "397641982");
  // U+1F600 hashes as its two surrogates; U+6360 U+1DBA reach -2^31.
  EXPECT_EQ(hash_of("\xF0\x9F\x98\x80"), "1126268081");
  EXPECT_EQ(hash_of("\xE6\x8D\xA0\xE1\xB6\xBA"), "0");
}

TEST_F(KeysTest, StableHashDecodingRules) {
  // A three- or four-byte sequence of value 0 ends the text.
  EXPECT_EQ(hash_of("ab\xE0\x80\x80" "cd"), "1093630535");
  EXPECT_EQ(hash_of("ab\xF0\x80\x80\x80" "cd"), "1093630535");
  EXPECT_EQ(hash_of("\xE0\x80\x80"), "371857150");
  // Overlong forms are used as they come out: both read as 'A'.
  const std::string plain_a = hash_of("A");
  EXPECT_EQ(plain_a, "372029405");
  EXPECT_EQ(hash_of("\xE0\x81\x81"), plain_a);
  EXPECT_EQ(hash_of("\xF0\x80\x81\x81"), plain_a);
  // Surrogates encoded on their own are not refused.
  EXPECT_EQ(hash_of("\xED\xA0\xBD\xED\xB8\x80"), "1126268081");
  // Values above U+10FFFF are split without a check.
  EXPECT_EQ(hash_of("\xF7\xBF\xBF\xBF"), "1851441764");
  EXPECT_EQ(hash_of("\xF4\x8F\xBF\xBF"), "1851440676");
}

TEST_F(KeysTest, StableHashMalformedTextGivesZero) {
  const char* malformed[] = {
      "\x80",          // stray continuation byte
      "\xC0\x80",      // C0 and C1 are never leads
      "\xC1\xBF",
      "\xF8",          // F8..FF are never leads
      "\xFF" "abc",
      "a\xC3",         // text ends inside a sequence
      "\xE2\x82",
      "\xF0\x9F\x98",
      "\xE2\x28\xA1",  // second byte is no continuation byte
      "\xF0\x9F\x41\x80",
      "abc\xC3\x28" "def",
  };
  for (const char* text : malformed) {
    leave_failure();
    EXPECT_EQ(hash_of(text), "0") << "text bytes: " << text;
    expect_success();
  }
}

TEST_F(KeysTest, StableHashBufferTooSmall) {
  // "abc" has 10 digits: 10 bytes leave no room for the NUL.
  char out[16];
  std::memset(out, '#', sizeof out);
  EXPECT_EQ(kavo_stable_hash("abc", out, 10), 4);
  expect_failure(4, "buffer too small");
  EXPECT_EQ(std::string(out, sizeof out), std::string(sizeof out, '#'));
  EXPECT_EQ(kavo_stable_hash("abc", out, 4), 4);
  EXPECT_EQ(std::string(out, sizeof out), std::string(sizeof out, '#'));

  EXPECT_EQ(kavo_stable_hash("abc", out, 11), 0);
  EXPECT_STREQ(out, "1099313834");
  expect_success();

  // "0" of undecodable text needs two bytes; the empty text's hash ten.
  std::memset(out, '#', sizeof out);
  EXPECT_EQ(kavo_stable_hash("\x80", out, 1), 4);
  EXPECT_EQ(out[0], '#');
  EXPECT_EQ(kavo_stable_hash("\x80", out, 2), 0);
  EXPECT_STREQ(out, "0");
  EXPECT_EQ(kavo_stable_hash("", out, 9), 4);
  EXPECT_EQ(kavo_stable_hash("", out, 10), 0);
  EXPECT_STREQ(out, "371857150");
}

TEST_F(KeysTest, NullArguments) {
  char out[16];
  std::memset(out, '#', sizeof out);
  EXPECT_EQ(kavo_stable_hash(nullptr, out, sizeof out), 2);
  expect_failure(2, "null argument");
  EXPECT_EQ(kavo_stable_hash("abc", nullptr, 16), 2);
  EXPECT_EQ(kavo_stable_hash("abc", out, 0), 2);

  EXPECT_EQ(kavo_resume_key(nullptr, "b", "c", out, sizeof out), 2);
  EXPECT_EQ(kavo_resume_key("a", nullptr, "c", out, sizeof out), 2);
  EXPECT_EQ(kavo_resume_key("a", "b", nullptr, out, sizeof out), 2);
  EXPECT_EQ(kavo_resume_key("a", "b", "c", nullptr, 16), 2);
  EXPECT_EQ(kavo_resume_key("a", "b", "c", out, 0), 2);
  expect_failure(2, "null argument");

  EXPECT_EQ(kavo_legacy_resume_key(nullptr, out, sizeof out), 2);
  EXPECT_EQ(kavo_legacy_resume_key("a", nullptr, 16), 2);
  EXPECT_EQ(kavo_legacy_resume_key("a", out, 0), 2);
  expect_failure(2, "null argument");
  EXPECT_EQ(std::string(out, sizeof out), std::string(sizeof out, '#'));
}

TEST_F(KeysTest, Base64GroupsAndPadding) {
  EXPECT_EQ(b64(""), "");
  EXPECT_EQ(b64("f"), "Zg==");
  EXPECT_EQ(b64("fo"), "Zm8=");
  EXPECT_EQ(b64("foo"), "Zm9v");
  EXPECT_EQ(b64("foob"), "Zm9vYg==");
  EXPECT_EQ(b64("fooba"), "Zm9vYmE=");
  EXPECT_EQ(b64("foobar"), "Zm9vYmFy");
  EXPECT_EQ(b64("\xFF\xFE\xFD"), "//79");
  EXPECT_EQ(b64(std::string("\0\0\0", 3)), "AAAA");
}

TEST_F(KeysTest, Base64NeverWritesPastTheBuffer) {
  char out[16];
  auto encode = [&](const char* text, std::size_t size) {
    std::memset(out, '#', sizeof out);
    kavo::b64_encode(reinterpret_cast<const unsigned char*>(text), std::strlen(text), out, size);
    for (std::size_t i = size; i < sizeof out; ++i) EXPECT_EQ(out[i], '#') << "byte " << i;
  };
  // Only whole groups; the NUL follows the last group written.
  encode("foobar", 7);
  EXPECT_STREQ(out, "Zm9v");
  encode("foobar", 9);
  EXPECT_STREQ(out, "Zm9vYmFy");
  // No room after the last group: the NUL goes into the last byte.
  encode("foobar", 8);
  EXPECT_STREQ(out, "Zm9vYmF");
  encode("f", 4);
  EXPECT_STREQ(out, "Zg=");
  // Not even one group fits.
  encode("foo", 3);
  EXPECT_STREQ(out, "");
  encode("foo", 1);
  EXPECT_STREQ(out, "");
  // Size 0: nothing at all is written.
  encode("foo", 0);
  EXPECT_EQ(out[0], '#');
}

TEST_F(KeysTest, ResumeKey) {
  char out[32];
  leave_failure();
  std::memset(out, '#', sizeof out);
  EXPECT_EQ(kavo_resume_key("a", "b", "c", out, 9), 0);
  EXPECT_STREQ(out, "YQFiAWM=");
  expect_success();

  std::memset(out, '#', sizeof out);
  EXPECT_EQ(kavo_resume_key("a", "b", "c", out, 8), 4);
  expect_failure(4, "buffer too small");
  EXPECT_EQ(std::string(out, sizeof out), std::string(sizeof out, '#'));

  EXPECT_EQ(kavo_resume_key("", "", "", out, 5), 0);
  EXPECT_STREQ(out, "AQE=");
  EXPECT_EQ(kavo_resume_key("", "", "", out, 4), 4);

  // Texts are joined unchanged: no escaping of 0x01, high bytes kept.
  EXPECT_EQ(kavo_resume_key("a\x01", "", "\x01", out, sizeof out), 0);
  EXPECT_STREQ(out, "YQEBAQE=");
  EXPECT_EQ(kavo_resume_key("\xC3\xA9", "x", "\xFF", out, 9), 0);
  EXPECT_STREQ(out, "w6kBeAH/");
  expect_success();

  // The size rule follows the joined length: 4 * floor((n + 4) / 3) + 1.
  const std::string seven(7, 'z');
  EXPECT_EQ(kavo_resume_key(seven.c_str(), "", "", out, 12), 4);  // 9 bytes: 12 + NUL
  EXPECT_EQ(kavo_resume_key(seven.c_str(), "", "", out, 13), 0);
  EXPECT_STREQ(out, "enp6enp6egEB");
}

TEST_F(KeysTest, LegacyResumeKey) {
  char out[16];
  leave_failure();
  std::memset(out, '#', sizeof out);
  EXPECT_EQ(kavo_legacy_resume_key("", out, 1), 0);
  EXPECT_STREQ(out, "");
  expect_success();
  EXPECT_EQ(out[1], '#');

  EXPECT_EQ(kavo_legacy_resume_key("abc", out, 5), 0);
  EXPECT_STREQ(out, "YWJj");
  EXPECT_EQ(kavo_legacy_resume_key("ab", out, 5), 0);
  EXPECT_STREQ(out, "YWI=");

  std::memset(out, '#', sizeof out);
  EXPECT_EQ(kavo_legacy_resume_key("abc", out, 4), 4);
  expect_failure(4, "buffer too small");
  EXPECT_EQ(std::string(out, sizeof out), std::string(sizeof out, '#'));
  EXPECT_EQ(kavo_legacy_resume_key("abcd", out, 8), 4);
  EXPECT_EQ(kavo_legacy_resume_key("abcd", out, 9), 0);
  EXPECT_STREQ(out, "YWJjZA==");
}

}  // namespace
