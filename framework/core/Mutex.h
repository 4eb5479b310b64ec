#pragma once
// Locks for objects that come and go with plug-in instances.
//
// mingw-w64's libstdc++ never destroys the winpthreads objects behind its
// mutexes: their destructors do nothing. winpthreads sets recursive mutexes
// and read-write locks up on first use, so each one that was ever locked
// leaves its record behind (24 bytes for a recursive mutex, 272 for a shared
// mutex with its inner mutexes and condition). These destroy theirs.
// Elsewhere they are the standard types. Locks are taken through the standard
// lock types, which bind to these as to their bases.

#include <mutex>
#include <shared_mutex>

#if defined(__MINGW32__) && defined(_GLIBCXX_HAS_GTHREADS)
#include <pthread.h>

namespace FW {

class Mutex : public std::mutex {
public:
    Mutex() = default;
    ~Mutex() { pthread_mutex_destroy(native_handle()); }
};

class RecursiveMutex : public std::recursive_mutex {
public:
    RecursiveMutex() = default;
    ~RecursiveMutex() { pthread_mutex_destroy(native_handle()); }
};

class SharedMutex : public std::shared_mutex {
public:
    SharedMutex() = default;
    ~SharedMutex() { pthread_rwlock_destroy(static_cast<pthread_rwlock_t*>(native_handle())); }
};

} // namespace FW

#else

namespace FW {
using Mutex = std::mutex;
using RecursiveMutex = std::recursive_mutex;
using SharedMutex = std::shared_mutex;
} // namespace FW

#endif
