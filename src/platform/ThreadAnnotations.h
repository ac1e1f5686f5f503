#ifndef QUILRUN_PLATFORM_THREADANNOTATIONS_H
#define QUILRUN_PLATFORM_THREADANNOTATIONS_H

// Clang's thread-safety annotations: with -Wthread-safety the compiler checks
// that data marked GUARDED_BY is only touched with its lock held and that
// functions marked REQUIRES are only called so. Other compilers ignore them.

#if defined(__clang__)
#define QUILRUN_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define QUILRUN_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) QUILRUN_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY QUILRUN_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) QUILRUN_THREAD_ANNOTATION(guarded_by(x))
#define PT_GUARDED_BY(x) QUILRUN_THREAD_ANNOTATION(pt_guarded_by(x))
#define REQUIRES(...) QUILRUN_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define REQUIRES_SHARED(...) QUILRUN_THREAD_ANNOTATION(requires_shared_capability(__VA_ARGS__))
#define ACQUIRE(...) QUILRUN_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define ACQUIRE_SHARED(...) QUILRUN_THREAD_ANNOTATION(acquire_shared_capability(__VA_ARGS__))
#define RELEASE(...) QUILRUN_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define RELEASE_SHARED(...) QUILRUN_THREAD_ANNOTATION(release_shared_capability(__VA_ARGS__))
#define RELEASE_GENERIC(...) QUILRUN_THREAD_ANNOTATION(release_generic_capability(__VA_ARGS__))
#define EXCLUDES(...) QUILRUN_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ASSERT_CAPABILITY(x) QUILRUN_THREAD_ANNOTATION(assert_capability(x))
#define NO_THREAD_SAFETY_ANALYSIS QUILRUN_THREAD_ANNOTATION(no_thread_safety_analysis)

#endif
