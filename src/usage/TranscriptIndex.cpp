#include "usage/TranscriptIndex.h"

#include "usage/Log.h"
#include "usage/TranscriptTree.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace Usage {

namespace {

constexpr std::size_t eventBufferSize = 64 * 1024;

constexpr std::uint32_t folderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                       IN_MODIFY | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF |
                                       IN_ONLYDIR | IN_MASK_ADD;
constexpr std::uint32_t wayDownEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                        IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR |
                                        IN_MASK_ADD;

// A quarter of the user's inotify watches: other programs of the user need theirs too.
std::size_t defaultWatchLimit()
{
    QFile file(QStringLiteral("/proc/sys/fs/inotify/max_user_watches"));
    const long long total =
        file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toLongLong() : 0;
    return std::size_t(std::max(total, 8192LL) / 4);
}

bool below(const std::string &path, const std::string &folder)
{
    return path.size() > folder.size() && path[folder.size()] == '/' && path.starts_with(folder);
}

} // namespace

TranscriptIndex::TranscriptIndex(std::string homeDirectory, std::size_t queueLimit,
                                 const RootEnvironment &environment, std::size_t watchLimit)
    : TranscriptSource(homeDirectory, environment)
    , m_queueLimit(queueLimit)
    , m_watchLimit(watchLimit ? watchLimit : defaultWatchLimit())
    , m_events(std::make_unique_for_overwrite<char[]>(eventBufferSize))
    , m_walk(homeDirectory, environment)
{
    for (const TranscriptDialect dialect : allDialects) {
        for (const std::string &root : roots(dialect)) {
            Tree tree;
            tree.root = root;
            m_trees.push_back(std::move(tree));
        }
    }
    m_walkers.resize(m_trees.size());
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0) {
        qCWarning(lcUsage, "No inotify (%s): transcripts are walked at every question",
                  qUtf8Printable(qt_error_string(errno)));
        for (Tree &tree : m_trees)
            tree.walkEveryTime = true;
        return;
    }
    // Only with an event loop to deliver to; without one, questions take the events.
    if (QCoreApplication::instance()) {
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                         [this] { processPendingEvents(); });
    }
    processPendingEvents();
}

TranscriptIndex::~TranscriptIndex()
{
    *m_alive = false;
    for (Tree &tree : m_trees)
        *tree.stopWalk = true;
    for (std::thread &walker : m_walkers) {
        if (walker.joinable())
            walker.join();
    }
    m_notifier.reset();
    if (m_fd >= 0)
        ::close(m_fd);
}

bool TranscriptIndex::reportsChanges(const std::string &root) const
{
    if (!m_notifier)
        return false;
    for (const Tree &tree : m_trees) {
        if (tree.root == root)
            return !tree.walkEveryTime;
    }
    return false;
}

TranscriptIndex::Tree *TranscriptIndex::treeOf(const std::string &root)
{
    for (Tree &tree : m_trees) {
        if (tree.root == root)
            return &tree;
    }
    return nullptr;
}

std::optional<std::string> TranscriptIndex::newest(const std::string &root,
                                                   const std::string &folder)
{
    processPendingEvents();
    Tree *tree = treeOf(root);
    if (!tree || (tree->walkEveryTime && !walksInBackground()))
        return m_walk.newest(root, folder);
    const auto best = [](auto from, auto to, const auto &inside) {
        std::optional<std::string> path;
        ModificationTime time;
        for (auto at = from; at != to && inside(at->first); ++at) {
            if (!path || isNewer(at->second.modified, at->first, time, *path)) {
                path = at->first;
                time = at->second.modified;
            }
        }
        return path;
    };
    if (folder == root) {
        if (!tree->newestKnown) {
            tree->newest = best(tree->files.begin(), tree->files.end(),
                                [](const std::string &) { return true; });
            tree->newestKnown = true;
        }
        return tree->newest;
    }
    const std::string prefix = folder + '/';
    return best(tree->files.lower_bound(prefix), tree->files.end(),
                [&](const std::string &path) { return path.starts_with(prefix); });
}

