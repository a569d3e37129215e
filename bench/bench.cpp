// The libkavo benchmark suite: the input calls a host makes on its UI thread
// over generated inputs of 25000 to 200000 catalogue items, next to floors
// measured in the same run, with page faults per call and the peak memory of
// a process that loads the largest inputs.
//
// The floors are the yyjson work the calls cannot do without, "warm": the
// memory yyjson works in is a pool allocator over one buffer kept from call
// to call, so no page is faulted in after the first call.
//   floor_parse_inputs  (a) yyjson_read_opts of the whole inputs text
//   floor_parse_watch   (b) yyjson_read_opts of the watch array text alone
//   floor_write_result  (c) yyjson_mut_write_opts of a mutable copy of the
//                           result document kavo builds for the inputs
// "floor" is the cold form of (a) + (c) (yyjson's default allocator, the
// documents freed after each call) and "floor_warm" (a) + (c) in one call,
// both for information.
//
// Every figure the targets use is the median thread CPU time of a call.
// Besides Google Benchmark's table the program prints the floors, the
// targets it checks and a few ratios (see scripts/bench.sh, whose --targets
// runs just what the targets need). `kavo_bench --peak-rss FILE` is the
// child mode that loads one inputs file and reports its own peak resident
// set.
#include <benchmark/benchmark.h>
#include <kavo.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <yyjson.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "generate.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t kSizes[] = {25000, 50000, 100000, 200000};
constexpr int32_t kBatch = 100;

// The watch array of round 1 as yyjson writes it, and the same text with the
// position of its first entry moved: what a host sends when one thing was
// watched since. Everything else in the two texts is byte for byte the same.
struct WatchPair {
  std::string texts[2];
};

WatchPair watch_pair_of(const std::string& watch) {
  WatchPair pair;
  for (int changed = 0; changed < 2; ++changed) {
    yyjson_doc* doc = yyjson_read(watch.data(), watch.size(), 0);
    yyjson_mut_doc* out = yyjson_doc_mut_copy(doc, nullptr);
    yyjson_doc_free(doc);
    yyjson_mut_val* entry = yyjson_mut_arr_get_first(yyjson_mut_doc_get_root(out));
    if (changed && entry != nullptr) {
      // kavo reads "position_s" before any other spelling of the position.
      double position = -1;
      for (const char* key : {"position_s", "position", "Position", "positionSeconds"}) {
        yyjson_mut_val* v = yyjson_mut_obj_get(entry, key);
        if (yyjson_mut_is_num(v)) {
          position = yyjson_mut_get_num(v);
          break;
        }
      }
      yyjson_mut_obj_remove_key(entry, "position_s");
      yyjson_mut_obj_remove_key(entry, "position");
      yyjson_mut_obj_add_real(out, entry, "position_s", position > 120 ? position - 60 : position + 600);
    }
    char* text = yyjson_mut_write(out, 0, nullptr);
    pair.texts[changed] = text ? text : "[]";
    std::free(text);
    yyjson_mut_doc_free(out);
  }
  return pair;
}

struct Inputs {
  std::string text;
  std::string extras;  // the same with credits offsets and dismissals, made when first asked for
  std::string watch[2];  // a later watch array, and the same with one entry's position moved
  std::vector<std::string> selections;
};

Inputs& inputs_for(int32_t items) {
  static std::map<int32_t, Inputs> cache;
  auto it = cache.find(items);
  if (it != cache.end()) return it->second;
  Inputs in;
  in.text = kavo_bench::generate_inputs(items);
  WatchPair pair = watch_pair_of(kavo_bench::generate_watch(items, kavo_bench::kDefaultSeed, 1));
  in.watch[0] = std::move(pair.texts[0]);
  in.watch[1] = std::move(pair.texts[1]);
  for (int32_t k = 0; k < 16; ++k) in.selections.push_back(kavo_bench::episode_id(items, k * 7919));
  return cache.emplace(items, std::move(in)).first->second;
}

