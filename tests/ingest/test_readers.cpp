// Field readers: key lookup and the coercion rules of every reader.
#include <gtest/gtest.h>
#include <yyjson.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "frame/json_doc.h"
#include "ingest/readers.h"

using namespace kavo;

namespace {

// A parsed JSON text, freed at scope end.
class Doc {
 public:
  explicit Doc(const std::string& text) : doc_(read_json(text.c_str(), text.size())) {}
  yyjson_val* root() const { return yyjson_doc_get_root(doc_.get()); }

 private:
  JsonDoc doc_;
};

std::string s(const Text& t) { return t ? std::string(t.get()) : std::string("<none>"); }

// One-key reads, for brevity.
int32_t int_of(const char* json, int* found) {
  Doc d(std::string("{\"v\":") + json + "}");
  static const char* const keys[] = {"v", nullptr};
  int32_t out = -99;
  *found = js_int_first(d.root(), keys, &out) == 0;
  return out;
}

int64_t ll_of(const char* json, int* found) {
  Doc d(std::string("{\"v\":") + json + "}");
  static const char* const keys[] = {"v", nullptr};
  int64_t out = -99;
  *found = js_ll_first(d.root(), keys, &out) == 0;
  return out;
}

double dbl_of(const char* json, int* found) {
  Doc d(std::string("{\"v\":") + json + "}");
  static const char* const keys[] = {"v", nullptr};
  double out = -99.0;
  *found = js_dbl_first(d.root(), keys, &out) == 0;
  return out;
}

int bool_of(const char* json, int* found) {
  Doc d(std::string("{\"v\":") + json + "}");
  int out = -99;
  *found = js_bool(d.root(), "v", &out) == 0;
  return out;
}

std::string str_of(const char* json, int* result) {
  Doc d(std::string("{\"v\":") + json + "}");
  Text out = xstrdup("untouched");
  *result = val_str(obj_get(d.root(), "v"), &out);
  return s(out);
}

}  // namespace

TEST(Readers, CaseInsensitiveCompare) {
  EXPECT_EQ(ci_cmp(nullptr, nullptr), 0);
  EXPECT_EQ(ci_cmp(nullptr, "a"), 1);
  EXPECT_EQ(ci_cmp("a", nullptr), -1);
  EXPECT_EQ(ci_cmp("abc", "ABD"), -1);
  EXPECT_EQ(ci_cmp("abc", "ab"), 1);
  EXPECT_EQ(ci_cmp("ab", "abc"), -1);
  EXPECT_EQ(ci_cmp("", ""), 0);
  EXPECT_EQ(ci_cmp("TiTlE", "title"), 0);
  // Only ASCII capitals fold: '[' (0x5B) stays above 'Z' but below 'a'.
  EXPECT_EQ(ci_cmp("[", "a"), -1);
  EXPECT_EQ(ci_cmp("[", "A"), -1);
  // Bytes at 0x80 and above compare as negative, below every ASCII byte.
  EXPECT_EQ(ci_cmp("\xC3\xA9", "a"), -1);
  EXPECT_EQ(ci_cmp("a", "\xC3\xA9"), 1);
  EXPECT_EQ(ci_cmp("\xC3\x89", "\xC3\xA9"), -1);  // no folding beyond ASCII
}

