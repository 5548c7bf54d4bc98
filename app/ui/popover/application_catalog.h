#pragma once
// The installed applications as the list windows offer them: the desktop
// entries of the XDG data folders (Flatpak exports included), and the reading
// of one entry a user picked or dropped from anywhere.
#include <QIcon>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

class QMimeData;

namespace korvane::ui {

struct ApplicationEntry {
    QString id;    // desktop-file ID, the application's bundle identifier
    QString name;  // the entry's Name in the user's language, or the ID when it has none
    QString iconName;
    QString path;  // the .desktop file

    QIcon icon() const;
};

// The data folders in precedence order: $XDG_DATA_HOME (or ~/.local/share),
// then $XDG_DATA_DIRS (or /usr/local/share:/usr/share), then the Flatpak
// export folders when the environment did not name them.
std::vector<QString> xdgDataFolders();

// Every application entry that is not NoDisplay or Hidden, the first of an ID
// in precedence order winning, in Name order (case-insensitive, locale-aware).
std::vector<ApplicationEntry> installedApplications(const std::vector<QString>& dataFolders);

// The entry at `path` when it is a readable desktop entry of Type=Application.
// Its ID is the path below an applications/ folder of `dataFolders` with "/"
// turned to "-", or, outside them, the file name without ".desktop".
std::optional<ApplicationEntry> readApplicationEntry(const QString& path, const std::vector<QString>& dataFolders);

// The local .desktop files among dragged URLs; folders, documents and remote
// URLs are left out.
QStringList desktopFilesIn(const QMimeData& mime);

}  // namespace korvane::ui
