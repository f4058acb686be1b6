#pragma once

#include "usage/TranscriptRoots.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Usage {

// Where the token usage reader and the desktop session file tracker learn which transcript files
// exist below a harness's transcript root, how large they are and which is the newest. Two
// implementations give the same answers: TranscriptWalk walks the tree on every question, and
// TranscriptIndex keeps the trees in memory, fed by file-system notifications.
//
// Paths are bytes as the file system holds them (names need not be valid UTF-8). A root is the
// string root() gives; a folder is a root or a folder below it.
//
// Order: transcripts are listed sorted by their path bytes. The newest transcript is the one
// with the latest modification time; of several with the same time, the first in that order.
class TranscriptSource
{
public:
    using ChangeHandler = std::function<void()>;

    // Paths of every transcript below a root, sorted. Two listings of one root whose version is
    // equal and not 0 hold the same paths, so a caller may skip comparing them.
    struct Listing
    {
        std::uint64_t version = 0;
        std::shared_ptr<const std::vector<std::string>> paths;
    };

    // The home directory as the file system names it: bytes, which need not be UTF-8.
    explicit TranscriptSource(std::string homeDirectory);
    virtual ~TranscriptSource();
    TranscriptSource(const TranscriptSource &) = delete;
    TranscriptSource &operator=(const TranscriptSource &) = delete;

    // The transcript root of a harness (below the home directory), or none for harnesses
    // without transcripts.
    std::optional<std::string> root(const QString &harnessId) const;
    std::string rootOf(TranscriptDialect dialect) const;

    // The newest transcript below FOLDER, which lies in ROOT; none when there is none or the
    // folder cannot be listed.
    virtual std::optional<std::string> newest(const std::string &root, const std::string &folder) = 0;

    virtual Listing listing(const std::string &root) = 0;

    // Size in bytes of a transcript of the root's latest listing (0 when it could not be read),
    // or none when PATH was not in it.
    virtual std::optional<std::int64_t> size(const std::string &root, const std::string &path) = 0;

    // Called from the event loop after a transcript was created, written, replaced or removed,
    // once for any number of changes met since it last ran (never from inside a question, so the
    // handler may ask). A source that cannot tell never calls it.
    virtual void setChangeHandler(ChangeHandler handler);

    // Whether every change below ROOT reaches the change handler now; where not, a caller that
    // follows a transcript must ask again on its own.
    virtual bool reportsChanges(const std::string &root) const;

protected:
    const std::string &home() const { return m_home; }

private:
    std::string m_home;
};

} // namespace Usage
