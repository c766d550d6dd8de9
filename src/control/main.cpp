// The program's entry: one switch operation per start, its result code as the
// exit status; without arguments, the main window where the build has one.
#include <iostream>
#include <string>

#include "build_config.h"
#include "cloud/cloud_client.h"
#include "control/command_line.h"
#include "control/front_end.h"
#include "control/platform.h"
#include "control/switch_control.h"
#include "http/http_client.h"
#include "os/stop_hold.h"
#if TAVORIN_WITH_WINDOW
#include "window_loader.h"
#endif

namespace {

using namespace tavorin;

int Run(int& argc, char** argv) {
  const std::string argumentText = control::ArgumentText(argc, argv);
  // A run waiting for another run's refresh gives it one whole request and
  // some time to spare before it gives up.
  const auto lockWait = build::kRequestTimeout + std::chrono::seconds(30);
  http::PostOptions httpOptions;
  httpOptions.totalTimeout = build::kRequestTimeout;
  const auto post = [&httpOptions](const std::string& url, const std::vector<http::HttpHeader>& headers,
                                   std::string_view body) {
    return http::PlatformPost(url, headers, body, httpOptions);
  };
  const cloud::CloudClient cloud(post, std::string(build::kApiRoot), cloud::kTokenFileName, lockWait);
  const control::SwitchControl switchControl(cloud, control::LocalTimestamp);
  switch (control::ClassifyArgumentText(argumentText)) {
    case control::EntryRequest::ShowHelp:
      std::cout << control::kUsageText;
      return 0;
    case control::EntryRequest::ShowVersion:
      std::cout << "tavorin " << build::kVersion << '\n';
      return 0;
    case control::EntryRequest::OpenWindow:
#if TAVORIN_WITH_WINDOW
      // The only road that starts the windowing toolkit: with arguments the
      // program needs no display.
      return control::RunWindowModule(
          argc, argv, [&switchControl](std::string_view word) { return switchControl.ControlSwitch(word); });
#else
      std::cerr << "Tavorin: no device ID given (this build has no window)\n\n" << control::kUsageText;
      return control::kErrorStatus;
#endif
    case control::EntryRequest::RunOperation:
      break;
  }
  return static_cast<int>(control::RunOperation(argumentText, switchControl));
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
