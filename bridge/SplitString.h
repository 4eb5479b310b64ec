#pragma once
// Splits text at every occurrence of delimiter into pieces under keys 0, 1,
// 2 ... of target (cleared first), skipping empty pieces when skipEmpty is
// set. An empty delimiter stores nothing and leaves target as it was.
// Answers the number of pieces stored.

#include <map>
#include <string>

int SplitString(const std::string& text, const std::string& delimiter, bool skipEmpty,
                std::map<int, std::string>& target);
