#include "support/library_test_helper.h"

#include "module/configuration_test_helper.h"
#include "platform/platform_test_helper.h"
#include "transport/package_thread_test_helper.h"

void QvctxTestingSetSleepTick(uint32_t tick_microseconds) {
  qvctx::port::SetSleepTickForTesting(tick_microseconds);
}

void QvctxTestingSetSleepObserver(void (*observer)(uint32_t milliseconds)) {
  qvctx::port::SetSleepObserverForTesting(observer);
}

void QvctxTestingSetStopHook(void (*hook)(uint32_t point)) {
  qvctx::SetStopHookForTesting(hook);
}

void QvctxTestingSetConfigurationReadHook(void (*hook)(void)) {
  qvctx::SetConfigurationReadHookForTesting(hook);
}
