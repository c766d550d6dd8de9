#include "window/window_model.h"

namespace tavorin::window {

MessageBoxContent ResultBox(control::ResultCode result) {
  return {std::string(kApplicationTitle), std::to_string(static_cast<int>(result)), BoxIcon::None};
}

MessageBoxContent ErrorBox(std::string_view message) {
  return {std::string(kApplicationTitle), std::string(message), BoxIcon::Error};
}

}  // namespace tavorin::window
