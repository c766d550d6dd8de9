#pragma once
// A throw-away certificate for serving HTTPS on loopback in tests.

#include <filesystem>

#include "tools/sim-cloud/sim_cloud.h"

namespace tavorin::sim {

// Writes cert.pem and key.pem for 127.0.0.1 (valid two days) into directory
// with the openssl command-line tool. Throws std::runtime_error on failure.
[[nodiscard]] TlsFiles GenerateSelfSignedCertificate(const std::filesystem::path& directory);

}  // namespace tavorin::sim
