#include "driver/clock.h"

std::tm LOCALNOW() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}
