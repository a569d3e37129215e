// The row and cell getters.
#include "documents/documents.h"
#include "documents/layouts.h"
#include "documents/writers.h"
#include "frame/status.h"

namespace kavo {

namespace {

bool valid_row_index(int32_t row) { return row >= 0 && row < n_rows(); }

}  // namespace

const char* row_json_text(int32_t row) {
  static GetterBuffer buffer(65536);
  if (!valid_row_index(row)) {
    set_message("row index out of range");
    return nullptr;
  }
  return getter_text(buffer, nullptr, [&](MutJson& out) { put_row(out, row); });
}

const char* cell_json_text(int32_t row, int32_t cell) {
  static GetterBuffer buffer(32768);
  if (!valid_row_index(row)) {
    set_message("row index out of range");
    return nullptr;
  }
  const Row& r = s_rows[static_cast<std::size_t>(row)];
  if (cell < 0 || cell >= r.emitted || static_cast<std::size_t>(cell) >= r.cells.size()) {
    set_message("cell index out of range");
    return nullptr;
  }
  const Cell& c = r.cells[static_cast<std::size_t>(cell)];
  return getter_text(buffer, nullptr, [&](MutJson& out) { put_cell(out, c); });
}

}  // namespace kavo
