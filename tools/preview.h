// The HTML preview of the home screen: one self-contained page drawn from the
// result document, the way a host would draw it.
#pragma once

#include <yyjson.h>

#include <cstdint>
#include <string>

namespace kavo_tool {

struct PreviewOptions {
  std::string source;        // what was loaded, shown in the page header
  int32_t row_cap = 0;       // the row cap the rows were built under
  int32_t item_count = 0;    // catalogue items
  int32_t max_cells = -1;    // cells drawn per row; -1 for every stored cell
  std::string best_address;  // the selected item's address to play, if any
};

// The page for `result`, the parsed result document. Its "item" member, when
// it is an object, is drawn as the detail of the selected item.
std::string home_html(yyjson_val* result, const PreviewOptions& options);

// Text escaped for HTML content and quoted attribute values.
std::string html_escape(const std::string& text);

}  // namespace kavo_tool
