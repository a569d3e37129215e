// Every field of every input given a value of the wrong JSON type: the field
// reads as absent, so the documents come out exactly as for an input without
// those fields.
#include <string>
#include <vector>

#include "limits_support.h"

using namespace limits_test;
using kavo_test::str;

namespace {

class WrongTypes : public kavo_test::KavoTest {};

// Values no field takes: containers and null. (Booleans read as numbers and
// numbers as texts, and a number inside a list of texts counts as a text.)
// (An object inside an array would be a source, a basics record, ...)
const char* const kWrong[] = {"null", "[]", "{}", "[true]", "{\"a\":true}", "[[],[null,false]]"};

const std::vector<const char*> kItemKeys = {
    "key", "title", "Title", "name", "Name", "FileName", "fileName", "imdb_id", "imdbId", "imDbID",
    "IMDbId", "IMDbID", "imdb", "poster_url", "posterUrl", "PosterUrl", "poster", "backdrop_url",
    "backdropUrl", "BackdropUrl", "PictureUrl", "plot", "Plot", "description", "path", "Path",
    "folder", "Folder", "parent", "backend_id", "backend", "BackendId", "air_date", "airDate",
    "AirDate", "server_key", "ServerKey", "kind", "year", "Year", "runtime_min", "runtime",
    "duration_min", "Duration", "season", "Season", "episode", "Episode", "size", "Size",
    "mtime_ms", "mtime", "modified_ms", "added_ms", "added", "date_added_ms", "duration_s",
    "durationSeconds", "duration", "rating", "Rating", "matched", "isMatched", "unmatched",
    "isUnmatched", "is_audio_only", "isAudioOnly", "is_cue_track", "isCueTrack", "library",
    "genres", "sources", "entries"};
const std::vector<const char*> kNumberKeys = {
    "year", "runtime_min", "season", "episode", "size", "mtime_ms", "added_ms", "duration_s", "rating"};
const std::vector<const char*> kSourceKeys = {
    "key", "uri", "url", "quality", "codec", "extension", "Extension", "active", "isActive",
    "Active", "hdr", "isHDR", "IsHDR", "is_hdr", "hevc", "isHEVC", "IsHEVC", "is_hevc", "dolby",
    "isDolbyAtmos", "IsDolbyAtmos", "is_dolby", "audio_channels", "audioChannelCount", "width",
    "videoWidth", "Width", "height", "videoHeight", "Height", "size", "Size", "content_source",
    "contentSource", "subtitle_count", "subtitleCount", "subtitle_languages", "subtitleLanguages"};
const std::vector<const char*> kWatchKeys = {
    "ItemId", "id", "imdb_id", "imdbId", "IMDbId", "source", "Source", "src", "key", "Key",
    "season", "Season", "p5", "episode", "Episode", "p6", "position_s", "position", "Position",
    "positionSeconds", "duration_s", "duration", "Duration", "durationSeconds", "fraction",
    "Fraction", "value", "Value", "finished", "Finished", "isFinished", "updated_ms", "UpdatedAt",
    "updatedAt", "recordUpdated", "size", "Size", "p7"};
// ("Spotlights" and "CollectionPlaylists" make their row for any non-empty
// array, whatever its elements; they are left out here.)
const std::vector<const char*> kHomeKeys = {"Basics", "Continues", "List", "ExtentList", "Level30s"};
const std::vector<const char*> kBasicKeys = {
    "Title", "title", "PosterUrl", "posterUrl", "Poster", "PictureUrl", "pictureUrl", "Plot",
    "plot", "Year", "year", "Duration", "duration", "IsTVShow", "isTVShow", "is_tv", "Ratings", "Genres"};
const std::vector<const char*> kAutoplayKeys = {
    "use_fixed_present_before", "useFixedPresentBefore", "use_percentage_present_before",
    "usePercentagePresentBefore", "enable_counting_down", "EnableCountingDown",
    "automatic_play_next", "AutomaticPlayNext", "present_before_duration_s",
    "PresentBeforeEndingDuration", "present_before_percentage", "PresentBeforeEndingPercentage",
    "countdown_duration_s", "CountdownDuration", "enabled", "Enabled"};

// An object of `head` followed by every key in `keys` with `value`.
std::string object_with(const std::string& head, const std::vector<const char*>& keys,
                        const std::string& value) {
  std::string s = "{" + head;
  for (const char* k : keys) s += std::string(s.size() > 1 ? "," : "") + "\"" + k + "\":" + value;
  return s + "}";
}

TEST_F(WrongTypes, ItemAndSourceFieldsReadAsAbsent) {
  // Two plain items, one with a source holding nothing, one without sources.
  ASSERT_EQ(kavo_add_items(R"([{"id":"plain","sources":[{}]},{"id":"plain"}])"), 0);
  const std::string with_source = str(kavo_item_json(0));
  ASSERT_EQ(kavo_add_items(R"([{"id":"bare"}])"), 0);
  std::string without_source = str(kavo_item_json(1));
  without_source.replace(without_source.find("bare"), 4, "plain");
  auto same_as = [](int32_t index, const std::string& plain_doc) {
    std::string doc = str(kavo_item_json(index));
    const std::size_t at = doc.find("\"id\":\"") + 6;
    doc.replace(at, doc.find('"', at) - at, "plain");
    return doc == plain_doc;
  };

  int32_t n = 2;
  for (const char* wrong : kWrong) {
    // Every field wrong, the source list included.
    std::string item = object_with("\"id\":\"i" + std::to_string(n) + "\"", kItemKeys, wrong);
    ASSERT_EQ(kavo_add_items(("[" + item + "]").c_str()), 0) << wrong;
    ASSERT_EQ(kavo_item_count(), n + 1) << wrong;
    EXPECT_TRUE(same_as(n, without_source)) << wrong << "\n" << str(kavo_item_json(n));
    ++n;
    // The same with a first "sources" member whose one source holds only
    // wrong values (the first exact member wins over the later one).
    const std::string source = object_with("", kSourceKeys, wrong);
    item = object_with("\"id\":\"i" + std::to_string(n) + "\",\"sources\":[" + source + "]", kItemKeys, wrong);
    ASSERT_EQ(kavo_add_items(("[" + item + "]").c_str()), 0) << wrong;
    EXPECT_TRUE(same_as(n, with_source)) << wrong << "\n" << str(kavo_item_json(n));
    ++n;
  }
  // Texts where numbers belong.
  for (const char* text : {"\"\"", "\"x\"", "\" \"", "\"-\"", "\"e5\""}) {
    const std::string item = object_with("\"id\":\"i" + std::to_string(n) + "\",\"sources\":[{}]", kNumberKeys, text);
    ASSERT_EQ(kavo_add_items(("[" + item + "]").c_str()), 0) << text;
    EXPECT_TRUE(same_as(n, with_source)) << text << "\n" << str(kavo_item_json(n));
    ++n;
  }
  // An id of the wrong type is no id: the element is rejected.
  for (const char* wrong : kWrong) {
    ASSERT_EQ(kavo_add_items(("[{\"id\":" + std::string(wrong) + "}]").c_str()), 0);
  }
  EXPECT_EQ(kavo_item_count(), n);
  // The second "plain" was a duplicate id.
  EXPECT_EQ(stat("rejected"), static_cast<int64_t>(1 + sizeof kWrong / sizeof *kWrong));
}

TEST_F(WrongTypes, WatchEntriesWithoutUsableProgressAreRejected) {
  ASSERT_EQ(kavo_add_items(R"([{"id":"a","duration_s":100}])"), 0);
  for (const char* wrong : kWrong) {
    const std::string watch = "[" + object_with("\"item_id\":\"a\"", kWatchKeys, wrong) + "]";
    ASSERT_EQ(kavo_set_watch(watch.c_str()), 0) << wrong;
    EXPECT_EQ(stat("watch"), 0) << wrong;
    EXPECT_EQ(kavo_item_resume_action(0), 0);
  }
  EXPECT_EQ(stat("rejected"), static_cast<int64_t>(sizeof kWrong / sizeof *kWrong));
}

TEST_F(WrongTypes, ServerHomeStoreAndSettingsReadAsEmpty) {
  ASSERT_EQ(kavo_add_items(R"([{"id":"a","imdb_id":"tt1","duration_s":600,"sources":[{"url":"u"}]}])"), 0);
  ASSERT_EQ(kavo_set_autoplay_settings("{}"), 0);
  ASSERT_EQ(kavo_select_item("a"), 0);
  ASSERT_EQ(kavo_set_server_home("{}"), 0);
  ASSERT_EQ(kavo_set_store("{}"), 0);
  const std::string empty_result = str(kavo_result_json());
  const std::string empty_flags = str(kavo_server_flags_json());
  const std::string empty_autoplay = str(kavo_detail_autoplay_json());

  for (const char* wrong : kWrong) {
    // Every member of the home, and every field of a basics record that
    // names the catalogue item, of a list entry and of a favourite.
    std::string home = object_with("", kHomeKeys, wrong);
    ASSERT_EQ(kavo_set_server_home(home.c_str()), 0) << wrong;
    EXPECT_EQ(str(kavo_server_flags_json()), empty_flags) << wrong;
    EXPECT_EQ(str(kavo_result_json()), empty_result) << wrong;
    home = "{\"Basics\":[" + object_with("\"IMDbId\":\"tt1\"", kBasicKeys, wrong) +
           "],\"List\":[{\"Id\":" + wrong + ",\"Value\":" + wrong + "}],\"ExtentList\":[{\"Id\":" +
           wrong + ",\"Value\":" + wrong + "}],\"Level30s\":[{\"IMDbID\":" + wrong + "}]}";
    ASSERT_EQ(kavo_set_server_home(home.c_str()), 0) << wrong;
    EXPECT_EQ(str(kavo_server_flags_json()), empty_flags) << wrong;
    EXPECT_EQ(str(kavo_result_json()), empty_result) << wrong;
    ASSERT_EQ(kavo_set_server_home("{}"), 0);

    const std::string store = std::string("{\"favourites\":") + wrong + ",\"playlists\":" + wrong + "}";
    ASSERT_EQ(kavo_set_store(store.c_str()), 0) << wrong;
    EXPECT_EQ(str(kavo_result_json()), empty_result) << wrong;
    const std::string favs = std::string("{\"favourites\":[{\"token\":") + wrong + "}]}";
    ASSERT_EQ(kavo_set_store(favs.c_str()), 0) << wrong;
    EXPECT_EQ(str(kavo_result_json()), empty_result) << wrong;

    // Settings: every flag and duration absent, so the defaults hold.
    const std::string resume = std::string("{\"remember_last_position\":") + wrong +
                               ",\"remember_audio\":" + wrong + "}";
    ASSERT_EQ(kavo_set_resume_settings(resume.c_str()), 0) << wrong;
    ASSERT_EQ(kavo_set_autoplay_settings(object_with("", kAutoplayKeys, wrong).c_str()), 0) << wrong;
    EXPECT_EQ(kavo_detail_autoplay_configured(), 1);
    EXPECT_EQ(str(kavo_detail_autoplay_json()), empty_autoplay) << wrong;
    ASSERT_EQ(kavo_select_item("a"), 0);
    EXPECT_EQ(str(kavo_result_json()), empty_result) << wrong;
  }
}

TEST_F(WrongTypes, InputsObjectPartsOfTheWrongType) {
  const struct {
    const char* key;
    const char* message;
  } parts[] = {{"server_home", "server_home must be an object"},
               {"items", "items must be an array"},
               {"watch", "watch must be an array"},
               {"library", "library must be an array"},
               {"store", "store must be an object"}};
  for (const auto& part : parts) {
    const bool wants_object = std::string(part.message).find("object") != std::string::npos;
    for (const char* wrong : {"null", "true", "1", "\"x\"", wants_object ? "[]" : "{}"}) {
      const std::string inputs = std::string("{\"") + part.key + "\":" + wrong + "}";
      EXPECT_EQ(kavo_load_inputs(inputs.c_str()), 1) << inputs;
      EXPECT_EQ(str(kavo_last_error()), part.message) << inputs;
      EXPECT_EQ(str(kavo_result_json()), "{}");
    }
  }
}

}  // namespace
