#include "platform/linux/identity/desktop_index.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <set>

#include "shared/util/small_file.h"

namespace korvane::identity {
namespace {

namespace fs = std::filesystem;

constexpr int kMaxDepth = 8;
// Data homes belong to users; one stuffed with files must not make the helper
// read without end.
constexpr std::size_t kMaxEntries = 10000;
// Everything the walk meets counts, so a folder of a million other files
// ends the walk as surely as ten thousand entries do.
constexpr std::size_t kMaxWalked = 50000;
// Coarse file-system timestamps tick every few milliseconds; a second is far
// beyond any of them.
constexpr std::int64_t kSettle = 1'000'000'000;

bool sameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

std::string_view baseName(std::string_view path) { return path.substr(path.rfind('/') + 1); }

}  // namespace

DataFolderIndex::DataFolderIndex(DataFolder dataFolder, const ExecutableSearch& search, std::size_t byteBudget)
    : dataFolder_(std::move(dataFolder)), search_(search) {
    reload(byteBudget);
}

DataFolderIndex::FolderStamp DataFolderIndex::stampOf(const std::string& path) {
    FolderStamp stamp;
    stamp.path = path;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        stamp.exists = true;
        stamp.device = info.st_dev;
        stamp.inode = info.st_ino;
        stamp.modified = info.st_mtim;
    }
    return stamp;
}

bool DataFolderIndex::changedOnDisk() const {
    if (unsettled_) return true;
    ReadingAs rights(dataFolder_.reader);
    if (!rights.ok()) return false;
    for (const auto& stamp : stamps_) {
        FolderStamp now = stampOf(stamp.path);
        if (now.exists != stamp.exists) return true;
        if (now.exists && (now.device != stamp.device || now.inode != stamp.inode ||
                           !sameTime(now.modified, stamp.modified))) {
            return true;
        }
    }
    return false;
}

void DataFolderIndex::reload(std::size_t byteBudget) {
    entries_.clear();
    byID_.clear();
    byRelativePath_.clear();
    idsByExecutable_.clear();
    idsByStartupWMClass_.clear();
    stamps_.clear();
    bytesRead_ = 0;

    // Everything below, the walk and every open, happens with the rights of
    // the folder's user, never with root's.
    ReadingAs rights(dataFolder_.reader);
    if (!rights.ok()) return;
    const std::string root = dataFolder_.path + "/applications";
    stamps_.push_back(stampOf(root));
    std::vector<std::string> relativePaths;
    if (stamps_.front().exists) {
        std::error_code error;
        fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error);
        std::size_t walked = 0;
        for (; !error && it != fs::recursive_directory_iterator() && ++walked <= kMaxWalked; it.increment(error)) {
            std::error_code typeError;
            // Linked folders are not followed: a link cycle would never end.
            if (it->is_symlink(typeError) && it->is_directory(typeError)) continue;
            if (it->is_directory(typeError)) {
                if (it.depth() + 1 >= kMaxDepth) it.disable_recursion_pending();
                stamps_.push_back(stampOf(it->path().string()));
                continue;
            }
            std::string path = it->path().string();
            if (path.ends_with(".desktop")) relativePaths.push_back(path.substr(root.size() + 1));
            if (relativePaths.size() >= kMaxEntries) break;
        }
    }
    // Sorted, so that of two files giving one ID in this folder
    // ("a-b.desktop", "a/b.desktop") the same one wins every time.
    std::sort(relativePaths.begin(), relativePaths.end());
    for (const auto& relative : relativePaths) {
        auto id = desktopFileID(relative);
        if (!id || byID_.contains(*id)) continue;
        std::string path = root + "/" + relative;
        auto text = readSmallFileOrNothing(path, {.limit = std::min(kMaxEntryBytes, byteBudget - bytesRead_), .regularOnly = true});
        if (!text) continue;
        bytesRead_ += text->size();
        auto entry = parseDesktopEntry(*text);
        if (!entry) continue;
        entry->id = *id;
        entry->path = path;
        std::set<std::string> executables;
        for (const std::string& word : {entry->tryExec, firstExecWord(entry->exec)}) {
            if (auto executable = search_.resolve(word)) executables.insert(*executable);
        }
        for (const auto& executable : executables) idsByExecutable_[executable].push_back(*id);
        if (!entry->startupWMClass.empty()) idsByStartupWMClass_[entry->startupWMClass].push_back(*id);
        byID_[*id] = entries_.size();
        byRelativePath_[relative] = entries_.size();
        entries_.push_back(std::move(*entry));
    }
    for (auto& [executable, ids] : idsByExecutable_) std::sort(ids.begin(), ids.end());

    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    auto nanoseconds = [](const timespec& t) { return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec; };
    unsettled_ = std::any_of(stamps_.begin(), stamps_.end(), [&](const FolderStamp& stamp) {
        return stamp.exists && nanoseconds(now) - nanoseconds(stamp.modified) < kSettle;
    });
}

const DesktopEntry* DataFolderIndex::entryWithID(const std::string& id) const {
    auto it = byID_.find(id);
    return it == byID_.end() ? nullptr : &entries_[it->second];
}

