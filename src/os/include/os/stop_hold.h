#pragma once
// Holds the requests to stop a run (POSIX: SIGTERM, SIGINT and SIGHUP; Windows:
// Ctrl-C, Ctrl-Break and closing the console) around a step that must not be
// cut short, such as saving a token pair the cloud has just issued.

#include <memory>

namespace tavorin::os {

// While it lives, a stop request waits. When it goes, a request that came
// meanwhile takes effect as it would have: the process ends there, as that
// request ends it, and no code after the hold runs. Holds do not nest.
class StopRequestHold {
 public:
  // Throws std::system_error when the system refuses.
  StopRequestHold();
  StopRequestHold(const StopRequestHold&) = delete;
  StopRequestHold& operator=(const StopRequestHold&) = delete;
  ~StopRequestHold();

 private:
  struct Saved;
  std::unique_ptr<Saved> saved_;
};

}  // namespace tavorin::os
