// Deterministic benchmark inputs. Every random choice comes from Rng below,
// so the output is a pure function of the arguments.
#include "generate.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace kavo_bench {

namespace {

// splitmix64: small, fast, and the same on every platform (unlike the
// distributions of <random>).
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint32_t below(uint32_t n) { return n == 0 ? 0 : static_cast<uint32_t>(next() % n); }
  bool chance(uint32_t percent) { return below(100) < percent; }
  int64_t between(int64_t lo, int64_t hi) {
    return lo + static_cast<int64_t>(next() % static_cast<uint64_t>(hi - lo + 1));
  }

 private:
  uint64_t state_;
};

const char* const kAdjectives[] = {"Quiet",  "Salt",    "Glass",   "Paper",  "Night",  "Iron",
                                   "Silver", "Hidden",  "Last",    "Northern", "Broken", "Golden",
                                   "Distant", "Velvet", "Hollow",  "Crimson", "Little", "Café"};
const char* const kNouns[] = {"Field",  "Road",    "Orchard", "Moons",   "Freight", "Harbor",
                              "Lights", "River",   "Garden",  "Signal",  "Winter",  "Atlas",
                              "Kingdom", "Echo",   "Meridian", "Cartographers", "Tide", "Lantern"};
const char* const kGenres[] = {"Drama",  "Comedy",  "Thriller", "Sci-Fi",    "Adventure",
                               "Mystery", "Fantasy", "Romance", "Documentary", "Animation"};
const char* const kPlots[] = {
    "A harbour pilot on a fog-bound coast starts finding ships that are not on any register.",
    "Three surveyors map an island that keeps changing shape.",
    "A glassblower inherits an orchard where nothing ripens.",
    "Two rival night-train conductors race to deliver a letter nobody wants to receive.",
    "An archivist discovers that the city's oldest map was drawn from memory, not from the land.",
    "After the river floods, a small town's radio station keeps broadcasting to no one.",
};
constexpr int kNumAdjectives = sizeof(kAdjectives) / sizeof(kAdjectives[0]);
constexpr int kNumNouns = sizeof(kNouns) / sizeof(kNouns[0]);
constexpr int kNumGenres = sizeof(kGenres) / sizeof(kGenres[0]);
constexpr int kNumPlots = sizeof(kPlots) / sizeof(kPlots[0]);

constexpr int64_t kEpochMs = 1690000000000;  // mid 2023

enum class Kind { kMovie, kShow, kEpisode, kFile };

// One catalogue item as planned; the JSON is written from it.
struct Plan {
  Kind kind;
  int32_t num;  // movie, show or file number (episodes: their show's)
  int32_t season = -1, episode = -1;
  int32_t year = -1;
  int32_t runtime_min = -1;
  int32_t adjective = 0, noun = 0;
  bool other_spelling = false;  // written with another producer's keys
  bool has_path = false;        // a movie with a file-system path
  bool kindless = false;        // no kind and no title: the basics fill them
  bool in_basics = false;
  int64_t added_ms = -1;
};

struct Catalogue {
  std::vector<Plan> items;
  std::vector<int32_t> movies, shows, episodes, files;
};

