// The one place that sequences a call: read the input, rebuild what it
// changed, then the documents.
#pragma once

#include <cstdint>

namespace kavo {

// After the model changed in ways nobody noted (the tests change it by
// hand): every row and cell from scratch, then the stats, the selection's
// detail and the result document.
void rebuild_after_input();
// After an input call read its input and noted what it changed in the
// model's changes: what those can reach, then the documents.
void rebuild_after_noted_changes();
// After a selection call: the detail and the result document.
void rebuild_after_selection();

// The input calls, sequenced: each reads its input (changing nothing when
// that fails), rebuilds, and returns the status of the call frame.
int32_t call_add_items(const char* json);
int32_t call_set_library(const char* json);
int32_t call_set_watch(const char* json);
int32_t call_update_watch(const char* json);
int32_t call_set_server_home(const char* json);
int32_t call_set_store(const char* json);
int32_t call_load_inputs(const char* json);

// With `on`, every input call from then on rebuilds everything from scratch
// instead of only what its change can reach: the reference the incremental
// rebuilds are compared with. Off by default.
void set_full_rebuilds(bool on) noexcept;

}  // namespace kavo
