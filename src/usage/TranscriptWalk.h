#pragma once

#include "usage/TranscriptSource.h"

#include <QFile>

#include <unordered_map>

namespace Usage {

// The transcript source that walks the tree on every question: no state but the sizes of each
// root's latest listing. The reference for TranscriptIndex, and the choice of one-shot tools.
class TranscriptWalk : public TranscriptSource
{
public:
    explicit TranscriptWalk(std::string homeDirectory, const RootEnvironment &environment = {});
    explicit TranscriptWalk(const QString &homeDirectory, const RootEnvironment &environment = {})
        : TranscriptWalk(QFile::encodeName(homeDirectory).toStdString(), environment)
    {}

    std::optional<std::string> newest(const std::string &root, const std::string &folder) override;
    Listing listing(const std::string &root) override;
    std::optional<std::int64_t> size(const std::string &root, const std::string &path) override;

private:
    std::unordered_map<std::string, std::unordered_map<std::string, std::int64_t>> m_sizes;
};

} // namespace Usage