Catalogue make_catalogue(int32_t n, uint64_t seed) {
  Rng rng(seed ^ 0xC47A1060ull);
  Catalogue cat;
  cat.items.reserve(static_cast<std::size_t>(n > 0 ? n : 0));
  int32_t movie_num = 0, show_num = 0, file_num = 0;
  auto push = [&](Plan p) {
    const auto index = static_cast<int32_t>(cat.items.size());
    switch (p.kind) {
      case Kind::kMovie: cat.movies.push_back(index); break;
      case Kind::kShow: cat.shows.push_back(index); break;
      case Kind::kEpisode: cat.episodes.push_back(index); break;
      case Kind::kFile: cat.files.push_back(index); break;
    }
    cat.items.push_back(p);
  };
  while (static_cast<int32_t>(cat.items.size()) < n) {
    const uint32_t r = rng.below(100);
    if (r < 45) {
      Plan p{Kind::kMovie, ++movie_num};
      p.year = static_cast<int32_t>(rng.between(1950, 2024));
      p.runtime_min = static_cast<int32_t>(rng.between(75, 170));
      p.adjective = static_cast<int32_t>(rng.below(kNumAdjectives));
      p.noun = static_cast<int32_t>(rng.below(kNumNouns));
      p.other_spelling = rng.chance(15);
      p.has_path = rng.chance(12);
      p.kindless = rng.chance(5);
      p.in_basics = p.kindless || rng.chance(25);
      p.added_ms = rng.chance(85) ? kEpochMs + rng.between(0, 30000000000) : -1;
      push(p);
    } else if (r < 48) {
      Plan p{Kind::kFile, ++file_num};
      p.added_ms = rng.chance(50) ? kEpochMs + rng.between(0, 30000000000) : -1;
      push(p);
    } else {
      Plan show{Kind::kShow, ++show_num};
      show.year = static_cast<int32_t>(rng.between(1990, 2024));
      show.adjective = static_cast<int32_t>(rng.below(kNumAdjectives));
      show.noun = static_cast<int32_t>(rng.below(kNumNouns));
      show.other_spelling = rng.chance(10);
      show.in_basics = true;
      show.added_ms = kEpochMs + rng.between(0, 30000000000);
      push(show);
      const int32_t seasons = 1 + static_cast<int32_t>(rng.below(4));
      const int32_t per_season = 4 + static_cast<int32_t>(rng.below(9));
      const int32_t runtime = static_cast<int32_t>(rng.between(22, 60));
      for (int32_t s = 1; s <= seasons; ++s) {
        for (int32_t e = 1; e <= per_season; ++e) {
          if (static_cast<int32_t>(cat.items.size()) >= n) break;
          Plan ep = show;
          ep.kind = Kind::kEpisode;
          ep.season = s;
          ep.episode = e;
          ep.year = show.year + s - 1;
          ep.runtime_min = runtime;
          ep.other_spelling = rng.chance(10);
          ep.in_basics = false;
          ep.added_ms = rng.chance(90) ? show.added_ms + (s * 100 + e) * 86400000ll : -1;
          push(ep);
        }
      }
    }
  }
  return cat;
}

// A compact JSON text under construction. Generated texts never need
// escaping (no quotes, backslashes or control characters).
class Json {
 public:
  explicit Json(std::string& out) : out_(out) {}

  void open(char c) {
    sep();
    out_ += c;
    first_ = true;
  }
  void close(char c) {
    out_ += c;
    first_ = false;
  }
  void key(const char* k) {
    sep();
    out_ += '"';
    out_ += k;
    out_ += "\":";
    first_ = true;  // the value follows without a comma
  }
  void str(const std::string& v) {
    sep();
    out_ += '"';
    out_ += v;
    out_ += '"';
  }
  void num(int64_t v) {
    sep();
    out_ += std::to_string(v);
  }
  void real(double v, int decimals) {
    sep();
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    out_ += buf;
  }
  void boolean(bool v) {
    sep();
    out_ += v ? "true" : "false";
  }
  void raw(const char* text) {
    sep();
    out_ += text;
  }

  void kstr(const char* k, const std::string& v) { key(k), str(v); }
  void knum(const char* k, int64_t v) { key(k), num(v); }
  void kreal(const char* k, double v, int decimals) { key(k), real(v, decimals); }
  void kbool(const char* k, bool v) { key(k), boolean(v); }

 private:
  void sep() {
    if (!first_) out_ += ',';
    first_ = false;
  }
  std::string& out_;
  bool first_ = true;
};

std::string fmt(const char* format, long long a) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, a);
  return buf;
}

std::string title_of(const Plan& p) {
  std::string t = kAdjectives[p.adjective];
  t += ' ';
  t += kNouns[p.noun];
  if (p.num % 7 != 0) t += ' ' + std::to_string(p.num % 997);
  return t;
}

std::string imdb_of(const Plan& p) {
  return fmt(p.kind == Kind::kMovie ? "tt1%06lld" : "tt5%06lld", p.num);
}

std::string id_of(const Plan& p) {
  switch (p.kind) {
    case Kind::kMovie: return fmt("m%06lld", p.num);
    case Kind::kShow: return fmt("s%06lld", p.num);
    case Kind::kFile: return fmt("f%06lld", p.num);
    case Kind::kEpisode: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "s%06d-s%02de%02d", p.num, p.season, p.episode);
      return buf;
    }
  }
  return {};
}

std::string movie_path(const Plan& p) {
  const std::string t = title_of(p);
  return "/media/movies/" + t + " (" + std::to_string(p.year) + ")/" + t + ".mkv";
}

