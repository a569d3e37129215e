// Placeholders until the keys land.
#include "keys/keys.h"

namespace kavo {
int32_t stable_hash_units(const uint16_t*, std::size_t) noexcept { return 0; }
void b64_encode(const unsigned char*, std::size_t, char*, std::size_t) noexcept {}
int32_t stable_hash(const char*, char*, std::size_t) noexcept { return 0; }
int32_t resume_key(const char*, const char*, const char*, char*, std::size_t) noexcept { return 0; }
int32_t legacy_resume_key(const char*, char*, std::size_t) noexcept { return 0; }
}  // namespace kavo
