#include "usage/TranscriptTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <vector>

namespace Usage {

namespace {

constexpr std::size_t listingBufferSize = 32 * 1024;
constexpr std::string_view transcriptSuffix = ".jsonl";

} // namespace

bool isTranscriptName(std::string_view name)
{
    return name.size() > transcriptSuffix.size() && name.ends_with(transcriptSuffix);
}

bool walkTranscripts(std::string_view root, const std::function<void(const TranscriptFile &)> &visit,
                     const FolderVisitor &enterFolder)
{
    std::string rootPath(root);
    while (rootPath.size() > 1 && rootPath.back() == '/')
        rootPath.pop_back();
    if (enterFolder && !enterFolder(rootPath, true))
        return false;
    // The root is opened like any path the user gave, links included.
    int rootFd = ::open(rootPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0)
        return false;

    const auto buffer = std::make_unique_for_overwrite<char[]>(listingBufferSize);
    std::vector<std::string> folders{rootPath};
    std::string path;
    bool first = true;
    while (!folders.empty()) {
        const std::string folder = std::move(folders.back());
        folders.pop_back();
        int fd = rootFd;
        if (!first) {
            if (enterFolder && !enterFolder(folder, false))
                continue;
            fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd < 0)
                continue;
        }
        first = false;
        for (;;) {
            const ssize_t length = ::getdents64(fd, buffer.get(), listingBufferSize);
            if (length <= 0)
                break;
            for (ssize_t position = 0; position < length;) {
                dirent64 entry;
                std::memcpy(&entry, buffer.get() + position, offsetof(dirent64, d_name));
                const char *name = buffer.get() + position + offsetof(dirent64, d_name);
                position += entry.d_reclen;
                const std::string_view nameView(name);
                if (nameView == "." || nameView == "..")
                    continue;
                const unsigned char type = entry.d_type;
                const bool transcriptName = isTranscriptName(nameView);
                if (type != DT_DIR && type != DT_UNKNOWN && (type != DT_REG || !transcriptName))
                    continue; // links, sockets, devices, other files
                path.assign(folder).append(1, '/').append(nameView);
                if (type == DT_DIR) {
                    folders.push_back(path);
                    continue;
                }
                struct statx status;
                if (::statx(fd, name, AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT,
                            STATX_TYPE | STATX_SIZE | STATX_MTIME, &status) != 0)
                    continue;
                if (S_ISDIR(status.stx_mode)) {
                    folders.push_back(path);
                    continue;
                }
                if (!S_ISREG(status.stx_mode) || !transcriptName)
                    continue;
                TranscriptFile file;
                file.path = path;
                file.size =
                    (status.stx_mask & STATX_SIZE) ? static_cast<std::int64_t>(status.stx_size) : 0;
                file.modifiedSeconds = status.stx_mtime.tv_sec;
                file.modifiedNanoseconds = status.stx_mtime.tv_nsec;
                visit(file);
            }
        }
        ::close(fd);
    }
    return true;
}

} // namespace Usage
