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
constexpr perms kReadWriteForAll =
    kOwnerReadWrite | perms::group_read | perms::group_write | perms::others_read | perms::others_write;

// The owner's group is kept too, and the group's bits with it, so that a
// folder shared with a group keeps working; others never get credentials. No
// descriptor stays open after a replacement.
TEST(ReplaceFileTest, ModesAndGroupFollowTheOldFileAndTheAccess) {
  const testing::TempDir dir;
  const std::filesystem::path file = dir / "tokens.txt";
  constexpr gid_t kOtherGroup = 65534;
  struct {
    FileAccess access;
    std::optional<perms> existing;  // none: the file is absent
    perms expected;
  } const cases[] = {
      {FileAccess::Shared, kOwnerReadWrite | perms::group_all, kOwnerReadWrite | perms::group_all},
      {FileAccess::Shared, std::nullopt, kOwnerReadWrite | perms::group_read},
      {FileAccess::OwnerOnly, std::nullopt, kOwnerReadWrite},
      {FileAccess::OwnerOnly, kOwnerReadWrite | perms::group_read | perms::group_write | perms::others_read,
       kOwnerReadWrite | perms::group_read | perms::group_write},
  };
  const GuardedFile guarded(file, 0ms);
  const auto openFiles = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
  const auto filesBefore = openFiles();
  const mode_t previousMask = ::umask(027);
  for (const auto& replacement : cases) {
    std::filesystem::remove(file);
    if (replacement.existing) {
      WriteFile(file, "old\r\n");
      std::filesystem::permissions(file, *replacement.existing);
      ASSERT_EQ(::chown(file.c_str(), static_cast<uid_t>(-1), kOtherGroup), 0);
    }
    ReplaceFile(guarded.Lock(), "new\r\n", replacement.access);
    EXPECT_EQ(ReadFile(file), "new\r\n");
    struct stat replaced {};
    ASSERT_EQ(::stat(file.c_str(), &replaced), 0);
    EXPECT_EQ(static_cast<perms>(replaced.st_mode) & perms::all, replacement.expected)
        << static_cast<int>(replacement.existing.value_or(perms::none));
    EXPECT_EQ(replaced.st_gid, replacement.existing ? kOtherGroup : ::getegid());
  }
  // In a folder its group may write, what is made there is the group's too,
  // whatever the umask: the log, the locks and a replaced file.
  std::filesystem::permissions(dir.path(), perms::group_all, std::filesystem::perm_options::add);
  ::umask(077);
  GuardedFile(dir / "Tavorin.log", 0ms).AppendLine("a\r\n");
  ReplaceFile(GuardedFile(dir / "report", 0ms).Lock(), "r\r\n", FileAccess::Shared);
  for (const char* made : {"Tavorin.log", "Tavorin.log.lock", "report", "report.lock"}) {
    EXPECT_EQ(std::filesystem::status(dir / made).permissions() & perms::all,
              kOwnerReadWrite | perms::group_read | perms::group_write)
        << made;
  }
  ::umask(previousMask);
  EXPECT_EQ(openFiles(), filesBefore) << "a descriptor is left open, which a window's clicks would pile up";
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
  bool append;         // AppendLine rather than a replacement
  const char* keptAs;  // the replacement's text is kept when it cannot be moved
  const char* after = "old\r\n";
  const char* kept = "";  // what the temporary file holds afterwards: none where empty
  // Instead of a failing call: another user's file, in a folder where only a
  // file's owner may replace it, which is refused before anything is made.
  bool otherUser = false;
  // For a failing write: the largest file there may be, and what the error
  // says beyond the file's name.
  rlim_t fileSize = 5;
  const char* says = "";
};

class FileFaultTest : public ::testing::TestWithParam<FaultCase> {};

// In the child, with a working directory where no file can be made, so that a
// temporary file must go beside the one it replaces. Exits 0 when the
// operation fails naming the file, and prints what it said.
[[noreturn]] void FailIn(const FaultCase& fault, const std::filesystem::path& file) {
  if (::chdir("/proc") != 0) {
    std::_Exit(127);
  }
  // Writes fail through a file-size limit that the old content has reached, as
  // on a full disk: the sanitizers write to pipes of their own.
  rlimit full{};
  ::getrlimit(RLIMIT_FSIZE, &full);
  const rlim_t most = full.rlim_cur;
  full.rlim_cur = fault.fileSize;
  if (fault.otherUser) {
    std::filesystem::permissions(file.parent_path(), perms::all | perms::sticky_bit);
    std::filesystem::permissions(file, kReadWriteForAll);
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
      std::_Exit(127);
    }
  } else if (fault.call != SYS_write) {
    FailSystemCall(fault.call, fault.error);
  } else if (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &full) != 0) {
    std::_Exit(127);
  }
  try {
    const GuardedFile guarded(file, 0ms);
    if (fault.append) {
      guarded.AppendLine("newer\r\n");
    } else {
      PendingReplacement(guarded.Lock(), FileAccess::Shared, 0, fault.keptAs).Commit("newer\r\n");
    }
  } catch (const std::exception& error) {
    // The death test's stderr is a file too.
    full.rlim_cur = most;
    ::setrlimit(RLIMIT_FSIZE, &full);
    std::fputs(error.what(), stderr);
    std::_Exit(std::string(error.what()).find(file.string()) != std::string::npos ? 0 : 2);
  }
  std::_Exit(1);
}

