#include "app/ui/onboarding/first_run_windows.h"

#include <gtest/gtest.h>

#include <QLabel>

#include "app/runtime/settings_store.h"
#include "app/runtime/string_table.h"
#include "testing/virtual_main_loop.h"
#include "tests/onboarding/onboarding_fixture.h"

namespace korvane::ui {
namespace {

using testing::button;

struct AgreementState {
    bool accepted = false;
    int quits = 0;
    int accepts = 0;
    bool acceptedWhenCalled = false;
    AgreementSetting setting() {
        return {[this] { return accepted; }, [this](bool value) { accepted = value; }};
    }
};

class FirstRunWindows : public testing::QtFixture {
  protected:
    AgreementState state;
    AgreementWindow window{state.setting(),
                           [this] {
                               ++state.accepts;
                               state.acceptedWhenCalled = state.accepted;
                           },
                           [this] { ++state.quits; }};
};

TEST_F(FirstRunWindows, TheAgreementWindowsSizeTitleAndButtons) {
    EXPECT_EQ(window.size(), QSize(450, 350));
    EXPECT_EQ(window.windowTitle(), "Korvane");
    EXPECT_TRUE(window.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(button(window, "quitButton")->text().toStdString(), app::localized("button.quit"));
    EXPECT_EQ(button(window, "agreeButton")->text().toStdString(), app::localized("eula.agree"));
}

TEST_F(FirstRunWindows, ClosingWithoutAcceptingQuits) {
    window.present();
    window.close();
    EXPECT_EQ(state.quits, 1);
    EXPECT_EQ(state.accepts, 0);
}

TEST_F(FirstRunWindows, QuitButtonQuitsWithoutRecordingAnything) {
    button(window, "quitButton")->click();
    EXPECT_EQ(state.quits, 1);
    EXPECT_FALSE(state.accepted);
}

TEST_F(FirstRunWindows, AcceptingRecordsTheSettingFirstAndTheShellsCloseThenLetsTheAppRun) {
    window.present();
    button(window, "agreeButton")->click();
    EXPECT_TRUE(window.view()->hasAcceptedEULA());
    EXPECT_TRUE(testing::waitUntil([&] { return state.accepts == 1; }));
    EXPECT_TRUE(state.acceptedWhenCalled);
    EXPECT_TRUE(window.view()->hasAcceptedEULA());
    window.close();
    EXPECT_EQ(state.quits, 0);
}

TEST_F(FirstRunWindows, TheSetupWindowHasNoCloseButtonAndClosesOnlyWhenTheProgramSays) {
    auto install = std::make_shared<testing::ScriptedInstall::Shared>();
    SetupWindow setup([] {}, testing::scriptedDependencies(install));
    EXPECT_EQ(setup.size(), QSize(580, 520));
    EXPECT_EQ(setup.windowTitle(), "Korvane Setup");
    EXPECT_FALSE(setup.windowFlags() & Qt::WindowCloseButtonHint);
    setup.present();
    EXPECT_TRUE(setup.isVisible());
    setup.close();
    EXPECT_FALSE(setup.isVisible());
}

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
    AgreementWindow* agreement = nullptr;
    agreement = new AgreementWindow(state.setting(),
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
