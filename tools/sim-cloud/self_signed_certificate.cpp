#include "tools/sim-cloud/self_signed_certificate.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavorin::sim {
namespace {

class SpawnFileActions {
 public:
  SpawnFileActions() { posix_spawn_file_actions_init(&actions_); }
  ~SpawnFileActions() { posix_spawn_file_actions_destroy(&actions_); }
  SpawnFileActions(const SpawnFileActions&) = delete;
  SpawnFileActions& operator=(const SpawnFileActions&) = delete;

  [[nodiscard]] posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_{};
};

std::string ReadWhole(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// Runs a program with the given arguments, its output going to logFile, and
// returns its exit status (-1 if it did not exit normally).
int Run(std::vector<std::string> arguments, const std::filesystem::path& logFile) {
  std::vector<char*> argv;
  for (std::string& argument : arguments) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);

  SpawnFileActions actions;
  posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO, logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(actions.get(), STDOUT_FILENO, STDERR_FILENO);

  pid_t child = 0;
  if (const int error = posix_spawnp(&child, argv[0], actions.get(), nullptr, argv.data(), environ); error != 0) {
    throw std::runtime_error("cannot run " + arguments[0] + ": " + std::strerror(error));
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      throw std::runtime_error("cannot wait for " + arguments[0] + ": " + std::strerror(errno));
    }
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TlsFiles GenerateSelfSignedCertificate(const std::filesystem::path& directory) {
  const TlsFiles files{directory / "cert.pem", directory / "key.pem"};
  const std::filesystem::path log = directory / "openssl.log";
  const int status = Run(
      {"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
       "subjectAltName=IP:127.0.0.1", "-keyout", files.privateKey.string(), "-out", files.certificate.string()},
      log);
  if (status != 0 || !std::filesystem::exists(files.certificate) || !std::filesystem::exists(files.privateKey)) {
    throw std::runtime_error("openssl could not create a certificate in " + directory.string() + " (exit status " +
                             std::to_string(status) + "): " + ReadWhole(log));
  }
  std::error_code ignored;
  std::filesystem::remove(log, ignored);
  return files;
}

}  // namespace tavorin::sim
