// Permissions of replaced files on Windows: the token file is its owner's alone,
// whatever the folder it lies in hands down.
#include <windows.h>

#include <aclapi.h>
// The API's macro of this name would rename the function under test.
#undef ReplaceFile

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "os/text_file.h"
#include "tests/support/temp_dir.h"

namespace tavorin::os {
namespace {

TEST(ReplaceFileWindowsTest, OwnerOnlyFileLetsInThisUserAlone) {
  const testing::TempDir dir;
  const std::filesystem::path file = dir / "tokens.txt";
  testing::WriteFile(file, "at=at-1\r\nrt=rt-1\r\n");
  ReplaceFile(file, "at=at-2\r\nrt=rt-2\r\n", FileAccess::OwnerOnly);
  EXPECT_EQ(testing::ReadFile(file), "at=at-2\r\nrt=rt-2\r\n");

  HANDLE token = nullptr;
  ASSERT_NE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token), 0);
  std::vector<unsigned char> user(256);
  DWORD size = 0;
  ASSERT_NE(::GetTokenInformation(token, TokenUser, user.data(), static_cast<DWORD>(user.size()), &size), 0);
  ::CloseHandle(token);
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(::GetNamedSecurityInfoW(file.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                    nullptr, &descriptor),
            ERROR_SUCCESS);
  const std::unique_ptr<void, decltype(&::LocalFree)> release(descriptor, &::LocalFree);
  ASSERT_NE(dacl, nullptr) << "no list at all lets everyone in";
  const PSID self = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    ASSERT_NE(::GetAce(dacl, i, &ace), 0);
    const PSID sid = &static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
    EXPECT_TRUE(static_cast<ACE_HEADER*>(ace)->AceType != ACCESS_ALLOWED_ACE_TYPE || ::EqualSid(sid, self) != 0 ||
                ::IsWellKnownSid(sid, WinLocalSystemSid) != 0)
        << "entry " << i << " lets another account in";
  }
}

}  // namespace
}  // namespace tavorin::os