std::string date_of(int64_t ms) {
  // Civil date of a millisecond time (days from 1970, Gregorian).
  int64_t z = ms / 86400000 + 719468;
  const int64_t era = z / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lld", static_cast<long long>(y),
                static_cast<long long>(m), static_cast<long long>(d));
  return buf;
}

std::string datetime_of(int64_t ms, bool offset) {
  const int64_t secs = (ms / 1000) % 86400;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%sT%02lld:%02lld:%02lld%s", date_of(ms).c_str(),
                static_cast<long long>(secs / 3600), static_cast<long long>(secs / 60 % 60),
                static_cast<long long>(secs % 60), offset ? "+02:00" : "Z");
  return buf;
}

std::string timespan_of(int64_t seconds) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return buf;
}

void write_sources(Json& j, Rng& rng, const Plan& p, const std::string& id, bool other) {
  const uint32_t count = 1 + rng.below(2);
  const std::string t = title_of(p);
  j.key(other && rng.chance(50) ? "entries" : "sources");
  j.open('[');
  for (uint32_t s = 0; s < count; ++s) {
    const uint32_t shape = rng.below(4);
    j.open('{');
    if (shape == 0) {  // a service stream
      j.kstr("key", id + "-1080");
      j.kstr("url", "https://cdn.velora.example/" + id + "/1080.m3u8");
      j.knum(other ? "videoWidth" : "width", 1920);
      j.knum(other ? "videoHeight" : "height", 1080);
      j.knum(other ? "contentSource" : "content_source", 0);
      j.kstr("quality", "1080p");
      j.kstr("codec", "h264");
      j.knum(other ? "audioChannelCount" : "audio_channels", 6);
      if (rng.chance(50)) {
        j.knum(other ? "subtitleCount" : "subtitle_count", 3);
        j.kstr(other ? "subtitleLanguages" : "subtitle_languages", "en,de,fr");
      }
    } else if (shape == 1) {  // a debrid file described by "theFile"
      j.kstr("key", id + "-2160");
      j.key("theFile");
      j.open('{');
      j.kstr("url", "https://dl.debrid.example/f/" + fmt("%08llx", static_cast<long long>(rng.next() & 0xFFFFFFFF)) +
                        "/" + id + ".2160p.mkv");
      j.knum("videoWidth", 3840);
      j.knum("videoHeight", 2160);
      j.kbool("isHDR", true);
      j.kbool("isHEVC", true);
      j.knum("size", rng.between(4000000000, 30000000000));
      j.kstr("extension", "mkv");
      j.close('}');
      j.knum("content_source", 2);
      j.kstr("quality", "2160p");
      if (rng.chance(50)) j.kbool("isDolbyAtmos", true);
    } else if (shape == 2) {  // a local file
      j.kstr("key", id + "-local");
      j.kstr("uri", "file:///media/" + id + "/" + t + ".mkv");
      j.knum("width", 1920);
      j.knum("height", 800);
      j.knum("content_source", 3);
      j.knum("size", rng.between(1000000000, 9000000000));
      j.kbool(other ? "isActive" : "active", true);
    } else {  // an inactive server copy
      j.kstr("key", id + "-720");
      j.kstr("url", "https://harbor.example/media/" + id + "/720.mkv");
      j.knum(other ? "Width" : "width", 1280);
      j.knum(other ? "Height" : "height", 720);
      j.knum("content_source", 1);
      j.kbool(other ? "isActive" : "active", false);
      j.kstr(other ? "Extension" : "extension", "mkv");
    }
    j.close('}');
  }
  j.close(']');
}

