#include "engine/option_parsing.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdlib>

#include "engine/option_records.h"

namespace moskvid {

namespace {

[[noreturn]] void NotANumber(const std::string& name, const std::string& value, const char* kind) {
  throw FFMpegException(
      Format("Invalid value '%s' for option '%s': %s expected", value.c_str(), name.c_str(), kind));
}

}  // namespace

int64_t ParseInt64Option(const std::string& name, const std::string& value) {
  const std::string text = Trim(value);
  if (text.empty()) NotANumber(name, value, "an integer");
  errno = 0;
  char* end = nullptr;
  long long result = std::strtoll(text.c_str(), &end, 10);
  if (*end != '\0' || errno == ERANGE) NotANumber(name, value, "an integer");
  return result;
}

int ParseIntOption(const std::string& name, const std::string& value) {
  int64_t result = ParseInt64Option(name, value);
  if (result < INT_MIN || result > INT_MAX) NotANumber(name, value, "a 32-bit integer");
  return static_cast<int>(result);
}

double ParseDoubleOption(const std::string& name, const std::string& value) {
  const std::string text = Trim(value);
  if (text.empty()) NotANumber(name, value, "a number");
  char* end = nullptr;
  double result = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !std::isfinite(result)) NotANumber(name, value, "a number");
  return result;
}

bool ReadCInteger(const char*& cursor, long& result) {
  char* end = nullptr;
  errno = 0;
  result = std::strtol(cursor, &end, 0);
  if (end == cursor || errno == ERANGE || result < INT_MIN || result > INT_MAX) return false;
  cursor = end;
  return true;
}

std::string Trim(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ')
    ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ')
    --end;
  return text.substr(begin, end - begin);
}

std::string LowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int size = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(size > 0 ? static_cast<size_t>(size) : 0, '\0');
  if (size > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  return text;
}

}  // namespace moskvid
