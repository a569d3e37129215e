// Watch join, the resume decision and the next-episode link.
#include <cmath>
#include <limits>

#include "rows_support.h"

using namespace rows_test;

namespace {

struct Expect {
  int32_t action;
  double position;
  double fraction;
  int32_t clamped;
};

void expect_decision(const Item& it, const WatchRec& w, Expect e, const char* what) {
  const ResumeState r = decide_resume(it, &w);
  EXPECT_EQ(r.action, e.action) << what;
  EXPECT_DOUBLE_EQ(r.position_s, e.position) << what;
  EXPECT_DOUBLE_EQ(r.fraction, e.fraction) << what;
  EXPECT_EQ(r.clamped, e.clamped) << what;
}

}  // namespace

TEST_F(RowsTest, ResumeDecisionExamples) {
  const Item hour = with_duration(3600);
  expect_decision(hour, entry(-1, 0.5), {kResume, 1800, 0.5, 0}, "half way");
  expect_decision(hour, entry(-1, 0.999), {kFinished, 0, 0.999, 0}, "3.6 s left");
  expect_decision(hour, entry(-1, 1.2), {kFinished, 0, 1.0, 1}, "fraction above 1");
  expect_decision(hour, entry(4000, -1), {kFinished, 0, 0.0, 1}, "position beyond duration");
  expect_decision(with_duration(20), entry(12, 0.5), {kResume, 12, 0.0, 0}, "short item ignores fraction");
  const Item unknown = with_duration(-1);
  expect_decision(unknown, entry(42, -1), {kResume, 42, 0.0, 0}, "no duration, position 42");
  expect_decision(unknown, entry(4, -1), {kStart, 0, 0.0, 0}, "no duration, position 4");
  // Runtime stands in for a missing duration; the entry's duration after it.
  expect_decision(with_duration(-1, 60), entry(-1, 0.5), {kResume, 1800, 0.5, 0}, "runtime");
  expect_decision(unknown, entry(50, -1, 100), {kResume, 50, 0.0, 0}, "entry duration");
  expect_decision(unknown, entry(-1, 0.5, 100), {kResume, 50, 0.5, 0}, "entry duration and fraction");
  // No entry at all.
  const ResumeState none = decide_resume(hour, nullptr);
  EXPECT_EQ(none.action, kStart);
  EXPECT_EQ(none.fraction, 0.0);
}

TEST_F(RowsTest, ResumeDecisionBoundariesAreStrict) {
  const Item hour = with_duration(3600);
  // Fraction exactly 1 takes the position rule, not the clamp.
  expect_decision(hour, entry(-1, 1.0), {kFinished, 0, 1.0, 0}, "fraction 1");
  // Duration exactly 30 ignores the fraction and uses the position.
  expect_decision(with_duration(30), entry(10, 0.5), {kResume, 10, 0.0, 0}, "duration 30");
  expect_decision(with_duration(30.5), entry(10, 0.5), {kResume, 15.25, 0.5, 0}, "duration 30.5");
  const Item hundred = with_duration(100);
  expect_decision(hundred, entry(5, -1), {kStart, 0, 0.0, 0}, "position 5");
  expect_decision(hundred, entry(5.5, -1), {kResume, 5.5, 0.0, 0}, "position 5.5");
  expect_decision(hundred, entry(95, -1), {kResume, 95, 0.0, 0}, "5 s left");
  expect_decision(hundred, entry(95.5, -1), {kFinished, 0, 0.0, 0}, "4.5 s left");
  expect_decision(hundred, entry(100, -1), {kFinished, 0, 0.0, 0}, "at the end, not beyond");
  expect_decision(with_duration(-1), entry(5, -1), {kStart, 0, 0.0, 0}, "no duration, position 5");
  // A position beyond a duration under 1 s is clamped to 0, not below.
  expect_decision(with_duration(0.5), entry(3, -1), {kFinished, 0, 0.0, 1}, "tiny duration");
  // Negative position counts 0; NaN fraction counts absent.
  expect_decision(hundred, entry(-7, std::nan("")), {kStart, 0, 0.0, 0}, "negative position, NaN fraction");
  expect_decision(with_duration(std::nan("")), entry(42, 0.5), {kResume, 42, 0.0, 0}, "NaN duration");
}