void write_item(Json& j, Rng& rng, const Plan& p, const std::string& id, bool credits = false) {
  const bool o = p.other_spelling;
  const std::string title = title_of(p);
  j.open('{');
  if (o && p.kind != Kind::kFile) {
    j.kstr("key", id);
  } else {
    j.kstr("id", id);
  }
  switch (p.kind) {
    case Kind::kMovie:
      if (!p.kindless) j.kstr("kind", rng.chance(20) ? "film" : "movie");
      break;
    case Kind::kShow: j.kstr("kind", rng.chance(50) ? "tv" : "series"); break;
    case Kind::kEpisode: j.kstr("kind", "episode"); break;
    case Kind::kFile: j.kstr("kind", "file"); break;
  }
  if (p.kind == Kind::kFile) {
    const std::string name = "unknown_rip_" + std::to_string(p.num) + ".mkv";
    j.kstr("title", name);
    j.kbool("unmatched", true);
    j.knum("mtime_ms", p.added_ms >= 0 ? p.added_ms : kEpochMs);
    j.kstr("path", "/media/incoming/" + name);
    j.key("sources");
    j.open('[');
    j.open('{');
    j.kstr("key", id + "-local");
    j.kstr("uri", "file:///media/incoming/" + name);
    j.knum("content_source", 3);
    j.close('}');
    j.close(']');
    j.close('}');
    return;
  }
  if (!p.kindless) j.kstr(o ? "Title" : "title", title);
  j.kstr(o ? "imdbId" : "imdb_id", imdb_of(p));
  if (!p.kindless && p.kind != Kind::kEpisode) {
    if (o) {
      j.kstr("Year", std::to_string(p.year));  // a year as text
    } else {
      j.knum("year", p.year);
    }
  }
  if (p.kind == Kind::kEpisode && credits) j.knum("credits_start_s", std::max<int64_t>(p.runtime_min * 60 - 90, 1));
  if (p.kind == Kind::kEpisode) {
    if (o) {
      j.kstr("Season", std::to_string(p.season));
      j.knum("Episode", p.episode);
      j.kstr("AirDate", date_of(p.added_ms >= 0 ? p.added_ms : kEpochMs));
    } else {
      j.knum("season", p.season);
      j.knum("episode", p.episode);
      j.kstr("air_date", date_of(p.added_ms >= 0 ? p.added_ms : kEpochMs));
    }
  }
  if (p.kind != Kind::kShow && !p.kindless) {
    if (rng.chance(50)) {
      j.knum(o ? "durationSeconds" : "duration_s", p.runtime_min * 60 + static_cast<int64_t>(rng.below(60)));
    } else {
      j.knum(o ? "runtime" : "runtime_min", p.runtime_min);
    }
  }
  if (!p.kindless && p.kind != Kind::kEpisode && rng.chance(60)) {
    if (o) {
      j.kstr("Rating", fmt("%lld", 3 + rng.below(7)) + "." + std::to_string(rng.below(10)));
    } else {
      j.kreal("rating", 3.0 + rng.below(70) / 10.0, 1);
    }
  }
  if (!p.kindless && rng.chance(70)) {
    j.kstr(o ? "PosterUrl" : "poster_url", "https://img.velora.example/posters/" + imdb_of(p) + ".jpg");
  }
  if (!p.kindless && rng.chance(30)) {
    j.kstr(o ? "BackdropUrl" : "backdrop_url",
           "https://img.velora.example/backdrops/" + imdb_of(p) + ".jpg");
  }
  if (!p.kindless && rng.chance(30)) j.kstr(o ? "Plot" : "plot", kPlots[rng.below(kNumPlots)]);
  if (p.kind != Kind::kEpisode && !p.kindless && rng.chance(70)) {
    j.key("genres");
    j.open('[');
    const uint32_t n = 1 + rng.below(3);
    for (uint32_t g = 0; g < n; ++g) j.str(kGenres[(p.num + g * 3) % kNumGenres]);
    j.close(']');
  }
  if (p.has_path) j.kstr(o ? "Path" : "path", movie_path(p));
  if (o && rng.chance(50)) j.kstr("BackendId", "be-" + id);
  if (p.added_ms >= 0) j.knum(o && rng.chance(50) ? "added" : "added_ms", p.added_ms);
  if (rng.chance(30)) j.kbool(o ? "isMatched" : "matched", true);
  if (p.kind != Kind::kShow) {
    static const char* const kLibraries[] = {"velora_plus", "harbor", "RealDebrid", "local", "ftp"};
    if (rng.chance(60)) j.kstr("library", kLibraries[rng.below(5)]);
    write_sources(j, rng, p, id, o);
  }
  j.close('}');
}

// Picks an item of one of the given index lists at random.
int32_t pick(Rng& rng, const std::vector<int32_t>& from) {
  return from.empty() ? -1 : from[rng.below(static_cast<uint32_t>(from.size()))];
}

