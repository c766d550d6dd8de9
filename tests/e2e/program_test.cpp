// The real program in a scratch directory against the simulated cloud: exit
// statuses, messages, requests and files, for runs alone, at once and stopped.
// What the switch operation decides on the cloud's answers, its unit table
// checks; these cases check what only a whole run shows.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tools/sim-cloud/self_signed_certificate.h"
#include "tools/sim-cloud/sim_cloud.h"

namespace tavorin {
namespace {

using testing::ReadFile;
using testing::WriteFile;

constexpr const char* kInitialTokens = testing::kFirstPair;
constexpr const char* kHistory = "2026-01-01 00:00:00 DeviceId=1000c8441f Request= Result=1\r\n";
// Local date and time as the program writes it.
constexpr const char* kStamp = "[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}";

std::string FromEnvironment(const char* name, const std::string& otherwise = "") {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : otherwise;
}
// This build's program, or the one that the command TAVORIN_E2E_PROGRAM names
// starts: the Windows build through a launcher such as Wine, or a POSIX build
// for another processor, which the command TAVORIN_E2E_EMULATOR names runs
// (qemu); every case applies to the latter.
const std::string kProgram = FromEnvironment("TAVORIN_E2E_PROGRAM", TAVORIN_PROGRAM);
const std::string kEmulator = FromEnvironment("TAVORIN_E2E_EMULATOR");
const bool kWindowsProgram = kProgram != TAVORIN_PROGRAM && kEmulator.empty();

// What starts program with arguments: the emulator, where one is given.
using Command = std::pair<std::string, std::vector<std::string>>;
Command Started(const std::string& program, std::vector<std::string> arguments,
                const std::string& emulator = kEmulator) {
  if (!emulator.empty()) {
    arguments.insert(arguments.begin(), program);
  }
  return {emulator.empty() ? program : emulator, std::move(arguments)};
}

std::string LinePattern(const std::string& rest) {
  return std::string(kStamp) + " " + rest + "\r\n";
}

// Sets or clears the append-only flag, as root may.
void SetAppendOnly(const std::filesystem::path& path, bool on) {
  static_cast<void>(std::system(("chattr " + std::string(on ? "+a '" : "-a '") + path.string() + "'").c_str()));
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // As for a user who keeps files to themselves: the program must still make
    // what others who share the folder need.
    ::umask(077);
    // The cloud is on loopback: no proxy between, whatever the test's environment sets.
    ::setenv("no_proxy", "127.0.0.1", 1);
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
    const auto [command, argv] = Started(kProgram, arguments);
    return testing::RunProcess(command, argv, dir.path());
  }

