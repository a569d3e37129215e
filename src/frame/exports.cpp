// Exported frame functions: version, last outcome, row cap.
#include "frame/guard.h"
#include "frame/model.h"
#include "frame/status.h"
#include "kavo.h"

using namespace kavo;

extern "C" {

KAVO_API const char* kavo_version(void) { return "1.0.0"; }

KAVO_API const char* kavo_last_error(void) { return s_err; }

KAVO_API int32_t kavo_last_code(void) { return s_err_code; }

KAVO_API int32_t kavo_set_row_cap(int32_t cap) {
  if (cap < 1 || cap > kMaxRowCap) return fail(kBadArgument, "row cap out of range");
  s_row_cap = cap;
  return succeed();
}

KAVO_API int32_t kavo_get_row_cap(void) { return s_row_cap; }

}  // extern "C"