void write_watch(Json& j, const Catalogue& cat, uint64_t seed, uint32_t round) {
  Rng rng(seed ^ 0x3A7C4ull);           // which entries: the same every round
  Rng progress(seed ^ (0x9F1ull * (round + 1)));  // how far: moves on per round
  const int32_t n = static_cast<int32_t>(cat.items.size()) / 4;
  j.open('[');
  for (int32_t w = 0; w < n; ++w) {
    const uint32_t shape = rng.below(100);
    const bool by_episode = shape >= 45 && shape < 80 && !cat.episodes.empty();
    int32_t index;
    if (by_episode) {
      index = pick(rng, cat.episodes);
    } else if (shape < 45) {
      index = rng.chance(60) ? pick(rng, cat.episodes) : pick(rng, cat.movies);
      if (index < 0) index = pick(rng, cat.movies);
    } else {
      index = pick(rng, cat.movies);
    }
    if (index < 0) index = static_cast<int32_t>(rng.below(static_cast<uint32_t>(cat.items.size())));
    const Plan& p = cat.items[static_cast<std::size_t>(index)];
    const bool other = rng.chance(20);
    j.open('{');
    if (shape < 45 || p.kind == Kind::kFile || p.kind == Kind::kShow) {
      j.kstr(other ? "ItemId" : (rng.chance(80) ? "item_id" : "id"), id_of(p));
    } else {
      j.kstr(other ? "imdbId" : "imdb_id", imdb_of(p));
      if (by_episode && p.kind == Kind::kEpisode) {
        if (other) {
          j.kstr("Season", std::to_string(p.season));
          j.knum("Episode", p.episode);
        } else if (rng.chance(10)) {
          j.knum("p5", p.season);
          j.knum("p6", p.episode);
        } else {
          j.knum("season", p.season);
          j.knum("episode", p.episode);
        }
      }
    }
    if (rng.chance(1)) {  // tells nothing about progress: turned away
      j.knum("duration_s", 100);
      j.close('}');
      continue;
    }
    const int64_t duration = (p.runtime_min > 0 ? p.runtime_min : 45) * 60;
    const uint32_t state = progress.below(100);
    if (state < 10) {
      j.kbool(other ? "Finished" : "finished", true);
    } else {
      const double fraction = (progress.below(1050)) / 1000.0;
      if (progress.chance(70)) j.kreal(other ? "Fraction" : "fraction", fraction, 3);
      if (progress.chance(80)) {
        j.kreal(other ? "Position" : "position_s", fraction * static_cast<double>(duration), 1);
      }
      if (progress.chance(60)) j.knum(other ? "Duration" : "duration_s", duration);
    }
    const int64_t updated = kEpochMs + progress.between(0, 40000000000) + round * 60000ll;
    if (rng.chance(20)) {
      j.kstr("UpdatedAt", datetime_of(updated, rng.chance(50)));
    } else {
      j.knum("updated_ms", updated);
    }
    const uint32_t src = rng.below(100);
    if (src < 35) {
      j.kstr(other ? "Source" : "source", rng.chance(10) ? "LOCAL_STORE" : "local_store");
    } else if (src < 70) {
      j.kstr(other ? "Source" : "source", "player");
    } else if (src < 90) {
      j.kstr("src", "server");
    }
    if (rng.chance(50)) j.kstr(other ? "Key" : "key", fmt("w%06lld", w));
    if (rng.chance(10)) j.knum("size", rng.between(100000000, 9000000000));
    j.close('}');
  }
  j.close(']');
}

