// The operating-system layer on POSIX: modes, a failure of any step of a file's
// replacement or append, made on demand in a child, and held stop signals.
#include "os/file_lock.h"
#include "os/replace_file.h"
#include "os/stop_hold.h"
#include "os/text_file.h"

#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

#include "tests/support/temp_dir.h"

namespace tavorin::os {
namespace {

using std::filesystem::perms;
using namespace std::chrono_literals;
using testing::ReadFile;
using testing::WriteFile;

constexpr perms kOwnerReadWrite = perms::owner_read | perms::owner_write;

TEST(ReplaceFileTest, ModesFollowTheAccess) {
  const testing::TempDir dir;
  const std::filesystem::path file = dir / "Tavorin.log";
  struct {
    FileAccess access;
    std::optional<perms> existing;  // none: the file is absent
    perms expected;
  } const cases[] = {
      {FileAccess::Shared, kOwnerReadWrite | perms::group_all, kOwnerReadWrite | perms::group_all},
      {FileAccess::Shared, std::nullopt, kOwnerReadWrite | perms::group_read},
      {FileAccess::OwnerOnly, std::nullopt, kOwnerReadWrite},
  };
  const FileLock lock(dir / "tokens.txt.lock", 0ms);
  const mode_t previousMask = ::umask(027);
  for (const auto& replacement : cases) {
    std::filesystem::remove(file);
    if (replacement.existing) {
      WriteFile(file, "old\r\n");
      std::filesystem::permissions(file, *replacement.existing);
    }
    ReplaceFile(lock, file, "new\r\n", replacement.access);
    EXPECT_EQ(ReadFile(file), "new\r\n");
    EXPECT_EQ(std::filesystem::status(file).permissions() & perms::all, replacement.expected)
        << static_cast<int>(replacement.existing.value_or(perms::none));
  }
  ::umask(previousMask);
}

// A killed run's temporary file, even a link put in its place, is made anew;
// the file it pointed to stays as it was.
TEST(ReplaceFileTest, LeftoverTemporaryIsMadeAnewWithoutFollowingALink) {
  const testing::TempDir dir;
  const std::filesystem::path tokens = dir / "tokens.txt";
  WriteFile(dir / "other.txt", "other\r\n");
  std::filesystem::create_symlink(dir / "other.txt", TemporaryPathOf(tokens));
  const FileLock lock(dir / "tokens.txt.lock", 0ms);
  PendingReplacement pending(lock, tokens, FileAccess::OwnerOnly, 4096);
  pending.Commit("at=A2\r\n");
  EXPECT_EQ(ReadFile(tokens), "at=A2\r\n") << "cut to its text";
  EXPECT_EQ(ReadFile(dir / "other.txt"), "other\r\n");
  EXPECT_THROW(pending.Commit("at=A3\r\n"), std::logic_error);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(TemporaryPathOf(tokens))));
  { PendingReplacement dropped(lock, tokens, FileAccess::OwnerOnly); }
  EXPECT_EQ(ReadFile(tokens), "at=A2\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3) << "no temporary is left";
}

// From here on in this process, the system call fails with error wherever its
// first argument is a path or a descriptor other than the standard streams.
void FailSystemCall(long call, int error) {
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<__u32>(call), 0, 3),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),
      BPF_JUMP(BPF_JMP | BPF_JGT | BPF_K, 2, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | static_cast<__u32>(error)),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  const sock_fprog program = {static_cast<unsigned short>(std::size(filter)), filter};
  if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
    std::_Exit(127);
  }
}

struct FaultCase {
  const char* name;
  long call;
  int error;
  bool append;          // AppendLine rather than ReplaceFile
  const char* message;  // @ stands for the file
  const char* after = "old\r\n";
};

class FileFaultTest : public ::testing::TestWithParam<FaultCase> {};

