// Exported hash and key functions.
#include "frame/guard.h"
#include "keys/keys.h"
#include "kavo.h"

using namespace kavo;

extern "C" {

KAVO_API int32_t kavo_stable_hash(const char* text, char* out, size_t out_size) {
  return stable_hash(text, out, out_size);
}

KAVO_API int32_t kavo_resume_key(const char* a, const char* b, const char* c, char* out,
                                 size_t out_size) {
  return resume_key(a, b, c, out, out_size);
}

KAVO_API int32_t kavo_legacy_resume_key(const char* text, char* out, size_t out_size) {
  return legacy_resume_key(text, out, out_size);
}

}  // extern "C"
