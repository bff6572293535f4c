// Countdown: when an injected behaviour (a fault) applies to a call.
#ifndef QVCTX_SIM_CORE_COUNTDOWN_H_
#define QVCTX_SIM_CORE_COUNTDOWN_H_

#include <cstdint>

namespace wfsim {

// Counted down call by call: the first `skip` calls pass, the `count` calls
// after them trigger, later calls pass again. kForever never runs out. It
// counts the calls it triggered since it was armed, so a test can tell that
// the fault it injected really fired.
class Countdown {
 public:
  static constexpr std::uint32_t kForever = 0xFFFFFFFFu;

  void Arm(std::uint32_t skip, std::uint32_t count, std::uint32_t error);
  void Disarm() { Arm(0, 0, 0); }
  // Counts one call; true when this call triggers.
  bool Next();
  // The last-error code a triggered call sets.
  std::uint32_t error() const { return error_; }
  // Calls triggered since the last Arm.
  std::uint32_t fired() const { return fired_; }

 private:
  std::uint32_t skip_ = 0;       // calls still to pass before triggering
  std::uint32_t remaining_ = 0;  // calls still to trigger; 0 disarmed
  std::uint32_t error_ = 0;
  std::uint32_t fired_ = 0;
};

}  // namespace wfsim

#endif  // QVCTX_SIM_CORE_COUNTDOWN_H_