  // As root, runs a copy of the program (and of its emulator, where one is
  // given) as the unprivileged user, who gets the working directory, so that
  // file modes bind it as they bind anyone.
  // A file that othersFile names stays root's: another user's.
  testing::ProcessResult RunUnprivileged(const std::vector<std::string>& arguments, rlim_t fileSizeLimit = 0,
                                         const char* othersFile = nullptr) {
    const testing::TempDir programDir;
    std::filesystem::copy_file(kProgram, programDir / "tavorin");
    const std::string emulator = kEmulator.empty() ? "" : (programDir / "emulator").string();
    if (!emulator.empty()) {
      std::filesystem::copy_file(kEmulator, emulator);
    }
    using std::filesystem::perms;
    std::filesystem::permissions(programDir.path(), perms::others_read | perms::others_exec,
                                 std::filesystem::perm_options::add);
    testing::GiveToUnprivilegedUser(dir.path());
    if (othersFile != nullptr && ::lchown((dir / othersFile).c_str(), 0, 0) != 0) {
      throw std::runtime_error("cannot give back " + std::string(othersFile));
    }
    const auto [command, argv] = Started(programDir / "tavorin", arguments, emulator);
    return testing::RunProcess(command, argv, dir.path(), {.unprivileged = true, .fileSizeLimit = fileSizeLimit});
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

using std::filesystem::perms;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using Args = std::vector<std::string>;
using Dir = const std::filesystem::path&;
using enum sim::Fault;

constexpr const char* kStatus = "/v2/device/thing";
constexpr const char* kSet = "/v2/device/thing/status";
constexpr const char* kRefresh = "/v2/user/refresh";
const Args kSetAndRead = {kStatus, kSet, kStatus};
const Args kOn = {"1000c8441f", "on"};
const Args kInfo = {"1000c8441f", "info"};
constexpr const char* kNewPair = testing::kSecondPair;
constexpr std::size_t kLargestAnswer = std::size_t{64} * 1024 * 1024;
const std::string kNulInToken("at=a\0t\r\nrt=rt-1\r\n", 17);
const std::string kHost = "request to 127.0.0.1:" + std::to_string(TAVORIN_CLOUD_PORT) + " failed: ";

void Remove(const std::filesystem::path& path, perms mode) {
  std::filesystem::permissions(path, mode, std::filesystem::perm_options::remove);
}
constexpr perms kWrite = perms::owner_write | perms::group_write | perms::others_write;
constexpr perms kRead = perms::owner_read | perms::group_read | perms::others_read;
constexpr perms kOwnerReadWrite = perms::owner_read | perms::owner_write;

// An hour older than it is, as a file written before a later one.
void Age(const std::filesystem::path& path) {
  std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) - std::chrono::hours(1));
}
// 2 MiB that take no disk, under the token file's temporary name.
const std::string kSparse(std::size_t{2} << 20, '\0');
void Sparse(Dir dir) {
  WriteFile(dir / ".tokens.txt.tavorin-new", "");
  std::filesystem::resize_file(dir / ".tokens.txt.tavorin-new", kSparse.size());
}

struct RunCase {
  const char* name;
  Args args = {"1000c8441f"};
  // The activity line after its time stamp and before the result, where it is
  // not "DeviceId=<first argument> Request=<second argument>".
  std::string activity = "";
  sim::Behaviour cloud = {};
  bool expired = false;
  bool down = false;
  // The working directory, beyond the token pair and one line of history; the
  // request from whose arrival on the token file is append-only (chattr +a);
  // whether another run holds the token file's lock meanwhile; and the largest
  // file the run may write (0: any), as on a full disk.
  void (*arrange)(Dir) = nullptr;
  const char* appendOnlyFrom = nullptr;
  bool tokensLocked = false;
  rlim_t fileSize = 0;
  // A file the arrangement made that stays another user's.
  const char* othersFile = nullptr;
  // The outcome: a message (a part of it, after "Tavorin: ") means exit status
  // 2 with the history kept; else the exit status, for 5 and 10 the reason
  // that stderr gives, and one activity line more.
  int exit = 0;
  std::string reason = "";
  std::string message = "";
  Args paths = {kStatus};
  std::string tokens = kInitialTokens;
  // What the token file's temporary holds afterwards, and the file where a
  // kept pair is set aside: none where empty.
  std::string kept = "";
  std::string aside = "";
  // Whether the case holds for the Windows program too, to which Wine applies
  // no POSIX users or modes but read-only files.
  bool windows = true;
  std::string windowsMessage = message;
};

void PrintTo(const RunCase& run, std::ostream* out) {
  *out << run.name;
}

class RunTest : public ProgramTest, public ::testing::WithParamInterface<RunCase> {};

// Without root's privileges, so that file modes hold as they do for anyone.
TEST_P(RunTest, EndsAsTheCaseSaysKeepingHistoryAndTokens) {
  const RunCase& run = GetParam();
  const bool windows = kWindowsProgram;
  if (windows && !run.windows) {
    GTEST_SKIP() << "POSIX arguments, file modes and users, which the Windows program does not meet";
  }
  sim::Behaviour behaviour = run.cloud;
  behaviour.observer = [&run, this](const sim::RecordedRequest& request) {
    if (run.appendOnlyFrom != nullptr && request.path == run.appendOnlyFrom) {
      SetAppendOnly(dir / "tokens.txt", true);
    }
  };
  cloud.SetBehaviour(behaviour);
  if (run.expired) {
    cloud.ExpireAccessToken();
  }
  if (run.down) {
    cloud.Stop();
  }
  if (run.arrange != nullptr) {
    run.arrange(dir.path());
  }
  const bool linked = std::filesystem::is_symlink(dir / "tokens.txt");
  const int lock = run.tokensLocked ? ::open((dir / "tokens.txt.lock").c_str(), O_RDONLY | O_CREAT, 0644) : -1;
  ASSERT_TRUE(!run.tokensLocked || ::flock(lock, LOCK_EX) == 0);

  const testing::ProcessResult result =
      windows ? Run(run.args) : RunUnprivileged(run.args, run.fileSize, run.othersFile);

  if (lock >= 0) {
    ::close(lock);
  }
  if (run.appendOnlyFrom != nullptr) {
    SetAppendOnly(dir / "tokens.txt", false);
  }
  EXPECT_EQ(result.exitStatus, run.message.empty() ? run.exit : 2) << result.err;
  // The owner may always read back what was written, whatever the mode left.
  const std::filesystem::path log = dir / "Tavorin.log";
  const bool plainLog = !std::filesystem::is_symlink(log) && std::filesystem::is_regular_file(log);
  if (plainLog) {
    std::filesystem::permissions(log, perms::owner_read, std::filesystem::perm_options::add);
  }
  if (!run.message.empty()) {
    EXPECT_THAT(result.err, ::testing::StartsWith("Tavorin: "));
    EXPECT_THAT(result.err, HasSubstr(windows ? run.windowsMessage : run.message));
    EXPECT_TRUE(!plainLog || Log() == kHistory) << Log();
  } else if (std::filesystem::is_character_file(log)) {
    EXPECT_EQ(Log(), "") << "the null device takes the line";
  } else {
    const std::string activity = !run.activity.empty() ? run.activity
                                 : run.args.size() > 1 ? "DeviceId=" + run.args[0] + " Request=" + run.args[1]
                                                       : "DeviceId=" + run.args[0] + " Request=";
    using Text = ::testing::Matcher<const std::string&>;
    EXPECT_THAT(result.err, run.reason.empty() ? Text(::testing::IsEmpty()) : HasSubstr("Tavorin: " + run.reason));
    EXPECT_THAT(Log(), MatchesRegex(kHistory + LinePattern(activity + " Result=" + std::to_string(run.exit))));
  }
  if (!windows && run.tokens == kNewPair) {
    // The new pair is its owner's alone; anyone who shares it may lock it.
    EXPECT_EQ(std::filesystem::status(dir / "tokens.txt").permissions() & perms::all, kOwnerReadWrite);
    const std::string lockFile = std::filesystem::canonical(dir / "tokens.txt").string() + ".lock";
    EXPECT_EQ(std::filesystem::status(lockFile).permissions() & perms::all, kOwnerReadWrite | kRead);
  }
  EXPECT_EQ(std::filesystem::is_symlink(dir / "tokens.txt"), linked) << "a link stays a link";
  if (std::filesystem::is_regular_file(dir / "tokens.txt")) {
    std::filesystem::permissions(dir / "tokens.txt", perms::owner_read, std::filesystem::perm_options::add);
    EXPECT_EQ(Tokens(), run.tokens);
  }
  EXPECT_EQ(PathsRequested(), run.paths);
  const std::filesystem::path temporary = dir / ".tokens.txt.tavorin-new";
  const std::filesystem::path aside = dir / ".tokens.txt.tavorin-old";
  EXPECT_EQ(std::filesystem::exists(temporary) ? ReadFile(temporary) : "", run.kept);
  EXPECT_EQ(std::filesystem::exists(aside) ? ReadFile(aside) : "", run.aside);
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    EXPECT_TRUE(!entry.path().filename().string().starts_with(".") || entry.path() == temporary ||
                entry.path() == aside)
        << "a temporary is left: " << entry.path();
  }
}

