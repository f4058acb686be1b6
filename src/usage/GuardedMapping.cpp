#include "usage/GuardedMapping.h"

#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <mutex>

namespace Usage {

namespace {

// One slot per live mapping; a mapping is read only by the thread that made it, so the handler,
// which runs on the faulting thread, looks only at that thread's slots, which do not change
// under it.
struct Slot
{
    std::atomic<bool> taken = false;
    std::atomic<pid_t> thread = 0;
    std::atomic<std::uintptr_t> begin = 0;
    std::atomic<std::uintptr_t> end = 0;
    std::atomic<bool> shrank = false;
};

constexpr int slotCount = 64;
Slot slots[slotCount];
struct sigaction previous;
std::once_flag installed;

pid_t currentThread()
{
    return pid_t(::syscall(SYS_gettid));
}

std::uintptr_t pageMask()
{
    static const std::uintptr_t mask = ~(std::uintptr_t(::sysconf(_SC_PAGESIZE)) - 1);
    return mask;
}

void onBusError(int signal, siginfo_t *info, void *context)
{
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    const pid_t self = currentThread();
    for (Slot &slot : slots) {
        if (slot.thread.load(std::memory_order_acquire) != self)
            continue;
        const std::uintptr_t end = slot.end.load(std::memory_order_relaxed);
        if (address < slot.begin.load(std::memory_order_relaxed) || address >= end)
            continue;
        // Zeros from the missing page to the end of the mapping; the access then goes on.
        const std::uintptr_t page = address & pageMask();
        void *zeros = ::mmap(reinterpret_cast<void *>(page), end - page, PROT_READ,
                             MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        if (zeros == MAP_FAILED)
            break;
        slot.shrank.store(true, std::memory_order_relaxed);
        return;
    }
    if (previous.sa_flags & SA_SIGINFO) {
        previous.sa_sigaction(signal, info, context);
    } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
        previous.sa_handler(signal);
    } else {
        // The faulting access runs again and ends the process as it would have without us.
        ::signal(SIGBUS, SIG_DFL);
    }
}

void install()
{
    struct sigaction action = {};
    action.sa_sigaction = onBusError;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &previous);
}

} // namespace

std::size_t GuardedMapping::pageSize()
{
    return std::size_t(~pageMask() + 1);
}

GuardedMapping::GuardedMapping(int fd, std::uint64_t offset, std::size_t length)
{
    std::call_once(installed, install);
    for (int at = 0; at < slotCount && m_slot < 0; ++at) {
        bool free = false;
        if (slots[at].taken.compare_exchange_strong(free, true))
            m_slot = at;
    }
    if (m_slot < 0 || length == 0)
        return;
    // Populated at once: one call instead of a fault every few pages.
    void *mapped = ::mmap(nullptr, length, PROT_READ, MAP_SHARED | MAP_POPULATE, fd, off_t(offset));
    if (mapped == MAP_FAILED)
        return;
    m_data = static_cast<char *>(mapped);
    m_length = length;
    Slot &slot = slots[m_slot];
    slot.shrank.store(false, std::memory_order_relaxed);
    slot.begin.store(reinterpret_cast<std::uintptr_t>(m_data), std::memory_order_relaxed);
    slot.end.store(reinterpret_cast<std::uintptr_t>(m_data) + length, std::memory_order_relaxed);
    slot.thread.store(currentThread(), std::memory_order_release);
}

GuardedMapping::~GuardedMapping()
{
    if (m_slot < 0)
        return;
    Slot &slot = slots[m_slot];
    slot.thread.store(0, std::memory_order_release);
    if (m_data)
        ::munmap(m_data, m_length);
    slot.taken.store(false, std::memory_order_release);
}

bool GuardedMapping::shrank() const
{
    return m_slot >= 0 && slots[m_slot].shrank.load(std::memory_order_relaxed);
}

} // namespace Usage
