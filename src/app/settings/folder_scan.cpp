#include "app/settings/folder_scan.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>

namespace moskvid {

namespace {

namespace fs = std::filesystem;

bool IsDigit(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Compares the natural way; -1, 0 or 1.
int NaturalCompare(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      // Leading zeros do not count; then the longer run is the larger number.
      size_t startA = i, startB = j;
      while (startA < a.size() && a[startA] == '0')
        ++startA;
      while (startB < b.size() && b[startB] == '0')
        ++startB;
      size_t endA = startA, endB = startB;
      while (endA < a.size() && IsDigit(a[endA]))
        ++endA;
      while (endB < b.size() && IsDigit(b[endB]))
        ++endB;
      if (endA - startA != endB - startB) return endA - startA < endB - startB ? -1 : 1;
      const int digits = a.compare(startA, endA - startA, b, startB, endB - startB);
      if (digits != 0) return digits < 0 ? -1 : 1;
      i = endA;
      j = endB;
      continue;
    }
    const int x = std::tolower(static_cast<unsigned char>(a[i]));
    const int y = std::tolower(static_cast<unsigned char>(b[j]));
    if (x != y) return x < y ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

bool Hidden(const fs::path& path) {
  const std::string name = path.filename().string();
  return !name.empty() && name[0] == '.';
}

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b) {
  const int order = NaturalCompare(a, b);
  return order != 0 ? order < 0 : a < b;
}

bool NaturalPathLess(const std::string& a, const std::string& b) {
  const fs::path x(a), y(b);
  auto i = x.begin(), j = y.begin();
  for (; i != x.end() && j != y.end(); ++i, ++j) {
    if (*i != *j) return NaturalLess(i->string(), j->string());
  }
  return i == x.end() && j != y.end();
}

const TFileFilter& MediaFileFilter() {
  static const TFileFilter kFilter = ParseFileFilter(AddDialogFilter()).front();
  return kFilter;
}

std::vector<std::string> MediaFilesUnder(const std::string& folder,
                                         const std::function<bool()>& cancelled) {
  std::vector<std::string> files;
  std::error_code error;
  fs::recursive_directory_iterator walk(folder, fs::directory_options::skip_permission_denied,
                                        error);
  for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
    if (cancelled && cancelled()) break;
    const fs::directory_entry& entry = *walk;
    if (Hidden(entry.path())) {
      if (entry.is_directory(error)) walk.disable_recursion_pending();
      continue;
    }
    if (entry.is_regular_file(error) &&
        MatchesFilter(MediaFileFilter(), entry.path().filename().string())) {
      files.push_back(entry.path().string());
    }
  }
  std::sort(files.begin(), files.end(), NaturalPathLess);
  return files;
}

std::vector<std::string> ExpandFolders(const std::vector<std::string>& paths,
                                       const std::function<bool()>& cancelled) {
  std::vector<std::string> expanded;
  std::set<std::string> seen;
  auto take = [&](const std::string& path) {
    if (seen.insert(path).second) expanded.push_back(path);
  };
  for (const std::string& path : paths) {
    if (cancelled && cancelled()) break;
    std::error_code error;
    if (!fs::is_directory(path, error)) {
      take(path);
      continue;
    }
    for (const std::string& file : MediaFilesUnder(path, cancelled))
      take(file);
  }
  return expanded;
}

}  // namespace moskvid
