// Renders of the first-run windows against reviewed references, at 1x and
// 2x, with the pinned font (DejaVu Sans) and the bundled symbols. Set
// KORVANE_UPDATE_REFERENCES=1 to write new references, then look at them.
#include <gtest/gtest.h>

#include <QPainter>

#include "app/ui/onboarding/first_run_windows.h"
#include "app/ui/symbols/symbol_image.h"
#include "tests/onboarding/onboarding_fixture.h"
#include "tests/ui/reference_image.h"

namespace korvane::ui {
namespace {

QImage render(QWidget& window, qreal ratio) {
    // Rows added to a shown window appear, and the log scrolls, on the next turn of the event loop.
    QApplication::processEvents();
    QImage image(window.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    window.render(&image);
    return image;
}

void compareWithReference(QWidget& window, const QString& name) {
    for (int ratio : {1, 2}) {
        testing::expectMatchesReference(
            render(window, ratio), QStringLiteral(KORVANE_REFERENCE_DIR "/%1@%2x.png").arg(name).arg(ratio), 0.004, 60,
            QDir::temp().filePath(name + QStringLiteral("@%1x.actual.png").arg(ratio)));
    }
}

class Renders : public ::testing::Test {
  protected:
    // The drawings compiled in, not whatever icon theme this machine has.
    void SetUp() override { setSymbolSource(SymbolSource::BundledOnly); }
    std::shared_ptr<testing::ScriptedInstall::Shared> install =
        std::make_shared<testing::ScriptedInstall::Shared>();
};

TEST_F(Renders, AgreementWindow) {
    AgreementWindow window({}, {}, {});
    window.show();
    compareWithReference(window, QStringLiteral("agreement"));
}

TEST_F(Renders, EverySetupPage) {
    SetupWindow window([] {}, testing::scriptedDependencies(install));
    window.show();
    for (int page = 0; page < 8; ++page) {
        window.view()->setCurrentStep(page);
        compareWithReference(window, QStringLiteral("setup-page%1").arg(page));
    }
}

TEST_F(Renders, InstallPageAfterSuccessAndAfterFailure) {
    const std::tuple<const char*, const char*, app::InstallExit> endings[] = {
        {"setup-install-success",
         "STEP:Copying the helper\nOK:Helper copied to /usr/local/libexec/korvane\n"
         "STEP:Starting the service\nOK:Service started\nSUCCESS:Helper answers\n",
         {0, ""}},
        {"setup-install-failed", "STEP:Copying the helper\nERROR:Could not copy the helper\n",
         {1, "cp: cannot create regular file '/usr/local/libexec/korvane': Permission denied\n"}},
    };
    for (const auto& [name, output, exit] : endings) {
        SetupWindow window([] {}, testing::scriptedDependencies(install));
        window.show();
        window.view()->setCurrentStep(OnboardingView::kInstallStep);
        testing::button(window, "installButton")->click();
        install->handlers.output(output);
        install->handlers.finished(exit);
        compareWithReference(window, QString::fromLatin1(name));
    }
}

}  // namespace
}  // namespace korvane::ui