void write_library(Json& j, Rng& rng, const Catalogue& cat) {
  std::vector<int32_t> pathed;
  for (int32_t m : cat.movies) {
    if (cat.items[static_cast<std::size_t>(m)].has_path) pathed.push_back(m);
  }
  const int32_t n = static_cast<int32_t>(cat.items.size()) / 10;
  j.open('[');
  for (int32_t e = 0; e < n; ++e) {
    const uint32_t shape = rng.below(100);
    const int64_t added = rng.chance(70) ? kEpochMs + rng.between(0, 30000000000) : -1;
    j.open('{');
    if (shape < 30 && !cat.movies.empty()) {  // linked by id
      const int32_t index = rng.chance(50) ? pick(rng, cat.movies) : pick(rng, cat.episodes);
      const Plan& p = cat.items[static_cast<std::size_t>(index < 0 ? pick(rng, cat.movies) : index)];
      const std::string folder = "/media/library/" + id_of(p);
      j.kstr("id", id_of(p));
      j.kstr("kind", "file");
      j.kstr("title", title_of(p) + ".mkv");
      j.kstr("path", folder + "/" + title_of(p) + ".mkv");
      j.kstr("folder", folder);
      j.knum("size", rng.between(1000000000, 30000000000));
      j.knum("mtime_ms", kEpochMs + rng.between(0, 30000000000));
      if (added >= 0) j.knum("added_ms", added);
      j.kstr("library", "local");
      j.kstr("poster_url", "https://img.velora.example/local/" + id_of(p) + ".jpg");
    } else if (shape < 45 && !pathed.empty()) {  // linked by path
      const Plan& p = cat.items[static_cast<std::size_t>(pick(rng, pathed))];
      j.kstr("id", fmt("lib-p%06lld", e));
      j.kstr("kind", "file");
      j.kstr("title", title_of(p) + ".mkv");
      j.kstr("Path", movie_path(p));
      j.knum("Size", rng.between(1000000000, 30000000000));
      if (added >= 0) j.knum("added_ms", added);
      j.kstr("library", "local");
    } else if (shape < 75) {  // an unlinked file
      const std::string name = fmt("clip_%06lld.mp4", e);
      j.kstr("id", fmt("lib-u%06lld", e));
      j.kstr("kind", "file");
      j.kstr("title", name);
      j.kstr("path", "/media/incoming/" + name);
      j.kstr("folder", "/media/incoming");
      j.knum("size", rng.between(10000000, 3000000000));
      if (added >= 0) j.knum("added_ms", added);
      j.kstr("library", "local");
    } else if (shape < 85) {  // a folder
      static const char* const kFolders[] = {"Season %lld", "season %lld", "Season 0%lldb",
                                             "Extras %lld", "Disc %lld"};
      const std::string name = fmt(kFolders[rng.below(5)], rng.below(40));
      j.kstr("id", fmt("dir-%06lld", e));
      j.kstr("kind", rng.chance(80) ? "folder" : "Directory");
      j.kstr("title", name);
      j.kstr("path", fmt("/media/tv/show-%06lld/", e) + name);
    } else {  // audio
      const std::string name = fmt("%02lld ", 1 + rng.below(20)) + kNouns[rng.below(kNumNouns)] + ".flac";
      j.kstr("id", fmt("aud-%06lld", e));
      j.kstr("kind", "file");
      j.kstr("title", name);
      j.kstr("path", fmt("/media/music/album-%04lld/", e % 997) + name);
      if (rng.chance(50)) {
        j.kbool("is_audio_only", true);
      } else {
        j.kstr("isAudioOnly", "yes");
      }
      if (added >= 0) j.knum("added_ms", added);
    }
    j.close('}');
  }
  j.close(']');
}

// A comma-separated list of `count` IMDb ids, mostly of the catalogue.
std::string id_list(Rng& rng, const Catalogue& cat, int32_t count, bool movies_only) {
  std::string out;
  for (int32_t i = 0; i < count; ++i) {
    if (i > 0) out += rng.chance(30) ? ", " : ",";
    int32_t index = -1;
    if (!rng.chance(10)) index = movies_only || rng.chance(60) ? pick(rng, cat.movies) : pick(rng, cat.shows);
    if (index < 0) {
      out += fmt("tt99%05lld", rng.below(100000));
    } else {
      out += imdb_of(cat.items[static_cast<std::size_t>(index)]);
    }
  }
  return out;
}