// One case to a line, or to a few where it would be longer.
// clang-format off
const RunCase kRuns[] = {
    {.name = "RedirectNotFollowed", .cloud = {.fault = Redirect}, .exit = 5, .reason = "not done: the cloud's status"},
    // The whole road of a set: refresh, set, confirm.
    {.name = "SetAfterRefreshInLowerCase", .args = {"1000c8441f", "ON"}, .expired = true, .exit = 1,
     .paths = {kStatus, kRefresh, kStatus, kSet, kStatus}, .tokens = kNewPair},
    {.name = "ExtraWordsIgnored", .args = {"1000c8441f", "off", "x y"}, .cloud = {.switchValue = "on"},
     .paths = kSetAndRead},
    {.name = "UnknownDeviceSaysWhy", .args = {"1000c8441X"}, .exit = 10,
     .reason = R"(offline: the device is offline, or the cloud does not know this device ID (error 405)"},
    {.name = "RefusedSetSaysWhy", .args = {"1000c8441f", "dim"}, .exit = 5,
     .reason = R"(not done: the cloud did not acknowledge the set (error 400, "params incorrect"))",
     .paths = {kStatus, kSet}},
    {.name = "RefusedRefreshTokenSaysWhatToDo", .expired = true,
     .arrange = [](Dir dir) { WriteFile(dir / "tokens.txt", "at=at-1\r\nrt=old\r\n"); }, .exit = 5,
     .reason = R"(not done: the cloud refused the refresh token (error 401, "refresh token invalid"): put a new )"
               "token pair in tokens.txt",
     .paths = {kStatus, kRefresh}, .tokens = "at=at-1\r\nrt=old\r\n"},
    {.name = "UnknownOptionIsRefused", .args = {"-V"}, .message = "unknown option -V", .paths = {}},
    // The Windows program takes its raw command line, which the launcher
    // quotes: these arguments only exist on POSIX.
    {.name = "EmptyArgumentQueries", .args = {"1000c8441f", "", "off"}, .cloud = {.switchValue = "on"}, .exit = 1,
     .windows = false},
    {.name = "LeadingBlankMakesTheIdTheRequest", .args = {"", "1000c8441f"}, .exit = 10, .reason = "offline",
     .windows = false},
    {.name = "ArgumentWithABlankIsASet", .args = {"1000c8441f off"}, .activity = "DeviceId=1000c8441f Request=off",
     .cloud = {.switchValue = "on"}, .paths = kSetAndRead, .windows = false},
    {.name = "LineBreaksInAnArgumentStayInItsLine", .args = {"1000c8441f", "x\r\nDeviceId=y"},
     .activity = R"(DeviceId=1000c8441f Request=x\\x0d\\x0aDeviceId=y)", .exit = 5,
     .reason = "not done: the cloud did not acknowledge",
     .paths = {kStatus, kSet}, .windows = false},
    {.name = "OptionAsTheRequestWordIsRefused", .args = {"1000c8441f", "--help"}, .message = "unknown option --help",
     .paths = {}},
    {.name = "AccessTokenWrittenWithEscapesIsSentDecoded", .cloud = {.slashInAccessToken = true}, .expired = true,
     .paths = {kStatus, kRefresh, kStatus}, .tokens = "at=at\\/2\r\nrt=rt-2\r\n"},

    // Either client takes the largest answer, refuses one byte more, and
    // refuses a token that a token file may hold but a header cannot carry.
    {.name = "AnswerOf64MiBIsTaken", .cloud = {.statusPaddedTo = kLargestAnswer}},
    {.name = "AnswerBeyond64MiBIsRefused", .cloud = {.statusPaddedTo = kLargestAnswer + 1},
     .message = kHost + "response larger than 64 MiB"},
    {.name = "TokenHoldingANulIsRefusedBeforeSending", .arrange = [](Dir dir) { WriteFile(dir / "tokens.txt", kNulInToken); },
     .message = "invalid HTTP header Authorization", .paths = {}, .tokens = kNulInToken},
    {.name = "ConnectionRefused", .down = true, .message = kHost + "Failed to connect", .paths = {},
     .windowsMessage = kHost + "cannot connect to the server (WinHTTP error 12029)"},
    {.name = "StallPastTheTimeout", .cloud = {.fault = Stall}, .message = kHost + "Operation timed out",
     .windowsMessage = kHost + "the operation timed out (WinHTTP error 12002)"},

    {.name = "TokenFileMissing", .arrange = [](Dir dir) { std::filesystem::remove(dir / "tokens.txt"); },
     .message = "cannot open tokens.txt: No such file or directory", .paths = {}},
    // Special files are refused at once, never waited on.
    {.name = "TokenFileIsAFifo", .arrange = [](Dir dir) {
       std::filesystem::remove(dir / "tokens.txt");
       ::mkfifo((dir / "tokens.txt").c_str(), 0600);
     },
     .message = "cannot open tokens.txt: it is a FIFO, not a regular file", .paths = {}, .windows = false},
    {.name = "TokenFileLinkedToADevice", .arrange = [](Dir dir) {
       std::filesystem::remove(dir / "tokens.txt");
       std::filesystem::create_symlink("/dev/zero", dir / "tokens.txt");
     },
     .message = "cannot open tokens.txt: it is a device, not a regular file", .paths = {}, .windows = false},
    {.name = "LinkedLockFileIsRefused", .expired = true,
     .arrange = [](Dir dir) { std::filesystem::create_symlink(dir / "elsewhere", dir / "tokens.txt.lock"); },
     .message = "cannot open the lock file tokens.txt.lock: it is a symbolic link", .windows = false},
    // Links are written through as the system follows them, ".." after a
    // folder's link too: the target is replaced, beside it.
    {.name = "LinkedTokenFileIsReplacedWhereItPoints", .expired = true, .arrange = [](Dir dir) {
       std::filesystem::create_directories(dir / "shared/down");
       std::filesystem::create_directory(dir / "shared/keys");
       std::filesystem::rename(dir / "tokens.txt", dir / "shared/keys/tokens.txt");
       std::filesystem::create_directory_symlink("shared/down", dir / "down");
       std::filesystem::create_symlink("down/../keys/tokens.txt", dir / "tokens.txt");
     },
     .paths = {kStatus, kRefresh, kStatus}, .tokens = kNewPair, .windows = false},
    // In a folder others may write, another user's link is never followed.
    {.name = "AnotherUsersLinkInASharedFolderIsRefused", .arrange = [](Dir dir) {
       std::filesystem::permissions(dir, perms::group_write, std::filesystem::perm_options::add);
       std::filesystem::remove(dir / "Tavorin.log");
       std::filesystem::create_symlink("elsewhere.log", dir / "Tavorin.log");
     },
     .othersFile = "Tavorin.log", .message = "cannot open Tavorin.log: it leads through a link of another user's",
     .paths = {}, .windows = false},
    {.name = "ReadOnlyDirectoryStillAnswers", .arrange = [](Dir dir) { Remove(dir, kWrite); }, .windows = false},
    {.name = "ReadOnlyDirectoryRefusesTheRefreshBeforeAsking", .expired = true,
     .arrange = [](Dir dir) { Remove(dir, kWrite); },
     .message = "cannot open the lock file tokens.txt.lock: Permission denied", .windows = false},
    {.name = "ReadOnlyTokenFileRefusesTheRefreshBeforeAsking", .expired = true,
     .arrange = [](Dir dir) { Remove(dir / "tokens.txt", kWrite); },
     .message = "cannot write tokens.txt: Permission denied",
     .windowsMessage = "cannot write tokens.txt: Access denied (5)"},
    {.name = "AppendOnlyTokenFileRefusesTheRefreshBeforeAsking", .expired = true,
     .appendOnlyFrom = kStatus, .message = "cannot replace tokens.txt: it is append-only", .windows = false},
    // A pair that a killed run left before its move (and before the room it
    // reserved was cut off) goes in before anything is sent; one that a token
    // file written since by hand outdates is set aside. Neither is removed.
    {.name = "KilledRunsPairGoesInFirst", .arrange = [](Dir dir) {
       WriteFile(dir / ".tokens.txt.tavorin-new", kInitialTokens + std::string(4000, ' '));
       WriteFile(dir / "tokens.txt", "at=at-0\r\nrt=rt-0\r\n");
       Age(dir / "tokens.txt");
     }},
    {.name = "HandWrittenPairOutdatesAKeptOne", .arrange = [](Dir dir) {
       WriteFile(dir / ".tokens.txt.tavorin-new", "at=at-0\r\nrt=rt-0\r\n");
       Age(dir / ".tokens.txt.tavorin-new");
     },
     .reason = "tokens.txt was written after an earlier run kept a token pair it could not save; that pair is now in "
               ".tokens.txt.tavorin-old", .aside = "at=at-0\r\nrt=rt-0\r\n"},
    // Another user's file there may be their pair: never removed, never read.
    {.name = "AnotherUsersLeftoverStays", .expired = true, .arrange = [](Dir dir) { Sparse(dir); },
     .othersFile = ".tokens.txt.tavorin-new",
     .message = "cannot replace tokens.txt: .tokens.txt.tavorin-new belongs to another user", .kept = kSparse,
     .windows = false},
    {.name = "OversizedKeptFileIsRefusedNamingIt", .arrange = [](Dir dir) { Sparse(dir); },
     .message = "cannot read .tokens.txt.tavorin-new: it holds more than 1048576 bytes", .paths = {},
     .kept = kSparse},
    {.name = "FullDiskRefusesTheRefreshBeforeAsking", .expired = true, .fileSize = 1024,
     .message = "cannot reserve disk space for tokens.txt", .windows = false},
    // A pair longer than the room reserved for it, which the disk cannot
    // take, reaches the user in the message.
    {.name = "LongPairOnAFullDiskIsInTheMessage", .cloud = {.refreshTokenLength = 8000}, .expired = true,
     .fileSize = 6000,
     .message = "the new token pair could not be written to any file: put it in tokens.txt by hand, as these "
                "lines:\nat=at-2\r\nrt=rt-2rrr",
     .paths = {kStatus, kRefresh}, .windows = false},
    // The log waits for no other run's request.
    {.name = "RefreshElsewhereDoesNotHoldUpTheLine", .tokensLocked = true},
    {.name = "WriteOnlyLogTakesTheLine", .arrange = [](Dir dir) { Remove(dir / "Tavorin.log", kRead); },
     .windows = false},
    // A log that could not take the line fails before anything is sent; the
    // null device takes it and keeps nothing.
    {.name = "UnwritableLogIsRefusedBeforeAsking", .args = kInfo,
     .arrange = [](Dir dir) { Remove(dir / "Tavorin.log", kWrite); },
     .message = "cannot open Tavorin.log: Permission denied", .paths = {}},
    {.name = "LogThatIsAFolderIsRefusedBeforeAsking", .arrange = [](Dir dir) {
       std::filesystem::remove(dir / "Tavorin.log");
       std::filesystem::create_directory(dir / "Tavorin.log");
     },
     .message = "cannot open Tavorin.log: it is a folder", .paths = {}},
    {.name = "LogLinkedToTheTokenFileIsRefused", .args = kInfo, .arrange = [](Dir dir) {
       std::filesystem::remove(dir / "Tavorin.log");
       std::filesystem::create_symlink("tokens.txt", dir / "Tavorin.log");
     },
     .message = "cannot use Tavorin.log: it is the same file as tokens.txt", .paths = {}, .windows = false},
    {.name = "LogLinkedToTheNullDeviceTakesNothing", .args = kInfo, .arrange = [](Dir dir) {
       std::filesystem::remove(dir / "Tavorin.log");
       std::filesystem::create_symlink("/dev/null", dir / "Tavorin.log");
     },
     .windows = false},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(Runs, RunTest, ::testing::ValuesIn(kRuns),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_F(ProgramTest, UntrustedCertificateEndsWithStatusTwoBeforeAnyRequest) {
  // The program built for https on the same port, against a cloud there whose
  // certificate no authority vouches for: beside the program, its name with
  // "-over-tls" after "tavorin" (tavorin-over-tls, tavorin-over-tls-under-wine).
  const std::filesystem::path path(kProgram);
  const std::string program =
      path.parent_path() / path.filename().string().insert(std::string_view("tavorin").size(), "-over-tls");
  cloud.Stop();
  const testing::TempDir certificateDir;
  sim::SimCloud tlsCloud(sim::GenerateSelfSignedCertificate(certificateDir.path()));
  static_cast<void>(tlsCloud.Start(TAVORIN_CLOUD_PORT));

  const auto [command, argv] = Started(program, {"1000c8441f", "on"});
  const testing::ProcessResult result = testing::RunProcess(command, argv, dir.path());
  EXPECT_EQ(result.exitStatus, 2);
  EXPECT_THAT(result.err, HasSubstr(kHost));
  // Wine's WinHTTP reports the refused certificate as a failed handshake.
  EXPECT_THAT(result.err, ::testing::ContainsRegex(kWindowsProgram ? "secure connection" : "SSL certificate problem"));
  EXPECT_TRUE(tlsCloud.Requests().empty());
  EXPECT_EQ(Log(), kHistory);
  EXPECT_EQ(Tokens(), kInitialTokens);
}

constexpr int kTogether = 16;

TEST_F(ProgramTest, RunsStartedTogetherOnAnExpiredTokenShareOneRefresh) {
  cloud.SetBehaviour({.switchValue = "on"});
  cloud.ExpireAccessToken();

  std::vector<std::unique_ptr<testing::ChildProcess>> runs;
  const auto [command, argv] = Started(kProgram, {"1000c8441f"});
  for (int i = 0; i < kTogether; ++i) {
    runs.push_back(std::make_unique<testing::ChildProcess>(command, argv, dir.path()));
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  for (const auto& run : runs) {
    const testing::ProcessResult result = run->Wait(deadline);
    EXPECT_EQ(result.exitStatus, 1) << result.err;
  }

  EXPECT_EQ(Tokens(), "at=at-2\r\nrt=rt-2\r\n") << "the one pair the cloud issued, as two CR LF lines";
  const std::vector<std::string> paths = PathsRequested();
  EXPECT_EQ(std::count(paths.begin(), paths.end(), "/v2/user/refresh"), 1)
      << "the runs that waited used the pair saved meanwhile";
  std::string wholeLines = kHistory;
  for (int i = 0; i < kTogether; ++i) {
    wholeLines += LinePattern("DeviceId=1000c8441f Request= Result=1");
  }
  EXPECT_THAT(Log(), ::testing::MatchesRegex(wholeLines)) << "no torn or interleaved line";
}

// Files of the user's own that are merely named like the program's temporary
// files survive a refresh, a report and a set; the one fixed temporary name a
// killed run may leave is simply made anew, a link there not followed.
TEST_F(ProgramTest, OnlyTheProgramsOwnTemporariesAreReplacedAndNothingElseRemoved) {
  const std::vector<std::string> userFiles = {".tokens.txt.bak",  ".tokens.txt.2024", ".tokens.txt.A1b2C3",
                                              ".Tavorin.log.old", ".Tavorin.log.x1",  ".Tavorin.log.123456"};
  for (const std::string& name : userFiles) {
    WriteFile(dir / name, name);
  }
  // Wine, unlike Windows, would remove the file a link there leads to.
  kWindowsProgram ? WriteFile(dir / ".tokens.txt.tavorin-new", "at=killed\r\n")
                  : std::filesystem::create_symlink(".tokens.txt.bak", dir / ".tokens.txt.tavorin-new");
  WriteFile(dir / ".Tavorin.log.tavorin-new", "killed\r\n");
  cloud.ExpireAccessToken();
  EXPECT_EQ(Run({"1000c8441f"}).exitStatus, 0);
  EXPECT_EQ(Run(kInfo).exitStatus, 0);
  EXPECT_EQ(Run(kOn).exitStatus, 1);
  EXPECT_EQ(Tokens(), kNewPair);
  EXPECT_THAT(Log(), HasSubstr("Request=info Result=0\r\n"));
  for (const std::string& name : userFiles) {
    EXPECT_EQ(ReadFile(dir / name), name);
  }
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir / ".tokens.txt.tavorin-new")));
  EXPECT_FALSE(std::filesystem::exists(dir / ".Tavorin.log.tavorin-new"));
}

