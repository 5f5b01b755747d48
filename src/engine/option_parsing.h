// Strict number parsing for option values: the whole text must be a number.
#pragma once

#include <cstdint>
#include <string>

namespace moskvid {

int ParseIntOption(const std::string& name, const std::string& value);
int64_t ParseInt64Option(const std::string& name, const std::string& value);
double ParseDoubleOption(const std::string& name, const std::string& value);

// C-style leading integer as strtol reads it; `end` is set past it. False
// when no digit was read.
bool ReadCInteger(const char*& cursor, long& result);

std::string Trim(const std::string& text);
std::string LowerCase(std::string text);
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace moskvid

namespace moskvid {

// Parses a duration (`duration` true) or a date with the library's parser, in
// microseconds; raises "Invalid duration specification for t: ..." on error.
int64_t ParseTimeOption(const std::string& name, const std::string& value, bool duration);

}  // namespace moskvid
