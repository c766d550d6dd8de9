#pragma once
// Runs a program as a child process in a given working directory, capturing
// its output, and kills it if it has not ended within the time allowed.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"

namespace tavorin::testing {

struct ProcessResult {
  int exitStatus = -1;  // -1 when the process did not exit normally
  std::string out;
  std::string err;
};

inline ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& arguments,
                                const std::filesystem::path& workingDirectory,
                                std::chrono::seconds allowed = std::chrono::seconds(90)) {
  const TempDir outputDir;
  const std::filesystem::path outPath = outputDir / "out";
  const std::filesystem::path errPath = outputDir / "err";
  std::vector<std::string> argvText = {program};
  argvText.insert(argvText.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& text : argvText) {
    argv.push_back(text.data());
  }
  argv.push_back(nullptr);

  const pid_t child = ::fork();
  if (child < 0) {
    throw std::runtime_error("cannot start " + program);
  }
  if (child == 0) {
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int in = ::open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || in < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 ||
        ::chdir(workingDirectory.c_str()) != 0) {
      ::_exit(127);
    }
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }

  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + allowed;
  while (::waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      throw std::runtime_error(program + " did not end within the time allowed");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(outPath), ReadFile(errPath)};
}

}  // namespace tavorin::testing
