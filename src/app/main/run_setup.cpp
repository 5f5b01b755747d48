#include "app/main/run_setup.h"

namespace moskvid {

TRunSetUp::TRunSetUp(TCCAVConverter& converter, std::vector<TRunSource> sources, int format,
                     const TGlobalObject& global, std::function<void()> done)
    : thread_([this, &converter, sources = std::move(sources), format, &global,
               done = std::move(done)] {
        try {
          plan_ = BuildRunTasks(converter, sources, format, global, &cancelled_);
        } catch (...) {
          error_ = std::current_exception();
        }
        if (done) done();
      }) {}

TRunSetUp::~TRunSetUp() {
  Cancel();
  Wait();
}

void TRunSetUp::Wait() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace moskvid