TranscriptSource::Listing TranscriptIndex::listing(const std::string &root)
{
    processPendingEvents();
    Tree *tree = treeOf(root);
    if (!tree || (tree->walkEveryTime && !walksInBackground()))
        return m_walk.listing(root);
    if (!tree->snapshot || tree->snapshotVersion != tree->version) {
        auto paths = std::make_shared<std::vector<std::string>>();
        paths->reserve(tree->files.size());
        for (const auto &file : tree->files)
            paths->push_back(file.first);
        tree->snapshot = std::move(paths);
        tree->snapshotVersion = tree->version;
    }
    return Listing{tree->version, tree->snapshot};
}

std::optional<std::int64_t> TranscriptIndex::size(const std::string &root, const std::string &path)
{
    Tree *tree = treeOf(root);
    if (!tree || (tree->walkEveryTime && !walksInBackground()))
        return m_walk.size(root, path);
    const auto found = tree->files.find(path);
    if (found == tree->files.end())
        return std::nullopt;
    if (!tree->walkEveryTime)
        return found->second.size;
    // Not watched: a file of the latest walk, as large as it is now.
    struct stat status;
    if (::lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return std::int64_t(status.st_size);
}

void TranscriptIndex::processPendingEvents()
{
    if (m_fd < 0)
        return;
    std::size_t count = 0;
    bool overflowed = false;
    for (;;) {
        const ssize_t length = ::read(m_fd, m_events.get(), eventBufferSize);
        if (length < 0 && errno == EINTR)
            continue;
        if (length <= 0)
            break;
        for (ssize_t at = 0; at < length;) {
            inotify_event event;
            std::memcpy(&event, m_events.get() + at, sizeof event);
            if (m_queueLimit != 0 && ++count > m_queueLimit)
                overflowed = true;
            if (!overflowed)
                apply(event.wd, event.mask, event.len ? m_events.get() + at + sizeof event : "");
            at += ssize_t(sizeof event + event.len);
        }
    }
    if (overflowed)
        overflow();
    for (std::size_t tree = 0; tree < m_trees.size(); ++tree) {
        if (m_trees[tree].dirty)
            rebuild(tree);
    }
}

// Runs the change handler later from the event loop: the change may have been met inside a
// question, and the handler asks questions itself.
void TranscriptIndex::changed()
{
    if (!m_changeHandler || m_changeQueued || !QCoreApplication::instance())
        return;
    m_changeQueued = true;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [this, alive = std::weak_ptr<bool>(m_alive)] {
            const auto living = alive.lock();
            if (!living || !*living)
                return;
            m_changeQueued = false;
            if (m_changeHandler)
                m_changeHandler();
        },
        Qt::QueuedConnection);
}

void TranscriptIndex::overflow()
{
    qCWarning(lcUsage, "The inotify event queue overflowed: transcripts are walked again");
    for (std::size_t tree = 0; tree < m_trees.size(); ++tree) {
        // Giving a large tree's watches back overflows the queue itself; watching it again would
        // only give them back again. Such a tree is walked anew where it is walked already.
        if (m_trees[tree].walkEveryTime && walksInBackground())
            walkInBackground(tree);
        else
            m_trees[tree].dirty = true;
    }
}

