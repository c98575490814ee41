// Attributes that let Clang's thread safety analysis (-Wthread-safety) check
// which lock guards what and which locks a function needs held. They expand
// to nothing for compilers that do not know them (GCC), so they never change
// the code generated. Used with plat::CriticalSection and plat::Lock, and in
// the POSIX backend with plat::Mutex (platform/posix/mutex.h): the std::
// mutexes carry no such attributes in libstdc++.
#pragma once

#if defined(__clang__)
#define TOLVARINE_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define TOLVARINE_THREAD_ANNOTATION(x)
#endif

// A lock type, and a type that holds one for its lifetime.
#define CAPABILITY(name) TOLVARINE_THREAD_ANNOTATION(capability(name))
#define SCOPED_CAPABILITY TOLVARINE_THREAD_ANNOTATION(scoped_lockable)

// A field read or written only with the lock held; for a pointer, the data it
// points to.
#define GUARDED_BY(x) TOLVARINE_THREAD_ANNOTATION(guarded_by(x))
#define PT_GUARDED_BY(x) TOLVARINE_THREAD_ANNOTATION(pt_guarded_by(x))

// Lock order between two locks.
#define ACQUIRED_BEFORE(...) TOLVARINE_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define ACQUIRED_AFTER(...) TOLVARINE_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))

// The caller holds these locks, and still holds them on return.
#define REQUIRES(...) TOLVARINE_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
// The function takes, or gives up, the lock and returns with it so.
#define ACQUIRE(...) TOLVARINE_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) TOLVARINE_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
// The caller must not hold these locks: the function takes them itself.
#define EXCLUDES(...) TOLVARINE_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
// After the call the analysis takes the lock for held (the function checks it
// at run time).
#define ASSERT_CAPABILITY(x) TOLVARINE_THREAD_ANNOTATION(assert_capability(x))
// The function returns a reference to this lock.
#define RETURN_CAPABILITY(x) TOLVARINE_THREAD_ANNOTATION(lock_returned(x))

// Turns the analysis off for one function; always say why next to it.
#define NO_THREAD_SAFETY_ANALYSIS TOLVARINE_THREAD_ANNOTATION(no_thread_safety_analysis)
