#include "platform/Clock.h"

#include <ctime>

namespace platform {

int LocalSecondsOfDay() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_s(&local, &now) != 0) return 0;
  return local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
}

}  // namespace platform
