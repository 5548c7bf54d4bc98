#pragma once
// About Korvane: the version, the licence, and the helper's version and
// state. The state follows XPCManager, which is asked to check the helper
// each time the view is shown.
#include <QWidget>
#include <functional>
#include <string>

#include "app/ui/menu_windows/helper_build.h"

namespace korvane::app {
class XPCManager;
}

class QLabel;

namespace korvane::ui {

struct AboutFacts {
    std::string version;
    std::string licence = "GPL-3.0-or-later";
    std::string helperName;     // "KorvaneHelper"
    std::string helperVersion;  // the version of the helper this Korvane ships
    std::string shippedHelper;  // the file an installation copies
};

class AboutView final : public QWidget {
public:
    AboutView(AboutFacts facts, app::XPCManager& xpc, std::function<void()> close, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void compareBuilds();
    void showHelper();

    AboutFacts facts_;
    app::XPCManager& xpc_;
    QLabel* helper_;
    QLabel* state_;
    HelperBuild build_ = HelperBuild::unknown;
};

}  // namespace korvane::ui