TEST_F(RowsTest, ResumeDecisionSettingsAndFinishedFlag) {
  const Item hour = with_duration(3600);
  s_remember_last_position = 0;
  expect_decision(hour, entry(1000, 0.5, -1, 1), {kFinished, 0, 1.0, 0}, "finished beats settings");
  expect_decision(hour, entry(1000, 0.5), {kStart, 0, 0.0, 0}, "positions not remembered");
  s_remember_last_position = 1;
  expect_decision(hour, entry(1000, -1, -1, 0), {kResume, 1000, 0.0, 0}, "finished 0 is not finished");

  Item audio = with_duration(3600);
  audio.is_audio_only = 1;
  expect_decision(audio, entry(1000, -1), {kStart, 0, 0.0, 0}, "audio not remembered");
  s_remember_audio = 1;
  expect_decision(audio, entry(1000, -1), {kResume, 1000, 0.0, 0}, "audio remembered");
  Item cue = with_duration(3600);
  cue.is_cue_track = 1;
  expect_decision(cue, entry(1000, -1), {kStart, 0, 0.0, 0}, "cue track");
  expect_decision(cue, entry(1000, -1, -1, 1), {kFinished, 0, 1.0, 0}, "finished cue track");
  s_remember_audio = 0;

  // Through the rebuild: an audio item keeps its entry even when it starts over.
  const int32_t a = add_item("a");
  item(a).is_audio_only = 1;
  item(a).duration_s = 3600;
  add_watch("a").position_s = 1000;
  rebuild_rows();
  EXPECT_EQ(item(a).watch_index, 0);
  EXPECT_EQ(item(a).resume_action, kStart);
  EXPECT_EQ(item(a).progress_fraction, 0.0);
}

TEST_F(RowsTest, WatchJoinByIdThenEpisodeThenImdb) {
  const int32_t show = add_item("show", kShow);
  set_text(item(show).imdb_id, "tt1");
  const int32_t e23 = add_item("e23", kEpisode);
  set_text(item(e23).imdb_id, "tt1");
  item(e23).season = 2;
  item(e23).episode = 3;
  const int32_t e23b = add_item("e23b", kEpisode);  // same episode, later index
  set_text(item(e23b).imdb_id, "tt1");
  item(e23b).season = 2;
  item(e23b).episode = 3;
  const int32_t other = add_item("other", kMovie);
  set_text(item(other).imdb_id, "tt2");

  add_watch("other", "tt1");                     // 0: id wins over the IMDb id
  WatchRec& w1 = add_watch("gone", "tt1");       // 1: unknown id falls back
  w1.season = 2;
  w1.episode = 3;
  WatchRec& w2 = add_watch(nullptr, "tt1");      // 2: no such episode: first item of the id
  w2.season = 5;
  w2.episode = 1;
  WatchRec& w3 = add_watch(nullptr, "tt1");      // 3: season 0 does not count
  w3.season = 0;
  w3.episode = 3;
  add_watch(nullptr, "tt9");                     // 4: unknown
  add_watch(nullptr, nullptr);                   // 5: names nothing
  WatchRec& w6 = add_watch(nullptr, "TT1");      // 6: ids are exact
  w6.season = 2;
  w6.episode = 3;
  for (WatchRec& w : s_watch) w.position_s = 10;
  rebuild_rows();
  const int32_t expected[] = {other, e23, show, show, -1, -1, -1};
  for (int k = 0; k < 7; ++k) EXPECT_EQ(s_watch[static_cast<std::size_t>(k)].item_index, expected[k]) << k;
  EXPECT_EQ(item(e23).watch_index, 1);
  EXPECT_EQ(item(e23b).watch_index, -1);
  EXPECT_EQ(item(show).watch_index, 2);  // equal times: the earlier entry
}

