#pragma once
// EULAView: the one-time agreement. "quitButton" quits; "agreeButton" records
// the acceptance ("hasAcceptedEULAv2") at once and then calls onAccept from
// the event loop, so onAccept may delete the window. The agree button starts
// with the focus, and Enter presses it unless the user moved the focus to
// Quit.
#include <QWidget>
#include <functional>

#include "app/ui/onboarding/onboarding_widgets.h"

class QKeyEvent;
class QShowEvent;
class QPushButton;

namespace korvane::app {
class SettingsStore;
}

namespace korvane::ui {

// Where the acceptance is kept.
struct AgreementSetting {
    std::function<bool()> read;
    std::function<void(bool)> write;

    static constexpr const char* kKey = "hasAcceptedEULAv2";
    // The Boolean "hasAcceptedEULAv2" of the user's settings.
    static AgreementSetting inSettings(app::SettingsStore& settings);
};

class EULAView : public QWidget {
  public:
    EULAView(AgreementSetting hasAcceptedEULA, std::function<void()> onAccept,
             std::function<void()> onQuit, QWidget* parent = nullptr);

    bool hasAcceptedEULA() const { return setting_.read && setting_.read(); }
    QPushButton* primaryButton() const { return agree_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    QPushButton* agree_ = nullptr;
    AgreementSetting setting_;
    std::function<void()> onAccept_;
    std::function<void()> onQuit_;
};

}  // namespace korvane::ui
