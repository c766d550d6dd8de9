// Permissions of replaced files on Windows: the token file is its owner's alone.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
// The API's macro of this name would rename the function under test.
#undef ReplaceFile

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "os/text_file.h"
#include "tests/support/temp_dir.h"

namespace tavorin::os {
namespace {

struct LocalFreeDeleter {
  void operator()(void* memory) const { ::LocalFree(memory); }
};

// This process's user.
std::vector<unsigned char> CurrentUser() {
  HANDLE token = nullptr;
  EXPECT_NE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token), 0);
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> user(size);
  EXPECT_NE(::GetTokenInformation(token, TokenUser, user.data(), size, &size), 0);
  ::CloseHandle(token);
  return user;
}

// The accounts other than this user and the system that the file's
// permissions let in, as SID texts.
std::vector<std::string> OthersAllowed(const std::filesystem::path& file) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD error = ::GetNamedSecurityInfoW(file.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                              &dacl, nullptr, &descriptor);
  EXPECT_EQ(error, ERROR_SUCCESS);
  const std::unique_ptr<void, LocalFreeDeleter> owner(descriptor);
  if (dacl == nullptr) {
    return {"(no list: everyone)"};
  }
  const std::vector<unsigned char> user = CurrentUser();
  const PSID self = reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
  std::vector<std::string> others;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    EXPECT_NE(::GetAce(dacl, i, &ace), 0);
    if (static_cast<ACE_HEADER*>(ace)->AceType != ACCESS_ALLOWED_ACE_TYPE) {
      continue;
    }
    const PSID sid = &static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
    if (::EqualSid(sid, self) == 0 && ::IsWellKnownSid(sid, WinLocalSystemSid) == 0) {
      char* text = nullptr;
      ::ConvertSidToStringSidA(sid, &text);
      others.emplace_back(text != nullptr ? text : "?");
      ::LocalFree(text);
    }
  }
  return others;
}

TEST(ReplaceFileWindowsTest, OwnerOnlyFileLetsNoOtherAccountInWhateverTheFolderAllows) {
  const testing::TempDir dir;
  const std::filesystem::path file = dir / "tokens.txt";
  // Created with what the folder hands down, as a person's own token file is.
  testing::WriteFile(file, "at=at-1\r\nrt=rt-1\r\n");
  ReplaceFile(file, "at=at-2\r\nrt=rt-2\r\n", FileAccess::OwnerOnly);
  EXPECT_EQ(OthersAllowed(file), std::vector<std::string>{});
  EXPECT_EQ(testing::ReadFile(file), "at=at-2\r\nrt=rt-2\r\n");
}

}  // namespace
}  // namespace tavorin::os
