// POSIX side of RunWindowModule: dlopen beside the executable.
#include "window_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace tavorin::control {
namespace {

std::filesystem::path ExecutableDirectory() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) {
    throw std::system_error(error, "cannot find the program's own directory");
  }
  return self.parent_path();
}

}  // namespace

int RunWindowModule(int& argc, char** argv, SwitchOperation operation) {
  const std::filesystem::path directory = ExecutableDirectory();
  // Beside the program in the build tree; in its own directory once installed.
  const std::vector<std::filesystem::path> candidates = {
      directory / TAVORIN_WINDOW_MODULE,
      directory / TAVORIN_WINDOW_MODULE_INSTALL_DIR / TAVORIN_WINDOW_MODULE,
  };
  for (const std::filesystem::path& module : candidates) {
    if (!std::filesystem::exists(module)) {
      continue;
    }
    // Never closed: the toolkit registers clean-up that runs at process exit.
    void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      throw std::runtime_error(std::string("cannot open the window: ") + ::dlerror());
    }
    const auto entry = reinterpret_cast<WindowEntry>(::dlsym(handle, kWindowEntryName));
    if (entry == nullptr) {
      throw std::runtime_error("cannot open the window: " + module.string() + " has no entry " + kWindowEntryName);
    }
    const WindowRequest request{&argc, argv, std::move(operation)};
    return entry(request);
  }
  throw std::runtime_error("cannot open the window: " + std::string(TAVORIN_WINDOW_MODULE) + " is neither in " +
                           directory.string() + " nor in " + (directory / TAVORIN_WINDOW_MODULE_INSTALL_DIR).string() +
                           "; install the " TAVORIN_WINDOW_PACKAGE " package");
}

}  // namespace tavorin::control
