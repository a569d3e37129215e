// kavo_lint_json with any text: its document is valid JSON, the lint changes
// nothing a host can see, and it tells what kavo_load_inputs then does with
// the same text: the status and message, and what the load counts as
// rejected.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = fz::c_text(data, size);
  fz::load_example();
  FZ_CHECK(kavo_set_row_cap(0) == 2);  // a failure in the status frame, to be kept
  const char* result = kavo_result_json();
  const std::string result_text = result;

  const char* doc = kavo_lint_json(text.c_str());
  FZ_CHECK_MSG(doc != nullptr, kavo_last_error());
  FZ_CHECK(kavo_last_code() == 2 && std::strcmp(kavo_last_error(), "row cap out of range") == 0);
  FZ_CHECK(kavo_result_json() == result && result_text == result);
  FZ_CHECK(kavo_get_row_cap() == 200);
  fz::Json lint(doc);
  FZ_CHECK_MSG(lint.ok() && yyjson_is_obj(lint.root()), doc);
  const int64_t status = fz::int_member(lint.root(), "status");
  const int64_t rejected = fz::int_member(lint.root(), "rejected");
  yyjson_val* message = yyjson_obj_get(lint.root(), "message");
  FZ_CHECK(yyjson_is_str(message));
  FZ_CHECK((status == 0) == (yyjson_arr_size(yyjson_obj_get(lint.root(), "errors")) == 0));

  const int32_t rc = kavo_load_inputs(text.c_str());
  fz::check_status(rc);
  FZ_CHECK_MSG(rc == status, doc);
  FZ_CHECK_MSG(std::strcmp(kavo_last_error(), yyjson_get_str(message)) == 0, doc);
  if (rc == 0) {
    fz::Json stats(kavo_stats_json());
    FZ_CHECK_MSG(fz::int_member(stats.root(), "rejected") == rejected, doc);
  }
  fz::check_model();
  return 0;
}
