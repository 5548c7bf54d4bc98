#include "app/ui/popover/fan_control_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>

#include "app/ui/popover/status_dot.h"
#include "app/ui/symbols/symbol_image.h"
#include "app/ui/popover/theme.h"
#include "app/ui/popover/toggle_switch.h"
#include "app/ui/popover/ui_text.h"

namespace korvane::ui {
namespace {

int toSliderInt(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

}  // namespace

FanControlView::FanControlView(Actions actions, QWidget* parent) : QWidget(parent), actions_(std::move(actions)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);

    auto* header = new QHBoxLayout;
    header->setSpacing(5);
    auto* title = new QLabel(uiText("Fan Control"), this);
    styleSecondary(*title, 11, QFont::Bold);
    smcDot_ = new StatusDot(6, accent::red, this);
    smcDot_->setObjectName("smcDot");
    temperature_ = new QLabel(this);
    temperature_->setObjectName("temperature");
    header->addWidget(title);
    header->addWidget(smcDot_);
    header->addStretch(1);
    header->addWidget(temperature_);
    column->addLayout(header);

    fansBlock_ = new QWidget(this);
    auto* fans = new QVBoxLayout(fansBlock_);
    fans->setContentsMargins(0, 0, 0, 0);
    fans->setSpacing(4);
    auto* speedRow = new QHBoxLayout;
    speedRow->setSpacing(5);
    auto* fanIcon = new QLabel(fansBlock_);
    fanIcon->setPixmap(symbolPixmap("fan.fill", 12, devicePixelRatioF(), secondaryText(palette())));
    rpm_ = new QLabel(fansBlock_);
    rpm_->setObjectName("currentRPM");
    rpm_->setFont(uiFont(12));
    auto* manualLabel = new QLabel(uiText("Manual Override"), fansBlock_);
    manualLabel->setFont(uiFont(11));
    manualSwitch_ = new ToggleSwitch(fansBlock_, true);
    manualSwitch_->setObjectName("manualOverride");
    manualSwitch_->setAccessibleName(uiText("Manual Override"));
    speedRow->addWidget(fanIcon);
    speedRow->addWidget(rpm_);
    speedRow->addStretch(1);
    speedRow->addWidget(manualLabel);
    speedRow->addWidget(manualSwitch_);
    fans->addLayout(speedRow);

    sliderBlock_ = new QWidget(fansBlock_);
    auto* sliderColumn = new QVBoxLayout(sliderBlock_);
    sliderColumn->setContentsMargins(0, 0, 0, 0);
    sliderColumn->setSpacing(2);
    slider_ = new QSlider(Qt::Horizontal, sliderBlock_);
    slider_->setObjectName("targetSlider");
    slider_->setAccessibleName(uiText("Target fan speed"));
    slider_->setSingleStep(100);
    slider_->setPageStep(500);
    auto* scale = new QHBoxLayout;
    minLabel_ = new QLabel(sliderBlock_);
    targetLabel_ = new QLabel(sliderBlock_);
    targetLabel_->setObjectName("targetLabel");
    maxLabel_ = new QLabel(sliderBlock_);
    styleSecondary(*minLabel_, 9);
    styleSecondary(*maxLabel_, 9);
    targetLabel_->setFont(uiFont(10, QFont::Bold));
    scale->addWidget(minLabel_);
    scale->addStretch(1);
    scale->addWidget(targetLabel_);
    scale->addStretch(1);
    scale->addWidget(maxLabel_);
    sliderColumn->addWidget(slider_);
    sliderColumn->addLayout(scale);
    fans->addWidget(sliderBlock_);

    safetyRow_ = new QWidget(fansBlock_);
    auto* safety = new QHBoxLayout(safetyRow_);
    safety->setContentsMargins(0, 0, 0, 0);
    safety->setSpacing(4);
    auto* warnIcon = new QLabel(safetyRow_);
    warnIcon->setPixmap(symbolPixmap("exclamationmark.triangle.fill", 11, devicePixelRatioF(), accent::orange));
    safetyText_ = new QLabel(safetyRow_);
    safetyText_->setWordWrap(true);
    styleLabel(*safetyText_, 10, QFont::Normal, accent::orange);
    safety->addWidget(warnIcon, 0, Qt::AlignTop);
    safety->addWidget(safetyText_, 1);
    fans->addWidget(safetyRow_);

    unknownTemperature_ = new QLabel(uiText("CPU temperature unknown: the higher fan speed for a hot CPU cannot "
                                            "step in."),
                                     fansBlock_);
    unknownTemperature_->setObjectName("temperatureUnknown");
    unknownTemperature_->setWordWrap(true);
    styleSecondary(*unknownTemperature_, 10);
    fans->addWidget(unknownTemperature_);
    column->addWidget(fansBlock_);

    noFans_ = new QLabel(this);
    noFans_->setObjectName("noFans");
    column->addWidget(noFans_);

