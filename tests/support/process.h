#pragma once
// Runs a program as a child process in a given working directory, capturing
// its output, and kills it if it has not ended within the time allowed. A
// child can be held at a start gate until many are ready, and can run without
// root's privileges.

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
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

[[nodiscard]] inline bool RunningAsRoot() {
  return ::geteuid() == 0;
}

// In a forked child: as root, becomes the unprivileged user, so that file modes
// bind the child as they bind anyone; ends the child with status 127 when the
// system refuses.
inline void LeaveRootInChild() {
  if (RunningAsRoot() &&
      (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivilegedGroup) != 0 || ::setuid(kUnprivilegedUser) != 0)) {
    std::_Exit(127);
  }
}

// Hands path and everything in it to the unprivileged user when running as
// root, so that file modes alone decide what an unprivileged run may do.
inline void GiveToUnprivilegedUser(const std::filesystem::path& path) {
  if (!RunningAsRoot()) {
    return;
  }
  const auto give = [](const std::filesystem::path& item) {
    if (::lchown(item.c_str(), kUnprivilegedUser, kUnprivilegedGroup) != 0) {
      throw std::runtime_error("cannot hand " + item.string() + " to the unprivileged user");
    }
  };
  give(path);
  if (std::filesystem::is_directory(path)) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path)) {
      give(entry.path());
    }
  }
}

// Children started with a gate wait at it, before exec, until Open().
class StartGate {
 public:
  StartGate() {
    if (::pipe(fds_) != 0) {
      throw std::runtime_error("cannot make a start gate");
    }
  }
  StartGate(const StartGate&) = delete;
  StartGate& operator=(const StartGate&) = delete;
  ~StartGate() {
    CloseWriteEnd();
    ::close(fds_[0]);
  }

  // Every waiting child reads end of file at once.
  void Open() { CloseWriteEnd(); }

  // In the child: waits until the gate opens.
  void WaitInChild() const {
    ::close(fds_[1]);
    char ignored = 0;
    while (::read(fds_[0], &ignored, 1) > 0) {
    }
    ::close(fds_[0]);
  }

 private:
  void CloseWriteEnd() {
    if (fds_[1] >= 0) {
      ::close(fds_[1]);
      fds_[1] = -1;
    }
  }

  int fds_[2] = {-1, -1};
};

struct ProcessOptions {
  // As root, the child drops to kUnprivilegedUser before exec.
  bool unprivileged = false;
  const StartGate* gate = nullptr;
  // When positive: the largest file the child may write, in bytes, as on a
  // full disk. Writing past it fails with EFBIG (SIGXFSZ is ignored).
  rlim_t fileSizeLimit = 0;
};

class ChildProcess {
 public:
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
               const std::filesystem::path& workingDirectory, ProcessOptions options = {})
      : program_(program), output_(std::make_unique<TempDir>()) {
    std::vector<std::string> argvText = {program};
    argvText.insert(argvText.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : argvText) {
      argv.push_back(text.data());
    }
    argv.push_back(nullptr);
    const std::filesystem::path outPath = *output_ / "out";
    const std::filesystem::path errPath = *output_ / "err";

    pid_ = ::fork();
    if (pid_ < 0) {
      throw std::runtime_error("cannot start " + program);
    }
    if (pid_ == 0) {
      const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int in = ::open("/dev/null", O_RDONLY);
      if (out < 0 || err < 0 || in < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 ||
          ::chdir(workingDirectory.c_str()) != 0) {
        ::_exit(127);
      }
      if (options.unprivileged) {
        LeaveRootInChild();
      }
      const rlimit fileSize{options.fileSizeLimit, options.fileSizeLimit};
      if (options.fileSizeLimit > 0 &&
          (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &fileSize))) {
        ::_exit(127);
      }
      if (options.gate != nullptr) {
        options.gate->WaitInChild();
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
            ReadFile(*output_ / "out"), ReadFile(*output_ / "err")};
  }

 private:
  std::string program_;
  std::unique_ptr<TempDir> output_;
  pid_t pid_ = -1;
};

inline ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& arguments,
                                const std::filesystem::path& workingDirectory, ProcessOptions options = {}) {
  ChildProcess child(program, arguments, workingDirectory, options);
  return child.Wait(std::chrono::steady_clock::now() + std::chrono::seconds(90));
}

}  // namespace tavorin::testing