void TranscriptIndex::apply(int wd, std::uint32_t mask, const char *name)
{
    if (mask & IN_Q_OVERFLOW) {
        overflow();
        return;
    }
    const auto found = m_watches.find(wd);
    if (found == m_watches.end())
        return;
    Watch &watch = found->second;
    const std::string_view nameView(name);
    const bool self = mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED);
    for (const auto &[tree, next] : watch.steps) {
        if (self || nameView == next)
            m_trees[tree].dirty = true;
    }
    if (watch.folder.empty())
        return;
    Tree &tree = m_trees[watch.tree];
    if (self) {
        // A folder below the root is handled through its parent's events.
        if (watch.folder == tree.root)
            tree.dirty = true;
        if (mask & IN_IGNORED)
            m_watches.erase(found);
        return;
    }
    if (tree.dirty || nameView.empty())
        return;
    std::string path = watch.folder;
    path += '/';
    path += nameView;
    const std::size_t treeIndex = watch.tree;
    if (mask & IN_ISDIR) {
        if (mask & (IN_DELETE | IN_MOVED_FROM | IN_CREATE | IN_MOVED_TO | IN_ATTRIB))
            removeFolder(treeIndex, path);
        // A folder that arrived or may have become readable is walked.
        if (mask & (IN_CREATE | IN_MOVED_TO | IN_ATTRIB)) {
            addFolder(treeIndex, path);
            if (tree.walkEveryTime)
                walkInBackground(treeIndex);
        }
        return;
    }
    if (!isTranscriptName(nameView) || !holds(tree.root, path))
        return;
    if (mask & (IN_DELETE | IN_MOVED_FROM))
        eraseFile(tree, path);
    else
        updateFile(treeIndex, path);
}

void TranscriptIndex::rebuild(std::size_t treeIndex)
{
    Tree &tree = m_trees[treeIndex];
    for (auto at = m_watches.begin(); at != m_watches.end();) {
        Watch &watch = at->second;
        std::erase_if(watch.steps, [&](const auto &step) { return step.first == treeIndex; });
        if (!watch.folder.empty() && watch.tree == treeIndex)
            watch.folder.clear();
        if (watch.folder.empty() && watch.steps.empty()) {
            ::inotify_rm_watch(m_fd, at->first);
            at = m_watches.erase(at);
        } else {
            ++at;
        }
    }
    tree.files.clear();
    tree.newest.reset();
    tree.newestKnown = true;
    tree.dirty = false;
    tree.walkEveryTime = false;
    membershipChanged(tree);
    ++m_fullWalks;
    watchWayDown(treeIndex);
    addFolder(treeIndex, tree.root);
    qCDebug(lcUsage, "Walked %s: %zu transcripts%s", tree.root.c_str(), tree.files.size(),
            tree.walkEveryTime ? ", not watched" : "");
    if (tree.walkEveryTime)
        walkInBackground(treeIndex);
    changed();
}

void TranscriptIndex::walkInBackground(std::size_t treeIndex)
{
    Tree &tree = m_trees[treeIndex];
    for (auto at = m_watches.begin(); at != m_watches.end();) {
        if (at->second.tree == treeIndex && !at->second.folder.empty()) {
            at->second.folder.clear();
            if (at->second.steps.empty()) {
                ::inotify_rm_watch(m_fd, at->first);
                at = m_watches.erase(at);
                continue;
            }
        }
        ++at;
    }
    if (!walksInBackground())
        return;
    tree.walkInterval = firstWalkInterval;
    startWalk(treeIndex, ++tree.walkGeneration);
}

void TranscriptIndex::startWalk(std::size_t treeIndex, std::uint64_t generation)
{
    Tree &tree = m_trees[treeIndex];
    if (!tree.walkEveryTime || tree.walkGeneration != generation)
        return;
    if (m_walkers[treeIndex].joinable()) {
        // The last walk has ended, or is of an earlier generation and ends at its next folder.
        *tree.stopWalk = true;
        m_walkers[treeIndex].join();
    }
    tree.stopWalk = std::make_shared<std::atomic<bool>>(false);
    m_walkers[treeIndex] = std::thread([this, treeIndex, generation, root = tree.root,
                                        stop = tree.stopWalk, notifier = m_notifier.get()] {
        Files files;
        walkTranscripts(
            root,
            [&](const TranscriptFile &file) {
                files.emplace(std::string(file.path),
                              Entry{file.size, {file.modifiedSeconds, file.modifiedNanoseconds}});
            },
            [&](const std::string &, bool) { return !*stop; });
        if (*stop)
            return;
        // Delivered through the notifier: a result the index no longer waits for goes with it.
        QMetaObject::invokeMethod(
            notifier,
            [this, treeIndex, generation, files = std::move(files)]() mutable {
                walked(treeIndex, generation, std::move(files));
            },
            Qt::QueuedConnection);
    });
}

