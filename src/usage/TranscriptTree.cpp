#include "usage/TranscriptTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace Usage {

namespace {

constexpr std::size_t listingBufferSize = 32 * 1024;
constexpr std::string_view transcriptSuffix = ".jsonl";

bool isTranscriptName(std::string_view name)
{
    return name.size() > transcriptSuffix.size() && name.ends_with(transcriptSuffix);
}

class Walker
{
public:
    Walker(std::string_view root, const std::function<void(const TranscriptFile &)> &visit)
        : m_path(root)
        , m_visit(visit)
    {
        while (m_path.size() > 1 && m_path.back() == '/')
            m_path.pop_back();
    }

    bool run()
    {
        // The root is opened like any path the user gave, links included.
        const int fd = ::open(m_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return false;
        walkDirectory(fd, 0);
        ::close(fd);
        return true;
    }

private:
    char *bufferFor(std::size_t depth)
    {
        while (m_buffers.size() <= depth)
            m_buffers.push_back(std::make_unique_for_overwrite<char[]>(listingBufferSize));
        return m_buffers[depth].get();
    }

    void walkDirectory(int fd, std::size_t depth)
    {
        char *buffer = bufferFor(depth);
        for (;;) {
            const ssize_t length = ::getdents64(fd, buffer, listingBufferSize);
            if (length <= 0)
                return;
            for (ssize_t position = 0; position < length;) {
                dirent64 entry;
                std::memcpy(&entry, buffer + position, offsetof(dirent64, d_name));
                const char *name = buffer + position + offsetof(dirent64, d_name);
                position += entry.d_reclen;
                visitEntry(fd, depth, name, entry.d_type);
            }
        }
    }

    void visitEntry(int fd, std::size_t depth, const char *name, unsigned char type)
    {
        const std::string_view nameView(name);
        if (nameView == "." || nameView == "..")
            return;
        const bool transcriptName = isTranscriptName(nameView);
        if (type == DT_DIR) {
            descend(fd, depth, name, nameView);
            return;
        }
        if (type != DT_REG && type != DT_UNKNOWN)
            return; // links, sockets, devices
        if (type == DT_REG && !transcriptName)
            return;

        struct statx status;
        if (::statx(fd, name, AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT,
                    STATX_TYPE | STATX_SIZE | STATX_MTIME, &status) != 0)
            return;
        if (S_ISDIR(status.stx_mode)) {
            descend(fd, depth, name, nameView);
            return;
        }
        if (!S_ISREG(status.stx_mode) || !transcriptName)
            return;
        const std::size_t parentLength = m_path.size();
        m_path += '/';
        m_path += nameView;
        TranscriptFile file;
        file.path = m_path;
        file.size = (status.stx_mask & STATX_SIZE) ? static_cast<std::int64_t>(status.stx_size) : 0;
        file.modifiedSeconds = status.stx_mtime.tv_sec;
        file.modifiedNanoseconds = status.stx_mtime.tv_nsec;
        m_visit(file);
        m_path.resize(parentLength);
    }

    void descend(int fd, std::size_t depth, const char *name, std::string_view nameView)
    {
        const int child = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (child < 0)
            return;
        const std::size_t parentLength = m_path.size();
        m_path += '/';
        m_path += nameView;
        walkDirectory(child, depth + 1);
        m_path.resize(parentLength);
        ::close(child);
    }

    std::string m_path;
    const std::function<void(const TranscriptFile &)> &m_visit;
    std::vector<std::unique_ptr<char[]>> m_buffers;
};

} // namespace

bool walkTranscripts(std::string_view root,
                     const std::function<void(const TranscriptFile &)> &visit)
{
    Walker walker(root, visit);
    return walker.run();
}

} // namespace Usage
