#pragma once
// Runs a program as a child process in a working directory, capturing its
// output, and kills it if it has not ended in time.

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"

namespace tavorin::testing {

struct ProcessResult {
  int exitStatus = -1;  // -1 when the process did not exit normally
  int signal = 0;       // the signal that ended it, if one did
  std::string out;
  std::string err;
};

// The user and group that unprivileged runs take when the tests run as root.
inline constexpr uid_t kUnprivilegedUser = 65534;
inline constexpr gid_t kUnprivilegedGroup = 65534;

// Hands path and everything in it to the unprivileged user when running as
// root, so that file modes alone decide what an unprivileged run may do.
inline void GiveToUnprivilegedUser(const std::filesystem::path& path) {
  const auto give = [](const std::filesystem::path& item) {
    if (::geteuid() == 0 && ::lchown(item.c_str(), kUnprivilegedUser, kUnprivilegedGroup) != 0) {
      throw std::runtime_error("cannot hand " + item.string() + " to the unprivileged user");
    }
  };
  give(path);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(path)) {
    give(entry.path());
  }
}

struct ProcessOptions {
  bool unprivileged = false;
  // When positive: the largest file the child may write, in bytes, as on a
  // full disk. Writing past it fails with EFBIG (SIGXFSZ is ignored).
  rlim_t fileSizeLimit = 0;
};

class ChildProcess {
 public:
  ChildProcess(const std::string& program, std::vector<std::string> arguments,
               const std::filesystem::path& workingDirectory, ProcessOptions options = {})
      : program_(program) {
    arguments.insert(arguments.begin(), program);
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
      argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const std::string out = output_ / "out";
    const std::string err = output_ / "err";
    pid_ = ::fork();
    if (pid_ < 0) {
      throw std::runtime_error("cannot start " + program);
    }
    if (pid_ == 0) {
      const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int inFd = ::open("/dev/null", O_RDONLY);
      if (outFd < 0 || errFd < 0 || inFd < 0 || ::dup2(inFd, 0) < 0 || ::dup2(outFd, 1) < 0 || ::dup2(errFd, 2) < 0 ||
          ::chdir(workingDirectory.c_str()) != 0) {
        ::_exit(127);
      }
      // As root, the child becomes the unprivileged user, whom file modes bind.
      if (options.unprivileged && ::geteuid() == 0 &&
          (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivilegedGroup) != 0 || ::setuid(kUnprivilegedUser) != 0)) {
        ::_exit(127);
      }
      const rlimit fileSize{options.fileSizeLimit, options.fileSizeLimit};
      if (options.fileSizeLimit > 0 &&
          (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &fileSize) != 0)) {
        ::_exit(127);
      }
      ::execv(program.c_str(), argv.data());
      ::_exit(127);
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  void Signal(int signal) const { ::kill(pid_, signal); }

  // Waits for the end until deadline, killing the child and throwing after it.
  ProcessResult Wait(std::chrono::steady_clock::time_point deadline) {
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        throw std::runtime_error(program_ + " did not end within the time allowed");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, WIFSIGNALED(status) ? WTERMSIG(status) : 0,
            ReadFile(output_ / "out"), ReadFile(output_ / "err")};
  }

 private:
  std::string program_;
  TempDir output_;
  pid_t pid_ = -1;
};

inline ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& arguments,
                                const std::filesystem::path& workingDirectory, ProcessOptions options = {}) {
  ChildProcess child(program, arguments, workingDirectory, options);
  return child.Wait(std::chrono::steady_clock::now() + std::chrono::seconds(90));
}

}  // namespace tavorin::testing
