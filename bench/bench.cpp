// The libkavo benchmark suite: the input calls a host makes on its UI thread
// over generated inputs of 25000 to 200000 catalogue items, next to the floor
// of the same run, with page faults per call and the peak memory of a
// process that loads the largest inputs.
//
// The floor is the least work any implementation of kavo_load_inputs has to
// do with yyjson: parse the inputs text once (yyjson_read_opts, no flags,
// yyjson's default allocator, the document freed afterwards) and write the
// result document once (yyjson_mut_write_opts, no flags, of a mutable
// document equal to the one kavo builds, prepared outside the timing).
// "floor_warm" is the same work with both documents in memory that is kept
// from one call to the next, the best case of the same work.
//
// Besides Google Benchmark's table the program prints the targets it checks
// (see scripts/bench.sh). `kavo_bench --peak-rss FILE` is the child mode that
// loads one inputs file and reports its own peak resident set.
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

struct Inputs {
  std::string text;
  std::string extras;  // the same with credits offsets and dismissals
  std::string watch[2];  // two later watch arrays of the same catalogue
  std::vector<std::string> selections;
};

const Inputs& inputs_for(int32_t items) {
  static std::map<int32_t, Inputs> cache;
  auto it = cache.find(items);
  if (it != cache.end()) return it->second;
  Inputs in;
  in.text = kavo_bench::generate_inputs(items);
  in.extras = kavo_bench::generate_inputs_with_extras(items);
  in.watch[0] = kavo_bench::generate_watch(items, kavo_bench::kDefaultSeed, 1);
  in.watch[1] = kavo_bench::generate_watch(items, kavo_bench::kDefaultSeed, 2);
  for (int32_t k = 0; k < 16; ++k) in.selections.push_back(kavo_bench::episode_id(items, k * 7919));
  return cache.emplace(items, std::move(in)).first->second;
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
// processes on a busy machine inflate less).
std::map<std::string, std::map<int32_t, double>>& timings() {
  static std::map<std::string, std::map<int32_t, double>> t;
  return t;
}
std::map<std::string, std::map<int32_t, double>>& cpu_timings() {
  static std::map<std::string, std::map<int32_t, double>> t;
  return t;
}

// Times `call` once per iteration with manual timing, after `warmups`
// untimed calls; reports minor page faults and thread CPU time per call.
double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

// Times `call` once per iteration with manual timing, after `warmups`
// untimed calls; reports minor page faults, thread CPU time and the fastest
// call. The summary takes the median call, which a busy machine disturbs
// least.
template <class Call>
void run_timed(benchmark::State& state, const char* name, int warmups, Call&& call) {
  for (int w = 0; w < warmups; ++w) call();
  std::vector<double> wall, cpu;
  long faults = 0;
  for (auto _ : state) {
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

bool check(benchmark::State& state, int32_t rc, const char* what) {
  if (rc == 0) return true;
  const std::string msg = std::string(what) + " failed: " + kavo_last_error();
  state.SkipWithError(msg.c_str());
  return false;
}

// ---- The floor ---------------------------------------------------------------

// A mutable copy of kavo's result document for the loaded inputs.
yyjson_mut_doc* result_copy() {
  const char* text = kavo_result_json();
  yyjson_doc* doc = yyjson_read_opts(const_cast<char*>(text), std::strlen(text), 0, nullptr, nullptr);
  if (doc == nullptr) return nullptr;
  yyjson_mut_doc* copy = yyjson_doc_mut_copy(doc, nullptr);
  yyjson_doc_free(doc);
  return copy;
}

void BM_Floor(benchmark::State& state) {
  const int32_t items = static_cast<int32_t>(state.range(0));
  const Inputs& in = inputs_for(items);
  if (!check(state, kavo_load_inputs(in.text.c_str()), "kavo_load_inputs")) return;
  yyjson_mut_doc* result = result_copy();
  kavo_shutdown();  // the model's memory is not the floor's
  if (result == nullptr) {
    state.SkipWithError("result document does not parse");
    return;
  }
  size_t written = 0;
  run_timed(state, "floor", 1, [&] {
    yyjson_doc* doc = yyjson_read_opts(const_cast<char*>(in.text.data()), in.text.size(), 0, nullptr, nullptr);
    benchmark::DoNotOptimize(doc);
    yyjson_doc_free(doc);
    char* out = yyjson_mut_write_opts(result, 0, nullptr, &written, nullptr);
    benchmark::DoNotOptimize(out);
    std::free(out);
  });
  state.counters["result_MB"] = static_cast<double>(written) / 1e6;
  state.counters["inputs_MB"] = static_cast<double>(in.text.size()) / 1e6;
  yyjson_mut_doc_free(result);
}

void BM_FloorWarm(benchmark::State& state) {
  const int32_t items = static_cast<int32_t>(state.range(0));
  const Inputs& in = inputs_for(items);
  if (!check(state, kavo_load_inputs(in.text.c_str()), "kavo_load_inputs")) return;
  yyjson_mut_doc* result = result_copy();
  kavo_shutdown();
  if (result == nullptr) {
    state.SkipWithError("result document does not parse");
    return;
  }
  // One buffer for the parse and one for the written text, kept across calls.
  const size_t read_size = yyjson_read_max_memory_usage(in.text.size(), 0);
  std::vector<char> read_buf(read_size), write_buf;
  size_t written = 0;
  {
    char* probe = yyjson_mut_write_opts(result, 0, nullptr, &written, nullptr);
    std::free(probe);
  }
  write_buf.resize(written * 4 + (1u << 20));
  run_timed(state, "floor_warm", 1, [&] {
    yyjson_alc alc;
    yyjson_alc_pool_init(&alc, read_buf.data(), read_buf.size());
    yyjson_doc* doc = yyjson_read_opts(const_cast<char*>(in.text.data()), in.text.size(), 0, &alc, nullptr);
    benchmark::DoNotOptimize(doc);
    yyjson_doc_free(doc);
    yyjson_alc walc;
    yyjson_alc_pool_init(&walc, write_buf.data(), write_buf.size());
    char* out = yyjson_mut_write_opts(result, 0, &walc, nullptr, nullptr);
    benchmark::DoNotOptimize(out);
  });
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
  const std::string& inputs(const Inputs& in) const { return on_ ? in.extras : in.text; }

 private:
  bool on_;
};

void load_inputs(benchmark::State& state, bool all_on) {
  const Inputs& in = inputs_for(static_cast<int32_t>(state.range(0)));
  const OptionalBehaviours behaviours(all_on);
  const std::string& text = behaviours.inputs(in);
  int32_t rc = 0;
  run_timed(state, all_on ? "load_inputs_all_on" : "load_inputs", 1, [&] { rc |= kavo_load_inputs(text.c_str()); });
  check(state, rc, "kavo_load_inputs");
  state.counters["rows"] = kavo_row_count();
  state.counters["result_MB"] = static_cast<double>(std::strlen(kavo_result_json())) / 1e6;
  kavo_shutdown();
}

// The whole watch array again, with every optional behaviour off or on;
// with `read`, as a host does it, the result document read after it.
void set_watch(benchmark::State& state, bool all_on, bool read = false) {
  const Inputs& in = inputs_for(static_cast<int32_t>(state.range(0)));
  const OptionalBehaviours behaviours(all_on);
  if (!check(state, kavo_load_inputs(behaviours.inputs(in).c_str()), "kavo_load_inputs")) return;
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

void BM_AddItems(benchmark::State& state) {
  // A catalogue of the size named less room for the batches added on top
  // (the catalogue holds at most 200000 items).
  constexpr int kBatches = 64;
  const int32_t items = static_cast<int32_t>(state.range(0)) - kBatches * kBatch;
  static std::map<int32_t, std::string> base;
  if (base.find(items) == base.end()) base[items] = kavo_bench::generate_inputs(items);
  const std::string& text = base[items];
  if (!check(state, kavo_load_inputs(text.c_str()), "kavo_load_inputs")) return;
  // Enough distinct batches for every call, made before the timing.
  std::vector<std::string> batches;
  for (int b = 0; b < kBatches; ++b) {
    batches.push_back(kavo_bench::generate_item_batch("new" + std::to_string(b) + "-", kBatch));
  }
  int32_t rc = 0;
  size_t next = 0;
  run_timed(state, "add_items", 1, [&] {
    if (next == batches.size()) {  // more calls than batches: start over from the inputs
      rc |= kavo_load_inputs(text.c_str());
      next = 0;
    }
    rc |= kavo_add_items(batches[next++].c_str());
    benchmark::DoNotOptimize(kavo_result_json());
  });
  check(state, rc, "kavo_add_items");
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
  timings()["peak_ratio"][items] = static_cast<double>(peak) / static_cast<double>(text);
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

BENCHMARK(BM_Floor)->Apply(sizes);
BENCHMARK(BM_Floor)->Apply(largest);
BENCHMARK(BM_FloorWarm)->Apply(sizes);
BENCHMARK(BM_FloorWarm)->Apply(largest);
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
BENCHMARK(BM_AddItems)->Apply(sizes);
BENCHMARK(BM_AddItems)->Apply(largest);
BENCHMARK(BM_Select)->Apply(sizes);
BENCHMARK(BM_Select)->Apply(largest);
BENCHMARK(BM_PeakRss)->Arg(200000)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// ---- Targets ---------------------------------------------------------------------

void print_targets() {
  struct Row {
    std::string what;
    double wall;
    double cpu;  // < 0: no CPU-time figure
    double limit;  // 0: information only
  };
  std::vector<Row> rows;
  auto get = [](const std::map<std::string, std::map<int32_t, double>>& t, const char* name, int32_t n,
                double* out) {
    auto a = t.find(name);
    if (a == t.end()) return false;
    auto b = a->second.find(n);
    if (b == a->second.end()) return false;
    *out = b->second;
    return true;
  };
  // a(na) / b(nb) by wall-clock and by CPU time.
  auto ratio = [&](const char* a, int32_t na, const char* b, int32_t nb, double limit) {
    double wa = 0, wb = 0, ca = 0, cb = 0;
    if (!get(timings(), a, na, &wa) || !get(timings(), b, nb, &wb) || wb <= 0) return;
    const bool cpu = get(cpu_timings(), a, na, &ca) && get(cpu_timings(), b, nb, &cb) && cb > 0;
    rows.push_back({std::string(a) + "(" + std::to_string(na) + ") / " + b + "(" + std::to_string(nb) + ")",
                    wa / wb, cpu ? ca / cb : -1.0, limit});
  };
  ratio("load_inputs", 200000, "floor", 200000, 2.5);
  ratio("load_inputs", 200000, "floor_warm", 200000, 0);
  ratio("load_inputs", 200000, "load_inputs", 25000, 9.0);
  ratio("set_watch", 200000, "load_inputs", 200000, 0.5);
  ratio("set_watch+result", 200000, "floor_warm", 200000, 0);
  ratio("update_watch+result", 200000, "floor_warm", 200000, 0);
  ratio("add_items", 200000, "floor_warm", 200000, 0);
  for (const char* call : {"update_watch", "update_watch+result", "select"}) {
    double ms = 0;
    if (get(cpu_timings(), call, 200000, &ms)) {
      rows.push_back({std::string(call) + " (200000), ms CPU", ms * 1e3, -1.0, 0});
    }
  }
  ratio("load_inputs_all_on", 200000, "load_inputs", 200000, 0);
  ratio("set_watch_all_on", 200000, "set_watch", 200000, 0);
  ratio("load_inputs_all_on", 200000, "load_inputs_all_on", 25000, 0);
  double peak = 0;
  if (get(timings(), "peak_ratio", 200000, &peak)) {
    rows.push_back({"peak RSS / inputs text (200000)", peak, -1.0, 4.0});
  }
  if (rows.empty()) return;
  std::printf("\nTargets (wall-clock; CPU time of the calling thread in brackets)\n");
  for (const Row& r : rows) {
    char cpu[32] = "";
    if (r.cpu >= 0) std::snprintf(cpu, sizeof cpu, "[%.2f]", r.cpu);
    if (r.limit > 0) {
      std::printf("  %-44s %7.2f %8s  at most %.1f: %s\n", r.what.c_str(), r.wall, cpu, r.limit,
                  r.wall <= r.limit ? "holds" : "MISSED");
    } else {
      std::printf("  %-44s %7.2f %8s  (information)\n", r.what.c_str(), r.wall, cpu);
    }
  }
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
