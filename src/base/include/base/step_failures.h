// Runs the steps of a teardown one after the other whatever each of them
// throws, and reports the first failure once every step has run.
#ifndef QVCTX_SRC_BASE_STEP_FAILURES_H_
#define QVCTX_SRC_BASE_STEP_FAILURES_H_

#include <exception>
#include <utility>

namespace qvctx {

class StepFailures {
 public:
  // Runs `step`; an exception it throws is kept (the first one only) instead
  // of ending the teardown.
  template <typename Step>
  void Run(Step&& step) noexcept {
    try {
      std::forward<Step>(step)();
    } catch (...) {
      if (!first_) first_ = std::current_exception();
    }
  }

  // Throws the first kept exception, if any.
  void Rethrow() const {
    if (first_) std::rethrow_exception(first_);
  }

 private:
  std::exception_ptr first_;
};

}  // namespace qvctx

#endif  // QVCTX_SRC_BASE_STEP_FAILURES_H_
