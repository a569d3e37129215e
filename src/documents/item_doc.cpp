// The item getter.
#include "documents/documents.h"
#include "documents/layouts.h"
#include "documents/writers.h"
#include "frame/status.h"

namespace kavo {

const char* item_json_text(int32_t index) {
  static GetterBuffer buffer(32768);
  if (!valid_item_index(index)) {
    set_message("item index out of range");
    return nullptr;
  }
  const Item& item = s_items[static_cast<std::size_t>(index)];
  return getter_text(buffer, nullptr, [&](MutJson& out) { put_item(out, item); });
}

}  // namespace kavo
