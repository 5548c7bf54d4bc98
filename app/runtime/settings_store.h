#pragma once
// The per-user settings (the defaults store): Booleans, texts and data values
// under string keys, kept in the JSON file <directory>/settings.json, where
// <directory> is $XDG_CONFIG_HOME/korvane (~/.config/korvane when unset).
//
// - Registered defaults answer for keys the file does not have; they are never
//   written and never hide a stored value.
// - Every change is written at once and atomically, so a crash never loses
//   settings. A file that cannot be read as settings is moved aside (kept, with
//   a ".corrupt-" name) and the defaults are used. A file over 16 MiB is moved
//   aside too, but every setting in it that still reads is kept.
// - A settings file that is a symbolic link stays one: writes go to the file
//   it leads to, and edits of that file are followed.
// - A data value is bytes, stored as written and handed back unchanged (the
//   managers keep the JSON text of their lists there, so a value they cannot
//   decode stays untouched).
// - didChange() fires on the main thread after every change made here, and
//   once for every outside edit of the file that changed its contents.
//
// Main thread only, apart from the watching thread inside.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "app/runtime/file_watcher.h"
#include "app/runtime/lifeline.h"
#include "app/runtime/publisher.h"
#include "app/runtime/subject.h"
#include "shared/mainloop/main_loop.h"
#include "shared/util/expected.h"

namespace korvane::app {

struct SettingData {
    std::string bytes;
    bool operator==(const SettingData&) const = default;
};
using SettingValue = std::variant<bool, std::string, SettingData>;

class SettingsStore {
public:
    static constexpr std::string_view kFileName = "settings.json";

    // Loads the file in `directory` (created when missing) and starts watching it.
    SettingsStore(MainLoop& loop, std::string directory);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // $XDG_CONFIG_HOME/korvane, or $HOME/.config/korvane.
    static std::string defaultDirectory();

    void registerDefaults(const std::map<std::string, SettingValue>& defaults);

    // The stored value, else the registered default, else false / nothing.
    bool boolValue(std::string_view key) const;
    std::optional<std::string> stringValue(std::string_view key) const;
    std::optional<std::string> dataValue(std::string_view key) const;
    bool hasStoredValue(std::string_view key) const;

    void setBool(std::string_view key, bool value);
    void setString(std::string_view key, std::string value);
    void setData(std::string_view key, std::string bytes);
    void remove(std::string_view key);

    Publisher<Done> didChange() const { return changes_.publisher(); }

    const std::string& filePath() const { return path_; }

private:
    struct Model;

    void load();
    void reloadAfterOutsideEdit();
    void store(std::string_view key, const SettingValue* value);
    std::optional<SettingValue> lookup(std::string_view key) const;
    void moveAside(const std::string& why);
    void salvageOversized();
    // Where writes go: the settings file, or the file it links to.
    std::string writeTarget() const;
    // Replaces the file (through a link, the file it leads to) with what we hold.
    void writeDocument();

    MainLoop& loop_;
    std::string directory_;
    std::string path_;
    std::unique_ptr<Model> model_;
    std::map<std::string, SettingValue, std::less<>> defaults_;
    Subject<Done> changes_;
    std::shared_ptr<Lifeline> lifeline_;
    std::unique_ptr<FileWatcher> watcher_;
    std::unique_ptr<FileWatcher> targetWatcher_;
};

}  // namespace korvane::app
