// TAddWorker: adding files without holding up the window. A thread of its
// own expands folders and probes each file with a converter of its own;
// the window takes what is ready when it likes and can cancel at any time.
#pragma once

#include <atomic>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/main/file_adder.h"

namespace moskvid {

class TAddWorker {
 public:
  // The media libraries are loaded from `libraryFolder` on the worker's
  // thread, so that a first add does not hold up the window while they load.
  explicit TAddWorker(std::string libraryFolder) : libraryFolder_(std::move(libraryFolder)) {}
  // Cancels and waits for the thread.
  ~TAddWorker();
  TAddWorker(const TAddWorker&) = delete;
  TAddWorker& operator=(const TAddWorker&) = delete;

  // Adds `paths` after what is queued. With `expandFolders` a folder stands
  // for the media files under it; without, folders are skipped. Paths in
  // `listed` (the list's captions) and paths met before are skipped.
  void Queue(const std::vector<std::string>& paths, bool expandFolders,
             const std::set<std::string>& listed);
  // What has been probed since the last call, in order.
  std::vector<TProbedFile> Take();
  // Stops after the file being probed; what is queued or not yet taken is
  // dropped. Paths queued afterwards are added.
  void Cancel();
  // True once everything queued has been probed (or cancelled) and taken.
  bool Idle() const;
  // Files probed so far, and all that are known to come.
  void Counts(int& done, int& total) const;

 private:
  struct Request {
    std::vector<std::string> Paths;
    bool ExpandFolders = false;
  };
  void Run();
  // The files of one request, folders expanded or dropped.
  std::vector<std::string> FilesOf(const Request& request);

  // False when the libraries could not be loaded: everything is dropped,
  // and the reason is the log of the one file taken.
  bool LoadLibraries(TCCAVConverter& converter);

  const std::string libraryFolder_;
  std::atomic<bool> cancelled_{false};
  std::thread thread_;

  // --- Protected by lock_.
  mutable std::mutex lock_;
  std::deque<Request> requests_;
  std::vector<TProbedFile> ready_;
  std::set<std::string> seen_;
  bool running_ = false;  // the thread works on the requests
  int done_ = 0, total_ = 0;
};

}  // namespace moskvid
