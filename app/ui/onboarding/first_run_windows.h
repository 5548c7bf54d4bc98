#pragma once
// The two first-run windows around their views, for the application shell.
//
// AgreementWindow: 450 x 350, titled "Korvane", closable. Closing it while
// the agreement is not accepted calls onQuit; the shell closes it itself
// after onAccept, when the setting already reads true.
//
// SetupWindow: 580 x 520, titled "Korvane Setup", without a close button.
// A close request from the window manager (Alt+F4) goes to onCloseRequest
// when one is given and is refused otherwise; close() from the program
// always closes it.
//
// Both float above ordinary windows, like a modal panel. Enter reaches the
// view's primary button even while no widget of the window has the focus.
#include <QWidget>
#include <functional>

#include "app/ui/onboarding/eula_view.h"
#include "app/ui/onboarding/onboarding_view.h"

namespace korvane::ui {

class AgreementWindow : public QWidget {
  public:
    static constexpr QSize kSize{450, 350};

    AgreementWindow(AgreementSetting hasAcceptedEULA, std::function<void()> onAccept,
                    std::function<void()> onQuit);
    EULAView* view() const { return view_; }
    // Centred on the screen, raised, shown.
    void present();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

  private:
    AgreementSetting setting_;
    std::function<void()> onQuit_;
    EULAView* view_;
};

class SetupWindow : public QWidget {
  public:
    static constexpr QSize kSize{580, 520};

    SetupWindow(std::function<void()> onComplete,
                OnboardingDependencies dependencies,
                std::function<void()> onCloseRequest = {});
    OnboardingView* view() const { return view_; }
    // Centred on the screen, raised, shown and activated.
    void present();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

  private:
    std::function<void()> onCloseRequest_;
    OnboardingView* view_;
};

}  // namespace korvane::ui
