#include "app/settings/kept_list.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/settings/whole_file.h"
#include "engine/output_names.h"

namespace moskvid {

namespace {

namespace fs = std::filesystem;

constexpr const char* kHeader = "# Moskvid file list";
constexpr const char* kEnd = "[end]";

// Values stay on one line: backslash, line feed and carriage return escaped.
std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
  return out;
}

bool Unescape(const std::string& text, std::string& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i >= text.size()) return false;
    switch (text[i]) {
      case '\\':
        out += '\\';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      default:
        return false;
    }
  }
  return true;
}

// Comma-separated 32-bit integers, exactly `count` of them.
bool ParseNumbers(const std::string& text, size_t count, std::vector<int32_t>& numbers) {
  numbers.clear();
  std::stringstream stream(text);
  std::string piece;
  while (std::getline(stream, piece, ',')) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(piece.c_str(), &end, 10);
    if (piece.empty() || *end != '\0' || errno == ERANGE || value < INT32_MIN || value > INT32_MAX)
      return false;
    numbers.push_back(static_cast<int32_t>(value));
  }
  return numbers.size() == count;
}

bool ApplyField(const std::string& key, const std::string& value, TKeptEntry& entry) {
  TlvFilesRecord& record = entry.Record;
  std::vector<int32_t> numbers;
  if (key == "source") return Unescape(value, record.SourceFile) && !record.SourceFile.empty();
  if (key == "state") return Unescape(value, entry.State);
  if (key == "note") return Unescape(value, entry.Note);
  if (key == "zoom") return Unescape(value, record.ZoomMode);
  if (key == "output") return Unescape(value, entry.Output) && !entry.Output.empty();
  if (key == "checked") {
    if (value != "0" && value != "1") return false;
    entry.Checked = value == "1";
    return true;
  }
  if (key == "numbers") {
    // Batch index, duration, trim start, trim length, trimmed length.
    if (!ParseNumbers(value, 5, numbers)) return false;
    record.BatchIndex = numbers[0];
    record.Duration = numbers[1];
    record.TrimStart = numbers[2];
    record.TrimLength = numbers[3];
    entry.TrimmedSeconds = numbers[4];
    return true;
  }
  if (key == "track") {
    // Lists written before entries chose a sound track have no such line.
    if (!ParseNumbers(value, 1, numbers) || numbers[0] < 0) return false;
    record.AudioTrack = numbers[0];
    return true;
  }
  if (key == "crop") {
    if (!ParseNumbers(value, 4, numbers)) return false;
    record.CropTop = numbers[0];
    record.CropLeft = numbers[1];
    record.CropBottom = numbers[2];
    record.CropRight = numbers[3];
    return true;
  }
  return false;
}

constexpr const char* kConverting = "Converting";

bool IsPercentage(const std::string& state) {
  return !state.empty() && state.back() == '%' && state != "100%";
}

}  // namespace

std::string KeptState(const std::string& progress) {
  return IsPercentage(progress) ? kConverting : progress;
}

bool TKeptEntry::operator==(const TKeptEntry& other) const {
  const TlvFilesRecord &a = Record, &b = other.Record;
  return a.BatchIndex == b.BatchIndex && a.SourceFile == b.SourceFile && a.Duration == b.Duration &&
         a.TrimStart == b.TrimStart && a.TrimLength == b.TrimLength && a.ZoomMode == b.ZoomMode &&
         a.CropTop == b.CropTop && a.CropLeft == b.CropLeft && a.CropBottom == b.CropBottom &&
         a.CropRight == b.CropRight && a.AudioTrack == b.AudioTrack && Checked == other.Checked &&
         TrimmedSeconds == other.TrimmedSeconds && State == other.State && Note == other.Note &&
         Output == other.Output;
}

std::string FormatKeptList(const TKeptList& list) {
  std::ostringstream out;
  out << kHeader << "\nversion=1\nclosed=" << (list.Closed ? 1 : 0) << "\n";
  for (const TKeptEntry& entry : list.Entries) {
    const TlvFilesRecord& r = entry.Record;
    out << "[entry]\nsource=" << Escape(r.SourceFile) << "\nchecked=" << (entry.Checked ? 1 : 0)
        << "\nnumbers=" << r.BatchIndex << ',' << r.Duration << ',' << r.TrimStart << ','
        << r.TrimLength << ',' << entry.TrimmedSeconds << "\nzoom=" << Escape(r.ZoomMode)
        << "\ncrop=" << r.CropTop << ',' << r.CropLeft << ',' << r.CropBottom << ',' << r.CropRight
        << "\nstate=" << Escape(entry.State) << "\nnote=" << Escape(entry.Note) << "\n";
    // Only when chosen, so that an earlier version still reads the list.
    if (r.AudioTrack != 0) out << "track=" << r.AudioTrack << "\n";
    // Only while converting, so that a list left at a normal close still
    // reads in an earlier version.
    if (!entry.Output.empty()) out << "output=" << Escape(entry.Output) << "\n";
  }
  out << kEnd << "\n";
  return out.str();
}

