// The file list kept between sessions, free of window code: a file under
// $XDG_STATE_HOME/moskvid/ with each entry's path, check, trim, crop, zoom,
// sound track and last state, and where the output of an entry that is
// converting goes, written whole (a temporary file, synced, then renamed)
// after each change and at close, off the window thread. Whether the
// session closed normally is in the file too: after a crash or a kill the
// list comes back by itself, after a normal close only when the user asked
// to keep it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/settings/file_record.h"
#include "app/settings/kept_list_writer.h"

namespace moskvid {

struct TKeptEntry {
  TlvFilesRecord Record;
  bool Checked = true;
  int32_t TrimmedSeconds = 0;  // the Trimmed Length column
  std::string State;           // "", "100%", "Failed", "Stopped" or "Converting" (see KeptState)
  std::string Note;            // its tooltip: why it failed, where the output went
  std::string Output;          // where its output goes while it converts, else ""
  bool operator==(const TKeptEntry& other) const;
};

struct TKeptList {
  bool Closed = false;  // written by a session that closed normally
  std::vector<TKeptEntry> Entries;
};

// The state kept for what the Progress column shows: a percentage short of
// "100%" is "Converting", so that the file need not change as it grows.
std::string KeptState(const std::string& progress);

std::string FormatKeptList(const TKeptList& list);
// False, with the reason, for a file this program did not write whole.
bool ParseKeptList(const std::string& text, TKeptList& list, std::string& reason);

// "$XDG_STATE_HOME/moskvid" ($HOME/.local/state/moskvid when it is unset).
std::string DefaultStateFolder();

// What the start of a session makes of the kept list.
struct TRestoredList {
  std::vector<TKeptEntry> Entries;  // to show, in order
  std::vector<std::string> Log;     // lines for the log
};

// The entries a session starts with: all of them after a session that did
// not close normally or when `keepBetweenSessions`, none otherwise. An entry
// whose file is gone is named in the log and left out; one that was
// converting ends as "Stopped"; one that was converted ("100%") comes back
// unchecked, so that Start goes on with what is left instead of writing a
// second copy.
TRestoredList RestoreKeptList(const TKeptList& kept, bool keepBetweenSessions,
                              const std::function<bool(const std::string&)>& exists);

// The parts left by conversions that did not end, to be named when a session
// starts: the leftover parts in `outputFolder` (where outputs go now; ""
// when beside each source), and the part of each kept entry's output that
// was being converted, wherever it was to go (beside its source, in a
// folder since changed). Each once, sorted.
std::vector<std::string> KeptLeftoverParts(const TKeptList& kept, const std::string& outputFolder);

// The list file of one session: it holds the state folder's lock while the
// session lives, so that a second program running beside it neither takes
// its list for a crashed one nor writes over it.
class TListKeeper {
 public:
  explicit TListKeeper(std::string folder);
  ~TListKeeper();
  TListKeeper(const TListKeeper&) = delete;
  TListKeeper& operator=(const TListKeeper&) = delete;

  // Takes the lock and reads the list the last session left. A missing file
  // is an empty list of a session that closed; a damaged one is reported in
  // `log` and set aside under another name. False when another program
  // holds the lock: then this session keeps nothing (`log` says so).
  bool Open(TKeptList& kept, std::vector<std::string>& log);
  // Writes the list (only after a successful Open); false with the reason.
  bool Save(const TKeptList& list, std::string& reason);
  const std::string& ListFile() const { return listFile_; }

  // From now on SaveSoon writes on a thread of its own (see
  // TKeptListWriter); `written` runs on that thread after each write.
  void WriteOnThread(TKeptListWriter::TWritten written);
  // Hands the text of a list (FormatKeptList) to that thread; its number.
  uint64_t SaveSoon(std::string text);
  // Waits until text `number`, or a newer one, is written; the reason the
  // write failed, "" when it did not.
  std::string WaitFor(uint64_t number);

 private:
  bool SaveText(const std::string& text, std::string& reason);

  std::string folder_;
  std::string listFile_;
  int lock_ = -1;
  std::unique_ptr<TKeptListWriter> writer_;  // ends before the lock is let go
};

}  // namespace moskvid
