// Every line the focus engine writes, checked once: each situation is driven
// once, in one world, and the lines it produced compared with a table. The
// behaviour tests check state, not these texts.
#include "app/focus/ecore_jail_manager.h"
#include "tests/focus/focus_world.h"

namespace korvane::app {
namespace {

const std::int32_t kEditor = testing::kApps.at("Editor");  // an Auto-Focus target
const std::int32_t kBrowser = testing::kApps.at("Browser");
const std::int32_t kGame = testing::kApps.at("Game");  // a trigger

class PathBundles final : public BundleReader {
public:
    std::optional<BundleInfo> readBundle(const std::string& path) const override {
        return BundleInfo{.bundleIdentifier = path, .name = path};
    }
};

using FocusLog = testing::FrontWorld;

TEST_F(FocusLog, EachSituationWritesItsLines) {
    workspace.setFront(kBrowser);
    start();
    PathBundles bundles;
    ECoreJailManager jail({.mainLoop = loop, .settings = settings, .bundles = bundles, .xpcManager = xpc});
    auto syncs = [&](int count) {
        return [&, count] {
            ASSERT_TRUE(loop.runUntil([&] { return logLines.countStartingWith("Korvane: Jail listesi") >= count; }));
        };
    };

    struct Step {
        const char* situation;
        std::function<void()> drive;
        std::vector<std::string> lines;
    };
    const Step steps[] = {
        {"Focus Now", [&] { focusNow(kBrowser); },
         {"Korvane: 5 işlem XPC üzerinden throttle edildi.",
          "Korvane: Odak modu aktif — Browser odakta, 5 uygulama throttle edildi."}},
        {"Release Focus", [&] { releaseFocus(); },
         {"Korvane: 5 işlem normale döndürüldü.",
          "Korvane: Odak modu devre dışı — tüm uygulamalar normale döndürüldü."}},
        {"Auto-Focus engages", [&] { autoFocus->isEnabled = true; activate(kEditor); },
         {"Korvane: 5 işlem XPC üzerinden throttle edildi.",
          "Korvane: Odak modu aktif — Editor odakta, 5 uygulama throttle edildi.",
          "Korvane: Auto-Focus tetiklendi — Editor"}},
        {"Auto-Focus lets go", [&] { activate(kBrowser); },
         {"Korvane: 5 işlem normale döndürüldü.",
          "Korvane: Odak modu devre dışı — tüm uygulamalar normale döndürüldü.",
          "Korvane: Auto-Focus serbest bırakıldı — Browser"}},
        {"Auto-Focus switched off while engaged",
         [&] { activate(kEditor); logLines.clear(); autoFocus->isEnabled = false; settle(); },
         {"Korvane: 5 işlem normale döndürüldü.",
          "Korvane: Odak modu devre dışı — tüm uygulamalar normale döndürüldü."}},
        {"Auto-Trigger while Auto-Focus holds focus",
         [&] {
             autoFocus->autoFocusActive = true;
             activate(kGame);
             autoTrigger->isEnabled = true;
             autoFocus->autoFocusActive = false;
         },
         {"Korvane: AutoTrigger — AutoFocus aktif, Beast Mode tetiklenmedi"}},
        {"Beast Mode on", [&] { activate(kBrowser); activate(kGame); },
         {"Korvane: Beast Mode aktifleştirildi (PID: 50).", "Korvane: Auto-Trigger — Beast Mode ACTIVATED for Game"}},
        {"Auto-Focus during Beast Mode", [&] {
             activate(kEditor);
             autoFocus->isEnabled = true;
             settle();
             autoFocus->isEnabled = false;
         },
         {"Korvane: AutoFocus — Beast Mode aktif, AutoFocus tetiklenmedi"}},
        {"Beast Mode off", [&] { advance(5); },
         {"Korvane: Beast Mode devre dışı bırakıldı.", "Korvane: Auto-Trigger — Beast Mode DEACTIVATED"}},
        {"Jail list sent", [&] { jail.addApp("org.x"); jail.isEnabled = true; syncs(1)(); },
         {"Korvane: Jail listesi daemon ile senkronize edildi (1 uygulama, enabled=true)"}},
        {"Jail switched off", [&] { jail.isEnabled = false; syncs(1)(); },
         {"Korvane: Jail listesi daemon ile senkronize edildi (0 uygulama, enabled=false)"}},
        {"Jail list refused", [&] { daemon.fail("jail [ org.x ]", "busy"); jail.isEnabled = true; syncs(1)(); },
         {"Korvane: Jail listesi senkronizasyon hatası"}},
    };
    for (const Step& step : steps) {
        logLines.clear();
        step.drive();
        settle();
        EXPECT_EQ(focusLog(), step.lines) << step.situation;
    }

    // Failures name what failed and why; the why is the helper's.
    served.stop();
    logLines.clear();
    autoFocus->isEnabled = true;
    activate(kEditor);
    // How often Editor is tried while the helper is away depends on when the
    // failure reaches the loop; each try writes this line.
    EXPECT_GE(logLines.countStartingWith("Korvane: Auto-Focus FAILED for Editor"), 1);
    autoFocus->isEnabled = false;
    served.restart();
    ASSERT_TRUE(advanceUntil([&] { return xpc->helperActive.get(); }));
    activate(kGame);
    activate(kBrowser);
    served.stop();
    logLines.clear();
    advance(5);
    EXPECT_EQ(logLines.countStartingWith("Korvane: Auto-Trigger — Beast Mode deactivation FAILED"), 1);
}

}  // namespace
}  // namespace korvane::app
