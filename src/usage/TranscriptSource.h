#pragma once

#include "usage/TranscriptRoots.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Usage {

// Where the token usage reader and the desktop session file tracker learn which transcript files
// exist below a harness's transcript roots, how large they are and which is the newest. Two
// implementations give the same answers: TranscriptWalk walks the tree on every question, and
// TranscriptIndex keeps the trees in memory, fed by file-system notifications.
//
// Paths are bytes as the file system holds them (names need not be valid UTF-8). A root is one
// of the strings roots() gives; a folder is a root or a folder below it.
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
    explicit TranscriptSource(std::string homeDirectory, const RootEnvironment &environment = {});
    virtual ~TranscriptSource();
    TranscriptSource(const TranscriptSource &) = delete;
    TranscriptSource &operator=(const TranscriptSource &) = delete;

    // The transcript roots of a harness. Claude Code has two: its own projects folder, and the tree of Claude Desktop's agent sessions, each
    // of which keeps Claude Code transcripts in a ".claude/projects" folder of its own.
    const std::vector<std::string> &roots(Manifest::KnownHarness harness) const;
    const std::vector<std::string> &roots(TranscriptDialect dialect) const;

    // Whether PATH, a transcript file's path below ROOT, is one of its transcripts: in the
    // agent sessions' tree only those in a ".claude/projects" folder are.
    bool holds(const std::string &root, std::string_view path) const;

    // Whether every change below every root of the harness reaches the change handler.
    bool reportsChangesOf(Manifest::KnownHarness harness) const;

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
    std::array<std::vector<std::string>, allDialects.size()> m_roots;
    std::string m_agentSessions; // the root of Claude Desktop's agent sessions
};

} // namespace Usage
