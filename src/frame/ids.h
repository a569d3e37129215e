// Comma-separated id lists, as the server home and the store give them.
#pragma once

#include <string>
#include <vector>

namespace kavo {

// The tokens of a comma-separated list, in order, duplicates included: each
// run between commas loses its leading spaces and its trailing spaces, tabs,
// line feeds and carriage returns; runs left empty are skipped. Tokens are
// whole, however long: they are looked up and written out, and only what of
// them enters the model is cut. NULL gives none; when memory runs out the
// tokens gathered so far.
std::vector<std::string> split_ids(const char* text);

}  // namespace kavo