// In the child, with a working directory where no file can be made, so that a
// temporary file must go beside the one it replaces. Exits 0 when the
// operation fails with the message expected, and prints the one it got.
[[noreturn]] void FailIn(const FaultCase& fault, const std::filesystem::path& file, const std::string& expected) {
  if (::chdir("/proc") != 0) {
    std::_Exit(127);
  }
  // Writes fail through a file-size limit that the old content has reached, as
  // on a full disk: the sanitizers write to pipes of their own.
  const rlimit full{5, 5};
  if (fault.call != SYS_write) {
    FailSystemCall(fault.call, fault.error);
  } else if (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &full) != 0) {
    std::_Exit(127);
  }
  try {
    const FileLock lock(file.string() + ".lock", 0ms);
    fault.append ? AppendLine(file, "newer\r\n") : ReplaceFile(lock, file, "newer\r\n", FileAccess::Shared);
  } catch (const std::system_error& error) {
    std::puts(error.what());
    std::_Exit(error.what() == expected ? 0 : 2);
  }
  std::_Exit(1);
}

TEST_P(FileFaultTest, FailsNamingTheFileAndLeavesNoTemporary) {
  const testing::TempDir dir;
  const std::filesystem::path file = dir / "tokens.txt";
  WriteFile(file, "old\r\n");
  std::string message = GetParam().message;
  message.replace(message.find('@'), 1, file.string());
  EXPECT_EXIT(FailIn(GetParam(), file, message), ::testing::ExitedWithCode(0), "") << message;
  EXPECT_EQ(ReadFile(file), GetParam().after);
  EXPECT_FALSE(std::filesystem::exists(TemporaryPathOf(file)));
}

INSTANTIATE_TEST_SUITE_P(
    Calls, FileFaultTest,
    ::testing::Values(
        FaultCase{"Write", SYS_write, EFBIG, false, "cannot write @: File too large"},
        FaultCase{"Permissions", SYS_fchmod, EPERM, false, "cannot set permissions on @: Operation not permitted"},
        FaultCase{"Flush", SYS_fsync, EIO, false, "cannot write @: Input/output error"},
        FaultCase{"Close", SYS_close, EIO, false, "cannot write @: Input/output error"},
        FaultCase{"Rename", SYS_rename, EXDEV, false, "cannot replace @: Invalid cross-device link"},
        FaultCase{"Lock", SYS_flock, ENOLCK, false, "cannot lock @.lock: No locks available"},
        FaultCase{"AppendWrite", SYS_write, EFBIG, true, "cannot write @: File too large"},
        FaultCase{"AppendClose", SYS_close, EIO, true, "cannot write @: Input/output error", "old\r\nnewer\r\n"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(AppendLineTest, LineStartsOnALineOfItsOwnWhateverTheFileEndsWith) {
  const testing::TempDir dir;
  for (const std::string history : {"a\n", "a\r", "a", ""}) {
    WriteFile(dir / "Tavorin.log", history);
    AppendLine(dir / "Tavorin.log", "b\r\n");
    EXPECT_EQ(ReadFile(dir / "Tavorin.log"), (history == "a" ? "a\r\n" : history) + "b\r\n") << history;
  }
}

TEST(FileLockTest, HeldLockMakesOthersWaitInVainAndGoesWithItsOwner) {
  const testing::TempDir dir;
  std::optional<FileLock> held(std::in_place, dir / "tokens.txt.lock", 0ms);
  EXPECT_THROW(FileLock(dir / "tokens.txt.lock", 20ms), std::runtime_error);
  held.reset();
  EXPECT_NO_THROW(FileLock(dir / "tokens.txt.lock", 0ms));
}

// A stop signal sent during a hold, to whichever thread, waits for its end,
// then ends the process as that signal does; outside a hold it ends the
// process at once, unless the process was started with it ignored.
TEST(StopRequestHoldTest, StopSignalWaitsForTheHoldWhateverThreadTakesIt) {
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    EXPECT_EXIT(
        {
          InstallStopHandlers();
          {
            const StopRequestHold hold;
            std::thread([signal] { ::raise(signal); }).join();
            ::raise(signal);
            std::cerr << "held" << std::flush;
          }
          std::_Exit(0);
        },
        ::testing::KilledBySignal(signal), "held");
  }
  EXPECT_EXIT(
      {
        InstallStopHandlers();
        ::raise(SIGTERM);
        std::_Exit(0);
      },
      ::testing::KilledBySignal(SIGTERM), "");
  EXPECT_EXIT(
      {
        ::signal(SIGHUP, SIG_IGN);
        InstallStopHandlers();
        ::raise(SIGHUP);
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tavorin::os