TEST_F(RowsTest, EntryChoiceServerBeforeLocalLatestFirst) {
  const int32_t a = add_item("a"), b = add_item("b"), c = add_item("c"), d = add_item("d");
  add_watch("a", nullptr, "server_continue").updated_ms = 100;
  add_watch("a", nullptr, "local_store").updated_ms = 900;   // later, but local
  add_watch("b", nullptr, "Local_Store").updated_ms = 5;     // local in any case
  add_watch("b", nullptr, "local_store").updated_ms = 6;
  add_watch("b", nullptr, "local_store").updated_ms = 6;     // equal: the earlier stays
  add_watch("c", nullptr, nullptr).updated_ms = 50;          // absent source: server
  add_watch("c", nullptr, "x").updated_ms = 50;
  add_watch("c", nullptr, "y").updated_ms = -1;
  add_watch("c", nullptr, "local_store").updated_ms = 70;
  for (WatchRec& w : s_watch) w.position_s = 100;
  rebuild_rows();
  EXPECT_EQ(item(a).watch_index, 0);
  EXPECT_EQ(item(b).watch_index, 3);
  EXPECT_EQ(item(c).watch_index, 5);
  EXPECT_EQ(item(d).watch_index, -1);
  EXPECT_EQ(item(d).progress_fraction, 0.0);  // recomputed from the -1 default
  // A later server entry does replace.
  add_watch("a", nullptr, "srv").updated_ms = 101;
  rebuild_rows();
  EXPECT_EQ(item(a).watch_index, 9);
}

TEST_F(RowsTest, NextEpisodeLink) {
  auto ep = [](const char* id, const char* imdb, int32_t s, int32_t e, const char* url) {
    const int32_t i = add_item(id, kEpisode);
    set_text(item(i).imdb_id, imdb);
    item(i).season = s;
    item(i).episode = e;
    if (url) add_source(item(i), url);
    return i;
  };
  const int32_t s1e1 = ep("s1e1", "tt1", 1, 1, "http://a/1");
  const int32_t s1e2 = ep("s1e2", "tt1", 1, 2, "http://b/2");
  const int32_t s1e2a = ep("s1e2a", "tt1", 1, 2, "http://a/1");  // shares s1e1's address
  const int32_t s1e3 = ep("s1e3", "tt1", 1, 3, nullptr);
  const int32_t s2e1 = ep("s2e1", "tt1", 2, 1, nullptr);
  const int32_t x1 = ep("x1", nullptr, 1, 1, "u");                // no IMDb id: pairs with no IMDb id
  const int32_t y2 = ep("y2", "tt2", 1, 2, "u");
  const int32_t x2 = ep("x2", nullptr, 1, 2, nullptr);
  // A first source without a url matches by its uri.
  auto uri_source = [](int32_t i, const char* uri) {
    Source src;
    src.uri = xstrdup(uri);
    item(i).sources.push_back(std::move(src));
  };
  const int32_t z1 = ep("z1", "tt3", 1, 1, nullptr);
  uri_source(z1, "file:/z");
  const int32_t z2 = ep("z2", "tt3", 1, 2, "http://other");
  const int32_t z2uri = ep("z2uri", "tt3", 1, 2, nullptr);
  uri_source(z2uri, "file:/z");
  const int32_t zero = ep("zero", "tt1", 0, 1, nullptr);
  const int32_t top = ep("top", "tt4", 1, INT32_MAX, nullptr);
  rebuild_rows();
  EXPECT_EQ(item(s1e1).next_index, s1e2a);
  EXPECT_EQ(item(s1e2).next_index, s1e3);
  EXPECT_EQ(item(s1e2a).next_index, s1e3);
  EXPECT_EQ(item(s1e3).next_index, -1);   // no season crossing
  EXPECT_EQ(item(s2e1).next_index, -1);
  EXPECT_EQ(item(x1).next_index, x2);
  (void)y2;
  EXPECT_EQ(item(z1).next_index, z2uri);
  EXPECT_EQ(item(z2).next_index, -1);
  EXPECT_EQ(item(zero).next_index, -1);
  EXPECT_EQ(item(top).next_index, -1);
}
