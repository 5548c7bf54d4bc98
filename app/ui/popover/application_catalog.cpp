#include "app/ui/popover/application_catalog.h"

#include <QCollator>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <algorithm>
#include <set>

#include "shared/identity/desktop_entry.h"
#include "shared/util/small_file.h"

namespace korvane::ui {
namespace {

// Enough for any real menu; a runaway folder cannot stall the window.
constexpr int kMaxEntriesPerFolder = 10000;

QStringList splitFolders(const QByteArray& value) {
    QStringList folders;
    for (const QString& part : QString::fromLocal8Bit(value).split(':', Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(part)) folders << QDir::cleanPath(part);
    }
    return folders;
}

struct ReadEntry {
    ApplicationEntry entry;
    bool noDisplay = false;
};

std::optional<ReadEntry> entryFromFile(const QString& path, const QString& id) {
    const auto text = readSmallFileOrNothing(QFile::encodeName(path).toStdString(), {.regularOnly = true});
    if (!text) return std::nullopt;
    auto parsed = identity::parseDesktopEntry(*text);
    if (!parsed || !parsed->identifiesApplication()) return std::nullopt;
    ReadEntry read;
    read.entry.id = id;
    // The name in the user's language, as the jail and the running list show it.
    const std::string name = identity::localizedName(*parsed, identity::messagesLocaleFromEnvironment());
    read.entry.name = name.empty() ? id : QString::fromStdString(name);
    read.entry.iconName = QString::fromStdString(parsed->icon);
    read.entry.path = path;
    read.noDisplay = parsed->noDisplay;
    return read;
}

}  // namespace

QIcon ApplicationEntry::icon() const {
    if (iconName.isEmpty()) return {};
    if (QDir::isAbsolutePath(iconName)) return QFileInfo(iconName).isFile() ? QIcon(iconName) : QIcon();
    return QIcon::fromTheme(iconName);
}

std::vector<QString> xdgDataFolders() {
    QStringList folders;
    QStringList home = splitFolders(qgetenv("XDG_DATA_HOME"));
    folders << (home.isEmpty() ? QDir::homePath() + "/.local/share" : home.first());
    QStringList system = splitFolders(qgetenv("XDG_DATA_DIRS"));
    if (system.isEmpty()) system = {"/usr/local/share", "/usr/share"};
    folders << system;
    for (const QString& flatpak : {QDir::homePath() + "/.local/share/flatpak/exports/share",
                                   QStringLiteral("/var/lib/flatpak/exports/share")}) {
        if (!folders.contains(flatpak)) folders << flatpak;
    }
    folders.removeDuplicates();
    return {folders.begin(), folders.end()};
}

std::vector<ApplicationEntry> installedApplications(const std::vector<QString>& dataFolders) {
    std::vector<ApplicationEntry> entries;
    std::set<QString> seenIDs;
    for (const QString& folder : dataFolders) {
        const QString applications = QDir::cleanPath(folder + "/applications");
        QDirIterator files(applications, {"*.desktop"}, QDir::Files | QDir::Readable, QDirIterator::Subdirectories);
        int visited = 0;
        while (files.hasNext() && visited++ < kMaxEntriesPerFolder) {
            const QString path = files.next();
            const auto id = identity::desktopFileID(QDir(applications).relativeFilePath(path).toStdString());
            if (!id) continue;
            const QString qid = QString::fromStdString(*id);
            // A folder of higher precedence hides or replaces every later entry of its ID.
            if (!seenIDs.insert(qid).second) continue;
            auto read = entryFromFile(path, qid);
            if (!read || read->noDisplay) continue;
            entries.push_back(std::move(read->entry));
        }
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    std::stable_sort(entries.begin(), entries.end(), [&](const ApplicationEntry& a, const ApplicationEntry& b) {
        const int order = collator.compare(a.name, b.name);
        return order != 0 ? order < 0 : a.id < b.id;
    });
    return entries;
}

std::optional<ApplicationEntry> readApplicationEntry(const QString& path, const std::vector<QString>& dataFolders) {
    const QFileInfo info(path);
    if (!info.isFile() || info.suffix() != "desktop") return std::nullopt;
    const QString absolute = info.absoluteFilePath();
    QString id = info.completeBaseName();
    for (const QString& folder : dataFolders) {
        const QString applications = QDir::cleanPath(folder + "/applications") + '/';
        if (!absolute.startsWith(applications)) continue;
        if (auto below = identity::desktopFileID(absolute.mid(applications.size()).toStdString())) {
            id = QString::fromStdString(*below);
            break;
        }
    }
    // NoDisplay entries are left out of the list but may still be picked by hand.
    auto read = entryFromFile(absolute, id);
    if (!read) return std::nullopt;
    return read->entry;
}

QStringList desktopFilesIn(const QMimeData& mime) {
    QStringList files;
    if (!mime.hasUrls()) return files;
    for (const QUrl& url : mime.urls()) {
        if (!url.isLocalFile()) continue;
        const QFileInfo info(url.toLocalFile());
        if (info.isFile() && info.suffix() == "desktop") files << info.absoluteFilePath();
    }
    return files;
}

}  // namespace korvane::ui