// A run whose move of the new pair failed once the cloud had answered keeps
// it, as a run killed then leaves it; the next run puts it in place by itself.
TEST_F(ProgramTest, RunAfterAFailedMovePutsTheKeptPairInPlace) {
  cloud.ExpireAccessToken();
  cloud.SetBehaviour({.observer = [this](const sim::RecordedRequest& request) {
    if (request.path == kRefresh) {
      SetAppendOnly(dir / "tokens.txt", true);
    }
  }});
  const testing::ProcessResult failed = Run({"1000c8441f"});
  SetAppendOnly(dir / "tokens.txt", false);
  EXPECT_EQ(failed.exitStatus, 2);
  EXPECT_THAT(failed.err, HasSubstr("; the new token pair is in .tokens.txt.tavorin-new: move it over tokens.txt"));
  EXPECT_EQ(ReadFile(dir / ".tokens.txt.tavorin-new"), kNewPair);
  const testing::ProcessResult next = Run({"1000c8441f"});
  EXPECT_EQ(next.exitStatus, 0) << next.err;
  EXPECT_EQ(Tokens(), kNewPair);
  EXPECT_FALSE(std::filesystem::exists(dir / ".tokens.txt.tavorin-new"));
  EXPECT_EQ(PathsRequested(), (Args{kStatus, kRefresh, kStatus}));
}

