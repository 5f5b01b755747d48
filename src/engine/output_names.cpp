#include "engine/output_names.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>

namespace moskvid {

namespace {

// The bytes a name in a folder may have on Linux file systems (NAME_MAX).
constexpr size_t kNameMax = 255;
// "~" and the 8 hex digits that mark a shortened name.
constexpr size_t kHashMarkLength = 9;
constexpr char kPart[] = ".part";
constexpr size_t kPartLength = sizeof(kPart) - 1;

// FNV-1a: stable between runs and builds, which std::hash need not be.
uint32_t NameHash(const std::string& name) {
  uint32_t hash = 2166136261u;
  for (const char c : name)
    hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  return hash;
}

// `base` and `suffix` as one file name when they fit; else `base` cut at a
// character boundary and marked with the hash of the output's `name`.
std::string FitName(const std::string& base, const std::string& suffix, const std::string& name) {
  if (base.size() + suffix.size() <= kNameMax) return base + suffix;
  size_t keep = std::min(base.size(), kNameMax - kHashMarkLength - suffix.size());
  while (keep > 0 && (static_cast<unsigned char>(base[keep]) & 0xC0) == 0x80)
    --keep;
  char mark[kHashMarkLength + 1];
  std::snprintf(mark, sizeof mark, "~%08x", NameHash(name));
  return base.substr(0, keep) + mark + suffix;
}

// Splits a path after its last slash.
void SplitFolder(const std::string& path, std::string& folder, std::string& name) {
  const size_t slash = path.rfind('/');
  folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  name = path.substr(folder.size());
}

// A part that FitName shortened: its length reaches the limit but for a cut
// character, and it ends in "~", 8 hex digits and ".part".
bool IsShortenedPartName(const std::string& name) {
  if (name.size() + 3 < kNameMax || name.size() > kNameMax) return false;
  const size_t mark = name.size() - kPartLength - kHashMarkLength;
  if (name[mark] != '~' || name.compare(name.size() - kPartLength, kPartLength, kPart) != 0)
    return false;
  return std::all_of(name.begin() + mark + 1, name.end() - kPartLength, [](char c) {
    return std::isdigit(static_cast<unsigned char>(c)) || (c >= 'a' && c <= 'f');
  });
}

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
  std::string folder, name;
  SplitFolder(output, folder, name);
  return folder + FitName(name, kPart, name);
}

std::string FailedFileName(const std::string& output) {
  std::string folder, name, stem, extension;
  SplitFolder(output, folder, name);
  SplitExtension(name, stem, extension);
  // An extension too long to keep beside a cut name is cut with it.
  if (extension.size() > kNameMax / 2) {
    stem = name;
    extension.clear();
  }
  return folder + FitName(stem, ".failed" + extension, name);
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
  std::string folder, name;
  SplitFolder(fileName, folder, name);
  if (IsShortenedPartName(name)) return true;
  if (name.size() <= kPartLength ||
      name.compare(name.size() - kPartLength, kPartLength, kPart) != 0)
    return false;
  std::string stem, extension;
  SplitExtension(name.substr(0, name.size() - kPartLength), stem, extension);
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
