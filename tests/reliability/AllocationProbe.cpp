// The interposed allocation and lock entry points behind probe::begin/end.
// The test program's own definitions take precedence over the C library's,
// so every call from the plug-in's code (and from the C++ runtime on its
// behalf) comes through here first.
#include "AllocationProbe.h"

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cstddef>
#include <ctime>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define PROBE_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define PROBE_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define PROBE_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define PROBE_THREAD_SANITIZER 1
#endif
#endif

namespace {

// Plain thread-locals of trivial type: initial-exec TLS in an executable,
// no allocation on first use.
thread_local bool probing = false;
thread_local probe::Counts counts;

inline void noteAllocation() {
    if (probing)
        ++counts.allocations;
}
inline void noteFree(const void* p) {
    if (probing && p)
        ++counts.frees;
}
std::atomic<long> designCount{0};

inline void noteLock() {
    if (probing)
        ++counts.locks;
}

}  // namespace

namespace probe {

void begin() {
    counts = Counts();
    probing = true;
}

Counts end() {
    probing = false;
    return counts;
}

long designsAnywhere() {
    return designCount.load(std::memory_order_relaxed);
}

bool watchesLocks() {
#if defined(PROBE_THREAD_SANITIZER)
    return false;
#else
    return true;
#endif
}

}  // namespace probe

// ---------------------------------------------------------------------------
// Heap.
// ---------------------------------------------------------------------------
#if defined(PROBE_SANITIZER)

// The sanitizer's allocator serves malloc and operator new alike and reports
// each allocation and release to these hooks.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void*, std::size_t),
                                                         void (*freeHook)(const volatile void*));

namespace {
void sanitizerMallocHook(const volatile void*, std::size_t) {
    noteAllocation();
}
void sanitizerFreeHook(const volatile void* p) {
    noteFree(const_cast<const void*>(p));
}
[[maybe_unused]] const int hooksInstalled =
    __sanitizer_install_malloc_and_free_hooks(sanitizerMallocHook, sanitizerFreeHook);
}  // namespace

#else

// glibc's own entry points, exported for exactly this purpose.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void __libc_free(void* p);
void* __libc_memalign(std::size_t alignment, std::size_t size);

void* malloc(std::size_t size) {
    noteAllocation();
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    noteAllocation();
    return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) {
    noteAllocation();
    return __libc_realloc(p, size);
}
void free(void* p) {
    noteFree(p);
    __libc_free(p);
}
void* memalign(std::size_t alignment, std::size_t size) {
    noteAllocation();
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
    noteAllocation();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
    noteAllocation();
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0)
        return 22;  // EINVAL
    void* p = __libc_memalign(alignment, size);
    if (!p)
        return 12;  // ENOMEM
    *out = p;
    return 0;
}
}  // extern "C"

namespace {
void* newOrThrow(std::size_t size) {
    noteAllocation();
    if (void* p = __libc_malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* alignedNewOrThrow(std::size_t size, std::align_val_t alignment) {
    noteAllocation();
    if (void* p = __libc_memalign(static_cast<std::size_t>(alignment), size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void release(void* p) {
    noteFree(p);
    __libc_free(p);
}
}  // namespace

void* operator new(std::size_t size) {
    return newOrThrow(size);
}
void* operator new[](std::size_t size) {
    return newOrThrow(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    noteAllocation();
    return __libc_malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    noteAllocation();
    return __libc_malloc(size ? size : 1);
}
void* operator new(std::size_t size, std::align_val_t a) {
    return alignedNewOrThrow(size, a);
}
void* operator new[](std::size_t size, std::align_val_t a) {
    return alignedNewOrThrow(size, a);
}
void* operator new(std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
    noteAllocation();
    return __libc_memalign(static_cast<std::size_t>(a), size ? size : 1);
}
void* operator new[](std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
    noteAllocation();
    return __libc_memalign(static_cast<std::size_t>(a), size ? size : 1);
}
void operator delete(void* p) noexcept {
    release(p);
}
void operator delete[](void* p) noexcept {
    release(p);
}
void operator delete(void* p, std::size_t) noexcept {
    release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    release(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    release(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    release(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    release(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    release(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    release(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    release(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    release(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    release(p);
}

#endif  // heap

// ---------------------------------------------------------------------------
// Locks. ThreadSanitizer needs its own lock interceptors; there the lock
// side of the probe is off (watchesLocks() answers false).
// ---------------------------------------------------------------------------
#if !defined(PROBE_THREAD_SANITIZER)

namespace {
// The next definition along the search order (the C library's, or a
// sanitizer's interceptor). Looked up once; dlsym itself takes no pthread
// lock through these symbols.
template <typename F>
F next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}
using MutexFn = int (*)(pthread_mutex_t*);
using RwFn = int (*)(pthread_rwlock_t*);
using SpinFn = int (*)(pthread_spinlock_t*);
}  // namespace

extern "C" {
int pthread_mutex_lock(pthread_mutex_t* m) {
    static const MutexFn real = next<MutexFn>("pthread_mutex_lock");
    noteLock();
    return real(m);
}
int pthread_mutex_trylock(pthread_mutex_t* m) {
    static const MutexFn real = next<MutexFn>("pthread_mutex_trylock");
    noteLock();
    return real(m);
}
int pthread_rwlock_rdlock(pthread_rwlock_t* l) {
    static const RwFn real = next<RwFn>("pthread_rwlock_rdlock");
    noteLock();
    return real(l);
}
int pthread_rwlock_wrlock(pthread_rwlock_t* l) {
    static const RwFn real = next<RwFn>("pthread_rwlock_wrlock");
    noteLock();
    return real(l);
}
int pthread_spin_lock(pthread_spinlock_t* l) {
    static const SpinFn real = next<SpinFn>("pthread_spin_lock");
    noteLock();
    return real(l);
}
}  // extern "C"

#endif  // locks

// ---------------------------------------------------------------------------
// Filter design: tan() from the maths library, looked up once.
// ---------------------------------------------------------------------------
namespace {
using TanFn = double (*)(double);
const TanFn realTan = reinterpret_cast<TanFn>(dlsym(RTLD_NEXT, "tan"));

long nowNanoseconds() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long>(t.tv_sec) * 1000000000L + t.tv_nsec;
}
}  // namespace

extern "C" double tan(double x) {
    designCount.fetch_add(1, std::memory_order_relaxed);
    if (!probing)
        return realTan(x);
    const long start = nowNanoseconds();
    const double result = realTan(x);
    ++counts.designs;
    counts.designNanoseconds += nowNanoseconds() - start;
    return result;
}
