#pragma once
// The fan panel: CPU temperature, fan 0's speed, the manual override and its
// target-speed slider. It shows what the fan manager publishes and hands the
// user's choices back through two callbacks; it keeps nothing but the
// slider's position while a drag is under way.
#include <QColor>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class QLabel;
class QSlider;

namespace korvane::ui {

class StatusDot;
class ToggleSwitch;

// The fan manager's published state, as the panel draws it.
struct FanPanelState {
    std::int64_t currentRPM = 0;
    std::int64_t targetRPM = 0;
    std::int64_t minRPM = 1200;
    std::int64_t maxRPM = 6000;
    bool isManualMode = false;
    double cpuTemperature = 0.0;  // not a number when unknown
    bool hasFans = false;
    std::optional<std::string> safetyWarning;
    std::optional<std::string> lastReadError;
    bool isSmcConnected = false;
};

class FanControlView : public QWidget {
    Q_OBJECT
public:
    struct Actions {
        std::function<void(bool enabled)> toggleManualMode;
        std::function<void(std::int64_t rpm)> setTargetRPM;
    };

    explicit FanControlView(Actions actions, QWidget* parent = nullptr);

    void setState(const FanPanelState& state);
    const FanPanelState& state() const { return state_; }

    // Green below 50 °C, orange up to 75 °C, red from 75 °C.
    static QColor temperatureColor(double celsius);

    QLabel* temperatureLabel() const { return temperature_; }
    QSlider* slider() const { return slider_; }
    ToggleSwitch* manualSwitch() const { return manualSwitch_; }
    QWidget* fansBlock() const { return fansBlock_; }
    QWidget* sliderBlock() const { return sliderBlock_; }
    QLabel* noFansLabel() const { return noFans_; }
    QLabel* readErrorLabel() const { return readError_; }
    bool isSliding() const { return isSliding_; }

private:
    void sendSliderValue();
    void placeSlider(std::int64_t rpm);

    Actions actions_;
    FanPanelState state_;
    double sliderValue_ = 0.0;
    bool isSliding_ = false;
    bool stepPending_ = false;

    StatusDot* smcDot_ = nullptr;
    QLabel* temperature_ = nullptr;
    QWidget* fansBlock_ = nullptr;
    QLabel* rpm_ = nullptr;
    ToggleSwitch* manualSwitch_ = nullptr;
    QWidget* sliderBlock_ = nullptr;
    QSlider* slider_ = nullptr;
    QLabel* minLabel_ = nullptr;
    QLabel* targetLabel_ = nullptr;
    QLabel* maxLabel_ = nullptr;
    QWidget* safetyRow_ = nullptr;
    QLabel* unknownTemperature_ = nullptr;
    QLabel* safetyText_ = nullptr;
    QLabel* noFans_ = nullptr;
    QLabel* readError_ = nullptr;
};

}  // namespace korvane::ui
