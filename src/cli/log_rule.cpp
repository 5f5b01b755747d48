#include "cli/log_rule.h"

namespace moskvid::cli {

namespace {

// How the log capture starts a line the libraries logged with a context.
bool FromTheLibraries(const std::string& line) {
  const size_t at = line.find(" @ ");
  return !line.empty() && line[0] == '[' && at != std::string::npos &&
         line.find(']') != std::string::npos && line.find(']') > at;
}

}  // namespace

bool ShowsLogLine(LogDetail detail, TLogLevel level, const std::string& line) {
  return detail == LogDetail::Verbose || (level == llError && !FromTheLibraries(line));
}

}  // namespace moskvid::cli
