#include "engine/output_names.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace moskvid {

namespace {

// Splits a path into the part before the extension and the extension with
// its dot (empty when the file name has none).
void SplitExtension(const std::string& path, std::string& stem, std::string& extension) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  if (dot == std::string::npos || dot <= nameStart) {
    stem = path;
    extension.clear();
    return;
  }
  stem = path.substr(0, dot);
  extension = path.substr(dot);
}

// The length of the "_(new)" or "_(new_N)" mark that ends `stem`, or 0.
size_t NewMarkLength(const std::string& stem) {
  static const std::string kPlain = "_(new)";
  if (stem.size() >= kPlain.size() &&
      stem.compare(stem.size() - kPlain.size(), kPlain.size(), kPlain) == 0) {
    return kPlain.size();
  }
  if (stem.empty() || stem.back() != ')') return 0;
  size_t at = stem.size() - 1;
  size_t digits = 0;
  while (at > 0 && std::isdigit(static_cast<unsigned char>(stem[at - 1]))) {
    --at;
    ++digits;
  }
  static const std::string kOpen = "_(new_";
  if (digits == 0 || at < kOpen.size() || stem.compare(at - kOpen.size(), kOpen.size(), kOpen) != 0)
    return 0;
  return kOpen.size() + digits + 1;
}

}  // namespace

std::string PartFileName(const std::string& output) {
  return output + ".part";
}

std::string FailedFileName(const std::string& output) {
  std::string stem, extension;
  SplitExtension(output, stem, extension);
  return stem + ".failed" + extension;
}

std::string NumberedFileName(const std::string& output, int n) {
  std::string stem, extension;
  SplitExtension(output, stem, extension);
  stem.resize(stem.size() - NewMarkLength(stem));
  return stem + "_(new_" + std::to_string(n) + ")" + extension;
}

bool OutputNameTaken(const std::string& output) {
  struct stat info {};
  return ::lstat(output.c_str(), &info) == 0 || ::lstat(PartFileName(output).c_str(), &info) == 0;
}

bool IsLeftoverPartName(const std::string& fileName) {
  static const std::string kPart = ".part";
  if (fileName.size() <= kPart.size() ||
      fileName.compare(fileName.size() - kPart.size(), kPart.size(), kPart) != 0)
    return false;
  std::string stem, extension;
  SplitExtension(fileName.substr(0, fileName.size() - kPart.size()), stem, extension);
  return NewMarkLength(stem) > 0;
}

std::vector<std::string> LeftoverPartsIn(const std::string& folder) {
  std::vector<std::string> parts;
  std::error_code error;
  for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    if (IsLeftoverPartName(entry->path().filename().string()) && entry->is_regular_file(error))
      parts.push_back(entry->path().string());
  }
  std::sort(parts.begin(), parts.end());
  return parts;
}

std::string LeftoverPartText(const std::string& part) {
  return "Left by a conversion that did not end, and kept: " + part;
}

}  // namespace moskvid
