#include "app/runtime/settings_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <pwd.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "app/runtime/app_log.h"
#include "app/runtime/base64.h"
#include "app/runtime/settings_salvage.h"
#include "shared/util/atomic_file.h"
#include "shared/util/utf8.h"

namespace korvane::app {

using Json = nlohmann::json;

struct SettingsStore::Model {
    Json document = Json::object();
};

namespace {

// A settings file is read whole up to this size. A larger one is read key by
// key, keeping each value up to the second limit while the kept ones stay
// within the third.
constexpr std::size_t kMaxWholeFileBytes = 16 << 20;
constexpr std::size_t kMaxSalvagedValueBytes = 4 << 20;
constexpr std::size_t kMaxSalvagedBytes = 8 << 20;

// Stored form: a Boolean as true/false, a text as a JSON string, a data value
// as {"data": text} when its bytes are UTF-8 and {"base64": ...} otherwise.
Json encodeValue(const SettingValue& value) {
    if (auto* flag = std::get_if<bool>(&value)) return *flag;
    if (auto* text = std::get_if<std::string>(&value)) return *text;
    const auto& bytes = std::get<SettingData>(value).bytes;
    if (isValidUtf8(bytes)) return Json{{"data", bytes}};
    return Json{{"base64", base64Encode(bytes)}};
}

std::optional<SettingValue> decodeValue(const Json& stored) {
    if (stored.is_boolean()) return SettingValue(stored.get<bool>());
    if (stored.is_number()) return SettingValue(stored.get<double>() != 0.0);  // hand-edited 0 / 1
    if (stored.is_string()) return SettingValue(stored.get<std::string>());
    if (stored.is_object() && stored.size() == 1) {
        if (auto it = stored.find("data"); it != stored.end() && it->is_string()) {
            return SettingValue(SettingData{it->get<std::string>()});
        }
        if (auto it = stored.find("base64"); it != stored.end() && it->is_string()) {
            if (auto bytes = base64Decode(it->get<std::string>())) return SettingValue(SettingData{*bytes});
        }
    }
    return std::nullopt;
}

std::string serialize(const Json& document) {
    // Never throws: a key that is not UTF-8 is written with replacement characters.
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string timestamp() {
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    ::localtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &parts);
    return text;
}

}  // namespace

SettingsStore::SettingsStore(MainLoop& loop, std::string directory)
    : loop_(loop),
      directory_(std::move(directory)),
      path_(directory_ + "/" + std::string(kFileName)),
      model_(std::make_unique<Model>()),
      lifeline_(Lifeline::make(loop)) {
    if (auto made = makeDirectories(directory_, 0700); !made) {
        logLine("Ayar klasörü oluşturulamadı — " + made.error());
    }
    load();
    auto watch = [this](const std::filesystem::path& file) -> std::unique_ptr<FileWatcher> {
        auto watcher = FileWatcher::watch(file.parent_path().string(), file.filename().string(),
                                          [lifeline = lifeline_, this] {
                                              lifeline->post([this] { reloadAfterOutsideEdit(); });
                                          });
        if (watcher) return std::move(*watcher);
        logLine("Ayar dosyası izlenemiyor — " + watcher.error());
        return nullptr;
    };
    watcher_ = watch(path_);
    // A settings file that is a link (kept with the user's other dotfiles)
    // changes where the link leads; that file is watched too.
    if (const std::string target = writeTarget(); target != path_) targetWatcher_ = watch(target);
}

SettingsStore::~SettingsStore() {
    lifeline_->close();
    watcher_.reset();
    targetWatcher_.reset();
}

std::string SettingsStore::writeTarget() const {
    std::error_code error;
    if (!std::filesystem::is_symlink(path_, error)) return path_;
    std::filesystem::path target = std::filesystem::weakly_canonical(path_, error);
    return error ? path_ : target.string();
}

void SettingsStore::writeDocument() {
    if (auto written = writeFileAtomically(writeTarget(), serialize(model_->document)); !written) {
        logLine("Ayarlar kaydedilemedi — " + written.error());
    }
}

std::string SettingsStore::defaultDirectory() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/korvane";  // relative values are invalid
    const char* home = std::getenv("HOME");
    std::string base;
    if (home && *home) {
        base = home;
    } else if (const passwd* entry = ::getpwuid(::getuid())) {
        base = entry->pw_dir;
    }
    return base + "/.config/korvane";
}

