// The token file on arbitrary input. Input: a key on the first line and the
// rest after it, which is read as a file's content, saved with the key as a
// pair, and given as the cloud's answer to a refresh.
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "cloud/cloud_client.h"
#include "cloud/token_file.h"
#include "fuzz/property.h"
#include "scan/json_scan.h"
#include "tests/support/temp_dir.h"

namespace {

using tavorin::cloud::FindToken;
using tavorin::fuzz::Lines;
using tavorin::fuzz::Require;

constexpr std::string_view kStoredPair = "at=old-at\r\nrt=old-rt\r\n";

// The rest of the first line whose first characters are the key and "=".
std::string_view ReferenceToken(std::string_view content, std::string_view key) {
  for (const std::string_view line : Lines(content)) {
    if (line.size() > key.size() && line.substr(0, key.size()) == key && line[key.size()] == '=') {
      return line.substr(key.size() + 1);
    }
  }
  return {};
}

// A pair holding a CR, LF or NUL is refused; every other one is two lines that
// read back unchanged.
void CheckSavedPairReadsBack(std::string_view at, std::string_view rt) {
  const bool storable =
      (std::string(at) + std::string(rt)).find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
  try {
    const std::string text = tavorin::cloud::TokenFileText(at, rt);
    Require(storable && Lines(text).size() == 2 && FindToken(text, "at") == at && FindToken(text, "rt") == rt,
            "a pair holding a line break or NUL is refused, any other is two lines that read back unchanged");
  } catch (const std::runtime_error&) {
    Require(!storable, "only a pair holding a line break or NUL is refused");
  }
}

class Answer final : public tavorin::http::HttpClient {
 public:
  explicit Answer(std::string text) : text_(std::move(text)) {}
  std::string Post(const std::string&, const std::vector<tavorin::http::HttpHeader>&, std::string_view) override {
    return text_;
  }

 private:
  std::string text_;
};

// Whatever the answer holds, the stored pair is never lost or damaged: the
// token file afterwards holds either the old pair, byte for byte, or exactly
// the new pair the answer carries; and no temporary file is left.
void CheckRefresh(const std::string& answer) {
  static const tavorin::testing::TempDir directory;
  const std::filesystem::path tokenFile = directory / "tokens.txt";
  tavorin::testing::WriteFile(tokenFile, kStoredPair);
  const tavorin::cloud::CloudClient client([&] { return std::make_unique<Answer>(answer); }, "https://cloud.test",
                                           tokenFile, std::chrono::milliseconds(0));
  std::optional<std::string> newAt;
  try {
    newAt = client.RefreshToken("old-at");
  } catch (const std::runtime_error& error) {
    const std::string_view message = error.what();
    Require(message.starts_with("malformed response") || message.starts_with("cannot store a token"),
            "a refresh fails only on a malformed answer or a token the file cannot hold");
  }
  const std::string stored = tavorin::testing::ReadFile(tokenFile);
  for (const auto& entry : std::filesystem::directory_iterator(directory.path())) {
    const std::string name = entry.path().filename().string();
    Require(name == "tokens.txt" || name == "tokens.txt.lock", "no temporary file is left behind");
  }
  if (!newAt || newAt->empty()) {
    Require(stored == kStoredPair, "a failed or empty refresh leaves the stored pair as it was");
    return;
  }
  const std::string issuedRt = tavorin::scan::ExtractJSON(answer, "rt");
  Require(*newAt == tavorin::scan::ExtractJSON(answer, "at") &&
              stored == "at=" + *newAt + "\r\nrt=" + (issuedRt.empty() ? "old-rt" : issuedRt) + "\r\n",
          "the file holds the pair issued, keeping the old refresh token when none came");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto [key, content] = tavorin::fuzz::SplitFirstLine(tavorin::fuzz::AsText(data, size));
  for (const std::string_view tokenKey : {key, std::string_view("at"), std::string_view("rt")}) {
    Require(FindToken(content, tokenKey) == ReferenceToken(content, tokenKey),
            "a token is the rest of the first line that starts with its key and =");
  }
  CheckSavedPairReadsBack(key, content);
  CheckRefresh(std::string(content));
  return 0;
}
