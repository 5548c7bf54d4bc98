#include "app/ui/onboarding/first_run_windows.h"

#include <gtest/gtest.h>

#include "app/runtime/settings_store.h"
#include "app/runtime/string_table.h"
#include "testing/virtual_main_loop.h"
#include "tests/onboarding/onboarding_fixture.h"

namespace korvane::ui {
namespace {

using testing::button;

class FirstRunWindows : public testing::QtFixture {};

TEST_F(FirstRunWindows, AcceptingIsKeptInTheUsersSettingsFile) {
    VirtualMainLoop loop;
    testing::FixtureTree folder;
    bool acceptedWhenCalled = false;
    {
        app::SettingsStore settings(loop, folder.root());
        AgreementSetting setting = AgreementSetting::inSettings(settings);
        EULAView view(setting,
                      [&] { acceptedWhenCalled = settings.boolValue("hasAcceptedEULAv2"); }, {});
        EXPECT_FALSE(view.hasAcceptedEULA());
        button(view, "agreeButton")->click();
        EXPECT_TRUE(testing::waitUntil([&] { return acceptedWhenCalled; }));
    }
    app::SettingsStore reread(loop, folder.root());
    EXPECT_TRUE(reread.boolValue("hasAcceptedEULAv2"));
}

TEST_F(FirstRunWindows, TheHostMayDeleteEachWindowInItsCallback) {
    bool accepted = false;
    AgreementWindow* agreement = nullptr;
    agreement = new AgreementWindow(AgreementSetting{[&] { return accepted; }, [&](bool value) { accepted = value; }},
                                    [&] {
                                        delete agreement;
                                        agreement = nullptr;
                                    },
                                    {});
    agreement->present();
    button(*agreement, "agreeButton")->click();
    EXPECT_TRUE(testing::waitUntil([&] { return agreement == nullptr; }));

    auto install = std::make_shared<testing::ScriptedInstall::Shared>();
    SetupWindow* setup = nullptr;
    setup = new SetupWindow(
        [&] {
            delete setup;
            setup = nullptr;
        },
        testing::scriptedDependencies(install));
    setup->present();
    setup->view()->setCurrentStep(7);
    button(*setup, "forwardButton")->click();
    EXPECT_TRUE(testing::waitUntil([&] { return setup == nullptr; }));
}

TEST(AgreementText, TheAgreementSaysWhatKorvaneDoes) {
    std::string body = app::localized("eula.body");
    for (const char* fact :
         {"root", "other users", "fan", "safety", "warranty", "No data leaves"}) {
        EXPECT_NE(body.find(fact), std::string::npos) << fact;
    }
    for (const char* key : {"eula.subtitle", "eula.agree", "button.quit"})
        EXPECT_NE(app::localized(key), key);
}

}  // namespace
}  // namespace korvane::ui
