// The texts of "tolvarine --help" and of each command's --help.
#pragma once

#include <string_view>

namespace tolvarine {

// Columns of a CSV read without --schema are strings of this type.
constexpr std::string_view kDefaultCsvColumnType = "wstr(255)";

std::string_view MainHelp();
std::string_view SortHelp();
std::string_view GenerateHelp();
std::string_view RegisterHelp();

}  // namespace tolvarine
