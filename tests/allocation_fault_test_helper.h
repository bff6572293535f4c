// One allocation that fails on purpose, for the anomaly tests: the program
// that links allocation_fault_test_helper.cpp replaces the global operator
// new (and, on POSIX, mmap, through which the library takes its 10 MiB
// blocks) with counting versions. The library itself is not changed: its
// calls reach these definitions because the program's own come first.
#ifndef QVCTX_TESTS_ALLOCATION_FAULT_TEST_HELPER_H_
#define QVCTX_TESTS_ALLOCATION_FAULT_TEST_HELPER_H_

namespace anomaly {

// Whose allocations count.
enum class FaultThreads { kThisThread, kOtherThreads };

// The allocation numbered `skip` (0: the next one) among those of `threads`
// fails: operator new throws std::bad_alloc (the nothrow forms give null),
// mmap gives MAP_FAILED. Only that one.
void ArmAllocationFault(FaultThreads threads, int skip);

// Ends the countdown; true when the armed allocation was reached.
bool DisarmAllocationFault();

}  // namespace anomaly

#endif  // QVCTX_TESTS_ALLOCATION_FAULT_TEST_HELPER_H_
