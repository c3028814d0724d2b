// Lock contracts that Clang's -Wthread-safety checks at compile time: which
// mutex guards a member (GUARDED_BY), which one a function expects its
// caller to hold (REQUIRES), which ones a function takes and gives back.
// Under other compilers the annotations expand to nothing.
#pragma once

#if defined(__clang__)
#define VORPEL_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define VORPEL_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) VORPEL_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY VORPEL_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) VORPEL_THREAD_ANNOTATION(guarded_by(x))
#define REQUIRES(...) VORPEL_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) VORPEL_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) VORPEL_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define EXCLUDES(...) VORPEL_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ACQUIRED_AFTER(...) VORPEL_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))
#define RETURN_CAPABILITY(x) VORPEL_THREAD_ANNOTATION(lock_returned(x))
#define ASSERT_CAPABILITY(x) VORPEL_THREAD_ANNOTATION(assert_capability(x))
