#include "countdown.h"

namespace wfsim {

void Countdown::Arm(std::uint32_t skip, std::uint32_t count,
                    std::uint32_t error) {
  skip_ = count == 0 ? 0 : skip;
  remaining_ = count;
  error_ = error;
  fired_ = 0;
}

bool Countdown::Next() {
  if (remaining_ == 0) return false;
  if (skip_ > 0) {
    --skip_;
    return false;
  }
  if (remaining_ != kForever) --remaining_;
  ++fired_;
  return true;
}

}  // namespace wfsim