void TranscriptIndex::walked(std::size_t treeIndex, std::uint64_t generation, Files files)
{
    Tree &tree = m_trees[treeIndex];
    if (!tree.walkEveryTime || tree.walkGeneration != generation)
        return;
    // A tree this large is looked at less and less often while no file but the newest changes:
    // the newest one's growth is seen by asking its size.
    bool others = false;
    if (files != tree.files) {
        const auto newestOf = [](const Files &in) {
            const Files::value_type *best = nullptr;
            for (const auto &file : in) {
                if (!best || isNewer(file.second.modified, file.first, best->second.modified, best->first))
                    best = &file;
            }
            return best ? best->first : std::string();
        };
        std::string growing = newestOf(files);
        if (growing != newestOf(tree.files))
            growing.clear();
        others = !std::ranges::equal(files, tree.files, [&](const auto &now, const auto &before) {
            return now.first == before.first && (now.second == before.second || now.first == growing);
        });
        tree.files = std::move(files);
        tree.newestKnown = false;
        membershipChanged(tree);
        changed();
    }
    tree.walkInterval = others ? firstWalkInterval : std::min(tree.walkInterval * 2, longestWalkInterval);
    QTimer::singleShot(tree.walkInterval, m_notifier.get(),
                       [this, treeIndex, generation] { startWalk(treeIndex, generation); });
}

void TranscriptIndex::stopWatching(Tree &tree, const std::string &folder, const QString &why)
{
    if (!tree.walkEveryTime) {
        qCWarning(lcUsage, "Cannot watch %s (%s): %s is walked from time to time instead",
                  folder.c_str(), qUtf8Printable(why), tree.root.c_str());
    }
    tree.walkEveryTime = true;
}

