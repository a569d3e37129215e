// Field writers, deep copy and the document writer.
#include <gtest/gtest.h>
#include <yyjson.h>

#include <cmath>
#include <cstring>
#include <string>

#include "documents/writers.h"

using namespace kavo;

namespace {

// An output document with an object root, written on demand.
struct OutDoc {
  MutJsonDoc held = new_mut_doc();
  yyjson_mut_doc* doc = held.get();
  yyjson_mut_val* root = yyjson_mut_obj(doc);
  OutDoc() { yyjson_mut_doc_set_root(doc, root); }
  std::string text() const {
    Text t = write_doc(doc);
    return t ? std::string(t.get()) : std::string("<none>");
  }
};

// Parses `json`, copies its root into a fresh document and writes that.
std::string copy_text(const std::string& json) {
  JsonDoc in = read_json(json.data(), json.size());
  EXPECT_NE(in, nullptr) << json;
  const MutJsonDoc out = new_mut_doc();
  yyjson_mut_val* copy = mut_from_val(out.get(), yyjson_doc_get_root(in.get()));
  in.reset();  // the copy must own its strings
  if (copy == nullptr) return "<none>";
  yyjson_mut_doc_set_root(out.get(), copy);
  const Text t = write_doc(out.get());
  return t ? t.get() : "<unwritable>";
}

}  // namespace

TEST(Writers, NullRulesOfTheFieldWriters) {
  OutDoc d;
  add_json_int_or_null(d.doc, d.root, "i0", 0);
  add_json_int_or_null(d.doc, d.root, "i-1", -1);
  add_json_int_or_null(d.doc, d.root, "imax", INT32_MAX);
  add_json_ll_or_null(d.doc, d.root, "l0", 0);
  add_json_ll_or_null(d.doc, d.root, "l-1", -1);
  add_json_ll_or_null(d.doc, d.root, "lbig", 9007199254740993LL);
  add_json_real_or_null(d.doc, d.root, "r-0.5", -0.5);
  add_json_real_or_null(d.doc, d.root, "r0", 0.0);
  add_json_real_or_null(d.doc, d.root, "rneg0", -0.0);
  add_json_real_or_null(d.doc, d.root, "r2700", 2700.0);
  add_json_str(d.doc, d.root, "s", "a/\xc3\xa9\"");
  add_json_str(d.doc, d.root, "empty", "");
  add_json_str(d.doc, d.root, "none", nullptr);
  add_json_int(d.doc, d.root, "rank", -40);
  EXPECT_EQ(d.text(),
            "{\"i0\":0,\"i-1\":null,\"imax\":2147483647,\"l0\":0,\"l-1\":null,"
            "\"lbig\":9007199254740993,\"r-0.5\":null,\"r0\":0.0,\"rneg0\":-0.0,\"r2700\":2700.0,"
            "\"s\":\"a/\xc3\xa9\\\"\",\"empty\":\"\",\"none\":null,\"rank\":-40}");
}

TEST(Writers, WritersIgnoreMissingOrNonObjectTargets) {
  OutDoc d;
  yyjson_mut_val* arr = yyjson_mut_arr(d.doc);
  yyjson_mut_obj_add_val(d.doc, d.root, "a", arr);
  add_json_int(d.doc, arr, "x", 1);
  add_json_str(d.doc, nullptr, "x", "y");
  add_json_real_or_null(nullptr, d.root, "x", 1.0);
  EXPECT_EQ(d.text(), "{\"a\":[]}");
}

TEST(Writers, WriterRefusesNonFiniteNumbersAndBrokenUtf8) {
  {
    OutDoc d;
    add_json_real_or_null(d.doc, d.root, "nan", std::nan(""));  // NaN is not below 0.0
    EXPECT_EQ(d.text(), "<none>");
  }
  {
    OutDoc d;
    add_json_real_or_null(d.doc, d.root, "inf", INFINITY);
    EXPECT_EQ(d.text(), "<none>");
  }
  {
    OutDoc d;
    add_json_str(d.doc, d.root, "bad", "\xff\xfe");
    EXPECT_EQ(d.text(), "<none>");
  }
  EXPECT_FALSE(write_doc(nullptr));
}

TEST(Writers, DeepCopyKeepsValuesAndNumberKinds) {
  EXPECT_EQ(copy_text("{\"u\":18446744073709551615,\"a\":[true,null,\"s\"],\"r\":-2.5,"
                      "\"i\":-7,\"f\":false,\"o\":{},\"e\":[],\"one\":1.0}"),
            "{\"u\":18446744073709551615,\"a\":[true,null,\"s\"],\"r\":-2.5,\"i\":-7,"
            "\"f\":false,\"o\":{},\"e\":[],\"one\":1.0}");
  EXPECT_EQ(copy_text("\"plain\""), "\"plain\"");
  EXPECT_EQ(copy_text("42"), "42");
  EXPECT_EQ(copy_text("[[[1],[2,[3]]],{\"k\":{\"k\":[{}]}}]"), "[[[1],[2,[3]]],{\"k\":{\"k\":[{}]}}]");
  // Embedded NUL bytes survive in strings and keys.
  EXPECT_EQ(copy_text("{\"a\\u0000b\":\"x\\u0000y\"}"), "{\"a\\u0000b\":\"x\\u0000y\"}");

  const char* kinds = "{\"u\":5,\"s\":-5,\"r\":5.0}";
  const JsonDoc in = read_json(kinds, std::strlen(kinds));
  const MutJsonDoc out = new_mut_doc();
  yyjson_mut_val* copy = mut_from_val(out.get(), yyjson_doc_get_root(in.get()));
  EXPECT_TRUE(yyjson_mut_is_uint(yyjson_mut_obj_get(copy, "u")));
  EXPECT_TRUE(yyjson_mut_is_sint(yyjson_mut_obj_get(copy, "s")));
  EXPECT_TRUE(yyjson_mut_is_real(yyjson_mut_obj_get(copy, "r")));
  EXPECT_EQ(mut_from_val(out.get(), nullptr), nullptr);
  EXPECT_EQ(mut_from_val(nullptr, yyjson_doc_get_root(in.get())), nullptr);
}

TEST(Writers, DeepCopyLeavesOutRawValues) {
  const char* json = "{\"a\":1,\"big\":123456789012345678901234567890,\"b\":[7,99999999999999999999999]}";
  const JsonDoc in(yyjson_read(json, std::strlen(json), YYJSON_READ_NUMBER_AS_RAW));
  ASSERT_NE(in, nullptr);
  const MutJsonDoc out = new_mut_doc();
  // Every number is raw here: all of them vanish, the containers stay.
  yyjson_mut_val* copy = mut_from_val(out.get(), yyjson_doc_get_root(in.get()));
  yyjson_mut_doc_set_root(out.get(), copy);
  Text t = write_doc(out.get());
  ASSERT_TRUE(t);
  EXPECT_STREQ(t.get(), "{\"b\":[]}");
}

TEST(Writers, DeepCopyHandlesVeryDeepNesting) {
  const int depth = 100000;
  for (const char* open : {"[", "{\"k\":"}) {
    std::string json;
    const bool obj = open[0] == '{';
    for (int i = 0; i < depth; ++i) json += open;
    json += "1";
    for (int i = 0; i < depth; ++i) json += obj ? "}" : "]";
    EXPECT_EQ(copy_text(json), json);
  }
}
