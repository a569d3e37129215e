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

#include <chrono>
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
  std::string watch[2];  // two later watch arrays of the same catalogue
  std::vector<std::string> selections;
};

const Inputs& inputs_for(int32_t items) {
  static std::map<int32_t, Inputs> cache;
  auto it = cache.find(items);
  if (it != cache.end()) return it->second;
  Inputs in;
  in.text = kavo_bench::generate_inputs(items);
  in.watch[0] = kavo_bench::generate_watch(items, kavo_bench::kDefaultSeed, 1);
  in.watch[1] = kavo_bench::generate_watch(items, kavo_bench::kDefaultSeed, 2);
  for (int32_t k = 0; k < 16; ++k) in.selections.push_back(kavo_bench::episode_id(items, k * 7919));
  return cache.emplace(items, std::move(in)).first->second;
}

long minor_faults() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_minflt;
}

// Seconds per call of every benchmark, by name and size, for the summary.
std::map<std::string, std::map<int32_t, double>>& timings() {
  static std::map<std::string, std::map<int32_t, double>> t;
  return t;
}

// Times `call` once per iteration with manual timing, after `warmups`
// untimed calls; reports minor page faults per call.
template <class Call>
void run_timed(benchmark::State& state, const char* name, int warmups, Call&& call) {
  for (int w = 0; w < warmups; ++w) call();
  double total = 0.0;
  long faults = 0;
  int64_t n = 0;
  for (auto _ : state) {
    const long f0 = minor_faults();
    const auto t0 = Clock::now();
    call();
    const auto t1 = Clock::now();
    faults += minor_faults() - f0;
    const double s = std::chrono::duration<double>(t1 - t0).count();
    state.SetIterationTime(s);
    total += s;
    ++n;
  }
  if (n == 0) return;
  state.counters["minflt"] = benchmark::Counter(static_cast<double>(faults) / static_cast<double>(n));
  timings()[name][static_cast<int32_t>(state.range(0))] = total / static_cast<double>(n);
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

void BM_LoadInputs(benchmark::State& state) {
  const Inputs& in = inputs_for(static_cast<int32_t>(state.range(0)));
  int32_t rc = 0;
  run_timed(state, "load_inputs", 1, [&] { rc |= kavo_load_inputs(in.text.c_str()); });
  check(state, rc, "kavo_load_inputs");
  state.counters["rows"] = kavo_row_count();
  state.counters["result_MB"] = static_cast<double>(std::strlen(kavo_result_json())) / 1e6;
  kavo_shutdown();
}

void BM_SetWatch(benchmark::State& state) {
  const Inputs& in = inputs_for(static_cast<int32_t>(state.range(0)));
  if (!check(state, kavo_load_inputs(in.text.c_str()), "kavo_load_inputs")) return;
  int32_t rc = 0;
  int k = 0;
  run_timed(state, "set_watch", 1, [&] { rc |= kavo_set_watch(in.watch[k++ & 1].c_str()); });
  check(state, rc, "kavo_set_watch");
  kavo_shutdown();
}

void BM_AddItems(benchmark::State& state) {
  const int32_t items = static_cast<int32_t>(state.range(0));
  const Inputs& in = inputs_for(items);
  if (!check(state, kavo_load_inputs(in.text.c_str()), "kavo_load_inputs")) return;
  // Enough distinct batches for every call, made before the timing.
  std::vector<std::string> batches;
  for (int b = 0; b < 64; ++b) {
    batches.push_back(kavo_bench::generate_item_batch("new" + std::to_string(b) + "-", kBatch));
  }
  int32_t rc = 0;
  size_t next = 0;
  run_timed(state, "add_items", 1, [&] {
    if (next == batches.size()) {  // more calls than batches: start over from the inputs
      rc |= kavo_load_inputs(in.text.c_str());
      next = 0;
    }
    rc |= kavo_add_items(batches[next++].c_str());
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
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  std::printf("%lld %ld %d\n", static_cast<long long>(u.ru_maxrss) * 1024, size, rc);
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
  for (int32_t n : kSizes) b->Arg(n);
  b->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);
}

BENCHMARK(BM_Floor)->Apply(sizes);
BENCHMARK(BM_FloorWarm)->Apply(sizes);
BENCHMARK(BM_LoadInputs)->Apply(sizes);
BENCHMARK(BM_SetWatch)->Apply(sizes);
BENCHMARK(BM_AddItems)->Apply(sizes);
BENCHMARK(BM_Select)->Apply(sizes);
BENCHMARK(BM_PeakRss)->Arg(200000)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// ---- Targets ---------------------------------------------------------------------

void print_targets() {
  auto& t = timings();
  auto get = [&](const char* name, int32_t n, double* out) {
    auto a = t.find(name);
    if (a == t.end()) return false;
    auto b = a->second.find(n);
    if (b == a->second.end()) return false;
    *out = b->second;
    return true;
  };
  struct Row {
    const char* what;
    double value;
    double limit;
  };
  std::vector<Row> rows;
  double load200 = 0, load25 = 0, floor200 = 0, warm200 = 0, watch200 = 0, ratio = 0;
  const bool have_load = get("load_inputs", 200000, &load200);
  if (have_load && get("floor", 200000, &floor200)) {
    rows.push_back({"load_inputs(200000) / floor(200000)", load200 / floor200, 2.5});
  }
  if (have_load && get("floor_warm", 200000, &warm200)) {
    rows.push_back({"load_inputs(200000) / floor_warm(200000)  [info]", load200 / warm200, 0});
  }
  if (have_load && get("load_inputs", 25000, &load25)) {
    rows.push_back({"load_inputs(200000) / load_inputs(25000)", load200 / load25, 9.0});
  }
  if (have_load && get("set_watch", 200000, &watch200)) {
    rows.push_back({"set_watch(200000) / load_inputs(200000)", watch200 / load200, 0.5});
  }
  if (get("peak_ratio", 200000, &ratio)) {
    rows.push_back({"peak RSS / inputs text (200000)", ratio, 4.0});
  }
  if (rows.empty()) return;
  std::printf("\nTargets\n");
  for (const Row& r : rows) {
    if (r.limit > 0) {
      std::printf("  %-48s %7.2f  (at most %.1f)  %s\n", r.what, r.value, r.limit,
                  r.value <= r.limit ? "holds" : "MISSED");
    } else {
      std::printf("  %-48s %7.2f\n", r.what, r.value);
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