const DesktopEntry* DataFolderIndex::entryAtRelativePath(const std::string& relative) const {
    auto it = byRelativePath_.find(relative);
    return it == byRelativePath_.end() ? nullptr : &entries_[it->second];
}

const std::vector<std::string>* DataFolderIndex::idsForExecutable(const std::string& executable) const {
    auto it = idsByExecutable_.find(executable);
    return it == idsByExecutable_.end() ? nullptr : &it->second;
}

const std::vector<std::string>* DataFolderIndex::idsForStartupWMClass(const std::string& wmClass) const {
    auto it = idsByStartupWMClass_.find(wmClass);
    return it == idsByStartupWMClass_.end() ? nullptr : &it->second;
}

std::size_t DesktopIndex::budgetBeside(const DataFolderIndex* except) const {
    std::size_t used = 0;
    for (const auto& [identity, folder] : folders_) {
        used += folder.index.get() == except ? 0 : folder.index->bytesRead();
    }
    return std::min(kMaxFolderBytes, used >= kMaxIndexedBytes ? 0 : kMaxIndexedBytes - used);
}

DesktopIndex::Identity DesktopIndex::identityOf(const DataFolder& dataFolder) {
    Identity identity{dataFolder.reader, 0, 0, dataFolder.path};
    ReadingAs rights(dataFolder.reader);
    struct stat info {};
    if (rights.ok() && ::stat(dataFolder.path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        identity.device = info.st_dev;
        identity.inode = info.st_ino;
        identity.missingPath.clear();
    }
    return identity;
}

void DesktopIndex::changed(const Identity& identity) {
    ++generation_;
    for (const auto& [name, named] : names_) {
        if (named == identity) changedAt_[name.path] = generation_;
    }
}

bool DesktopIndex::admit(const DataFolder& dataFolder, const Identity& identity) {
    std::optional<uid_t> owner;
    if (dataFolder.reader) owner = dataFolder.reader->uid;
    if (owner) {
        std::vector<std::map<Identity, Folder>::iterator> theirs;
        for (auto it = folders_.begin(); it != folders_.end(); ++it) {
            if (it->second.owner == owner) theirs.push_back(it);
        }
        if (theirs.size() >= kMaxFoldersPerUser) {
            // A folder no lookup named in the last two refreshes belongs to
            // processes that are gone; one still named stays.
            auto stale = std::find_if(theirs.begin(), theirs.end(),
                                      [&](const auto& it) { return it->second.lastNamed + 1 < refreshes_; });
            if (stale == theirs.end()) return false;
            Identity evicted = (*stale)->first;
            changed(evicted);
            std::erase_if(names_, [&](const auto& name) { return name.second == evicted; });
            folders_.erase(*stale);
        }
    }
    if (folders_.size() >= kMaxFolders) return false;
    auto index = std::make_unique<DataFolderIndex>(dataFolder, search_, budgetBeside(nullptr));
    ++foldersRead_;
    folders_.emplace(identity, Folder{std::move(index), owner, refreshes_});
    return true;
}

void DesktopIndex::ensure(const std::vector<DataFolder>& dataFolders) {
    for (const auto& dataFolder : dataFolders) {
        if (auto named = names_.find(dataFolder); named != names_.end()) {
            folders_.at(named->second).lastNamed = refreshes_;
            continue;
        }
        // Refused once in this refresh: not worth a look again until the next.
        auto refused = refusedAt_.find(dataFolder);
        if (refused != refusedAt_.end() && refused->second == refreshes_) continue;
        Identity identity = identityOf(dataFolder);
        auto folder = folders_.find(identity);
        if (folder == folders_.end() && !admit(dataFolder, identity)) {
            refusedAt_[dataFolder] = refreshes_;
            continue;
        }
        names_.emplace(dataFolder, identity);
        folders_.at(identity).lastNamed = refreshes_;
        // Answers given while it was refused rest on it from now on.
        if (refused != refusedAt_.end()) {
            refusedAt_.erase(refused);
            changed(identity);
        }
    }
}

const DataFolderIndex* DesktopIndex::known(const DataFolder& dataFolder) const {
    auto named = names_.find(dataFolder);
    return named == names_.end() ? nullptr : folders_.at(named->second).index.get();
}

bool DesktopIndex::refreshChanged(std::size_t budget) {
    std::lock_guard lock(mutex_);
    ++refreshes_;
    // Refusals of names no lookup asks for again are forgotten.
    std::erase_if(refusedAt_, [&](const auto& refused) { return refused.second + 1 < refreshes_; });
    // Changed folders by user, the system's first; users in turn, starting
    // after the one served last.
    std::map<std::optional<uid_t>, std::vector<std::map<Identity, Folder>::iterator>> pending;
    for (auto it = folders_.begin(); it != folders_.end(); ++it) {
        if (it->second.index->changedOnDisk()) pending[it->second.owner].push_back(it);
    }
    std::vector<std::optional<uid_t>> order;
    for (const auto& [owner, folders] : pending) order.push_back(owner);
    auto after = std::upper_bound(order.begin(), order.end(), lastServed_);
    if (!order.empty() && !order.front().has_value()) {
        // The system's folders lead; the users rotate behind them.
        if (after == order.begin()) ++after;
        std::rotate(order.begin() + 1, after, order.end());
    } else {
        std::rotate(order.begin(), after, order.end());
    }
    std::size_t spent = 0;
    bool any = false;
    for (bool round = true; round && spent < budget;) {
        round = false;
        for (const auto& owner : order) {
            auto& queue = pending[owner];
            if (queue.empty()) continue;
            auto it = queue.front();
            std::size_t cost = std::max<std::size_t>(it->second.index->bytesRead(), 1);
            if (spent > 0 && spent + cost > budget) {
                round = false;
                break;
            }
            queue.erase(queue.begin());
            it->second.index->reload(budgetBeside(it->second.index.get()));
            ++foldersRead_;
            spent += std::max<std::size_t>(it->second.index->bytesRead(), 1);
            lastServed_ = owner;
            any = true;
            changed(it->first);
            round = true;
        }
    }
    return any;
}

std::uint64_t DesktopIndex::lastChangeOf(const std::vector<std::string>& dataFolders) const {
    std::lock_guard lock(mutex_);
    std::uint64_t last = 0;
    for (const auto& path : dataFolders) {
        if (auto it = changedAt_.find(path); it != changedAt_.end()) last = std::max(last, it->second);
    }
    return last;
}

std::uint64_t DesktopIndex::generation() const {
    std::lock_guard lock(mutex_);
    return generation_;
}

std::size_t DesktopIndex::foldersRead() const {
    std::lock_guard lock(mutex_);
    return foldersRead_;
}

void DesktopIndex::include(const std::vector<DataFolder>& dataFolders) {
    std::lock_guard lock(mutex_);
    ensure(dataFolders);
}

std::optional<std::string> DesktopIndex::appIDForEntryPath(const std::string& path) {
    std::lock_guard lock(mutex_);
    for (const auto& [name, identity] : names_) {
        std::string below = name.path + "/applications/";
        if (!path.starts_with(below)) continue;
        const DesktopEntry* entry = folders_.at(identity).index->entryAtRelativePath(path.substr(below.size()));
        if (entry && entry->identifiesApplication()) return entry->id;
    }
    return std::nullopt;
}

const DesktopEntry* DesktopIndex::winner(const std::vector<DataFolder>& dataFolders, const std::string& id) const {
    for (const auto& dataFolder : dataFolders) {
        const DataFolderIndex* index = known(dataFolder);
        if (const DesktopEntry* entry = index ? index->entryWithID(id) : nullptr) return entry;
    }
    return nullptr;
}

std::optional<std::string> DesktopIndex::entryPathForExecutable(const std::vector<DataFolder>& dataFolders,
                                                                const std::string& executable) {
    std::lock_guard lock(mutex_);
    ensure(dataFolders);
    std::vector<const DesktopEntry*> owners;
    for (const auto& dataFolder : dataFolders) {
        const DataFolderIndex* index = known(dataFolder);
        const auto* ids = index ? index->idsForExecutable(executable) : nullptr;
        if (!ids) continue;
        for (const auto& id : *ids) {
            const DesktopEntry* entry = winner(dataFolders, id);
            // Only the winning file of an ID speaks for it; a hidden winner
            // deletes the ID altogether.
            if (!entry || !entry->identifiesApplication() || entry != index->entryWithID(id)) continue;
            if (std::find(owners.begin(), owners.end(), entry) == owners.end()) owners.push_back(entry);
        }
    }
    if (owners.empty()) return std::nullopt;
    auto named = std::find_if(owners.begin(), owners.end(),
                              [&](const DesktopEntry* e) { return e->id == baseName(executable); });
    return (named != owners.end() ? *named : owners.front())->path;
}

std::optional<DesktopEntry> DesktopIndex::entryForAppID(const std::vector<DataFolder>& dataFolders,
                                                        const std::string& id) {
    std::lock_guard lock(mutex_);
    ensure(dataFolders);
    const DesktopEntry* entry = winner(dataFolders, id);
    if (!entry || !entry->identifiesApplication()) return std::nullopt;
    return *entry;
}

std::optional<DesktopEntry> DesktopIndex::entryForStartupWMClass(const std::vector<DataFolder>& dataFolders,
                                                                 const std::string& wmClass) {
    std::lock_guard lock(mutex_);
    ensure(dataFolders);
    for (const auto& dataFolder : dataFolders) {
        const DataFolderIndex* index = known(dataFolder);
        const auto* ids = index ? index->idsForStartupWMClass(wmClass) : nullptr;
        if (!ids) continue;
        for (const auto& id : *ids) {
            const DesktopEntry* entry = winner(dataFolders, id);
            if (entry && entry->identifiesApplication() && entry == index->entryWithID(id)) return *entry;
        }
    }
    return std::nullopt;
}

}  // namespace korvane::identity
