#pragma once
// Holds the requests to stop a run (POSIX: SIGTERM, SIGINT, SIGHUP and SIGQUIT;
// Windows: Ctrl-C, Ctrl-Break and closing the console) around a step that must not be
// cut short, such as saving a token pair the cloud has just issued.

namespace tavorin::os {

// Installs the process-wide handlers that a hold relies on. Call it once at
// start-up, before any thread exists. Outside a hold a stop request ends the
// process at once, as it would without them; a stop signal that the process
// was started with ignored stays ignored. SIGPIPE is ignored, so that a broken
// connection fails a write instead of ending the run. Throws std::system_error when the
// system refuses.
void InstallStopHandlers();

// While it lives, a stop request waits, whichever thread the system hands it
// to. When it goes, a request that came meanwhile takes effect as it would
// have: the process ends there, as that request ends it, and no code after the
// hold runs. Holds do not nest.
class StopRequestHold {
 public:
  StopRequestHold();
  StopRequestHold(const StopRequestHold&) = delete;
  StopRequestHold& operator=(const StopRequestHold&) = delete;
  ~StopRequestHold();
};

}  // namespace tavorin::os
