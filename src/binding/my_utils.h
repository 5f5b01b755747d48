// Small helpers shared by the engine, the probe and the application.
#pragma once

#include <cstdint>
#include <string>

namespace moskvid {

// "%.2f GB", "%.2f MB", "%.2f KB" above 1 GiB, 1 MiB and 1 KiB (exclusive
// limits), else "%d Byte".
std::string FormatFileSize(int64_t size);

// Size of a file in bytes; -1 when it does not exist or is not a regular file.
int64_t GetFileSize(const std::string& fileName);

// Date-times are days since 1899-12-30 with the time of day as the fraction.
double UnixTimeToLocalDateTime(int64_t unixTime);
// Local date-time back to seconds since 1970.
int64_t LocalDateTimeToUnixTime(double dateTime);
double NowLocalDateTime();

// Formats a date-time with a pattern of "yyyy", "yy", "mm", "m", "dd", "d",
// "hh", "h", "nn", "n", "ss", "s" and "zzz"; other characters are copied,
// text in double quotes is copied without its quotes.
std::string FormatDateTime(const std::string& pattern, double dateTime);

// The text before the first `separator` (all of it when there is none). With
// `remove`, the head and the separator are cut from `text`; `text` becomes
// empty when the separator does not occur.
std::string SplitAt(std::string& text, const std::string& separator, bool remove);

// Directory-aware library load: with a folder, that folder is made current and
// put in front of PATH for the duration of the load, so that a library finds
// its companions there. Returns the dlopen handle or null (dlerror() tells).
void* LoadLibraryFrom(const std::string& directory, const std::string& fileName);

// The folder of the running executable, with a trailing '/'.
std::string ExecutableFolder();

}  // namespace moskvid