TEST(Readers, ObjGetPrefersExactThenEarliestFolded) {
  Doc d(R"({"Title":"A","title":"B","YEAR":1,"Year":2})");
  EXPECT_STREQ(yyjson_get_str(obj_get(d.root(), "title")), "B");
  EXPECT_STREQ(yyjson_get_str(obj_get(d.root(), "TITLE")), "A");
  EXPECT_EQ(yyjson_get_uint(obj_get(d.root(), "year")), 1u);
  EXPECT_EQ(yyjson_get_uint(obj_get(d.root(), "Year")), 2u);
  EXPECT_EQ(obj_get(d.root(), "missing"), nullptr);
  EXPECT_EQ(obj_get(d.root(), "titl"), nullptr);
  EXPECT_EQ(obj_get(d.root(), nullptr), nullptr);
  EXPECT_EQ(obj_get(nullptr, "title"), nullptr);

  Doc nul(R"({"a":null})");
  yyjson_val* v = obj_get(nul.root(), "a");
  ASSERT_NE(v, nullptr);
  EXPECT_TRUE(yyjson_is_null(v));

  Doc arr(R"(["title"])");
  EXPECT_EQ(obj_get(arr.root(), "title"), nullptr);
  Doc empty("{}");
  EXPECT_EQ(obj_get(empty.root(), "a"), nullptr);

  // The exact pass compares lengths: an embedded NUL is no match for the
  // shorter key in the exact pass, but the folded pass stops at the NUL.
  Doc emb("{\"ab\\u0000c\":1,\"AB\":2}");
  EXPECT_EQ(yyjson_get_uint(obj_get(emb.root(), "ab")), 1u);
  EXPECT_EQ(yyjson_get_uint(obj_get(emb.root(), "AB")), 2u);
}

TEST(Readers, IntCoercion) {
  int found = 0;
  EXPECT_EQ(int_of("3000000000", &found), 0);
  EXPECT_TRUE(found);
  EXPECT_EQ(int_of("-2147483648", &found), INT32_MIN);
  EXPECT_EQ(int_of("2147483647", &found), INT32_MAX);
  EXPECT_EQ(int_of("2147483648", &found), 0);
  EXPECT_EQ(int_of("-2147483649", &found), 0);
  EXPECT_EQ(int_of("7.9", &found), 7);
  EXPECT_EQ(int_of("-7.9", &found), -7);
  EXPECT_EQ(int_of("2147483647.5", &found), 0);  // above the range: 0, not clamped
  EXPECT_EQ(int_of("1e300", &found), 0);
  EXPECT_EQ(int_of("true", &found), 1);
  EXPECT_EQ(int_of("false", &found), 0);
  EXPECT_EQ(int_of("\" 12a\"", &found), 12);
  EXPECT_EQ(int_of("\"4294967297\"", &found), 1);  // low 32 bits of the text's value
  EXPECT_EQ(int_of("\"-1\"", &found), -1);
  EXPECT_EQ(int_of("\"99999999999999999999\"", &found), -1);  // saturates, then low bits
  EXPECT_EQ(int_of("\"+5\"", &found), 5);
  EXPECT_EQ(int_of("\"7.9\"", &found), 7);
  EXPECT_TRUE(found);

  for (const char* absent : {"null", "\"abc\"", "\"\"", "\" \"", "\"-\"", "[1]", "{}"}) {
    EXPECT_EQ(int_of(absent, &found), -99) << absent;
    EXPECT_FALSE(found) << absent;
  }

  // An unusable value goes on with the next key.
  static const char* const keys[] = {"year", "Year", nullptr};
  Doc both(R"({"year":"abc","Year":2001})");
  int32_t out = -1;
  EXPECT_EQ(js_int_first(both.root(), keys, &out), 0);
  EXPECT_EQ(out, 2001);
  Doc only(R"({"year":"abc"})");
  out = -1;
  EXPECT_EQ(js_int_first(only.root(), keys, &out), 1);
  EXPECT_EQ(out, -1);
  // A key list over a non-object.
  Doc arr("[1]");
  EXPECT_EQ(js_int_first(arr.root(), keys, &out), 1);
}

TEST(Readers, LongCoercion) {
  int found = 0;
  EXPECT_EQ(ll_of("1e30", &found), INT64_MAX);
  EXPECT_EQ(ll_of("-1e30", &found), INT64_MIN);
  EXPECT_EQ(ll_of("9223372036854775807", &found), INT64_MAX);  // rounds up to 2^63
  EXPECT_EQ(ll_of("18446744073709551615", &found), INT64_MAX);
  EXPECT_EQ(ll_of("-9223372036854775808", &found), INT64_MIN);
  // Through a double: 2^53 + 1 reads as 2^53.
  EXPECT_EQ(ll_of("9007199254740993", &found), 9007199254740992LL);
  EXPECT_EQ(ll_of("-3.7", &found), -3);
  EXPECT_EQ(ll_of("\"123\"", &found), 123);
  // Text is read exactly, saturating.
  EXPECT_EQ(ll_of("\"9007199254740993\"", &found), 9007199254740993LL);
  EXPECT_EQ(ll_of("\"99999999999999999999\"", &found), INT64_MAX);
  EXPECT_EQ(ll_of("\"-99999999999999999999\"", &found), INT64_MIN);
  EXPECT_TRUE(found);
  for (const char* absent : {"true", "false", "null", "\"x1\"", "[]", "{}"}) {
    EXPECT_EQ(ll_of(absent, &found), -99) << absent;
    EXPECT_FALSE(found) << absent;
  }
}

