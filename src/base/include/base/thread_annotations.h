// The lock rules of the library, stated where the compiler can check them:
// Clang's thread-safety analysis (-Wthread-safety, an error in the lint
// step) reads these attributes; other compilers see nothing.
//
// CAPABILITY marks a lock type; GUARDED_BY(lock) a member or variable read
// and written only with `lock` held; REQUIRES(lock) a function called with
// it held; EXCLUDES(lock) one that takes it itself, so must not be called
// with it held; ACQUIRE/RELEASE the lock wrappers' own operations;
// SCOPED_CAPABILITY a guard that holds a lock for its life.
#ifndef QVCTX_SRC_BASE_THREAD_ANNOTATIONS_H_
#define QVCTX_SRC_BASE_THREAD_ANNOTATIONS_H_

#if defined(__clang__)
#define QVCTX_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define QVCTX_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) QVCTX_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY QVCTX_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) QVCTX_THREAD_ANNOTATION(guarded_by(x))
#define REQUIRES(...) QVCTX_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) QVCTX_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) QVCTX_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) QVCTX_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) \
  QVCTX_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))

#endif  // QVCTX_SRC_BASE_THREAD_ANNOTATIONS_H_