void write_home(Json& j, Rng& rng, const Catalogue& cat) {
  const int32_t n = static_cast<int32_t>(cat.items.size());
  j.open('{');

  j.key("Basics");
  j.open('[');
  for (const Plan& p : cat.items) {
    if (!p.in_basics) continue;
    j.open('{');
    j.kstr("IMDbId", imdb_of(p));
    j.kstr("Title", title_of(p));
    j.kstr("PosterUrl", "https://img.velora.example/posters/" + imdb_of(p) + ".jpg");
    if (rng.chance(50)) j.kstr("PictureUrl", "https://img.velora.example/backdrops/" + imdb_of(p) + ".jpg");
    if (rng.chance(40)) j.kstr("Plot", kPlots[rng.below(kNumPlots)]);
    j.knum("Year", p.year);
    j.kstr("Duration", std::to_string(p.kind == Kind::kShow ? 45 : p.runtime_min) + " min");
    j.kbool("IsTVShow", p.kind == Kind::kShow);
    if (rng.chance(70)) {
      j.key("Ratings");
      j.open('{');
      j.kreal(rng.chance(80) ? "Internet Movie Database" : "InternetMovieDatabase",
              3.0 + rng.below(70) / 10.0, 1);
      j.close('}');
    }
    j.key("Genres");
    j.open('[');
    j.str(kGenres[p.num % kNumGenres]);
    if (rng.chance(50)) j.str(kGenres[(p.num + 4) % kNumGenres]);
    j.close(']');
    j.close('}');
  }
  j.close(']');

  j.key("Continues");
  j.open('[');
  for (int32_t c = 0; c < n / 100; ++c) {
    const bool episode = rng.chance(60) && !cat.episodes.empty();
    const int32_t index = episode ? pick(rng, cat.episodes) : pick(rng, cat.movies);
    if (index < 0) break;
    const Plan& p = cat.items[static_cast<std::size_t>(index)];
    j.open('{');
    j.kstr("IMDbId", imdb_of(p));
    if (p.kind == Kind::kEpisode) {
      j.knum("Season", p.season);
      j.knum("Episode", p.episode);
    }
    j.kreal("Value", rng.below(1000) / 1000.0, 3);
    j.kstr("Duration", timespan_of(static_cast<int64_t>(p.runtime_min > 0 ? p.runtime_min : 45) * 60));
    j.kstr("UpdatedAt", datetime_of(kEpochMs + rng.between(0, 40000000000), rng.chance(30)));
    j.close('}');
  }
  j.close(']');

  const int32_t list_len = n / 500 < 20 ? 20 : (n / 500 > 300 ? 300 : n / 500);
  j.key("List");
  j.open('[');
  static const char* const kLists[] = {"TrendingNow", "NewToVELORA",  "MovieNowPlaying", "MyWatchlist",
                                       "BrowseHistory", "HighSpeedServer", "MyWatched", "TopRated",
                                       "PopularShows", "Recommended", "BecauseYouWatched", "AwardWinners"};
  for (const char* name : kLists) {
    j.open('{');
    j.kstr("Id", name);
    j.kstr("Value", id_list(rng, cat, list_len, std::string(name) == "MovieNowPlaying"));
    j.close('}');
  }
  j.close(']');

  j.key("ExtentList");
  j.open('[');
  for (int g = 0; g < 8; ++g) {
    j.open('{');
    j.kstr("Id", std::string("Genre_") + kGenres[g]);
    j.kstr("Value", id_list(rng, cat, list_len / 2, false));
    j.close('}');
  }
  static const char* const kFlags[] = {"DownloadsEnabled", "PlayerV2", "Chromecast", "OfflineSync", "Kids"};
  for (const char* flag : kFlags) {
    j.open('{');
    j.kstr("Id", std::string("FeatureFlags_") + flag);
    j.kstr("Value", rng.chance(50) ? "true" : "beta");
    j.close('}');
  }
  j.close(']');

  j.key("Spotlights");
  j.open('[');
  for (int s = 0; s < 6; ++s) {
    j.open('{');
    j.kstr("Items", id_list(rng, cat, 4, false));
    j.close('}');
  }
  j.close(']');

  j.key("CollectionPlaylists");
  j.open('[');
  for (int c = 0; c < 10; ++c) {
    j.open('{');
    j.kstr(c % 3 == 0 ? "name" : "Name", std::string(kAdjectives[c]) + " Collection");
    j.close('}');
  }
  j.close(']');

  j.key("Level30s");
  j.open('[');
  const int32_t level30 = n / 1000 < 10 ? 10 : (n / 1000 > 200 ? 200 : n / 1000);
  for (int32_t l = 0; l < level30; ++l) {
    j.open('{');
    const int32_t index = rng.chance(50) ? pick(rng, cat.movies) : -1;
    if (index >= 0) {
      j.kstr("IMDbID", imdb_of(cat.items[static_cast<std::size_t>(index)]));
    } else {
      j.kstr("IMDbID", fmt("tt98%05lld", l));
      j.kstr("FileName", fmt("Coastline.%lld.2160p.mkv", 2000 + l % 25));
    }
    j.close('}');
  }
  j.close(']');

  j.close('}');
}