bool ParseKeptList(const std::string& text, TKeptList& list, std::string& reason) {
  list = TKeptList{};
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  auto fail = [&](const std::string& why) {
    reason = why + (number > 0 ? " at line " + std::to_string(number) : "");
    list = TKeptList{};
    return false;
  };
  if (!std::getline(lines, line) || line != kHeader) return fail("not a file list");
  number = 1;
  bool ended = false, closedSeen = false;
  TKeptEntry* entry = nullptr;
  while (std::getline(lines, line)) {
    ++number;
    if (ended) return fail("text after the end");
    if (line == kEnd) {
      ended = true;
    } else if (line == "[entry]") {
      list.Entries.emplace_back();
      entry = &list.Entries.back();
    } else {
      const size_t equals = line.find('=');
      if (equals == std::string::npos) return fail("a line without '='");
      const std::string key = line.substr(0, equals), value = line.substr(equals + 1);
      if (!entry) {
        if (key == "version" && value != "1") return fail("version " + value);
        if (key == "closed") {
          if (value != "0" && value != "1") return fail("a bad closed flag");
          list.Closed = value == "1";
          closedSeen = true;
        } else if (key != "version") {
          return fail("unknown key '" + key + "'");
        }
      } else if (!ApplyField(key, value, *entry)) {
        return fail("a bad value of '" + key + "'");
      }
    }
  }
  number = 0;
  if (!ended) return fail("cut short");
  if (!closedSeen) return fail("no closed flag");
  for (const TKeptEntry& kept : list.Entries) {
    if (kept.Record.SourceFile.empty()) return fail("an entry without a source");
  }
  return true;
}

std::string DefaultStateFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state && state[0] == '/') return std::string(state) + "/moskvid";
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.local/state/moskvid";
}

TRestoredList RestoreKeptList(const TKeptList& kept, bool keepBetweenSessions,
                              const std::function<bool(const std::string&)>& exists) {
  TRestoredList restored;
  if (kept.Entries.empty() || (kept.Closed && !keepBetweenSessions)) return restored;
  std::vector<std::string> gone;
  for (const TKeptEntry& entry : kept.Entries) {
    if (!exists(entry.Record.SourceFile)) {
      gone.push_back("Gone since the last session, left out: " + entry.Record.SourceFile);
      continue;
    }
    TKeptEntry& back = restored.Entries.emplace_back(entry);
    // Its conversion ended with the session.
    if (IsPercentage(entry.State) || entry.State == kConverting) back.State = "Stopped";
    if (entry.State == "100%") back.Checked = false;
    back.Output.clear();
  }
  const std::string count =
      std::to_string(restored.Entries.size()) + (restored.Entries.size() == 1 ? " file" : " files");
  restored.Log.push_back(kept.Closed
                             ? "The file list of the last session is back (" + count + ")."
                             : "The last session did not close normally; its file list is back (" +
                                   count + ").");
  restored.Log.insert(restored.Log.end(), gone.begin(), gone.end());
  return restored;
}

std::vector<std::string> KeptLeftoverParts(const TKeptList& kept, const std::string& outputFolder) {
  std::vector<std::string> parts;
  if (!outputFolder.empty()) parts = LeftoverPartsIn(outputFolder);
  for (const TKeptEntry& entry : kept.Entries) {
    if (entry.Output.empty()) continue;
    // Made new, never through a link: a link of that name is no part of ours.
    const std::string part = PartFileName(entry.Output);
    std::error_code error;
    if (fs::symlink_status(part, error).type() == fs::file_type::regular) parts.push_back(part);
  }
  std::sort(parts.begin(), parts.end());
  parts.erase(std::unique(parts.begin(), parts.end()), parts.end());
  return parts;
}

TListKeeper::TListKeeper(std::string folder)
    : folder_(std::move(folder)), listFile_(folder_ + "/files.list") {}

TListKeeper::~TListKeeper() {
  writer_.reset();  // what it was handed is written while the lock is held
  if (lock_ >= 0) ::close(lock_);
}

bool TListKeeper::Open(TKeptList& kept, std::vector<std::string>& log) {
  kept = TKeptList{};
  kept.Closed = true;
  std::error_code error;
  fs::create_directories(folder_, error);
  const std::string lockFile = folder_ + "/files.lock";
  lock_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (lock_ < 0) {
    log.push_back("The file list cannot be kept in " + folder_ + ": " + std::strerror(errno));
    return false;
  }
  if (::flock(lock_, LOCK_EX | LOCK_NB) != 0) {
    ::close(lock_);
    lock_ = -1;
    log.push_back("Another Moskvid keeps the file list; the list of this window is not kept.");
    return false;
  }
  std::ifstream in(listFile_, std::ios::binary);
  if (!in) return true;
  std::stringstream text;
  text << in.rdbuf();
  std::string reason;
  if (ParseKeptList(text.str(), kept, reason)) return true;
  // Set aside, never lost: the next numbered name that is free.
  std::string aside = listFile_ + ".damaged";
  for (int n = 1; OutputNameTaken(aside); ++n)
    aside = listFile_ + ".damaged." + std::to_string(n);
  fs::rename(listFile_, aside, error);
  log.push_back("The kept file list could not be read (" + reason + "); it is set aside as " +
                (error ? listFile_ : aside) + ".");
  kept = TKeptList{};
  kept.Closed = true;
  return true;
}

bool TListKeeper::Save(const TKeptList& list, std::string& reason) {
  return SaveText(FormatKeptList(list), reason);
}

bool TListKeeper::SaveText(const std::string& text, std::string& reason) {
  if (lock_ < 0) {
    reason = "the list is kept by another program";
    return false;
  }
  return WriteFileWhole(listFile_, text, reason);
}

void TListKeeper::WriteOnThread(TKeptListWriter::TWritten written) {
  writer_ = std::make_unique<TKeptListWriter>(
      [this](const std::string& text, std::string& reason) { return SaveText(text, reason); },
      std::move(written));
}

uint64_t TListKeeper::SaveSoon(std::string text) {
  if (!writer_) WriteOnThread(nullptr);
  return writer_->Save(std::move(text));
}

std::string TListKeeper::WaitFor(uint64_t number) {
  return writer_ ? writer_->Wait(number) : std::string();
}

}  // namespace moskvid
