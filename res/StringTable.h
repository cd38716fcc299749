#pragma once
// The built-in string table: the English texts that language files may replace.
#include <optional>
#include <string>

namespace res {
// The entry with that id, or nothing when the table has none.
std::optional<std::string> LoadBuiltinString(unsigned id);
} // namespace res
