#include "app/ui/onboarding/first_run_windows.h"

#include <gtest/gtest.h>

#include <QTest>

#include "tests/onboarding/onboarding_fixture.h"

namespace korvane::ui {
namespace {

using testing::button;

// A window that ends itself must not touch its members after the host's
// callback ran: the host may delete it right there.
TEST(FirstRunWindows, TheHostMayDeleteEachWindowInItsCallback) {
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

// Enter as a dialog reads it: the page's primary button, or the button the
// user moved the focus to. Every page hands the focus back to its primary.
TEST(FirstRunWindows, EnterPressesThePrimaryButtonUnlessAnotherHasTheFocus) {
    auto pressEnter = [](QWidget& window) {
        QApplication::setActiveWindow(&window);
        ASSERT_TRUE(testing::waitUntil([&] { return window.isActiveWindow(); }, 2000));
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &window;
        QTest::keyClick(target, Qt::Key_Return);
    };

    // Enter accepting the agreement: the first-run desktop test.
    bool accepted = false;
    int quits = 0;
    AgreementWindow agreement(AgreementSetting{[&] { return accepted; }, [&](bool value) { accepted = value; }},
                              [] {}, [&] { ++quits; });
    agreement.present();
    button(agreement, "quitButton")->setFocus();
    pressEnter(agreement);
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(accepted) << "Enter on a focused Quit accepted the agreement";

    auto install = std::make_shared<testing::ScriptedInstall::Shared>();
    SetupWindow setup([] {}, testing::scriptedDependencies(install));
    setup.present();
    QApplication::setActiveWindow(&setup);
    ASSERT_TRUE(testing::waitUntil([&] { return setup.isActiveWindow(); }, 2000));
    // Enter acts as it comes up, for a press this window saw: the one that
    // accepted the agreement went down there.
    auto send = [](QEvent::Type type, quint64 at, bool repeat) {
        QKeyEvent event(type, Qt::Key_Return, Qt::NoModifier, QString(), repeat);
        event.setTimestamp(at);
        QApplication::sendEvent(QApplication::focusWidget(), &event);
    };
    send(QEvent::KeyRelease, 900, false);
    EXPECT_EQ(setup.view()->currentStep(), 0);
    // A held Enter is one press: X repeats it as a release and a press of the
    // same moment, some of them marked as repeats.
    send(QEvent::KeyPress, 1000, false);
    EXPECT_EQ(setup.view()->currentStep(), 0);
    for (quint64 at = 1660; at < 1800; at += 40) {
        send(QEvent::KeyRelease, at, at == 1700);
        send(QEvent::KeyPress, at, at == 1700);
    }
    send(QEvent::KeyRelease, 1850, false);
    EXPECT_EQ(setup.view()->currentStep(), 1);
    // Enter through the pages and the installation: the first-run desktop test.
    button(setup, "backButton")->setFocus();
    pressEnter(setup);
    EXPECT_EQ(setup.view()->currentStep(), 0);
}

}  // namespace
}  // namespace korvane::ui
