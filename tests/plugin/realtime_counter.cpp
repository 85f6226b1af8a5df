#include "realtime_counter.h"

#include <cstdio>
#include <cstring>

#include "host_checks.h"

#if defined(__linux__) && !defined(VELMOR_NO_REALTIME_COUNTING)

#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <semaphore.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <ctime>
#include <new>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void __libc_free(void* p);
void* __libc_memalign(size_t alignment, size_t size);
}

namespace velmor::hosttest {
namespace {

enum Kind { kAllocation, kFree, kLockWait, kSystemCall, kKinds };
const char* const kKindNames[kKinds] = {"allocations", "frees", "lock waits", "file and system calls"};

// The calling thread is in a plugin's audio callback; it is counting a call
// already (what that takes, a backtrace, does not count).
thread_local bool inside = false;
thread_local bool busy = false;

std::atomic<uint64_t> counts[kKinds];

// Where calls came from: the first frame of the plugin's own on the way
// (not the C or C++ library's, nor the host's) and the first after it in
// the plugin's binary (that the host called), the first few places each
// with its count and the backtrace of its first call.
struct Site {
    const char* call;
    Kind kind;
    void* from[2];
    uint64_t count;
    int depth;
    void* frames[48];
};
constexpr int kMostSites = 12;
Site sites[kMostSites];
int siteCount = 0;
uint64_t elsewhere = 0;  // calls from places past those

// The binary a frame lies in, where that is the plugin's or a library of
// its own; else null.
void* pluginModule(void* frame) {
    Dl_info info{};
    if (!dladdr(frame, &info) || !info.dli_fname) return nullptr;
    static Dl_info host{};
    if (!host.dli_fname) dladdr(reinterpret_cast<void*>(&pluginModule), &host);
    for (const char* library : {"/libc.so", "/libstdc++.so", "/libgcc_s.so"})
        if (std::strstr(info.dli_fname, library)) return nullptr;
    return info.dli_fbase != host.dli_fbase ? info.dli_fbase : nullptr;
}

// Loads what backtrace() needs before any callback.
const bool kBacktraceReady = [] {
    void* frames[2];
    return backtrace(frames, 2) > 0;
}();

void note(Kind kind, const char* call) {
    if (!inside || busy) return;
    busy = true;
    counts[kind].fetch_add(1, std::memory_order_relaxed);
    Site here{call, kind, {}, 1, 0, {}};
    here.depth = backtrace(here.frames, 48);
    int first = -1, entry = -1;
    for (int i = 0; i < here.depth; ++i)
        if (pluginModule(here.frames[i])) entry = i, first = first < 0 ? i : first;
    for (int i = first + 1; first >= 0 && i <= entry && !here.from[1]; ++i)
        if (pluginModule(here.frames[i]) == pluginModule(here.frames[entry])) here.from[1] = here.frames[i];
    // A plugin core run in the host's own binary: the caller of the call.
    here.from[0] = first >= 0 ? here.frames[first] : here.frames[std::min(2, here.depth - 1)];
    Site* known = sites;
    while (known < sites + siteCount && (known->call != call || known->from[0] != here.from[0] || known->from[1] != here.from[1])) ++known;
    if (known < sites + siteCount)
        ++known->count;
    else if (siteCount < kMostSites)
        sites[siteCount++] = here;
    else
        ++elsewhere;
    busy = false;
}

void* next(void*& slot, const char* name, const char* version = nullptr) {
    if (slot) return slot;
    const bool was = busy;
    busy = true;
    slot = version ? dlvsym(RTLD_NEXT, name, version) : dlsym(RTLD_NEXT, name);
    busy = was;
    return slot;
}

void* allocated(void* p) {
    if (!p) throw std::bad_alloc();
    return p;
}

void released(void* p, const char* call) {
    if (p) note(kFree, call);
    __libc_free(p);
}

// A frame: the module, the offset in it and, where addr2line finds it, the
// function.
std::string frameText(void* frame) {
    Dl_info info{};
    if (!frame || !dladdr(frame, &info) || !info.dli_fname) return "?";
    // A return address: the call stands just before it.
    const auto offset = reinterpret_cast<uintptr_t>(frame) - reinterpret_cast<uintptr_t>(info.dli_fbase) - 1;
    char command[1200], function[1024] = "";
    std::snprintf(command, sizeof command, "addr2line -C -f -e '%s' 0x%zx 2>/dev/null", info.dli_fname, offset);
    if (std::FILE* p = popen(command, "r")) {
        if (std::fgets(function, sizeof function, p)) function[std::strcspn(function, "\n")] = '\0';
        pclose(p);
    }
    char text[2400];
    std::snprintf(text, sizeof text, "%s+0x%zx %s", info.dli_fname, offset, function);
    return text;
}

}  // namespace

bool realtimeCounting() { return kBacktraceReady; }

AudioCallback::AudioCallback() { inside = true; }
AudioCallback::~AudioCallback() { inside = false; }

void resetRealtimeCounts() {
    for (auto& c : counts) c = 0;
    siteCount = 0;
    elsewhere = 0;
}

void reportRealtimeCounts(const std::string& what) {
    std::string line;
    for (int k = 0; k < kKinds; ++k) line += (k ? ", " : "") + std::to_string(counts[k].load()) + " " + kKindNames[k];
    std::printf("real-time, %s: %s\n", what.c_str(), line.c_str());
    if (siteCount == 0) return;
    fail("real-time, " + what + ": the audio callback made calls it must not make, from:");
    for (const Site* s = sites; s < sites + siteCount; ++s)
        std::printf("  %llu %s (%s) in %s%s%s\n", static_cast<unsigned long long>(s->count), s->call, kKindNames[s->kind],
                    frameText(s->from[0]).c_str(), s->from[1] ? ", from " : "", s->from[1] ? frameText(s->from[1]).c_str() : "");
    if (elsewhere) std::printf("  %llu more from other places\n", static_cast<unsigned long long>(elsewhere));
    // The first call's way from the host's own call of the plugin.
    std::printf("  the first, at:\n");
    for (int i = 1; i < sites[0].depth; ++i) {
        std::printf("    %s\n", frameText(sites[0].frames[i]).c_str());
        if (!pluginModule(sites[0].frames[i]) && pluginModule(sites[0].frames[i - 1])) break;
    }
    std::fflush(stdout);
}

}  // namespace velmor::hosttest

