#include "platform/ui/WindowSystem.h"

#include <atomic>

namespace platform::ui {

namespace {
std::atomic<WindowSystem*> gInstalled{nullptr};
}

WindowSystem& Windows() {
  WindowSystem* w = gInstalled.load(std::memory_order_acquire);
  return w ? *w : NativeWindowSystem();
}

WindowSystem* SetWindowSystem(WindowSystem* backend) { return gInstalled.exchange(backend); }

}  // namespace platform::ui
