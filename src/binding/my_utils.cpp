#include "binding/my_utils.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

namespace moskvid {

namespace {

constexpr double kUnixEpochDay = 25569.0;  // 1970-01-01 in days since 1899-12-30

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

// Minutes to add to local time to get UTC at that moment.
double TimeZoneBiasMinutes(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  return -static_cast<double>(local.tm_gmtoff) / 60.0;
}

// Splits a date-time into its calendar fields (proleptic Gregorian).
struct Fields {
  int year, month, day, hour, minute, second, millisecond;
};

Fields Decode(double dateTime) {
  double days = std::floor(dateTime);
  int64_t msOfDay = std::llround((dateTime - days) * 86400000.0);
  if (msOfDay >= 86400000) {
    msOfDay -= 86400000;
    days += 1;
  }
  // Days since 1970-01-01, then the civil-from-days algorithm.
  int64_t z = static_cast<int64_t>(days - kUnixEpochDay) + 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t y = yoe + era * 400;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int64_t d = doy - (153 * mp + 2) / 5 + 1;
  int64_t m = mp < 10 ? mp + 3 : mp - 9;
  Fields f{};
  f.year = static_cast<int>(y + (m <= 2));
  f.month = static_cast<int>(m);
  f.day = static_cast<int>(d);
  f.hour = static_cast<int>(msOfDay / 3600000);
  f.minute = static_cast<int>(msOfDay / 60000 % 60);
  f.second = static_cast<int>(msOfDay / 1000 % 60);
  f.millisecond = static_cast<int>(msOfDay % 1000);
  return f;
}

std::string Padded(int value, int width) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*d", width, value);
  return text;
}

}  // namespace

std::string FormatFileSize(int64_t size) {
  char text[64];
  if (size > 1073741824LL) {
    std::snprintf(text, sizeof text, "%.2f GB", static_cast<double>(size) / 1073741824.0);
  } else if (size > 1048576LL) {
    std::snprintf(text, sizeof text, "%.2f MB", static_cast<double>(size) / 1048576.0);
  } else if (size > 1024LL) {
    std::snprintf(text, sizeof text, "%.2f KB", static_cast<double>(size) / 1024.0);
  } else {
    std::snprintf(text, sizeof text, "%d Byte", static_cast<int>(size));
  }
  return text;
}

int64_t GetFileSize(const std::string& fileName) {
  struct stat info {};
  if (fileName.empty() || ::stat(fileName.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return -1;
  }
  return static_cast<int64_t>(info.st_size);
}

double UnixTimeToLocalDateTime(int64_t unixTime) {
  double bias = TimeZoneBiasMinutes(static_cast<std::time_t>(unixTime));
  return static_cast<double>(unixTime) / 86400.0 + kUnixEpochDay - bias / 1440.0;
}

int64_t LocalDateTimeToUnixTime(double dateTime) {
  // The bias depends on the instant itself; take it at the naive estimate.
  double naive = (dateTime - kUnixEpochDay) * 86400.0;
  double bias = TimeZoneBiasMinutes(static_cast<std::time_t>(naive));
  return std::llround(naive + bias * 60.0);
}

double NowLocalDateTime() {
  struct timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  double bias = TimeZoneBiasMinutes(now.tv_sec);
  double seconds = static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
  return seconds / 86400.0 + kUnixEpochDay - bias / 1440.0;
}

std::string FormatDateTime(const std::string& pattern, double dateTime) {
  const Fields f = Decode(dateTime);
  std::string out;
  size_t i = 0;
  auto run = [&](char c) {
    size_t n = 0;
    while (i + n < pattern.size() && std::tolower(static_cast<unsigned char>(pattern[i + n])) == c)
      ++n;
    return n;
  };
  while (i < pattern.size()) {
    char c = static_cast<char>(std::tolower(static_cast<unsigned char>(pattern[i])));
    if (pattern[i] == '"') {
      size_t end = pattern.find('"', i + 1);
      if (end == std::string::npos) end = pattern.size();
      out += pattern.substr(i + 1, end - i - 1);
      i = end + 1;
      continue;
    }
    size_t n = (c == 'y' || c == 'm' || c == 'd' || c == 'h' || c == 'n' || c == 's' || c == 'z')
                   ? run(c)
                   : 0;
    switch (n ? c : '\0') {
      case 'y':
        out += n <= 2 ? Padded(f.year % 100, 2) : Padded(f.year, 4);
        break;
      case 'm':
        out += n == 1 ? std::to_string(f.month) : Padded(f.month, 2);
        break;
      case 'd':
        out += n == 1 ? std::to_string(f.day) : Padded(f.day, 2);
        break;
      case 'h':
        out += n == 1 ? std::to_string(f.hour) : Padded(f.hour, 2);
        break;
      case 'n':
        out += n == 1 ? std::to_string(f.minute) : Padded(f.minute, 2);
        break;
      case 's':
        out += n == 1 ? std::to_string(f.second) : Padded(f.second, 2);
        break;
      case 'z':
        out += n < 3 ? std::to_string(f.millisecond) : Padded(f.millisecond, 3);
        break;
      default:
        out += pattern[i];
        n = 1;
        break;
    }
    i += n;
  }
  return out;
}

std::string SplitAt(std::string& text, const std::string& separator, bool remove) {
  size_t at = separator.empty() ? std::string::npos : text.find(separator);
  if (at == std::string::npos) {
    std::string head = text;
    if (remove) text.clear();
    return head;
  }
  std::string head = text.substr(0, at);
  if (remove) text.erase(0, at + separator.size());
  return head;
}

void* LoadLibraryFrom(const std::string& directory, const std::string& fileName) {
  if (directory.empty()) return dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);

  std::error_code error;
  const std::filesystem::path previous = std::filesystem::current_path(error);
  const bool changed = ::chdir(directory.c_str()) == 0;

  const char* path = std::getenv("PATH");
  std::string pathValue = path ? path : "";
  if (Upper(pathValue).find(Upper(directory)) == std::string::npos) {
    std::string updated = pathValue.empty() ? directory : directory + ":" + pathValue;
    ::setenv("PATH", updated.c_str(), 1);
  }

  std::string full = directory;
  if (full.back() != '/') full += '/';
  full += fileName;
  void* handle = dlopen(full.c_str(), RTLD_NOW | RTLD_LOCAL);

  if (changed && !previous.empty()) {
    // Keep dlerror() for the caller: chdir does not touch it.
    if (::chdir(previous.c_str()) != 0) {
      // The old folder may have vanished; nothing better to return to.
    }
  }
  return handle;
}

std::string ExecutableFolder() {
  std::error_code error;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return "./";
  std::string folder = exe.parent_path().string();
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace moskvid
