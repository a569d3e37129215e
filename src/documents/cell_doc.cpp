// The cell and row documents.
#include "documents/documents.h"
#include "documents/writers.h"
#include "frame/status.h"

namespace kavo {

namespace {

bool valid_row_index(int32_t row) { return row >= 0 && row < n_rows(); }

const char* item_id_at(int32_t index) {
  return valid_item_index(index) ? s_items[static_cast<std::size_t>(index)].id.get() : nullptr;
}

}  // namespace

yyjson_mut_val* json_cell(yyjson_mut_doc* doc, const Cell& cell) {
  yyjson_mut_val* obj = yyjson_mut_obj(doc);
  if (obj == nullptr) return nullptr;
  if (valid_item_index(cell.item_index)) {
    const Item& item = s_items[static_cast<std::size_t>(cell.item_index)];
    add_json_str(doc, obj, "item_id", item.id.get());
    add_json_str(doc, obj, "imdb_id", item.imdb_id.get());
    add_json_str(doc, obj, "title", item.title.get());
    add_json_int_or_null(doc, obj, "year", item.year);
    add_json_int_or_null(doc, obj, "kind", item.kind);
    add_json_str(doc, obj, "poster_url", item.poster_url.get());
    add_json_str(doc, obj, "backdrop_url", item.backdrop_url.get());
    add_json_int_or_null(doc, obj, "season", item.season);
    add_json_int_or_null(doc, obj, "episode", item.episode);
    add_json_int(doc, obj, "playable", item.playable);
    add_json_int(doc, obj, "source_count", item.source_count());
    add_json_int(doc, obj, "resume_action", item.resume_action);
    add_json_real_or_null(doc, obj, "resume_position_s", item.resume_position_s);
    add_json_real_or_null(doc, obj, "progress_fraction", item.progress_fraction);
    add_json_int(doc, obj, "finished", item.resume_action == kFinished ? 1 : 0);
    add_json_str(doc, obj, "next_item_id", item_id_at(item.next_index));
    add_json_int_or_null(doc, obj, "library", item.library);
  } else {
    // A raw cell reads as an item of unknown kind from an unknown library.
    add_json_str(doc, obj, "item_id", nullptr);
    add_json_str(doc, obj, "imdb_id", nullptr);
    add_json_str(doc, obj, "title", cell.title.get());
    add_json_str(doc, obj, "year", nullptr);
    add_json_int(doc, obj, "kind", kUnknownKind);
    add_json_str(doc, obj, "poster_url", nullptr);
    add_json_str(doc, obj, "backdrop_url", nullptr);
    add_json_str(doc, obj, "season", nullptr);
    add_json_str(doc, obj, "episode", nullptr);
    add_json_int(doc, obj, "playable", 0);
    add_json_int(doc, obj, "source_count", 0);
    add_json_int(doc, obj, "resume_action", 0);
    add_json_str(doc, obj, "resume_position_s", nullptr);
    add_json_str(doc, obj, "progress_fraction", nullptr);
    add_json_int(doc, obj, "finished", 0);
    add_json_str(doc, obj, "next_item_id", nullptr);
    add_json_int(doc, obj, "library", kUnstated);
  }
  add_json_ll_or_null(doc, obj, "added_ms", cell.added_ms);
  add_json_int(doc, obj, "resolved", cell.resolved);
  add_json_str(doc, obj, "server_key", cell.server_key.get());
  return obj;
}

yyjson_mut_val* json_row(yyjson_mut_doc* doc, int32_t row_index, int32_t* cells_written) {
  if (!valid_row_index(row_index)) return nullptr;
  const Row& row = s_rows[static_cast<std::size_t>(row_index)];
  yyjson_mut_val* obj = yyjson_mut_obj(doc);
  if (obj == nullptr) return nullptr;
  add_json_int(doc, obj, "index", row_index);
  add_json_int(doc, obj, "kind", row.kind);
  add_json_str(doc, obj, "key", row.key.get());
  add_json_str(doc, obj, "title", row.title.get());
  add_json_int(doc, obj, "cell_count", row.cell_count);
  add_json_int(doc, obj, "emitted", row.emitted);
  add_json_int(doc, obj, "truncated", row.truncated);
  yyjson_mut_val* cells = yyjson_mut_arr(doc);
  if (cells != nullptr) {
    int32_t written = 0;
    const std::size_t stored = static_cast<std::size_t>(row.emitted < 0 ? 0 : row.emitted);
    for (std::size_t i = 0; i < stored && i < row.cells.size(); ++i) {
      yyjson_mut_val* c = json_cell(doc, row.cells[i]);
      if (c == nullptr) continue;
      yyjson_mut_arr_append(cells, c);
      ++written;
    }
    add_json_val(doc, obj, "cells", cells);
    if (cells_written != nullptr) *cells_written += written;
  }
  return obj;
}

// The same cell and row documents written as text straight from the model,
// for the result document. They must write exactly what json_cell and
// json_row build; the tests compare the two on random models.
void write_cell(KeptJson& out, const Cell& cell) {
  if (valid_item_index(cell.item_index)) {
    const Item& item = s_items[static_cast<std::size_t>(cell.item_index)];
    out.lit("{\"item_id\":");
    out.str(item.id.get());
    out.lit(",\"imdb_id\":");
    out.str(item.imdb_id.get());
    out.lit(",\"title\":");
    out.str(item.title.get());
    out.lit(",\"year\":");
    out.sint_or_null(item.year);
    out.lit(",\"kind\":");
    out.sint_or_null(item.kind);
    out.lit(",\"poster_url\":");
    out.str(item.poster_url.get());
    out.lit(",\"backdrop_url\":");
    out.str(item.backdrop_url.get());
    out.lit(",\"season\":");
    out.sint_or_null(item.season);
    out.lit(",\"episode\":");
    out.sint_or_null(item.episode);
    out.lit(",\"playable\":");
    out.sint(item.playable);
    out.lit(",\"source_count\":");
    out.sint(item.source_count());
    out.lit(",\"resume_action\":");
    out.sint(item.resume_action);
    out.lit(",\"resume_position_s\":");
    out.real_or_null(item.resume_position_s);
    out.lit(",\"progress_fraction\":");
    out.real_or_null(item.progress_fraction);
    out.lit(",\"finished\":");
    out.sint(item.resume_action == kFinished ? 1 : 0);
    out.lit(",\"next_item_id\":");
    out.str(item_id_at(item.next_index));
    out.lit(",\"library\":");
    out.sint_or_null(item.library);
  } else {
    out.lit("{\"item_id\":null,\"imdb_id\":null,\"title\":");
    out.str(cell.title.get());
    out.lit(",\"year\":null,\"kind\":5,\"poster_url\":null,\"backdrop_url\":null,\"season\":null,"
            "\"episode\":null,\"playable\":0,\"source_count\":0,\"resume_action\":0,"
            "\"resume_position_s\":null,\"progress_fraction\":null,\"finished\":0,\"next_item_id\":null,"
            "\"library\":5");
  }
  out.lit(",\"added_ms\":");
  out.sint_or_null(cell.added_ms);
  out.lit(",\"resolved\":");
  out.sint(cell.resolved);
  out.lit(",\"server_key\":");
  out.str(cell.server_key.get());
  out.lit("}");
}

int32_t write_row(KeptJson& out, int32_t row_index) {
  const Row& row = s_rows[static_cast<std::size_t>(row_index)];
  out.lit("{\"index\":");
  out.sint(row_index);
  out.lit(",\"kind\":");
  out.sint(row.kind);
  out.lit(",\"key\":");
  out.str(row.key.get());
  out.lit(",\"title\":");
  out.str(row.title.get());
  out.lit(",\"cell_count\":");
  out.sint(row.cell_count);
  out.lit(",\"emitted\":");
  out.sint(row.emitted);
  out.lit(",\"truncated\":");
  out.sint(row.truncated);
  out.lit(",\"cells\":[");
  int32_t written = 0;
  const std::size_t stored = static_cast<std::size_t>(row.emitted < 0 ? 0 : row.emitted);
  for (std::size_t i = 0; i < stored && i < row.cells.size(); ++i) {
    if (written > 0) out.lit(",");
    write_cell(out, row.cells[i]);
    ++written;
  }
  out.lit("]}");
  return written;
}

const char* row_json_text(int32_t row) {
  static GetterBuffer buffer(65536);
  if (!valid_row_index(row)) {
    set_message("row index out of range");
    return nullptr;
  }
  return getter_text(buffer, nullptr,
                     [&](yyjson_mut_doc* doc) { return json_row(doc, row, nullptr); });
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
  return getter_text(buffer, nullptr, [&](yyjson_mut_doc* doc) { return json_cell(doc, c); });
}

}  // namespace kavo
