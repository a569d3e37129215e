// Placeholders until the row pipeline lands.
#include "rows/rows.h"

namespace kavo {
void rebuild_rows() {}
int32_t row_push(int32_t, const char*, const char*) { return -1; }
int32_t row_insert(int32_t, int32_t, const char*, const char*) { return -1; }
void cell_raw(int32_t, const char*, int64_t, const char*) {}
void cell_from_item(int32_t, int32_t, int64_t) {}
void cand_push(int32_t, const char*, int64_t, const char*) {}
void cand_free_mem() noexcept {}
void flush_cands(int32_t) {}
std::vector<Text> split_ids(const char*) { return {}; }
void feed_ids_from_value(yyjson_val*, const char*) {}
int cmp_continue_rank(const Cand&, const Cand&) { return 0; }
int cmp_added_desc(const Cand&, const Cand&) { return 0; }
int cmp_year_desc_title(const Cand&, const Cand&) { return 0; }
int cmp_season_episode(const Cand&, const Cand&) { return 0; }
int cmp_folder_natural(const Cand&, const Cand&) { return 0; }
void sort_cands(int (*)(const Cand&, const Cand&)) {}
}  // namespace kavo
