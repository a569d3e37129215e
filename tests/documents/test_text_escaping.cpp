// The fast text writer of the result document against yyjson, string by
// string: every byte value, every two-byte sequence and a dense sweep of the
// three- and four-byte ones, each at several places in a text (the writer
// copies eight plain bytes at a time), must give yyjson's text, or fail
// exactly where yyjson refuses the string.
#include <string>

#include "doc_support.h"

namespace {

using namespace kavo;

// yyjson's text for the string `s` as a one-element array, or "<refused>".
std::string reference(const std::string& s) {
  const MutJsonDoc doc = new_mut_doc();
  yyjson_mut_val* arr = yyjson_mut_arr(doc.get());
  yyjson_mut_doc_set_root(doc.get(), arr);
  yyjson_mut_arr_append(arr, yyjson_mut_str(doc.get(), s.c_str()));
  const Text text = write_doc(doc.get());
  return text ? text.get() : "<refused>";
}

std::string fast(const std::string& s) {
  KeptJson out;
  out.begin_array();
  out.str(s.c_str());
  out.end_array();
  const Text t = out.finish();
  return t ? t.get() : "<refused>";
}

// Checks `seq` alone, after a run of plain bytes, and before one; returns
// the number of mismatches (at most one reported per sequence).
int check(const std::string& seq) {
  const std::string texts[] = {seq, "abcdefghij" + seq, seq + "abcdefghij", "0123456" + seq + "x",
                               seq + seq};
  for (const std::string& s : texts) {
    const std::string want = reference(s);
    const std::string got = fast(s);
    if (got != want) {
      ADD_FAILURE() << "bytes of length " << s.size() << ": got " << got << " want " << want;
      return 1;
    }
  }
  return 0;
}

}  // namespace

TEST(TextEscaping, EveryOneAndTwoByteSequence) {
  int bad = 0;
  for (int a = 1; a < 256 && bad < 5; ++a) {
    bad += check(std::string(1, static_cast<char>(a)));
  }
  for (int a = 1; a < 256 && bad < 5; ++a) {
    for (int b = 1; b < 256 && bad < 5; ++b) {
      const char s[] = {static_cast<char>(a), static_cast<char>(b), 0};
      bad += check(s);
    }
  }
  EXPECT_EQ(bad, 0);
}

TEST(TextEscaping, ThreeAndFourByteSequences) {
  // Lead bytes from 0xC0 up, every second byte, and the continuation bytes
  // at the edges of their range (and just outside it).
  const int tails[] = {0x01, 0x7F, 0x80, 0x81, 0x9F, 0xA0, 0xBF, 0xC0, 0xFF};
  int bad = 0;
  for (int a = 0xC0; a < 256 && bad < 5; ++a) {
    for (int b = 1; b < 256 && bad < 5; ++b) {
      for (int c : tails) {
        const char s3[] = {static_cast<char>(a), static_cast<char>(b), static_cast<char>(c), 0};
        bad += check(s3);
        if (a < 0xF0) continue;
        for (int d : tails) {
          const char s4[] = {static_cast<char>(a), static_cast<char>(b), static_cast<char>(c),
                             static_cast<char>(d), 0};
          bad += check(s4);
        }
      }
    }
  }
  EXPECT_EQ(bad, 0);
}