TEST(Readers, DoubleCoercion) {
  int found = 0;
  EXPECT_EQ(dbl_of("18446744073709551615", &found), 18446744073709551615.0);
  EXPECT_EQ(dbl_of("-5", &found), -5.0);
  EXPECT_EQ(dbl_of("0.25", &found), 0.25);
  EXPECT_EQ(dbl_of("\"  12.5kb\"", &found), 12.5);
  EXPECT_EQ(dbl_of("\"0x10\"", &found), 16.0);
  EXPECT_EQ(dbl_of("\"1e-400\"", &found), 0.0);  // underflow still reads
  EXPECT_TRUE(found);
  for (const char* absent : {"true", "null", "\"abc\"", "\"\"", "[1]", "{}"}) {
    EXPECT_EQ(dbl_of(absent, &found), -99.0) << absent;
    EXPECT_FALSE(found) << absent;
  }
}

TEST(Readers, NonFiniteTextIsNoNumber) {
  int found = 1;
  for (const char* text : {"\"nan\"", "\"NaN\"", "\"-nan\"", "\"inf\"", "\"-INF\"", "\"Infinity\"",
                           "\"+infinity\"", "\"1e999\"", "\"-1e999\"", "\"nan(123)\""}) {
    EXPECT_EQ(dbl_of(text, &found), -99.0) << text;
    EXPECT_FALSE(found) << text;
  }
  // The next key is tried; without one the caller's default stays.
  static const char* const keys[] = {"duration_s", "duration", nullptr};
  Doc d(R"({"duration_s":"inf","duration":"90"})");
  double out = -1.0;
  EXPECT_EQ(js_dbl_first(d.root(), keys, &out), 0);
  EXPECT_EQ(out, 90.0);
  Doc only(R"({"duration_s":"NAN"})");
  out = -1.0;
  EXPECT_EQ(js_dbl_first(only.root(), keys, &out), 1);
  EXPECT_EQ(out, -1.0);
}

TEST(Readers, BoolWords) {
  int found = 0;
  for (const char* one : {"\"YES\"", "\"On\"", "\"1\"", "\"true\"", "\"TRUE\"", "2", "-0.5", "true"}) {
    EXPECT_EQ(bool_of(one, &found), 1) << one;
    EXPECT_TRUE(found) << one;
  }
  for (const char* zero : {"\"no\"", "\"01\"", "\"\"", "\"10\"", "\" 1\"", "\"false\"", "\"yess\"",
                           "0", "-0.0", "false"}) {
    EXPECT_EQ(bool_of(zero, &found), 0) << zero;
    EXPECT_TRUE(found) << zero;
  }
  for (const char* absent : {"null", "[true]", "{}"}) {
    EXPECT_EQ(bool_of(absent, &found), -99) << absent;
    EXPECT_FALSE(found) << absent;
  }
  static const char* const keys[] = {"hdr", "isHDR", nullptr};
  Doc d(R"({"hdr":null,"ISHDR":"on"})");
  int out = -1;
  EXPECT_EQ(js_bool_first(d.root(), keys, &out), 0);
  EXPECT_EQ(out, 1);
}

