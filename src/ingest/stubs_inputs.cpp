#include "ingest/ingest.h"

namespace kavo {
int32_t load_inputs(const char*) { return 0; }
}  // namespace kavo
