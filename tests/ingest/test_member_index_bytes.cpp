// The member index folds eight key bytes at a time: every byte value, at
// every position of keys of every short length, must compare as obj_get
// compares it (only the ASCII capitals A to Z fold).
#include <gtest/gtest.h>
#include <yyjson.h>

#include <string>
#include <vector>

#include "ingest/readers.h"

namespace {

std::string json_key(const std::string& raw) {
  std::string out = "\"";
  for (unsigned char c : raw) {
    if (c < 0x20 || c == '"' || c == '\\') {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

TEST(MemberIndexBytes, EveryByteFoldsAsTheMemberLookupFoldsIt) {
  // Bytes around the capitals and lower-case letters, and lead bytes whose
  // low seven bits are capitals: C3 and E3 differ in the 0x20 bit alone
  // (probes need not be valid UTF-8, member keys are).
  const std::vector<unsigned char> bytes = {'@', 'A', 'M', 'Z', '[', '`', 'a', 'z', '{', '_', '0', 0x7F};
  const std::vector<std::string> high = {"\xC3\x81", "\xE3\x81\x81", "\xC3\xA1", "\xC3\x81\x81"};
  for (std::size_t len = 1; len <= 11; ++len) {
    for (std::size_t pos = 0; pos < len; ++pos) {
      for (unsigned char b : bytes) {
        for (unsigned char c : bytes) {
          // Members whose key differs from the probe in one byte (b against c).
          std::string probe(len, 'k');
          std::string member(len, 'K');
          probe[pos] = static_cast<char>(c);
          member[pos] = static_cast<char>(b);
          const std::string text = "{" + json_key(member) + ":1," + json_key(probe + "x") + ":2}";
          yyjson_doc* doc = yyjson_read(text.data(), text.size(), 0);
          ASSERT_NE(doc, nullptr) << text;
          yyjson_val* root = yyjson_doc_get_root(doc);
          const kavo::MemberIndex index(root);
          EXPECT_EQ(index(probe.c_str()), kavo::obj_get(root, probe.c_str())) << text << " " << probe;
          yyjson_doc_free(doc);
        }
      }
    }
    for (const std::string& h : high) {
      for (const std::string& g : high) {
        const std::string probe = std::string(len, 'q') + h;
        const std::string member = std::string(len, 'Q') + g;
        const std::string text = "{" + json_key(member) + ":1}";
        yyjson_doc* doc = yyjson_read(text.data(), text.size(), 0);
        if (doc == nullptr) continue;  // not valid UTF-8: a probe only
        yyjson_val* root = yyjson_doc_get_root(doc);
        const kavo::MemberIndex index(root);
        EXPECT_EQ(index(probe.c_str()), kavo::obj_get(root, probe.c_str())) << text;
        yyjson_doc_free(doc);
      }
    }
  }
}

}  // namespace