    readError_ = new QLabel(this);
    readError_->setObjectName("readError");
    readError_->setWordWrap(true);
    styleLabel(*readError_, 9, QFont::Normal, accent::red);
    // A long daemon message must not push the rest of the popover away: three lines at most.
    readError_->setMaximumHeight(QFontMetrics(readError_->font()).lineSpacing() * 3);
    column->addWidget(readError_);

    // The switch changes nothing by itself: the manager's answer moves it.
    connect(manualSwitch_, &QAbstractButton::clicked, this, [this](bool wanted) {
        manualSwitch_->setChecked(state_.isManualMode);
        if (actions_.toggleManualMode) actions_.toggleManualMode(wanted);
    });
    connect(slider_, &QSlider::sliderPressed, this, [this] { isSliding_ = true; });
    connect(slider_, &QSlider::sliderMoved, this, [this](int value) { sliderValue_ = value; });
    connect(slider_, &QSlider::sliderReleased, this, [this] {
        isSliding_ = false;
        sliderValue_ = slider_->value();
        sendSliderValue();
    });
    // Keys and clicks on the groove move the slider without a drag: each such
    // step is a finished choice of its own.
    connect(slider_, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove && !slider_->isSliderDown()) stepPending_ = true;
    });
    connect(slider_, &QSlider::valueChanged, this, [this](int value) {
        if (!stepPending_) return;
        stepPending_ = false;
        sliderValue_ = value;
        sendSliderValue();
    });

    setState(state_);
}

QColor FanControlView::temperatureColor(double celsius) {
    if (celsius >= 75.0) return accent::red;
    if (celsius >= 50.0) return accent::orange;
    return accent::green;
}

void FanControlView::sendSliderValue() {
    if (actions_.setTargetRPM) actions_.setTargetRPM(truncated(sliderValue_));
}

void FanControlView::placeSlider(std::int64_t rpm) {
    sliderValue_ = static_cast<double>(rpm);
    const QSignalBlocker quiet(slider_);
    slider_->setValue(toSliderInt(rpm));
}

void FanControlView::setState(const FanPanelState& state) {
    const bool sliderWasShown = state_.hasFans && state_.isManualMode && sliderBlock_->isVisibleTo(this);
    const std::int64_t previousTarget = state_.targetRPM;
    state_ = state;

    smcDot_->setColor(state.isSmcConnected ? accent::green : accent::red);
    if (std::isfinite(state.cpuTemperature)) {
        temperature_->setText(uiFormat("%lld°C", {truncated(state.cpuTemperature)}));
        styleLabel(*temperature_, 12, QFont::DemiBold, temperatureColor(state.cpuTemperature));
    } else {
        temperature_->setText(QStringLiteral("--°C"));
        // The panel's grey, not one derived from the band colour last shown.
        styleLabel(*temperature_, 12, QFont::DemiBold, secondaryText(palette()));
    }
    unknownTemperature_->setVisible(!std::isfinite(state.cpuTemperature));

    fansBlock_->setVisible(state.hasFans);
    rpm_->setText(uiFormat("%lld RPM", {state.currentRPM}));
    manualSwitch_->setChecked(state.isManualMode);

    const bool showSlider = state.hasFans && state.isManualMode;
    sliderBlock_->setVisible(showSlider);
    if (showSlider) {
        // A lower bound above the upper one has no meaning; keep the slider usable.
        const int low = toSliderInt(std::min(state.minRPM, state.maxRPM));
        const int high = toSliderInt(std::max(state.minRPM, state.maxRPM));
        {
            const QSignalBlocker quiet(slider_);
            slider_->setRange(low, high);
        }
        minLabel_->setText(uiFormat("%lld", {state.minRPM}));
        maxLabel_->setText(uiFormat("%lld", {state.maxRPM}));
        targetLabel_->setText(uiFormat("Target: %lld RPM", {state.targetRPM}));
        slider_->setAccessibleDescription(targetLabel_->text());
        if (!isSliding_ && (!sliderWasShown || previousTarget != state.targetRPM)) placeSlider(state.targetRPM);
    } else {
        isSliding_ = false;
    }

    safetyRow_->setVisible(state.safetyWarning.has_value());
    safetyText_->setText(QString::fromStdString(state.safetyWarning.value_or("")));

    noFans_->setVisible(!state.hasFans);
    if (state.isSmcConnected) {
        noFans_->setText(uiText("No fans detected"));
        styleSecondary(*noFans_, 11);
    } else {
        noFans_->setText(uiText("SMC connection failed"));
        styleLabel(*noFans_, 11, QFont::Normal, accent::red);
    }

    readError_->setVisible(state.lastReadError.has_value());
    readError_->setText(QString::fromStdString(state.lastReadError.value_or("")));
}

}  // namespace korvane::ui
