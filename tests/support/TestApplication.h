// An application of a test's own and a guard against hanging tests: for the suites of the
// loop, timers and threads. Test-only.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "framework/Forms.h"

namespace qv::test {

// An application of the test's own, installed as Application, so that threads join it and
// terminating or destroying it leaves the program's application alone.
class TTestApplication {
public:
  TTestApplication()
      : FApp(std::make_unique<TApplication>(nullptr)),
        FSaved(std::exchange(Application, FApp.get())) {}
  ~TTestApplication() {
    FApp.reset();
    Application = FSaved;
  }
  TApplication* operator->() const { return FApp.get(); }
  // Frees the application as the Forms unit's finalisation does.
  void Destroy() {
    FApp.reset();
    Application = nullptr;
  }

private:
  std::unique_ptr<TApplication> FApp;
  TApplication* FSaved;
};

// Aborts the suite when a test blocks far longer than any correct run could: a guard
// against hangs, not a measurement.
class THangGuard {
public:
  THangGuard()
      : FWatcher([this] {
          std::unique_lock lock(FLock);
          if (!FDone.wait_for(lock, std::chrono::minutes(2), [this] { return FFinished; })) {
            std::fprintf(stderr, "hang guard: the test did not finish\n");
            std::abort();
          }
        }) {}
  ~THangGuard() {
    {
      std::lock_guard lock(FLock);
      FFinished = true;
    }
    FDone.notify_all();
    FWatcher.join();
  }

private:
  std::mutex FLock;
  std::condition_variable FDone;
  bool FFinished = false;
  std::thread FWatcher;
};

}  // namespace qv::test
