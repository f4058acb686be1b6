#pragma once

#include <cstddef>
#include <cstdint>

namespace Usage {

// A read-only mapping of part of a file that survives the file shrinking under it. Reading a
// plain mapping past the end of a file truncated meanwhile raises SIGBUS, and transcripts are
// truncated and rewritten by their writers while they are read. Here a process-wide handler
// turns the missing pages into zeros, which hold no newline and so end no line, and marks the
// mapping: its reader stops at the last line it had finished before, as a read() that met the
// new end of the file would. Faults outside the mappings go to the handler that was there before.
class GuardedMapping
{
public:
    // LENGTH bytes of FD from OFFSET, a multiple of pageSize(). Invalid when the mapping failed
    // or all guard slots are taken; the caller reads another way then.
    GuardedMapping(int fd, std::uint64_t offset, std::size_t length);
    ~GuardedMapping();
    GuardedMapping(const GuardedMapping &) = delete;
    GuardedMapping &operator=(const GuardedMapping &) = delete;

    static std::size_t pageSize();

    bool valid() const { return m_data != nullptr; }
    const char *data() const { return m_data; }
    std::size_t size() const { return m_length; }

    // Whether a page went missing since the mapping was made: bytes read from then on may be
    // zeros that were never in the file.
    bool shrank() const;

private:
    char *m_data = nullptr;
    std::size_t m_length = 0;
    int m_slot = -1;
};

} // namespace Usage
