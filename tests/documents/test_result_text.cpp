// The result document is written as text straight from the model. It must be
// the very text that building the document with yyjson and writing it gives
// (the way every other document is made), on any model: texts with every
// kind of character, any number, missing values, a selection, side documents
// that are compact, spaced or broken, and values the writer refuses.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "doc_support.h"

namespace {

using namespace doc_test;

// The result document as a yyjson document, written by yyjson.
yyjson_mut_val* side(yyjson_mut_doc* doc, const Text& stored) {
  const char* text = stored ? stored.get() : "{}";
  const JsonDoc parsed = read_json(text, std::strlen(text));
  return parsed ? mut_from_val(doc, yyjson_doc_get_root(parsed.get())) : nullptr;
}

std::string reference_result() {
  const MutJsonDoc held = new_mut_doc();
  yyjson_mut_doc* doc = held.get();
  yyjson_mut_val* root = yyjson_mut_obj(doc);
  yyjson_mut_doc_set_root(doc, root);
  add_json_int(doc, root, "version", 1);
  add_json_int(doc, root, "status", 0);
  add_json_int(doc, root, "row_count", n_rows());
  int32_t cells = 0;
  yyjson_mut_val* rows = yyjson_mut_arr(doc);
  for (int32_t r = 0; r < n_rows(); ++r) {
    MutJson row(doc);
    cells += put_row(row, r);
    yyjson_mut_arr_append(rows, row.root());
  }
  add_json_val(doc, root, "rows", rows);
  if (valid_item_index(s_sel)) {
    add_json_val(doc, root, "item", json_detail(doc, s_sel));
  } else {
    add_json_val(doc, root, "item", yyjson_mut_null(doc));
  }
  add_json_val(doc, root, "server_flags", side(doc, s_flags_json));
  add_json_val(doc, root, "watchlist", side(doc, s_watchlist_json));
  add_json_val(doc, root, "browse_history", side(doc, s_bh_json));
  int32_t cc = 0, unmatched = 0;
  for (const Row& row : s_rows) {
    if (row.kind == kContinueWatching) cc = row.cell_count;
  }
  for (const Item& e : s_lib) unmatched += e.catalogue_index < 0;
  for (const Item& it : s_items) unmatched += it.unmatched != 0;
  yyjson_mut_val* stats = yyjson_mut_obj(doc);
  add_json_val(doc, root, "stats", stats);
  add_json_int(doc, stats, "items", n_items());
  add_json_int(doc, stats, "watch", n_watch());
  add_json_int(doc, stats, "library", n_lib());
  add_json_int(doc, stats, "rows", n_rows());
  add_json_int(doc, stats, "cells", cells);
  add_json_int(doc, stats, "rejected", s_rejected);
  add_json_int(doc, stats, "continue_candidates", cc);
  add_json_int(doc, stats, "unmatched", unmatched);
  const Text text = write_doc(doc);
  return text ? text.get() : "{}";
}

class ResultTextTest : public DocTest {
 protected:
  uint32_t seed_ = 99;
  uint32_t next() { return seed_ = seed_ * 1103515245u + 12345u, (seed_ >> 16) & 0x7FFF; }

  // Texts with quotes, backslashes, every control character, the DEL byte,
  // characters of two to four bytes, and none.
  Text text(bool maybe_none = true) {
    if (maybe_none && next() % 5 == 0) return Text();
    static const char* const pieces[] = {"a", "Zed", "\"", "\\", "/", "\x7f", "\xC3\xA9", "\xE2\x82\xAC",
                                         "\xF0\x9F\x8E\xAC", "\xEF\xBF\xBF", " ", "0", "\t", "\n", "\r",
                                         "\b", "\f", "\x01", "\x1f", "\x0b"};
    std::string s;
    const uint32_t n = next() % 12;
    for (uint32_t i = 0; i < n; ++i) s += pieces[next() % 20];
    return xstrdup(s.c_str());
  }
  double real() {
    static const double values[] = {0.0, -0.0, 1.0, 0.5, 1800.0, 3596.4, 1e21, 1e-7, 0.1 + 0.2, 5e-324,
                                    1.7976931348623157e308, -1.0, 123456789.123, 2.5e-3};
    return values[next() % 14];
  }
  int32_t small() { return static_cast<int32_t>(next() % 7) - 2; }

