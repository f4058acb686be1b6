// Counts the bytes held in allocations by standing in for malloc and its relatives in the
// program that links this file: the libraries' calls reach these definitions by symbol
// interposition, and each one hands the work on to glibc's own entry points (__libc_malloc and
// the rest), so the allocator and its behaviour stay the same. Sizes are taken as
// malloc_usable_size reports them, on the way in and on the way out, so the count stays exact
// whatever the caller asked for.
//
// A heap profiler preloaded into the program (heaptrack) would see nothing, since the program's
// own definitions come first: when something is preloaded, the calls go on to the next
// definition instead, the profiler's, once the program's constructors run.
#include "LiveHeap.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>

#include <dlfcn.h>
#include <malloc.h>
#include <unistd.h>

extern "C" {
void *__libc_malloc(std::size_t size);
void __libc_free(void *pointer);
void *__libc_calloc(std::size_t count, std::size_t size);
void *__libc_realloc(void *pointer, std::size_t size);
void *__libc_memalign(std::size_t alignment, std::size_t size);
}

namespace {

std::atomic<std::ptrdiff_t> g_live{0};

struct Allocator
{
    void *(*malloc)(std::size_t) = __libc_malloc;
    void (*free)(void *) = __libc_free;
    void *(*calloc)(std::size_t, std::size_t) = __libc_calloc;
    void *(*realloc)(void *, std::size_t) = __libc_realloc;
    void *(*memalign)(std::size_t, std::size_t) = __libc_memalign;
};

// Constant-initialised: usable by the first allocation of the first library constructor.
constinit Allocator g_next;

template <typename Function> void following(Function &function, const char *name)
{
    if (void *found = ::dlsym(RTLD_NEXT, name))
        function = reinterpret_cast<Function>(found);
}

// Before any other constructor of the program; the libraries' ones have run on glibc's entry
// points, which is harmless: every definition in the chain ends in the same allocator.
[[gnu::constructor(101)]] void followPreloaded()
{
    if (!std::getenv("LD_PRELOAD"))
        return;
    Allocator next;
    following(next.malloc, "malloc");
    following(next.free, "free");
    following(next.calloc, "calloc");
    following(next.realloc, "realloc");
    following(next.memalign, "memalign");
    g_next = next;
}

void *counted(void *pointer)
{
    if (pointer)
        g_live.fetch_add(std::ptrdiff_t(malloc_usable_size(pointer)), std::memory_order_relaxed);
    return pointer;
}

void uncount(void *pointer)
{
    if (pointer)
        g_live.fetch_sub(std::ptrdiff_t(malloc_usable_size(pointer)), std::memory_order_relaxed);
}

} // namespace

extern "C" {

void *malloc(std::size_t size) noexcept
{
    return counted(g_next.malloc(size));
}

void free(void *pointer) noexcept
{
    uncount(pointer);
    g_next.free(pointer);
}

void *calloc(std::size_t count, std::size_t size) noexcept
{
    return counted(g_next.calloc(count, size));
}

void *realloc(void *pointer, std::size_t size) noexcept
{
    const std::ptrdiff_t before = pointer ? std::ptrdiff_t(malloc_usable_size(pointer)) : 0;
    void *moved = g_next.realloc(pointer, size);
    // A failed resize leaves the old block as it was; realloc(p, 0) frees it.
    if (moved || (pointer && size == 0))
        g_live.fetch_sub(before, std::memory_order_relaxed);
    return counted(moved);
}

void *reallocarray(void *pointer, std::size_t count, std::size_t size) noexcept
{
    std::size_t total = 0;
    if (__builtin_mul_overflow(count, size, &total)) {
        errno = ENOMEM;
        return nullptr;
    }
    return realloc(pointer, total);
}

void *memalign(std::size_t alignment, std::size_t size) noexcept
{
    return counted(g_next.memalign(alignment, size));
}

void *aligned_alloc(std::size_t alignment, std::size_t size) noexcept
{
    return counted(g_next.memalign(alignment, size));
}

int posix_memalign(void **result, std::size_t alignment, std::size_t size) noexcept
{
    if (alignment % sizeof(void *) != 0 || (alignment & (alignment - 1)) != 0)
        return EINVAL;
    void *pointer = counted(g_next.memalign(alignment, size));
    if (!pointer)
        return ENOMEM;
    *result = pointer;
    return 0;
}

void *valloc(std::size_t size) noexcept
{
    return counted(g_next.memalign(std::size_t(sysconf(_SC_PAGESIZE)), size));
}

void *pvalloc(std::size_t size) noexcept
{
    const auto page = std::size_t(sysconf(_SC_PAGESIZE));
    return counted(g_next.memalign(page, (size + page - 1) / page * page));
}

} // extern "C"

namespace Bench {

std::size_t liveHeapBytes()
{
    return std::size_t(std::max<std::ptrdiff_t>(g_live.load(std::memory_order_relaxed), 0));
}

} // namespace Bench