// A stop request while the cloud answers a refresh: the new pair is saved, then
// the run ends as the request ends it instead of going on to its result. The
// Windows program gets Ctrl-C, which Wine hands only to a program on a console,
// as it gives one to a program started on a terminal.
TEST_F(ProgramTest, StopDuringARefreshEndsTheRunOnceThePairIsSaved) {
  const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_TRUE(terminal >= 0 && ::grantpt(terminal) == 0 && ::unlockpt(terminal) == 0);
  cloud.SetBehaviour({.answerDelay = std::chrono::seconds(1)});
  cloud.ExpireAccessToken();
  auto [command, argv] = Started(kProgram, kOn);
  argv.insert(argv.begin(), {"-c", R"(exec "$@" <"$0")", ::ptsname(terminal), command});
  testing::ChildProcess child("/bin/sh", argv, dir.path());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  while (PathsRequested().size() < 2 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  child.Signal(kWindowsProgram ? SIGINT : SIGTERM);
  const testing::ProcessResult result = child.Wait(deadline);
  ::close(terminal);
  // Wine's launcher ends with the low byte of STATUS_CONTROL_C_EXIT.
  EXPECT_EQ(kWindowsProgram ? result.exitStatus : result.signal, kWindowsProgram ? 0xC000013A & 0xFF : SIGTERM);
  EXPECT_EQ(Tokens(), kNewPair);
  EXPECT_EQ(Log(), kHistory) << "the run went on";
}

}  // namespace
}  // namespace tavorin