const std::string& extras_for(int32_t items) {
  Inputs& in = inputs_for(items);
  if (in.extras.empty()) in.extras = kavo_bench::generate_inputs_with_extras(items);
  return in.extras;
}

double thread_cpu_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

long minor_faults() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_minflt;
}

// Seconds per call of every benchmark, by name and size, for the summary:
// wall-clock time, and the CPU time of the calling thread (which other
// processes on a busy machine inflate less; the targets go by it).
std::map<std::string, std::map<int32_t, double>>& timings() {
  static std::map<std::string, std::map<int32_t, double>> t;
  return t;
}
std::map<std::string, std::map<int32_t, double>>& cpu_timings() {
  static std::map<std::string, std::map<int32_t, double>> t;
  return t;
}

// Other figures by name and size: the peak memory of a loading process.
std::map<std::string, std::map<int32_t, double>>& figures() {
  static std::map<std::string, std::map<int32_t, double>> t;
  return t;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

// Times `call` once per iteration with manual timing, after `warmups`
// untimed calls, each call after an untimed `setup`; reports minor page
// faults, thread CPU time and the fastest call. The summary takes the median
// call, which a busy machine disturbs least.
template <class Setup, class Call>
void run_timed(benchmark::State& state, const char* name, int warmups, Setup&& setup, Call&& call) {
  for (int w = 0; w < warmups; ++w) setup(), call();
  std::vector<double> wall, cpu;
  long faults = 0;
  for (auto _ : state) {
    setup();
    const long f0 = minor_faults();
    const double c0 = thread_cpu_seconds();
    const auto t0 = Clock::now();
    call();
    const auto t1 = Clock::now();
    cpu.push_back(thread_cpu_seconds() - c0);
    faults += minor_faults() - f0;
    const double s = std::chrono::duration<double>(t1 - t0).count();
    state.SetIterationTime(s);
    wall.push_back(s);
  }
  if (wall.empty()) return;
  const double n = static_cast<double>(wall.size());
  state.counters["minflt"] = benchmark::Counter(static_cast<double>(faults) / n);
  state.counters["cpu_ms"] = benchmark::Counter(median(cpu) * 1e3);
  state.counters["median_ms"] = benchmark::Counter(median(wall) * 1e3);
  state.counters["min_ms"] = benchmark::Counter(*std::min_element(wall.begin(), wall.end()) * 1e3);
  timings()[name][static_cast<int32_t>(state.range(0))] = median(wall);
  cpu_timings()[name][static_cast<int32_t>(state.range(0))] = median(cpu);
}

template <class Call>
void run_timed(benchmark::State& state, const char* name, int warmups, Call&& call) {
  run_timed(state, name, warmups, [] {}, call);
}

bool check(benchmark::State& state, int32_t rc, const char* what) {
  if (rc == 0) return true;
  const std::string msg = std::string(what) + " failed: " + kavo_last_error();
  state.SkipWithError(msg.c_str());
  return false;
}

// ---- The floors ---------------------------------------------------------------

// A mutable copy of kavo's result document for the inputs of `items` items;
// kavo's own memory is given back, it is not the floor's.
yyjson_mut_doc* result_copy(benchmark::State& state, int32_t items) {
  if (!check(state, kavo_load_inputs(inputs_for(items).text.c_str()), "kavo_load_inputs")) return nullptr;
  const char* text = kavo_result_json();
  yyjson_doc* doc = yyjson_read_opts(const_cast<char*>(text), std::strlen(text), 0, nullptr, nullptr);
  yyjson_mut_doc* copy = doc ? yyjson_doc_mut_copy(doc, nullptr) : nullptr;
  yyjson_doc_free(doc);
  kavo_shutdown();
  if (copy == nullptr) state.SkipWithError("result document does not parse");
  return copy;
}

// Memory for warm yyjson work: one buffer, touched once before the timing
// and handed to a fresh pool allocator for every call.
class WarmPool {
 public:
  explicit WarmPool(size_t size) : buf_(size) {}
  yyjson_alc* fresh() {
    yyjson_alc_pool_init(&alc_, buf_.data(), buf_.size());
    return &alc_;
  }

 private:
  std::vector<char> buf_;
  yyjson_alc alc_{};
};

// Room for writing `doc` in a pool: the written size, several times over for
// the buffers the writer grows through, and some to spare.
size_t write_room(yyjson_mut_doc* doc) {
  size_t written = 0;
  std::free(yyjson_mut_write_opts(doc, 0, nullptr, &written, nullptr));
  return written * 4 + (1u << 20);
}

void BM_Floor(benchmark::State& state) {
  const int32_t items = static_cast<int32_t>(state.range(0));
  const Inputs& in = inputs_for(items);
  yyjson_mut_doc* result = result_copy(state, items);
  if (result == nullptr) return;
  size_t written = 0;
  bool ok = true;
  run_timed(state, "floor", 1, [&] {
    yyjson_doc* doc = yyjson_read_opts(const_cast<char*>(in.text.data()), in.text.size(), 0, nullptr, nullptr);
    benchmark::DoNotOptimize(doc);
    ok &= doc != nullptr;
    yyjson_doc_free(doc);
    char* out = yyjson_mut_write_opts(result, 0, nullptr, &written, nullptr);
    benchmark::DoNotOptimize(out);
    ok &= out != nullptr;
    std::free(out);
  });
  if (!ok) state.SkipWithError("yyjson failed");
  state.counters["result_MB"] = static_cast<double>(written) / 1e6;
  state.counters["inputs_MB"] = static_cast<double>(in.text.size()) / 1e6;
  yyjson_mut_doc_free(result);
}

void BM_FloorWarm(benchmark::State& state) {
  const int32_t items = static_cast<int32_t>(state.range(0));
  const Inputs& in = inputs_for(items);
  yyjson_mut_doc* result = result_copy(state, items);
  if (result == nullptr) return;
  WarmPool read_pool(yyjson_read_max_memory_usage(in.text.size(), 0));
  WarmPool write_pool(write_room(result));
  bool ok = true;
  run_timed(state, "floor_warm", 1, [&] {
    yyjson_doc* doc =
        yyjson_read_opts(const_cast<char*>(in.text.data()), in.text.size(), 0, read_pool.fresh(), nullptr);
    benchmark::DoNotOptimize(doc);
    ok &= doc != nullptr;
    yyjson_doc_free(doc);
    char* out = yyjson_mut_write_opts(result, 0, write_pool.fresh(), nullptr, nullptr);
    benchmark::DoNotOptimize(out);
    ok &= out != nullptr;
  });
  if (!ok) state.SkipWithError("yyjson failed");
  yyjson_mut_doc_free(result);
}

// Floor (a) or (b): a warm parse of `text`.
void warm_parse(benchmark::State& state, const char* name, const std::string& text) {
  WarmPool pool(yyjson_read_max_memory_usage(text.size(), 0));
  bool ok = true;
  run_timed(state, name, 1, [&] {
    yyjson_doc* doc = yyjson_read_opts(const_cast<char*>(text.data()), text.size(), 0, pool.fresh(), nullptr);
    benchmark::DoNotOptimize(doc);
    ok &= doc != nullptr;
    yyjson_doc_free(doc);
  });
  if (!ok) state.SkipWithError("yyjson_read_opts failed");
  state.counters["text_MB"] = static_cast<double>(text.size()) / 1e6;
}

void BM_FloorParseInputs(benchmark::State& state) {
  warm_parse(state, "floor_parse_inputs", inputs_for(static_cast<int32_t>(state.range(0))).text);
}

void BM_FloorParseWatch(benchmark::State& state) {
  warm_parse(state, "floor_parse_watch", inputs_for(static_cast<int32_t>(state.range(0))).watch[0]);
}

// Floor (c): a warm write of the result document.
void BM_FloorWriteResult(benchmark::State& state) {
  yyjson_mut_doc* result = result_copy(state, static_cast<int32_t>(state.range(0)));
  if (result == nullptr) return;
  WarmPool pool(write_room(result));
  size_t written = 0;
  bool ok = true;
  run_timed(state, "floor_write_result", 1, [&] {
    char* out = yyjson_mut_write_opts(result, 0, pool.fresh(), &written, nullptr);
    benchmark::DoNotOptimize(out);
    ok &= out != nullptr;
  });
  if (!ok) state.SkipWithError("yyjson_mut_write_opts failed");
  state.counters["result_MB"] = static_cast<double>(written) / 1e6;
  yyjson_mut_doc_free(result);
}

// ---- The library's calls -------------------------------------------------------

// With every optional behaviour switched on (and back off at the end) when
// asked for; then the inputs carry credits offsets and dismissals too.
class OptionalBehaviours {
 public:
  explicit OptionalBehaviours(bool on) : on_(on) {
    if (!on_) return;
    kavo_set_resume_settings(kavo_bench::kAllOnResumeSettings);
    kavo_set_autoplay_settings(kavo_bench::kAllOnAutoplaySettings);
  }
  ~OptionalBehaviours() {
    if (!on_) return;
    kavo_set_resume_settings(nullptr);
    kavo_set_autoplay_settings(nullptr);
  }
  const std::string& inputs(int32_t items) const { return on_ ? extras_for(items) : inputs_for(items).text; }

 private:
  bool on_;
};

void load_inputs(benchmark::State& state, bool all_on) {
  const int32_t items = static_cast<int32_t>(state.range(0));
  const OptionalBehaviours behaviours(all_on);
  const std::string& text = behaviours.inputs(items);
  int32_t rc = 0;
  run_timed(state, all_on ? "load_inputs_all_on" : "load_inputs", 1, [&] { rc |= kavo_load_inputs(text.c_str()); });
  check(state, rc, "kavo_load_inputs");
  state.counters["rows"] = kavo_row_count();
  state.counters["result_MB"] = static_cast<double>(std::strlen(kavo_result_json())) / 1e6;
  kavo_shutdown();
}

// The watch array again, as a host sends it: the same array with one entry's
// position moved, back and forth. With every optional behaviour off or on;
// with `read`, as a host does it, the result document read after it.
void set_watch(benchmark::State& state, bool all_on, bool read = false) {
  const int32_t items = static_cast<int32_t>(state.range(0));
  const Inputs& in = inputs_for(items);
  const OptionalBehaviours behaviours(all_on);
  if (!check(state, kavo_load_inputs(behaviours.inputs(items).c_str()), "kavo_load_inputs")) return;
  int32_t rc = 0;
  int k = 0;
  const char* name = read ? "set_watch+result" : all_on ? "set_watch_all_on" : "set_watch";
  run_timed(state, name, 1, [&] {
    rc |= kavo_set_watch(in.watch[k++ & 1].c_str());
    if (read) benchmark::DoNotOptimize(kavo_result_json());
  });
  check(state, rc, "kavo_set_watch");
  kavo_shutdown();
}

// One progress entry as a player sends it, at two positions in turn.
std::string update_of(const std::string& watch, int position) {
  yyjson_doc* doc = yyjson_read(watch.data(), watch.size(), 0);
  yyjson_mut_doc* out = yyjson_mut_doc_new(nullptr);
  yyjson_mut_val* entry = yyjson_val_mut_copy(out, yyjson_arr_get_first(yyjson_doc_get_root(doc)));
  yyjson_mut_obj_remove_key(entry, "position_s");
  yyjson_mut_obj_remove_key(entry, "position");
  yyjson_mut_obj_add_int(out, entry, "position_s", position);
  yyjson_mut_val* array = yyjson_mut_arr(out);
  yyjson_mut_arr_append(array, entry);
  yyjson_mut_doc_set_root(out, array);
  char* text = yyjson_mut_write(out, 0, nullptr);
  std::string update = text ? text : "[]";
  std::free(text);
  yyjson_mut_doc_free(out);
  yyjson_doc_free(doc);
  return update;
}

template <bool Read>
void BM_UpdateWatch(benchmark::State& state) {
  const Inputs& in = inputs_for(static_cast<int32_t>(state.range(0)));
  if (!check(state, kavo_load_inputs(in.text.c_str()), "kavo_load_inputs")) return;
  const std::string updates[2] = {update_of(in.watch[0], 600), update_of(in.watch[0], 1200)};
  int32_t rc = 0;
  int k = 0;
  run_timed(state, Read ? "update_watch+result" : "update_watch", 1, [&] {
    rc |= kavo_update_watch(updates[k++ & 1].c_str());
    if (Read) benchmark::DoNotOptimize(kavo_result_json());
  });
  check(state, rc, "kavo_update_watch");
  kavo_shutdown();
}

void BM_LoadInputs(benchmark::State& state) { load_inputs(state, false); }
void BM_LoadInputsAllOn(benchmark::State& state) { load_inputs(state, true); }
void BM_SetWatch(benchmark::State& state) { set_watch(state, false); }
void BM_SetWatchAllOn(benchmark::State& state) { set_watch(state, true); }
void BM_SetWatchResult(benchmark::State& state) { set_watch(state, false, true); }

// 100 new items onto a catalogue of the size named, then the result document.
// The catalogue holds at most 200000 items, so every call starts from the
// freshly loaded catalogue (its result read, as a host would have done),
// untimed.
void BM_AddItems(benchmark::State& state) {
  const int32_t items = static_cast<int32_t>(state.range(0));
  static std::map<int32_t, std::string> base;
  if (base.find(items) == base.end()) base[items] = kavo_bench::generate_inputs(items);
  const std::string& text = base[items];
  std::vector<std::string> batches;
  for (int b = 0; b < 4; ++b) {
    batches.push_back(kavo_bench::generate_item_batch("new" + std::to_string(b) + "-", kBatch));
  }
  int32_t rc = 0;
  size_t next = 0;
  auto reload = [&] {
    rc |= kavo_load_inputs(text.c_str());
    benchmark::DoNotOptimize(kavo_result_json());
  };
  run_timed(state, "add_items", 1, reload, [&] {
    rc |= kavo_add_items(batches[next++ % batches.size()].c_str());
    benchmark::DoNotOptimize(kavo_result_json());
  });
  check(state, rc, "kavo_load_inputs or kavo_add_items");
  state.counters["items_after"] = kavo_item_count();
  kavo_shutdown();
}

void BM_Select(benchmark::State& state) {
  const Inputs& in = inputs_for(static_cast<int32_t>(state.range(0)));
  if (!check(state, kavo_load_inputs(in.text.c_str()), "kavo_load_inputs")) return;
  int32_t rc = 0;
  size_t k = 0;
  size_t detail = 0;
  run_timed(state, "select", 1, [&] {
    rc |= kavo_select_item(in.selections[k++ % in.selections.size()].c_str());
    const char* d = kavo_detail_json();
    detail += d ? std::strlen(d) : 0;
  });
  check(state, rc, "kavo_select_item");
  benchmark::DoNotOptimize(detail);
  kavo_shutdown();
}

// ---- Peak memory of a loading process ------------------------------------------

// The peak resident set of this process's own memory: VmHWM, not
// ru_maxrss, which after fork and exec also counts what the parent had
// resident when it forked.
long long peak_resident_bytes() {
  if (FILE* f = std::fopen("/proc/self/status", "r")) {
    char line[256];
    long long kb = -1;
    while (std::fgets(line, sizeof line, f) != nullptr) {
      if (std::sscanf(line, "VmHWM: %lld kB", &kb) == 1) break;
    }
    std::fclose(f);
    if (kb >= 0) return kb * 1024;
  }
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<long long>(u.ru_maxrss) * 1024;
}

// Child mode: read FILE the way a host would (one buffer of its size), load it,
// print "<peak resident bytes> <text bytes> <status>".
int peak_rss_child(const char* path) {
  FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return 1;
  std::fseek(f, 0, SEEK_END);
  const long size = std::ftell(f);
  std::fseek(f, 0, SEEK_SET);
  char* text = static_cast<char*>(std::malloc(static_cast<size_t>(size) + 1));
  if (text == nullptr || std::fread(text, 1, static_cast<size_t>(size), f) != static_cast<size_t>(size)) return 1;
  std::fclose(f);
  text[size] = '\0';
  const int32_t rc = kavo_load_inputs(text);
  std::printf("%lld %ld %d\n", peak_resident_bytes(), size, rc);
  kavo_shutdown();
  std::free(text);
  return 0;
}

void BM_PeakRss(benchmark::State& state) {
  const int32_t items = static_cast<int32_t>(state.range(0));
  const Inputs& in = inputs_for(items);
  char path[] = "/tmp/kavo_bench_inputs_XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0 || write(fd, in.text.data(), in.text.size()) != static_cast<ssize_t>(in.text.size())) {
    state.SkipWithError("cannot write the inputs file");
    if (fd >= 0) close(fd), unlink(path);
    return;
  }
  close(fd);
  long long peak = 0, text = 0;
  int rc = -1;
  for (auto _ : state) {
    int pipefd[2];
    if (pipe(pipefd) != 0) break;
    const pid_t pid = fork();
    if (pid == 0) {
      dup2(pipefd[1], STDOUT_FILENO);
      close(pipefd[0]);
      execl("/proc/self/exe", "kavo_bench", "--peak-rss", path, static_cast<char*>(nullptr));
      _exit(127);
    }
    close(pipefd[1]);
    char buf[128] = {};
    ssize_t got = 0, r;
    while ((r = read(pipefd[0], buf + got, sizeof buf - 1 - static_cast<size_t>(got))) > 0) got += r;
    close(pipefd[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (std::sscanf(buf, "%lld %lld %d", &peak, &text, &rc) != 3) rc = -1;
    state.SetIterationTime(1.0);
  }
  unlink(path);
  if (rc != 0 || text == 0) {
    state.SkipWithError("the loading child failed");
    return;
  }
  state.counters["peak_rss_MB"] = static_cast<double>(peak) / 1e6;
  state.counters["inputs_MB"] = static_cast<double>(text) / 1e6;
  state.counters["ratio"] = static_cast<double>(peak) / static_cast<double>(text);
  figures()["peak_rss_bytes"][items] = static_cast<double>(peak);
  figures()["inputs_bytes"][items] = static_cast<double>(text);
}

void sizes(benchmark::internal::Benchmark* b) {
  for (int32_t n : kSizes) {
    if (n < 200000) b->Arg(n);
  }
  b->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);
}
// The largest size takes longer per call: more time, for a median of at
// least a handful of calls.
void largest(benchmark::internal::Benchmark* b) {
  b->Arg(200000)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(5.0);
}
// Calls after an untimed reload each: a fixed number of them, as the reload
// takes longer than the call.
void reloaded(benchmark::internal::Benchmark* b) {
  for (int32_t n : kSizes) {
    if (n < 200000) b->Arg(n);
  }
  b->Iterations(40)->UseManualTime()->Unit(benchmark::kMillisecond);
}
void reloaded_largest(benchmark::internal::Benchmark* b) {
  b->Arg(200000 - kBatch)->Iterations(15)->UseManualTime()->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_Floor)->Apply(sizes);
BENCHMARK(BM_Floor)->Apply(largest);
BENCHMARK(BM_FloorWarm)->Apply(sizes);
BENCHMARK(BM_FloorWarm)->Apply(largest);
BENCHMARK(BM_FloorParseInputs)->Apply(sizes);
BENCHMARK(BM_FloorParseInputs)->Apply(largest);
BENCHMARK(BM_FloorParseWatch)->Apply(sizes);
BENCHMARK(BM_FloorParseWatch)->Apply(largest);
BENCHMARK(BM_FloorWriteResult)->Apply(sizes);
BENCHMARK(BM_FloorWriteResult)->Apply(largest);
BENCHMARK(BM_LoadInputs)->Apply(sizes);
BENCHMARK(BM_LoadInputs)->Apply(largest);
BENCHMARK(BM_SetWatch)->Apply(sizes);
BENCHMARK(BM_SetWatch)->Apply(largest);
BENCHMARK(BM_SetWatchResult)->Apply(largest);
BENCHMARK_TEMPLATE(BM_UpdateWatch, false)->Apply(largest);
BENCHMARK_TEMPLATE(BM_UpdateWatch, true)->Apply(largest);
BENCHMARK(BM_LoadInputsAllOn)->Apply(sizes);
BENCHMARK(BM_LoadInputsAllOn)->Apply(largest);
BENCHMARK(BM_SetWatchAllOn)->Apply(sizes);
BENCHMARK(BM_SetWatchAllOn)->Apply(largest);
BENCHMARK(BM_AddItems)->Apply(reloaded);
BENCHMARK(BM_AddItems)->Apply(reloaded_largest);
BENCHMARK(BM_Select)->Apply(sizes);
BENCHMARK(BM_Select)->Apply(largest);
BENCHMARK(BM_PeakRss)->Arg(200000)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// ---- Targets ---------------------------------------------------------------------

bool lookup(const std::map<std::string, std::map<int32_t, double>>& t, const char* name, int32_t n, double* out) {
  auto a = t.find(name);
  if (a == t.end()) return false;
  auto b = a->second.find(n);
  if (b == a->second.end()) return false;
  *out = b->second;
  return true;
}

// Median thread CPU milliseconds of `name` at `n` items.
bool cpu_ms(const char* name, int32_t n, double* ms) {
  if (!lookup(cpu_timings(), name, n, ms)) return false;
  *ms *= 1e3;
  return true;
}

// The floors, the targets against them and a few ratios for information, all
// by the median thread CPU time of a call. A line whose figures were not
// measured in this run is left out.
void print_targets() {
  constexpr int32_t N = 200000;
  constexpr int32_t kSmall = 25000;
  double a = 0, b = 0, c = 0, c_small = 0;
  const bool has_a = cpu_ms("floor_parse_inputs", N, &a);
  const bool has_b = cpu_ms("floor_parse_watch", N, &b);
  const bool has_c = cpu_ms("floor_write_result", N, &c);
  const bool has_c_small = cpu_ms("floor_write_result", kSmall, &c_small);

  bool any = false;
  auto heading = [&any] {
    if (!any) std::printf("\nFloors, targets and ratios (median thread CPU time per call)\n");
    any = true;
  };

  struct Floor {
    const char* what;
    const char* name;
    int32_t n;
  };
  const Floor floors[] = {
      {"(a) warm parse of the inputs text", "floor_parse_inputs", N},
      {"(b) warm parse of the watch array", "floor_parse_watch", N},
      {"(c) warm write of the result document", "floor_write_result", N},
      {"(c) warm write of the result document", "floor_write_result", kSmall},
  };
  bool floor_heading = false;
  for (const Floor& f : floors) {
    double ms = 0;
    if (!cpu_ms(f.name, f.n, &ms)) continue;
    heading();
    if (!floor_heading) std::printf(" floors\n");
    floor_heading = true;
    const std::string what = std::string(f.what) + " (" + std::to_string(f.n) + ")";
    std::printf("  %-58s %10.3f ms\n", what.c_str(), ms);
  }

  // A call against its limit: "at most" the limit, or strictly "under" it.
  bool target_heading = false;
  int missed = 0;
  auto target = [&](const std::string& what, double value, const char* unit, bool under, double limit,
                    const std::string& why) {
    heading();
    if (!target_heading) std::printf(" targets\n");
    target_heading = true;
    const bool holds = under ? value < limit : value <= limit;
    missed += holds ? 0 : 1;
    const std::string because = why.empty() ? "" : " (" + why + ")";
    std::printf("  %-58s %10.3f %s  %s %.3f %s%s: %s\n", what.c_str(), value, unit, under ? "under" : "at most",
                limit, unit, because.c_str(), holds ? "holds" : "MISSED");
  };
  double ms = 0;
  if (cpu_ms("update_watch+result", N, &ms) && has_c) {
    target("kavo_update_watch of one entry + result (200000)", ms, "ms", false, std::min(16.0, c),
           "16 ms and (c)");
  }
  if (cpu_ms("update_watch", N, &ms)) {
    target("kavo_update_watch of one entry (200000)", ms, "ms", true, 1.0, "");
  }
  if (cpu_ms("set_watch+result", N, &ms) && has_b && has_c) {
    target("kavo_set_watch, one entry changed, + result (200000)", ms, "ms", false, 2 * (b + c), "2 x ((b) + (c))");
  }
  if (cpu_ms("add_items", kSmall, &ms) && has_c_small) {
    target("kavo_add_items of 100 onto 25000 + result", ms, "ms", false, 2 * c_small, "2 x (c) at 25000");
  }
  if (cpu_ms("add_items", N - kBatch, &ms) && has_c) {
    target("kavo_add_items of 100 onto 199900 + result", ms, "ms", false, 2 * c, "2 x (c) at 200000");
  }
  if (cpu_ms("select", N, &ms)) {
    target("kavo_select_item + kavo_detail_json (200000)", ms, "ms", true, 1.0, "");
  }
  if (cpu_ms("load_inputs", N, &ms) && has_a && has_c) {
    target("kavo_load_inputs (200000)", ms, "ms", false, 3 * (a + c), "3 x ((a) + (c))");
  }
  double peak = 0, text = 0;
  if (lookup(figures(), "peak_rss_bytes", N, &peak) && lookup(figures(), "inputs_bytes", N, &text)) {
    target("peak RSS of a process loading the inputs (200000)", peak / 1e6, "MB", false, 3 * text / 1e6,
           "3 x the inputs text");
  }

  bool info_heading = false;
  auto ratio = [&](const char* x, int32_t nx, const char* y, int32_t ny) {
    double vx = 0, vy = 0;
    if (!cpu_ms(x, nx, &vx) || !cpu_ms(y, ny, &vy) || vy <= 0) return;
    heading();
    if (!info_heading) std::printf(" for information\n");
    info_heading = true;
    const std::string what = std::string(x) + "(" + std::to_string(nx) + ") / " + y + "(" + std::to_string(ny) + ")";
    std::printf("  %-58s %10.3f\n", what.c_str(), vx / vy);
  };
  ratio("load_inputs", N, "floor", N);
  ratio("load_inputs", N, "floor_warm", N);
  ratio("load_inputs", N, "load_inputs", kSmall);
  ratio("set_watch", N, "load_inputs", N);
  ratio("load_inputs_all_on", N, "load_inputs", N);
  ratio("set_watch_all_on", N, "set_watch", N);
  ratio("load_inputs_all_on", N, "load_inputs_all_on", kSmall);
  if (target_heading) std::printf(" %d target%s missed\n", missed, missed == 1 ? "" : "s");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--peak-rss") == 0) return peak_rss_child(argv[2]);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  print_targets();
  return 0;
}
