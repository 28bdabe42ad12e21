// Text taken from a run's files, made safe to place in SVG and HTML output.
#pragma once

#include <string>
#include <string_view>

// The text with every byte that is not part of a valid UTF-8 sequence, and
// every control character (tab included), replaced by a blank. XML admits
// neither, and a report written from a Latin-1 job file holds such bytes.
std::string text_clean(std::string_view text);

// The text without blanks, tabs and carriage returns at either end.
std::string_view text_trim(std::string_view text);
