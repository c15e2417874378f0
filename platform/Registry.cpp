#include "platform/Registry.h"

#include <atomic>

namespace platform {

static std::atomic<RegistryBackend*> gBackend{nullptr};

RegistryBackend& Registry() {
  RegistryBackend* b = gBackend.load();
  return b ? *b : OsRegistry();
}

RegistryBackend* SetRegistryBackend(RegistryBackend* backend) { return gBackend.exchange(backend); }

}  // namespace platform
