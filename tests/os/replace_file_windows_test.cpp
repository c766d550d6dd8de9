// The token file on Windows: this user's alone, whatever the folder it lies in
// hands down; and a new pair kept where another program holds the file open.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
// The API's macro of this name would rename the function under test.
#undef ReplaceFile

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <stdexcept>

#include "os/replace_file.h"
#include "os/windows_text.h"
#include "tests/support/temp_dir.h"

namespace tavorin::os {
namespace {

TEST(ReplaceFileWindowsTest, OwnerOnlyFileLetsInItsOwnerAlone) {
  const testing::TempDir dir;
  const std::filesystem::path file = dir / "tokens.txt";
  testing::WriteFile(file, testing::kFirstPair);
  ReplaceFile(GuardedFile(file, {}).Lock(), testing::kSecondPair, FileAccess::OwnerOnly);
  EXPECT_EQ(testing::ReadFile(file), testing::kSecondPair);

  constexpr SECURITY_INFORMATION kParts = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(
      ::GetNamedSecurityInfoW(file.c_str(), SE_FILE_OBJECT, kParts, nullptr, nullptr, nullptr, nullptr, &descriptor),
      ERROR_SUCCESS);
  const std::unique_ptr<void, LocalFreeDeleter> freeDescriptor(descriptor);
  wchar_t* text = nullptr;
  ASSERT_NE(::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, kParts, &text, nullptr),
            0);
  const std::unique_ptr<wchar_t, LocalFreeDeleter> freeText(text);
  // Full access for the owner, no other entry; Wine, which keeps permissions
  // as file modes, always adds one for the system's own account.
  EXPECT_TRUE(std::regex_match(text, std::wregex(LR"(O:(S-[-0-9]+)D:P?(\(A;;FA;;;SY\))?\(A;;FA;;;\1\))"))) << text;
}

// As an editor, a backup tool or a virus scanner holds it: open, without
// sharing its deletion. The move waits a while, then gives up and keeps the
// text in the temporary file, saying so.
TEST(ReplaceFileWindowsTest, TextThatCannotBeMovedOverAFileHeldOpenIsKept) {
  const testing::TempDir dir;
  const std::filesystem::path file = dir / "tokens.txt";
  testing::WriteFile(file, testing::kFirstPair);
  const FileLock lock = GuardedFile(file, {}).Lock();
  PendingReplacement pending(lock, FileAccess::OwnerOnly, 4096, "the new token pair");
  const HANDLE held = ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  try {
    pending.Commit(testing::kSecondPair);
    ADD_FAILURE() << "moved over a file held open";
  } catch (const std::runtime_error& error) {
    EXPECT_THAT(error.what(), ::testing::HasSubstr("the new token pair is in " + TemporaryPathOf(file).string() +
                                                   ": move it over " + file.string()));
  }
  ::CloseHandle(held);
  EXPECT_EQ(testing::ReadFile(file), testing::kFirstPair);
  EXPECT_EQ(testing::ReadFile(TemporaryPathOf(file)), testing::kSecondPair);
}

}  // namespace
}  // namespace tavorin::os
