/* The tests' build of the library (qvctx_testing): the release library's
 * code and its exports, plus these seams: the platform's sleep for the
 * reader's pace tests and the benchmarks, the reader's stop, and the
 * configuration read. The release library exports none
 * of them. */
#ifndef QVCTX_TESTS_SUPPORT_LIBRARY_TEST_HELPER_H_
#define QVCTX_TESTS_SUPPORT_LIBRARY_TEST_HELPER_H_

#include <stdint.h>

#if defined(_WIN32)
#if defined(QVCTX_BUILDING_TESTING_LIBRARY)
#define QVCTX_TESTING_API __declspec(dllexport)
#else
#define QVCTX_TESTING_API __declspec(dllimport)
#endif
#else
#define QVCTX_TESTING_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Every sleep of the library lasts a whole number of ticks of
 * `tick_microseconds` (15600: a Windows server's default timer); 0 goes back
 * to the plain sleep. */
QVCTX_TESTING_API void QvctxTestingSetSleepTick(uint32_t tick_microseconds);

/* `observer` (null: none) runs on the sleeping thread at the start of every
 * sleep of the library, with the milliseconds asked for. */
QVCTX_TESTING_API void QvctxTestingSetSleepObserver(
    void (*observer)(uint32_t milliseconds));

/* `hook` (null: none) runs where the reader and a stop request meet over the
 * reader's state: 0 the reader is about to mark itself stopped, 1 it has, 2 a
 * stop request has read the state and not yet swapped it. */
QVCTX_TESTING_API void QvctxTestingSetStopHook(void (*hook)(uint32_t point));

/* `hook` (null: none) runs at the start of each load's configuration read,
 * on the thread of the first call, while the read's lock is held. */
QVCTX_TESTING_API void QvctxTestingSetConfigurationReadHook(void (*hook)(void));

#ifdef __cplusplus
}
#endif

#endif /* QVCTX_TESTS_SUPPORT_LIBRARY_TEST_HELPER_H_ */