TEST(Readers, OptionalText) {
  int r = 0;
  EXPECT_EQ(str_of("12345", &r), "12345");
  EXPECT_EQ(r, 0);
  EXPECT_EQ(str_of("false", &r), "false");
  EXPECT_EQ(str_of("true", &r), "true");
  EXPECT_EQ(str_of("1.5", &r), "1.5");
  EXPECT_EQ(str_of("0.1", &r), "0.10000000000000001");
  EXPECT_EQ(str_of("1e21", &r), "1e+21");
  EXPECT_EQ(str_of("-3", &r), "-3");
  EXPECT_EQ(str_of("18446744073709551615", &r), "1.8446744073709552e+19");
  EXPECT_EQ(str_of("\"\"", &r), "");
  EXPECT_EQ(r, 0);
  EXPECT_EQ(str_of("null", &r), "untouched");
  EXPECT_EQ(r, 1);
  EXPECT_EQ(str_of("[\"a\"]", &r), "untouched");
  EXPECT_EQ(r, 1);

  std::string big(9000, 'x');
  EXPECT_EQ(str_of(("\"" + big + "\"").c_str(), &r), big.substr(0, 8192));

  // The key list loop takes the first key that gives a text.
  static const char* const keys[] = {"title", "name", nullptr};
  Doc d(R"({"title":null,"Name":7})");
  Text out;
  EXPECT_EQ(js_str_first(d.root(), keys, &out), 0);
  EXPECT_EQ(s(out), "7");
  Doc none(R"({"title":{}})");
  Text kept = xstrdup("kept");
  EXPECT_EQ(js_str_first(none.root(), keys, &kept), 1);
  EXPECT_EQ(s(kept), "kept");
}

// Texts of every length up to past the inline copies, with NULs and high
// bytes, copied into an arena (where the inline copies go) and to the heap:
// the same bytes and NUL as xstrndup gives, and no copy touches its
// neighbours.
TEST(Readers, TextCopiesAsXstrndup) {
  uint32_t seed = 2024;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0xFF; };
  TextArena arena;
  for (TextArena* into : {&arena, static_cast<TextArena*>(nullptr)}) {
    ArenaScope scope(into);
    std::vector<std::string> sources;
    std::vector<Text> copies;
    for (std::size_t len = 0; len <= kShortText + 40; ++len) {
      for (int round = 0; round < 4; ++round) {
        std::string text(len, 'a');
        for (char& c : text) c = static_cast<char>(next() % 5 == 0 ? 0 : next());
        sources.push_back(text);
        copies.push_back(copy_str(sources.back().data(), len));
        const Text expect = xstrndup(text.data(), len);
        ASSERT_TRUE(copies.back() && expect);
        EXPECT_EQ(copies.back().arena_kept(), expect.arena_kept());
      }
    }
    for (std::size_t i = 0; i < copies.size(); ++i) {
      const std::string& text = sources[i];
      EXPECT_EQ(std::memcmp(copies[i].get(), text.data(), text.size()), 0) << i;
      EXPECT_EQ(copies[i].get()[text.size()], '\0') << i;
    }
  }
}

TEST(Readers, TextArrays) {
  Doc d(R"({"g":["a",1,null,true,"b",[],{},2.5],"e":[],"s":"a"})");
  std::vector<Text> out;
  ASSERT_EQ(val_str_array(obj_get(d.root(), "g"), &out), 0);
  ASSERT_EQ(out.size(), 4u);
  EXPECT_EQ(s(out[0]), "a");
  EXPECT_EQ(s(out[1]), "1");
  EXPECT_EQ(s(out[2]), "b");
  EXPECT_EQ(s(out[3]), "2.5");

  ASSERT_EQ(val_str_array(obj_get(d.root(), "e"), &out), 0);
  EXPECT_TRUE(out.empty());

  out.push_back(xstrdup("kept"));
  EXPECT_EQ(val_str_array(obj_get(d.root(), "s"), &out), 1);
  EXPECT_EQ(val_str_array(obj_get(d.root(), "missing"), &out), 1);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(s(out[0]), "kept");
}

TEST(Readers, NumberText) {
  Doc d(R"([42,-7,1e-5,123456789012345678,0.5])");
  const char* expect[] = {"42", "-7", "1.0000000000000001e-05", "1.2345678901234568e+17", "0.5"};
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(s(number_text(yyjson_arr_get(d.root(), i))), expect[i]);
  }
  Doc str(R"(["42"])");
  EXPECT_FALSE(number_text(yyjson_arr_get(str.root(), 0)));
}
