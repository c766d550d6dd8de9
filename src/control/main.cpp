// The program's entry: one switch operation per start, its result code as the
// exit status; without arguments, the main window where the build has one.
#include <iostream>
#include <string>

#include "build_config.h"
#include "cloud/cloud_client.h"
#include "cloud/token_file.h"
#include "control/activity_log.h"
#include "control/command_line.h"
#include "control/front_end.h"
#include "control/switch_control.h"
#include "http/http_client.h"
#include "os/file_lock.h"
#include "os/stop_hold.h"
#include "process.h"
#if TAVORIN_WITH_WINDOW
#include "window_loader.h"
#endif

namespace {

using namespace tavorin;

// How long a run waits for the log's lock, which others hold only for work on
// local files.
constexpr std::chrono::seconds kLogLockWait{30};

int Run(int& argc, char** argv) {
  const std::string argumentText = control::ArgumentText(argc, argv);
  // A run waiting for another run's refresh gives it one whole request and
  // some time to spare before it gives up.
  const auto tokenLockWait = build::kRequestTimeout + std::chrono::seconds(30);
  http::PostOptions httpOptions;
  httpOptions.totalTimeout = build::kRequestTimeout;
  const auto post = [&httpOptions](const std::string& url, const std::vector<http::HttpHeader>& headers,
                                   std::string_view body) {
    return http::PlatformPost(url, headers, body, httpOptions);
  };
  const auto notify = [](std::string_view notice) { std::cerr << "Tavorin: " << notice << std::endl; };
  const cloud::CloudClient cloud(post, std::string(build::kApiRoot),
                                 os::GuardedFile(cloud::kTokenFileName, tokenLockWait), notify);
  const control::SwitchControl switchControl(cloud, control::LocalTimestamp,
                                             os::GuardedFile(control::kActivityLogName, kLogLockWait));
  switch (control::ClassifyArgumentText(argumentText)) {
    case control::EntryRequest::ShowHelp:
      std::cout << control::kUsageText;
      return 0;
    case control::EntryRequest::ShowVersion:
      std::cout << "tavorin " << build::kVersion << "\nAPI root: " << build::kApiRoot
                << "\nRequest time-out: " << build::kRequestTimeout.count() << " s\n";
      return 0;
    case control::EntryRequest::UnknownOption:
      std::cerr << "Tavorin: unknown option " << control::RefusedOption(argumentText) << "\n"
                << control::kShortUsageText;
      return control::kErrorStatus;
    case control::EntryRequest::OpenWindow:
#if TAVORIN_WITH_WINDOW
      // The only road that starts the windowing toolkit: with arguments the
      // program needs no display.
      return control::RunWindowModule(
          argc, argv, [&switchControl](std::string_view word) { return switchControl.ControlSwitch(word); });
#else
      std::cerr << "Tavorin: no device ID given (this build has no window)\n" << control::kShortUsageText;
      return control::kErrorStatus;
#endif
    case control::EntryRequest::RunOperation:
      break;
  }
  const control::Outcome outcome = control::RunOperation(argumentText, switchControl);
  if (!outcome.reason.empty()) {
    std::cerr << "Tavorin: " << outcome.reason << std::endl;
  }
  return static_cast<int>(outcome.result);
}

}  // namespace

int main(int argc, char** argv) {
  int status = control::kErrorStatus;
  control::PrepareProcess();
  try {
    // Before any thread starts, the window's toolkit's included.
    os::InstallStopHandlers();
    status = Run(argc, argv);
  } catch (...) {
    control::ReportError();
  }
  control::EndProcess(status);
}