TEST_P(FileFaultTest, FailsNamingTheFileAndKeepsOnlyWhatMustBeKept) {
  if (GetParam().otherUser && ::geteuid() != 0) {
    GTEST_SKIP() << "another user is for root to become";
  }
  const testing::TempDir dir;
  const std::filesystem::path file = dir / "tokens.txt";
  WriteFile(file, "old\r\n");
  EXPECT_EXIT(FailIn(GetParam(), file), ::testing::ExitedWithCode(0), GetParam().says);
  EXPECT_EQ(ReadFile(file), GetParam().after);
  const std::filesystem::path temporary = TemporaryPathOf(file);
  EXPECT_EQ(std::filesystem::exists(temporary) ? ReadFile(temporary) : "", GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, FileFaultTest,
    ::testing::Values(FaultCase{"Write", SYS_write, EFBIG, false, ""},
                      FaultCase{"Permissions", SYS_fchmod, EPERM, false, ""},
                      FaultCase{"Flush", SYS_fsync, EIO, false, ""}, FaultCase{"Close", SYS_close, EIO, false, ""},
                      FaultCase{"Rename", SYS_rename, EXDEV, false, ""},
                      FaultCase{"Lock", SYS_flock, ENOLCK, false, ""},
                      FaultCase{"RenameOfAKeptText", SYS_rename, EXDEV, false, "the pair", "old\r\n", "newer\r\n"},
                      FaultCase{"AnotherUsersFileInAStickyFolder", 0, 0, false, "the pair", "old\r\n", "", true},
                      FaultCase{"WriteOfAKeptText", SYS_write, EFBIG, false, "the pair", "old\r\n", "", false, 5,
                                "the pair could not be written to any file: .* these lines:\nnewer"},
                      FaultCase{"AppendWrite", SYS_write, EFBIG, true, ""},
                      FaultCase{"AppendWrittenInPartIsTakenBack", SYS_write, EFBIG, true, "", "old\r\n", "", false, 8},
                      FaultCase{"AppendClose", SYS_close, EIO, true, "", "old\r\nnewer\r\n"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(AppendLineTest, LineStartsOnALineOfItsOwnWhateverTheFileEndsWith) {
  const testing::TempDir dir;
  const GuardedFile log(dir / "Tavorin.log", 0ms);
  for (const std::string history : {"a\n", "a\r", "a", ""}) {
    WriteFile(dir / "Tavorin.log", history);
    log.AppendLine("b\r\n");
    EXPECT_EQ(ReadFile(dir / "Tavorin.log"), (history == "a" ? "a\r\n" : history) + "b\r\n") << history;
  }
}

// Two folders whose token file links to one file take turns on it: the lock
// lies beside the file the links lead to.
TEST(FileLockTest, HeldLockMakesOthersWaitInVainWhicheverLinkLeadsToIt) {
  const testing::TempDir dir;
  for (const char* folder : {"shared", "a", "b"}) {
    std::filesystem::create_directory(dir / folder);
  }
  WriteFile(dir / "shared/tokens.txt", "");
  std::filesystem::create_symlink("../shared/tokens.txt", dir / "a/tokens.txt");
  std::filesystem::create_symlink(dir / "shared/tokens.txt", dir / "b/tokens.txt");
  std::optional<FileLock> held(GuardedFile(dir / "a/tokens.txt", 0ms).Lock());
  EXPECT_EQ(held->Target(), dir / "shared/tokens.txt");
  const GuardedFile other(dir / "b/tokens.txt", 20ms);
  EXPECT_THROW(static_cast<void>(other.Lock()), std::runtime_error);
  held.reset();
  EXPECT_NO_THROW(static_cast<void>(other.Lock()));
  EXPECT_TRUE(std::filesystem::exists(dir / "shared/tokens.txt.lock"));
  // A link to a file yet to be made leads there too: the line makes it.
  std::filesystem::create_symlink("../shared/Tavorin.log", dir / "a/Tavorin.log");
  GuardedFile(dir / "a/Tavorin.log", 0ms).AppendLine("b\r\n");
  EXPECT_EQ(ReadFile(dir / "shared/Tavorin.log"), "b\r\n");
}

// A stop signal sent during a hold, to whichever thread, waits for its end,
// then ends the process as that signal does; outside a hold it ends the
// process at once, unless the process was started with it ignored. SIGPIPE
// never ends it.
TEST(StopRequestHoldTest, StopSignalWaitsForTheHoldWhateverThreadTakesIt) {
  struct {
    int signal;
    bool ignoredAtStart;
    bool held;
    bool ends;
  } const cases[] = {
      {SIGTERM, false, true, true},  {SIGINT, false, true, true},   {SIGHUP, false, true, true},
      {SIGQUIT, false, true, true},  {SIGTERM, false, false, true}, {SIGHUP, true, false, false},
      {SIGPIPE, false, true, false},
  };
  for (const auto& stop : cases) {
    const auto run = [&stop] {
      if (stop.ignoredAtStart) {
        ::signal(stop.signal, SIG_IGN);
      }
      InstallStopHandlers();
      {
        std::optional<StopRequestHold> hold;
        if (stop.held) {
          hold.emplace();
          std::thread([&stop] { ::raise(stop.signal); }).join();
        }
        ::raise(stop.signal);
        std::cerr << "held" << std::flush;
      }
      std::_Exit(0);
    };
    if (stop.ends) {
      EXPECT_EXIT(run(), ::testing::KilledBySignal(stop.signal), stop.held ? "held" : "") << stop.signal;
    } else {
      EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "") << stop.signal;
    }
  }
}

}  // namespace
}  // namespace tavorin::os