using velmor::hosttest::kAllocation;
using velmor::hosttest::kFree;
using velmor::hosttest::kLockWait;
using velmor::hosttest::kSystemCall;
using velmor::hosttest::next;
using velmor::hosttest::note;

// Memory: counted, then the C library's own.
extern "C" {
void* malloc(size_t size) noexcept { return note(kAllocation, "malloc"), __libc_malloc(size); }
void* calloc(size_t count, size_t size) noexcept { return note(kAllocation, "calloc"), __libc_calloc(count, size); }
void* realloc(void* p, size_t size) noexcept { return note(kAllocation, "realloc"), __libc_realloc(p, size); }
void free(void* p) noexcept { velmor::hosttest::released(p, "free"); }
void* memalign(size_t alignment, size_t size) noexcept { return note(kAllocation, "memalign"), __libc_memalign(alignment, size); }
void* aligned_alloc(size_t alignment, size_t size) noexcept { return note(kAllocation, "aligned_alloc"), __libc_memalign(alignment, size); }
int posix_memalign(void** p, size_t alignment, size_t size) noexcept {
    note(kAllocation, "posix_memalign");
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return EINVAL;
    *p = __libc_memalign(alignment, size);
    return *p ? 0 : ENOMEM;
}
}

void* operator new(size_t n) { return note(kAllocation, "operator new"), velmor::hosttest::allocated(__libc_malloc(n ? n : 1)); }
void* operator new[](size_t n) { return note(kAllocation, "operator new[]"), velmor::hosttest::allocated(__libc_malloc(n ? n : 1)); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return note(kAllocation, "operator new"), __libc_malloc(n ? n : 1); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return note(kAllocation, "operator new[]"), __libc_malloc(n ? n : 1); }
void* operator new(size_t n, std::align_val_t a) {
    return note(kAllocation, "operator new"), velmor::hosttest::allocated(__libc_memalign(static_cast<size_t>(a), n ? n : 1));
}
void* operator new[](size_t n, std::align_val_t a) {
    return note(kAllocation, "operator new[]"), velmor::hosttest::allocated(__libc_memalign(static_cast<size_t>(a), n ? n : 1));
}
void* operator new(size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return note(kAllocation, "operator new"), __libc_memalign(static_cast<size_t>(a), n ? n : 1);
}
void* operator new[](size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return note(kAllocation, "operator new[]"), __libc_memalign(static_cast<size_t>(a), n ? n : 1);
}
void operator delete(void* p) noexcept { velmor::hosttest::released(p, "operator delete"); }
void operator delete[](void* p) noexcept { velmor::hosttest::released(p, "operator delete[]"); }
void operator delete(void* p, size_t) noexcept { velmor::hosttest::released(p, "operator delete"); }
void operator delete[](void* p, size_t) noexcept { velmor::hosttest::released(p, "operator delete[]"); }
void operator delete(void* p, std::align_val_t) noexcept { velmor::hosttest::released(p, "operator delete"); }
void operator delete[](void* p, std::align_val_t) noexcept { velmor::hosttest::released(p, "operator delete[]"); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { velmor::hosttest::released(p, "operator delete"); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { velmor::hosttest::released(p, "operator delete[]"); }
void operator delete(void* p, const std::nothrow_t&) noexcept { velmor::hosttest::released(p, "operator delete"); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { velmor::hosttest::released(p, "operator delete[]"); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { velmor::hosttest::released(p, "operator delete"); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { velmor::hosttest::released(p, "operator delete[]"); }

// Lock waits and system calls: counted, then the next definition (the C
// library's). The condition variables' current version is asked for by
// name, dlsym giving the oldest.
#define VELMOR_PASS_ON(kind, version, exceptions, result, name, parameters, arguments)                \
    namespace velmor::hosttest {                                                                      \
    void* real_##name = nullptr;                                                                      \
    }                                                                                                 \
    extern "C" result name parameters exceptions {                                                    \
        note(kind, #name);                                                                            \
        using Real = result(*) parameters;                                                            \
        return reinterpret_cast<Real>(next(velmor::hosttest::real_##name, #name, version)) arguments; \
    }

VELMOR_PASS_ON(kLockWait, nullptr, noexcept, int, pthread_mutex_lock, (pthread_mutex_t * m), (m))
VELMOR_PASS_ON(kLockWait, "GLIBC_2.3.2", , int, pthread_cond_wait, (pthread_cond_t * c, pthread_mutex_t* m), (c, m))
VELMOR_PASS_ON(kLockWait, "GLIBC_2.3.2", , int, pthread_cond_timedwait, (pthread_cond_t * c, pthread_mutex_t* m, const struct timespec* t), (c, m, t))
VELMOR_PASS_ON(kLockWait, nullptr, , int, pthread_cond_clockwait, (pthread_cond_t * c, pthread_mutex_t* m, clockid_t clock, const struct timespec* t),
               (c, m, clock, t))
VELMOR_PASS_ON(kLockWait, nullptr, noexcept, int, pthread_mutex_timedlock, (pthread_mutex_t * m, const struct timespec* t), (m, t))
VELMOR_PASS_ON(kLockWait, nullptr, , int, sem_wait, (sem_t * s), (s))
VELMOR_PASS_ON(kLockWait, nullptr, , int, sem_timedwait, (sem_t * s, const struct timespec* t), (s, t))
VELMOR_PASS_ON(kLockWait, nullptr, noexcept, int, pthread_rwlock_rdlock, (pthread_rwlock_t * l), (l))
VELMOR_PASS_ON(kLockWait, nullptr, noexcept, int, pthread_rwlock_wrlock, (pthread_rwlock_t * l), (l))
VELMOR_PASS_ON(kSystemCall, nullptr, , FILE*, fopen, (const char* path, const char* mode), (path, mode))
VELMOR_PASS_ON(kSystemCall, nullptr, , FILE*, fopen64, (const char* path, const char* mode), (path, mode))
VELMOR_PASS_ON(kSystemCall, nullptr, , FILE*, tmpfile, (), ())
VELMOR_PASS_ON(kSystemCall, nullptr, , ssize_t, read, (int fd, void* buffer, size_t size), (fd, buffer, size))
VELMOR_PASS_ON(kSystemCall, nullptr, , ssize_t, write, (int fd, const void* buffer, size_t size), (fd, buffer, size))
VELMOR_PASS_ON(kSystemCall, nullptr, , int, close, (int fd), (fd))
VELMOR_PASS_ON(kSystemCall, nullptr, , int, nanosleep, (const struct timespec* t, struct timespec* left), (t, left))
VELMOR_PASS_ON(kSystemCall, nullptr, , int, usleep, (useconds_t us), (us))
VELMOR_PASS_ON(kSystemCall, nullptr, noexcept, int, sched_yield, (), ())
#undef VELMOR_PASS_ON

// open's mode comes only with O_CREAT or O_TMPFILE.
namespace velmor::hosttest {
void* real_open = nullptr;
void* real_open64 = nullptr;
}  // namespace velmor::hosttest
#define VELMOR_OPEN(name)                                                                             \
    extern "C" int name(const char* path, int flags, ...) {                                           \
        mode_t mode = 0;                                                                              \
        if (flags & (O_CREAT | O_TMPFILE)) {                                                          \
            va_list rest;                                                                             \
            va_start(rest, flags);                                                                    \
            mode = va_arg(rest, mode_t);                                                              \
            va_end(rest);                                                                             \
        }                                                                                             \
        note(kSystemCall, #name);                                                                     \
        using Real = int (*)(const char*, int, ...);                                                  \
        return reinterpret_cast<Real>(next(velmor::hosttest::real_##name, #name))(path, flags, mode); \
    }
VELMOR_OPEN(open)
VELMOR_OPEN(open64)
#undef VELMOR_OPEN

#else

namespace velmor::hosttest {

bool realtimeCounting() { return false; }
AudioCallback::AudioCallback() {}
AudioCallback::~AudioCallback() {}
void resetRealtimeCounts() {}
void reportRealtimeCounts(const std::string& what) { std::printf("real-time, %s: not counted in this build\n", what.c_str()); }

}  // namespace velmor::hosttest

#endif
