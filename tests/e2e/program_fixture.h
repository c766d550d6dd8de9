#pragma once
// The real program, run as a process in a scratch working directory that holds
// a token pair, against the simulated cloud on the program's loopback port.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tools/sim-cloud/sim_cloud.h"

namespace tavorin {

using testing::ReadFile;
using testing::WriteFile;

inline constexpr const char* kInitialTokens = "at=at-1\r\nrt=rt-1\r\n";
inline constexpr const char* kHistory = "2026-01-01 00:00:00 DeviceId=1000c8441f Request= Result=1\r\n";
// Local date and time as the program writes it.
inline constexpr const char* kStamp = "[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}";

// The program under test: this build's own, or the Windows build of it,
// started through a launcher such as Wine by the command that the environment
// variable TAVORIN_E2E_PROGRAM names. Both reach the cloud on the same port.
inline std::string ProgramUnderTest() {
  const char* other = std::getenv("TAVORIN_E2E_PROGRAM");
  return other != nullptr && *other != '\0' ? other : TAVORIN_PROGRAM;
}

// Cases about POSIX file modes and the Qt window give way while the Windows
// program runs.
inline bool TestingTheWindowsProgram() {
  return ProgramUnderTest() != TAVORIN_PROGRAM;
}

inline std::string LinePattern(const std::string& rest) {
  return std::string(kStamp) + " " + rest + "\r\n";
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // As on a server: with arguments the program must run without a display.
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ::unsetenv("QT_QPA_PLATFORM");
    static_cast<void>(cloud.Start(TAVORIN_CLOUD_PORT));
    WriteFile(dir / "tokens.txt", kInitialTokens);
    WriteFile(dir / "Tavorin.log", kHistory);
  }

  void TearDown() override {
    // Modes a case took away would keep the scratch directory from going.
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add);
  }

  testing::ProcessResult Run(const std::vector<std::string>& arguments) {
    return testing::RunProcess(ProgramUnderTest(), arguments, dir.path());
  }

  // Runs a copy of the program that the unprivileged user can reach, without
  // root's privileges (as root), in the working directory after handing it to
  // that user, so that file modes apply as they do to anyone else.
  testing::ProcessResult RunUnprivileged(const std::vector<std::string>& arguments) {
    const testing::TempDir programDir;
    std::filesystem::copy_file(TAVORIN_PROGRAM, programDir / "tavorin");
    using std::filesystem::perms;
    std::filesystem::permissions(programDir.path(), perms::others_read | perms::others_exec,
                                 std::filesystem::perm_options::add);
    testing::GiveToUnprivilegedUser(dir.path());
    return testing::RunProcess(programDir / "tavorin", arguments, dir.path(), {.unprivileged = true});
  }

  void SetSwitch(const std::string& value) {
    sim::Device device = cloud.GetDevice();
    device.switchValue = value;
    cloud.SetDevice(device);
  }
  [[nodiscard]] std::string Log() const { return ReadFile(dir / "Tavorin.log"); }
  [[nodiscard]] std::string Tokens() const { return ReadFile(dir / "tokens.txt"); }
  [[nodiscard]] std::vector<std::string> PathsRequested() const {
    std::vector<std::string> paths;
    for (const sim::RecordedRequest& request : cloud.Requests()) {
      paths.push_back(request.path);
    }
    return paths;
  }

  sim::SimCloud cloud;
  testing::TempDir dir;
};

}  // namespace tavorin
