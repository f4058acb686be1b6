#include "platform/ProcessExecutable.h"

#include <QFile>

#include <unistd.h>

#include <array>
#include <string>
#include <string_view>

namespace Platform {

QString processExecutableName(std::int64_t pid)
{
    if (pid <= 0)
        return {};
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    std::array<char, 4096> target{};
    const ssize_t length = ::readlink(link.c_str(), target.data(), target.size());
    if (length <= 0 || std::size_t(length) >= target.size())
        return {};
    std::string_view path(target.data(), std::size_t(length));
    constexpr std::string_view deleted = " (deleted)";
    if (path.ends_with(deleted))
        path.remove_suffix(deleted.size());
    const auto slash = path.rfind('/');
    if (slash != std::string_view::npos)
        path.remove_prefix(slash + 1);
    return QFile::decodeName(QByteArray(path.data(), qsizetype(path.size())));
}

} // namespace Platform
