#include "app/main/add_worker.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "app/settings/folder_scan.h"

namespace moskvid {

TAddWorker::~TAddWorker() {
  Cancel();
  if (thread_.joinable()) thread_.join();
}

void TAddWorker::Queue(const std::vector<std::string>& paths, bool expandFolders,
                       const std::set<std::string>& listed) {
  std::lock_guard<std::mutex> guard(lock_);
  seen_.insert(listed.begin(), listed.end());
  requests_.push_back({paths, expandFolders});
  total_ += static_cast<int>(paths.size());
  if (running_) return;
  // The last thread has ended or is about to, having found no request.
  if (thread_.joinable()) thread_.join();
  cancelled_ = false;
  running_ = true;
  thread_ = std::thread([this] { Run(); });
}

std::vector<TProbedFile> TAddWorker::Take() {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<TProbedFile> taken;
  taken.swap(ready_);
  return taken;
}

void TAddWorker::Cancel() {
  std::lock_guard<std::mutex> guard(lock_);
  cancelled_ = true;
  requests_.clear();
  // Dropped, so not met: they may be added again.
  for (const TProbedFile& dropped : ready_)
    seen_.erase(dropped.Record.SourceFile);
  ready_.clear();
}

bool TAddWorker::Idle() const {
  std::lock_guard<std::mutex> guard(lock_);
  return !running_ && ready_.empty();
}

void TAddWorker::Counts(int& done, int& total) const {
  std::lock_guard<std::mutex> guard(lock_);
  done = done_;
  total = total_;
}

std::vector<std::string> TAddWorker::FilesOf(const Request& request) {
  const auto cancelled = [this] { return cancelled_.load(); };
  if (request.ExpandFolders) return ExpandFolders(request.Paths, cancelled);
  std::vector<std::string> files;
  for (const std::string& path : request.Paths) {
    std::error_code error;
    if (!std::filesystem::is_directory(path, error)) files.push_back(path);
  }
  return files;
}

bool TAddWorker::LoadLibraries(TCCAVConverter& converter) {
  if (converter.LoadLibraries(libraryFolder_, true)) return true;
  TProbedFile failure;
  failure.Log = {converter.LastError()};
  std::lock_guard<std::mutex> guard(lock_);
  requests_.clear();
  ready_.push_back(std::move(failure));
  done_ = total_;
  running_ = false;
  return false;
}

void TAddWorker::Run() {
  // On a busy machine the window thread comes first: probing a little later
  // is not seen, a window that stops painting is.
  const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
  setpriority(PRIO_PROCESS, tid, std::min(getpriority(PRIO_PROCESS, tid) + 5, 19));
  // Probes never touch the window's converter, which may be converting.
  TCCAVConverter converter;
  if (!LoadLibraries(converter)) return;
  for (;;) {
    Request request;
    {
      std::lock_guard<std::mutex> guard(lock_);
      // A cancel dropped what was queued before it; what came after it is
      // still wanted.
      cancelled_ = false;
      if (requests_.empty()) {
        running_ = false;
        return;
      }
      request = std::move(requests_.front());
      requests_.pop_front();
    }
    const std::vector<std::string> files = FilesOf(request);
    {
      // A folder counted as one path stands for its files now.
      std::lock_guard<std::mutex> guard(lock_);
      total_ += static_cast<int>(files.size()) - static_cast<int>(request.Paths.size());
    }
    for (size_t position = 0; position < files.size() && !cancelled_; ++position) {
      const std::string& path = files[position];
      bool fresh = false;
      {
        std::lock_guard<std::mutex> guard(lock_);
        fresh = seen_.insert(path).second;
        if (!fresh) ++done_;
      }
      if (!fresh) continue;
      TProbedFile probed = ProbeForList(converter, path, static_cast<int>(position));
      std::lock_guard<std::mutex> guard(lock_);
      ++done_;
      if (cancelled_) {
        seen_.erase(path);
      } else {
        ready_.push_back(std::move(probed));
      }
    }
  }
}

}  // namespace moskvid