void write_store(Json& j, Rng& rng, const Catalogue& cat, bool dismissals = false) {
  const int32_t n = static_cast<int32_t>(cat.items.size());
  j.open('{');
  if (dismissals) {
    j.key("dismissed");
    j.open('{');
    for (int32_t k = 0; k < n; k += 40) j.knum(id_of(cat.items[static_cast<std::size_t>(k)]).c_str(), kEpochMs + k);
    j.close('}');
  }
  j.key("favourites");
  j.open('[');
  for (int32_t f = 0; f < n / 100; ++f) {
    const bool other = rng.chance(20);
    j.open('{');
    const int32_t index = rng.chance(85) ? (rng.chance(70) ? pick(rng, cat.movies) : pick(rng, cat.shows)) : -1;
    if (index >= 0) {
      const Plan& p = cat.items[static_cast<std::size_t>(index)];
      j.kstr(other ? "Token" : "token", id_of(p));
      j.kstr(other ? "DisplayName" : "display_name", title_of(p));
    } else {
      j.kstr(other ? "Token" : "token", fmt("gone-%lld", f));
      j.kstr(other ? "DisplayName" : "display_name", "Old favourite (removed)");
    }
    if (rng.chance(20)) j.kstr("metadata", "{\\\"year\\\":2011}");
    j.close('}');
  }
  j.close(']');
  j.key("playlists");
  j.open('[');
  for (int p = 0; p < 20; ++p) {
    j.open('{');
    j.kstr("key", fmt("pl-%lld", p));
    j.kstr("name", std::string(kNouns[p % kNumNouns]) + " nights");
    j.kstr("imdbids", id_list(rng, cat, 10, true));
    j.close('}');
  }
  j.close(']');
  j.close('}');
}

}  // namespace

namespace {

std::string inputs_text(int32_t items, uint64_t seed, bool extras) {
  const Catalogue cat = make_catalogue(items, seed);
  std::string out;
  out.reserve(static_cast<std::size_t>(cat.items.size()) * 900 + 4096);
  Json j(out);
  j.open('{');
  {
    Rng rng(seed ^ 0x40AEull);
    j.key("server_home");
    write_home(j, rng, cat);
  }
  {
    Rng rng(seed ^ 0x17E45ull);
    j.key("items");
    j.open('[');
    for (const Plan& p : cat.items) write_item(j, rng, p, id_of(p), extras);
    j.close(']');
  }
  j.key("watch");
  write_watch(j, cat, seed, 0);
  {
    Rng rng(seed ^ 0x11B4ull);
    j.key("library");
    write_library(j, rng, cat);
  }
  {
    Rng rng(seed ^ 0x5709Eull);
    j.key("store");
    write_store(j, rng, cat, extras);
  }
  j.close('}');
  return out;
}

}  // namespace

const char* const kAllOnResumeSettings =
    R"({"finished_fraction":0.9,"resume_min_s":180,"resume_min_fraction":0.05,"short_item_s":300,)"
    R"("finished_at_proposal":true,"keep_finished_on_replay":true,"continue_skip_finished":true,)"
    R"("continue_next_up":true,"next_episode_following":true,"title_sort":"natural",)"
    R"("title_articles":["the","a","an"],"catalogue_by_year":false,"recent_group_shows":true,)"
    R"("recent_skip_finished":true,"show_rows_max":500})";
const char* const kAllOnAutoplaySettings =
    R"({"use_fixed_present_before":true,"present_before_duration_s":45,)"
    R"("present_before_steps":[[0,15],[600,30],[1200,40],[2400,50],[3600,60]],"present_at_credits":true,)"
    R"("proposal_only_with_next":true,"enable_counting_down":true,"countdown_duration_s":20,)"
    R"("automatic_play_next":true})";

std::string generate_inputs(int32_t items, uint64_t seed) { return inputs_text(items, seed, false); }

std::string generate_inputs_with_extras(int32_t items, uint64_t seed) { return inputs_text(items, seed, true); }

std::string generate_watch(int32_t items, uint64_t seed, uint32_t round) {
  const Catalogue cat = make_catalogue(items, seed);
  std::string out;
  out.reserve(static_cast<std::size_t>(cat.items.size()) * 40 + 64);
  Json j(out);
  write_watch(j, cat, seed, round);
  return out;
}

std::string generate_item_batch(const std::string& id_prefix, int32_t count, uint64_t seed) {
  const Catalogue cat = make_catalogue(count, seed ^ 0xBA7C4ull);
  Rng rng(seed ^ 0xBA7C4ull);
  std::string out;
  Json j(out);
  j.open('[');
  for (const Plan& p : cat.items) write_item(j, rng, p, id_prefix + id_of(p));
  j.close(']');
  return out;
}

std::string episode_id(int32_t items, int32_t n, uint64_t seed) {
  const Catalogue cat = make_catalogue(items, seed);
  if (cat.episodes.empty()) return {};
  const auto at = static_cast<std::size_t>(n) % cat.episodes.size();
  return id_of(cat.items[static_cast<std::size_t>(cat.episodes[at])]);
}

}  // namespace kavo_bench
