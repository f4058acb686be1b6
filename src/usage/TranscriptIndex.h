#pragma once

#include "usage/TranscriptOrder.h"
#include "usage/TranscriptSource.h"
#include "usage/TranscriptWalk.h"

#include <QFile>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <thread>
#include <unordered_map>
#include <vector>

class QSocketNotifier;

namespace Usage {

// The transcript source that keeps the transcript trees in memory and answers from there, so
// that questions asked every second cost no walk.
//
// It watches every folder of the trees with inotify (folders created later included) and each
// folder on the way from the home directory (or "/") down to a root, so that a root that appears,
// disappears or is replaced is walked again. A tree is also walked again, whole, when the
// kernel's event queue overflowed. When a folder's watch cannot be added (the kernel's limit, or
// more folders than a quarter of the user's watches, which other programs need too), the tree's
// folder watches are given back and the tree is walked on a thread of its own, again and again
// at an interval that grows while nothing changes, until something on the way down to it
// changes; answers then come from the latest such walk. Without an event loop such a tree is
// walked at every question instead.
//
// Events are taken from the kernel in two ways: from the Qt event loop (a socket notifier on
// the inotify descriptor, so the queue never fills while nobody asks) and at the start of
// every question, so that answers are always as current as the kernel's queue. Tests and
// benchmarks can step it with processPendingEvents().
//
// Without inotify (no descriptor) it behaves as a TranscriptWalk.
//
// Typical use, for the life of the process on the main thread:
//
//     Usage::TranscriptIndex transcripts(Platform::homeDirectory());
//     Usage::TokenUsageReader reader(transcripts);
//     Usage::DesktopSessionFileTracker tracker(transcripts, clock);
//     transcripts.setChangeHandler([&] { /* reader.usage(harness) for the shown harness */ });
//
// The change handler is the one way to learn that a conversation changed: it runs from the
// event loop after any transcript was created, appended to, rewritten, touched, renamed over or
// removed, or a tree was walked again. It reports every change of a tree while reportsChanges()
// says so (with inotify, and every folder of the tree watched).
class TranscriptIndex : public TranscriptSource
{
public:
    // QUEUELIMIT, when not 0, drops every event past that many in one batch and handles the
    // batch as a queue overflow, as the kernel does with its own (much larger) limit.
    // WATCHLIMIT, when not 0, is the most folder watches the index holds (else a quarter of
    // fs.inotify.max_user_watches).
    explicit TranscriptIndex(std::string homeDirectory, std::size_t queueLimit = 0,
                             const RootEnvironment &environment = {}, std::size_t watchLimit = 0);
    explicit TranscriptIndex(const QString &homeDirectory, std::size_t queueLimit = 0,
                             const RootEnvironment &environment = {}, std::size_t watchLimit = 0)
        : TranscriptIndex(QFile::encodeName(homeDirectory).toStdString(), queueLimit, environment,
                          watchLimit)
    {}

    // The first and the longest interval between the walks of a tree that is not watched.
    static constexpr std::chrono::milliseconds firstWalkInterval{2000};
    static constexpr std::chrono::milliseconds longestWalkInterval{60000};
    ~TranscriptIndex() override;

    std::optional<std::string> newest(const std::string &root, const std::string &folder) override;
    Listing listing(const std::string &root) override;
    std::optional<std::int64_t> size(const std::string &root, const std::string &path) override;

    // Applies every event queued so far, and walks again what needs it.
    void processPendingEvents();

    // Needs a QCoreApplication.
    void setChangeHandler(ChangeHandler handler) override { m_changeHandler = std::move(handler); }
    bool reportsChanges(const std::string &root) const override;

    // How many times a tree was walked whole, the first walk included.
    std::size_t fullWalks() const { return m_fullWalks; }

private:
    struct Entry
    {
        std::int64_t size = 0;
        ModificationTime modified;
        friend bool operator==(const Entry &, const Entry &) = default;
    };
    using Files = std::map<std::string, Entry>; // sorted by path bytes
    struct Tree
    {
        std::string root;
        Files files;
        bool dirty = true;          // to be walked again, whole
        bool walkEveryTime = false; // a watch is missing: answers come from walks
        std::chrono::milliseconds walkInterval = firstWalkInterval;
        std::uint64_t walkGeneration = 0; // tells a walk's late result from the current one's
        // Set to stop the walk under way at its next folder: no longer waited for.
        std::shared_ptr<std::atomic<bool>> stopWalk = std::make_shared<std::atomic<bool>>(false);
        std::uint64_t version = 0;
        std::shared_ptr<const std::vector<std::string>> snapshot;
        std::uint64_t snapshotVersion = 0;
        std::optional<std::string> newest; // cache, valid when newestKnown
        bool newestKnown = false;
    };
    struct Watch
    {
        std::size_t tree = 0;
        std::string folder;
        // The folders of the way down to a root: only the name of the next step matters.
        std::vector<std::pair<std::size_t, std::string>> steps;
    };

    Tree *treeOf(const std::string &root);
    void rebuild(std::size_t tree);
    void watchWayDown(std::size_t tree);
    void addFolder(std::size_t tree, const std::string &folder);
    void removeFolder(std::size_t tree, const std::string &folder);
    void updateFile(std::size_t tree, const std::string &path);
    void upsert(Tree &tree, const std::string &path, const Entry &entry);
    void eraseFile(Tree &tree, const std::string &path);
    void membershipChanged(Tree &tree);
    void apply(int wd, std::uint32_t mask, const char *name);
    void overflow();
    // A watch of FOLDER is missing: the tree is answered by walks until it is walked again.
    void stopWatching(Tree &tree, const std::string &folder, const QString &why);
    void changed();
    // Gives back the tree's folder watches and walks it off this thread from now on.
    void walkInBackground(std::size_t tree);
    void startWalk(std::size_t tree, std::uint64_t generation);
    void walked(std::size_t tree, std::uint64_t generation, Files files);
    bool walksInBackground() const { return m_notifier != nullptr; }

    int m_fd = -1;
    std::size_t m_queueLimit = 0;
    std::size_t m_watchLimit = 0;
    std::vector<Tree> m_trees;
    std::unordered_map<int, Watch> m_watches;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::unique_ptr<char[]> m_events;
    std::uint64_t m_versions = 0;
    std::size_t m_fullWalks = 0;
    TranscriptWalk m_walk; // answers for a tree with a missing watch
    ChangeHandler m_changeHandler;
    bool m_changeQueued = false;
    // Tells queued change calls that ran after the index was destroyed to do nothing.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    // The walks under way on threads of their own, one a tree; stopped and joined with the index.
    std::vector<std::thread> m_walkers;
};

} // namespace Usage