  void random_model() {
    const int n = 1 + static_cast<int>(next() % 30);
    for (int i = 0; i < n; ++i) {
      Item it;
      it.id = xstrdup(("id" + std::to_string(i)).c_str());
      it.title = text();
      it.imdb_id = text();
      it.poster_url = text();
      it.backdrop_url = text();
      it.plot = text();
      it.year = small() * 1000;
      it.kind = small();
      it.season = small();
      it.episode = small();
      it.library = small();
      it.playable = static_cast<int32_t>(next() % 2);
      it.resume_action = static_cast<int32_t>(next() % 3);
      it.resume_position_s = real();
      it.progress_fraction = real();
      it.duration_s = real();
      it.rating = real();
      it.added_ms = static_cast<int64_t>(small()) * 1700000000000LL;
      it.next_index = static_cast<int32_t>(next() % (n + 2)) - 1;
      it.unmatched = static_cast<int32_t>(next() % 2);
      it.runtime_min = small() * 30;
      it.watch_index = static_cast<int32_t>(next() % 4) - 1;
      for (uint32_t s = next() % 3; s > 0; --s) {
        Source src;
        src.key = text();
        src.url = text();
        src.width = small() * 500;
        src.size = static_cast<int64_t>(small()) * 5000000000LL;
        it.sources.push_back(std::move(src));
      }
      for (uint32_t g = next() % 3; g > 0; --g) it.genres.push_back(text(false));
      s_items.push_back(std::move(it));
    }
    for (int w = 0; w < 2; ++w) {
      WatchRec rec;
      rec.source = text();
      rec.key = text();
      rec.updated_ms = static_cast<int64_t>(small()) * 1000;
      rec.position_s = real();
      rec.fraction = real();
      s_watch.push_back(std::move(rec));
    }
    s_ap_configured = static_cast<int32_t>(next() % 2);
    s_ap_fixed = static_cast<int32_t>(next() % 2);
    s_ap_fixed_dur_s = 30.0;
    s_ap_countdown = static_cast<int32_t>(next() % 2);
    s_ap_countdown_s = 20.0;
    s_ap_autoplay = static_cast<int32_t>(next() % 2);
    const int rows = static_cast<int>(next() % 6);
    for (int r = 0; r < rows; ++r) {
      Row row;
      row.kind = static_cast<int32_t>(next() % 15);
      row.key = text();
      row.title = text();
      const int cells = static_cast<int>(next() % 8);
      for (int c = 0; c < cells; ++c) {
        Cell cell;
        cell.item_index = static_cast<int32_t>(next() % (n + 3)) - 2;
        cell.title = text();
        cell.server_key = text();
        cell.added_ms = static_cast<int64_t>(small()) * 1000;
        cell.resolved = static_cast<int32_t>(next() % 2);
        row.cells.push_back(std::move(cell));
      }
      row.emitted = static_cast<int32_t>(next() % (cells + 2));
      row.cell_count = row.emitted + static_cast<int32_t>(next() % 3);
      row.truncated = static_cast<int32_t>(next() % 2);
      s_rows.push_back(std::move(row));
    }
    static const char* const sides[] = {nullptr, "{}", R"({"a":[1,2.5,"x\u0001"],"b":{"c":null}})",
                                        "{ \"spaced\" : [ true , false ] }", "not json", "[1,"};
    s_flags_json = xstrdup(sides[next() % 6]);
    s_watchlist_json = xstrdup(sides[next() % 6]);
    s_bh_json = xstrdup(sides[next() % 6]);
    s_sel = static_cast<int32_t>(next() % (n + 2)) - 1;
    s_rejected = static_cast<int32_t>(next() % 5);
  }
};

TEST_F(ResultTextTest, SameTextAsTheWrittenDocument) {
  int refused = 0;
  for (int round = 0; round < 400; ++round) {
    kavo_clear();
    random_model();
    const std::string expected = reference_result();
    rebuild_result();
    const std::string got = str(kavo_result_json());
    ASSERT_EQ(got, expected) << "round " << round;
    refused += expected == "{}";
    // Built again over the kept buffer: the same text.
    rebuild_result();
    ASSERT_EQ(str(kavo_result_json()), expected) << "round " << round;
    // The documents the result only embeds as yyjson values, and their
    // parts, come out the same through the text sink too.
    for (const Item& item : s_items) {
      const auto detail = [&](auto& out) { put_detail(out, item); };
      ASSERT_EQ(kept_text(detail), mut_text(detail)) << "round " << round;
    }
  }
  EXPECT_EQ(refused, 0);
}

TEST_F(ResultTextTest, RefusedWhereTheWriterRefuses) {
  // Numbers that are not finite, and texts that are not valid UTF-8 (bytes
  // no character starts with, overlong forms, surrogates, beyond U+10FFFF,
  // sequences cut short), in a cell, a row or the detail.
  const char* const bad_texts[] = {"\x80", "a\xC3", "\xC0\x80", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                                   "\xF8\x88\x80\x80\x80", "\xE2\x82", "x\xFFy"};
  const char* const good_texts[] = {"\xC2\x80", "\xED\x9F\xBF", "\xEE\x80\x80", "\xF0\x90\x80\x80",
                                    "\xF4\x8F\xBF\xBF", "\xE0\xA0\x80"};
  for (int round = 0; round < 60; ++round) {
    kavo_clear();
    random_model();
    if (s_rows.empty() || s_items.empty()) continue;
    const int what = round % 4;
    if (what == 0) {
      s_items[0].progress_fraction = round % 8 == 0 ? std::numeric_limits<double>::infinity()
                                                    : std::numeric_limits<double>::quiet_NaN();
    } else if (what == 1) {
      s_rows[0].title = xstrdup(bad_texts[round % 9]);
    } else if (what == 2) {
      s_items[0].title = xstrdup(bad_texts[round % 9]);
      s_sel = 0;
    } else {
      s_rows[0].key = xstrdup(good_texts[round % 6]);
    }
    const std::string expected = reference_result();
    rebuild_result();
    EXPECT_EQ(str(kavo_result_json()), expected) << "round " << round;
  }
}

TEST_F(ResultTextTest, NumbersAsTheWriterWritesThem) {
  const int64_t ints[] = {0, 1, 9, 10, 11, 99, 100, 101, 999, 1000, 123456789, -1, -9, -10, -100,
                          1700000000000, -1700000000000, INT64_MAX, INT64_MIN, INT64_MIN + 1};
  const double reals[] = {0.0, -0.0, 1.0, 0.5, 3596.4, 1e21, 1e-7, 5e-324, 1.7976931348623157e308, -2.5};
  const auto numbers = [&](auto& out) {
    out.begin_array();
    for (int64_t v : ints) out.sint(v);
    for (double v : reals) out.real(v);
    out.end_array();
  };
  EXPECT_EQ(kept_text(numbers), mut_text(numbers));
}

}  // namespace