void SettingsStore::load() {
    // Temporary files left by a crash before their rename were never the
    // settings; the file itself still holds the last complete write.
    std::error_code ignored;
    std::string temporaryPrefix = std::string(kFileName) + std::string(kTemporarySuffix);
    for (std::filesystem::directory_iterator it(directory_, ignored), end; !ignored && it != end;
         it.increment(ignored)) {
        if (it->path().filename().string().starts_with(temporaryPrefix)) std::filesystem::remove(it->path(), ignored);
    }

    struct stat info {};
    if (::stat(path_.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        static_cast<std::size_t>(info.st_size) > kMaxWholeFileBytes) {
        salvageOversized();
        return;
    }
    auto text = readWholeFile(path_);
    if (!text) {
        if (!text.error().missing) moveAside(text.error().reason);
        return;
    }
    auto document = Json::parse(*text, nullptr, /*allow_exceptions=*/false);
    if (!document.is_object()) {
        moveAside(document.is_discarded() ? "not valid JSON" : "not a JSON object");
        return;
    }
    model_->document = std::move(document);
}

// One oversized value must not cost every other setting: what reads is kept
// and written back, the whole file is kept aside for its owner.
void SettingsStore::salvageOversized() {
    std::ifstream file(path_, std::ios::binary);
    SalvagedSettings salvaged = salvageSettings(file, kMaxSalvagedValueBytes, kMaxSalvagedBytes);
    std::string dropped;
    for (const auto& key : salvaged.dropped) dropped += (dropped.empty() ? "" : ", ") + key;
    logLine("Settings file larger than 16 MiB: kept " + std::to_string(salvaged.kept.size()) +
            " settings that read" + (dropped.empty() ? std::string() : ", left out " + dropped));
    moveAside("larger than 16 MiB");
    model_->document = std::move(salvaged.kept);
    writeDocument();
}

void SettingsStore::moveAside(const std::string& why) {
    // Through a link, the file it leads to is moved aside; the link stays.
    const std::string original = writeTarget();
    std::string base = original + ".corrupt-" + timestamp();
    std::string aside = base;
    for (int n = 2; ::renameat2(AT_FDCWD, original.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) != 0; ++n) {
        if (errno != EEXIST || n > 1000) {
            logLine("Ayar dosyası okunamadı (" + why + ") ve kenara alınamadı; dosyaya dokunulmadı.");
            return;
        }
        aside = base + "-" + std::to_string(n);
    }
    logLine("Ayar dosyası okunamadı (" + why + ") — " + aside + " olarak saklandı.");
}

void SettingsStore::reloadAfterOutsideEdit() {
    auto text = readWholeFile(path_);
    if (!text) return;  // gone or unreadable: what we hold stays, and our next write restores the file
    auto document = Json::parse(*text, nullptr, /*allow_exceptions=*/false);
    if (!document.is_object()) {
        // Keep the broken edit for its author and put the settings we hold back in place.
        moveAside(document.is_discarded() ? "not valid JSON" : "not a JSON object");
        writeDocument();
        return;
    }
    if (document == model_->document) return;  // our own write, or an edit that changed nothing
    model_->document = std::move(document);
    changes_.send(Done{});
}

void SettingsStore::registerDefaults(const std::map<std::string, SettingValue>& defaults) {
    for (const auto& [key, value] : defaults) defaults_.insert_or_assign(key, value);
}

std::optional<SettingValue> SettingsStore::lookup(std::string_view key) const {
    auto& document = model_->document;
    if (auto it = document.find(key); it != document.end()) {
        if (auto value = decodeValue(*it)) return value;
    }
    if (auto it = defaults_.find(key); it != defaults_.end()) return it->second;
    return std::nullopt;
}

bool SettingsStore::hasStoredValue(std::string_view key) const {
    return model_->document.find(key) != model_->document.end();
}

bool SettingsStore::boolValue(std::string_view key) const {
    auto value = lookup(key);
    auto* flag = value ? std::get_if<bool>(&*value) : nullptr;
    return flag && *flag;
}

std::optional<std::string> SettingsStore::stringValue(std::string_view key) const {
    auto value = lookup(key);
    if (auto* text = value ? std::get_if<std::string>(&*value) : nullptr) return *text;
    return std::nullopt;
}

std::optional<std::string> SettingsStore::dataValue(std::string_view key) const {
    auto value = lookup(key);
    if (auto* data = value ? std::get_if<SettingData>(&*value) : nullptr) return data->bytes;
    return std::nullopt;
}

void SettingsStore::setBool(std::string_view key, bool value) {
    SettingValue v(value);
    store(key, &v);
}

void SettingsStore::setString(std::string_view key, std::string value) {
    SettingValue v(std::move(value));
    store(key, &v);
}

void SettingsStore::setData(std::string_view key, std::string bytes) {
    SettingValue v(SettingData{std::move(bytes)});
    store(key, &v);
}

void SettingsStore::remove(std::string_view key) { store(key, nullptr); }

void SettingsStore::store(std::string_view key, const SettingValue* value) {
    auto& document = model_->document;
    if (value) {
        document[std::string(key)] = encodeValue(*value);
    } else {
        document.erase(std::string(key));
    }
    writeDocument();
    changes_.send(Done{});
}

}  // namespace korvane::app