// Watches the home directory (or, for a root elsewhere, the file system's root) and every folder
// below it on the way to the root that exists, each for the name of its next step.
void TranscriptIndex::watchWayDown(std::size_t treeIndex)
{
    Tree &tree = m_trees[treeIndex];
    std::string folder = home();
    while (!folder.empty() && folder.back() == '/')
        folder.pop_back();
    if (!below(tree.root, folder))
        folder.clear();
    std::string_view rest = std::string_view(tree.root).substr(folder.size());
    while (!rest.empty()) {
        rest.remove_prefix(1); // the slash
        const std::string_view next = rest.substr(0, rest.find('/'));
        rest.remove_prefix(next.size());
        const int wd =
            ::inotify_add_watch(m_fd, folder.empty() ? "/" : folder.c_str(), wayDownEvents);
        if (wd < 0) {
            if (errno == ENOSPC || errno == ENOMEM)
                stopWatching(tree, folder.empty() ? "/" : folder, qt_error_string(errno));
            return;
        }
        m_watches[wd].steps.emplace_back(treeIndex, std::string(next));
        folder += '/';
        folder += next;
        struct stat status;
        if (::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
            return;
    }
}

// Walks FOLDER (the root, or a folder that arrived in the tree), watching each of its folders
// before listing it so that nothing created meanwhile is missed.
void TranscriptIndex::addFolder(std::size_t treeIndex, const std::string &folder)
{
    Tree &tree = m_trees[treeIndex];
    const auto watchFolder = [&](const std::string &path, bool isRoot) {
        // Only the tree's root may be reached through a link, as in a walk.
        const bool followed = isRoot && path == tree.root;
        if (tree.walkEveryTime)
            return false; // walked elsewhere
        if (m_watches.size() >= m_watchLimit) {
            stopWatching(tree, path, QStringLiteral("more folders than %1 watches").arg(m_watchLimit));
            return false;
        }
        const int wd =
            ::inotify_add_watch(m_fd, path.c_str(), folderEvents | (followed ? 0 : IN_DONT_FOLLOW));
        if (wd < 0) {
            if (errno == ENOSPC || errno == ENOMEM) {
                stopWatching(tree, path, qt_error_string(errno));
                return false;
            }
            return false; // gone, unreadable or out of reach: a walk skips it as well
        }
        Watch &watch = m_watches[wd];
        if (!watch.folder.empty() && (watch.tree != treeIndex || watch.folder != path)) {
            // One folder reached by two paths: the index cannot tell them apart.
            stopWatching(tree, path, QStringLiteral("also reached as %1").arg(
                                          QFile::decodeName(watch.folder.c_str())));
            return false;
        }
        watch.tree = treeIndex;
        watch.folder = path;
        return true;
    };
    walkTranscripts(
        folder,
        [&](const TranscriptFile &file) {
            if (holds(tree.root, file.path))
                upsert(tree, std::string(file.path),
                       Entry{file.size, {file.modifiedSeconds, file.modifiedNanoseconds}});
        },
        watchFolder);
}

void TranscriptIndex::removeFolder(std::size_t treeIndex, const std::string &folder)
{
    Tree &tree = m_trees[treeIndex];
    const std::string prefix = folder + '/';
    auto from = tree.files.lower_bound(prefix);
    auto to = from;
    while (to != tree.files.end() && to->first.starts_with(prefix))
        ++to;
    if (from != to) {
        if (tree.newest && tree.newest->starts_with(prefix))
            tree.newestKnown = false;
        tree.files.erase(from, to);
        membershipChanged(tree);
        changed();
    }
    for (auto at = m_watches.begin(); at != m_watches.end();) {
        Watch &watch = at->second;
        if (watch.tree == treeIndex && (watch.folder == folder || below(watch.folder, folder))) {
            watch.folder.clear();
            if (watch.steps.empty()) {
                ::inotify_rm_watch(m_fd, at->first);
                at = m_watches.erase(at);
                continue;
            }
        }
        ++at;
    }
}

void TranscriptIndex::updateFile(std::size_t treeIndex, const std::string &path)
{
    Tree &tree = m_trees[treeIndex];
    struct statx status;
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT,
                STATX_TYPE | STATX_SIZE | STATX_MTIME, &status) != 0 ||
        !S_ISREG(status.stx_mode)) {
        eraseFile(tree, path);
        return;
    }
    upsert(tree, path,
           Entry{(status.stx_mask & STATX_SIZE) ? std::int64_t(status.stx_size) : 0,
                 {status.stx_mtime.tv_sec, status.stx_mtime.tv_nsec}});
}

void TranscriptIndex::upsert(Tree &tree, const std::string &path, const Entry &entry)
{
    changed();
    auto [at, added] = tree.files.try_emplace(path, entry);
    const bool older = !added && entry.modified < at->second.modified;
    at->second = entry;
    if (added)
        membershipChanged(tree);
    if (!tree.newestKnown)
        return;
    if (tree.newest == path) {
        if (older)
            tree.newestKnown = false;
    } else if (!tree.newest ||
               isNewer(entry.modified, path, tree.files.at(*tree.newest).modified, *tree.newest)) {
        tree.newest = path;
    }
}

void TranscriptIndex::eraseFile(Tree &tree, const std::string &path)
{
    if (tree.files.erase(path) == 0)
        return;
    changed();
    if (tree.newest == path)
        tree.newestKnown = false;
    membershipChanged(tree);
}

void TranscriptIndex::membershipChanged(Tree &tree)
{
    tree.version = ++m_versions;
}

} // namespace Usage
