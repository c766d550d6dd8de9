// The token refresh on arbitrary answers from the cloud. Input: the refresh
// answer. Whatever it holds, the stored pair is never lost or damaged: the
// token file afterwards holds either the old pair, byte for byte, or exactly
// the new pair the answer carries.
#include <chrono>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "cloud/cloud_client.h"
#include "cloud/token_file.h"
#include "fuzz/property.h"
#include "scan/json_scan.h"
#include "tests/support/scripted_http.h"
#include "tests/support/temp_dir.h"

namespace {

using tavorin::fuzz::Lines;
using tavorin::fuzz::Require;

constexpr std::string_view kStoredPair = "at=old-at\r\nrt=old-rt\r\n";

void CheckOnlyTheTokenFileAndItsLockRemain(const std::filesystem::path& directory) {
  for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(directory)) {
    const std::string name = entry.path().filename().string();
    Require(name == "tokens.txt" || name == "tokens.txt.lock", "no temporary file is left behind");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // One scratch directory for the whole run, the token file written anew for
  // every input.
  static const tavorin::testing::TempDir directory;
  const std::string answer(tavorin::fuzz::AsText(data, size));
  const std::filesystem::path tokenFile = directory / "tokens.txt";
  tavorin::testing::WriteFile(tokenFile, kStoredPair);
  tavorin::testing::ScriptedHttp http;
  http.Reply(answer);
  const tavorin::cloud::CloudClient client(http.Factory(), "https://cloud.test", tokenFile,
                                           std::chrono::milliseconds(0));

  std::optional<std::string> newAt;
  try {
    newAt = client.RefreshToken("old-at");
  } catch (const std::runtime_error& error) {
    const std::string_view message = error.what();
    Require(message.starts_with("malformed response") || message.starts_with("cannot store a token"),
            "a refresh fails only on a malformed answer or a token the file cannot hold");
  }
  const std::string stored = tavorin::testing::ReadFile(tokenFile);
  CheckOnlyTheTokenFileAndItsLockRemain(directory.path());
  if (!newAt || newAt->empty()) {
    Require(stored == kStoredPair, "a failed or empty refresh leaves the stored pair as it was");
    return 0;
  }

  const std::string issuedRt = tavorin::scan::ExtractJSON(answer, "rt");
  const std::string expectedRt = issuedRt.empty() ? "old-rt" : issuedRt;
  Require(*newAt == tavorin::scan::ExtractJSON(answer, "at"), "the refresh returns the access token issued");
  Require(Lines(stored).size() == 2 && stored.ends_with("\r\n"), "the saved file is two CR LF lines");
  Require(tavorin::cloud::FindToken(stored, "at") == *newAt && tavorin::cloud::FindToken(stored, "rt") == expectedRt,
          "the saved pair reads back as the one issued, keeping the old refresh token when none came");
  return 0;
}
