#include "usage/TranscriptWalk.h"

#include "usage/TranscriptOrder.h"
#include "usage/TranscriptTree.h"

#include <algorithm>

namespace Usage {

TranscriptWalk::TranscriptWalk(std::string homeDirectory, const RootEnvironment &environment)
    : TranscriptSource(std::move(homeDirectory), environment)
{}

std::optional<std::string> TranscriptWalk::newest(const std::string &root, const std::string &folder)
{
    std::string best;
    ModificationTime bestTime{};
    bool found = false;
    walkTranscripts(folder, [&](const TranscriptFile &file) {
        if (!holds(root, file.path))
            return;
        const ModificationTime time{file.modifiedSeconds, file.modifiedNanoseconds};
        if (!found || isNewer(time, file.path, bestTime, best)) {
            found = true;
            bestTime = time;
            best.assign(file.path);
        }
    });
    if (!found)
        return std::nullopt;
    return best;
}

TranscriptSource::Listing TranscriptWalk::listing(const std::string &root)
{
    auto paths = std::make_shared<std::vector<std::string>>();
    auto &sizes = m_sizes[root];
    sizes.clear();
    walkTranscripts(root, [&](const TranscriptFile &file) {
        if (!holds(root, file.path))
            return;
        paths->emplace_back(file.path);
        sizes.emplace(file.path, file.size);
    });
    std::sort(paths->begin(), paths->end());
    // Version 0: nothing is known to be unchanged, every walk is compared afresh.
    return Listing{0, std::move(paths)};
}

std::optional<std::int64_t> TranscriptWalk::size(const std::string &root, const std::string &path)
{
    const auto sizes = m_sizes.find(root);
    if (sizes == m_sizes.end())
        return std::nullopt;
    const auto found = sizes->second.find(path);
    if (found == sizes->second.end())
        return std::nullopt;
    return found->second;
}

} // namespace Usage
