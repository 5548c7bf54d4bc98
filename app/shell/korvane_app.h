#pragma once
// The program's entry type: its command line and the one-instance rule.
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

#include "app/shell/app_instance.h"
#include "shared/util/expected.h"

namespace korvane::app {

class KorvaneApp {
public:
    struct Options {
        bool toggle = false;  // same as a plain second start; kept for key bindings
        bool help = false;
        bool version = false;
    };

    static constexpr const char* kUsage =
        "Usage: korvane [--toggle]\n"
        "       korvane --help | --version\n"
        "Starts Korvane in the tray. When Korvane already runs, asks it to open or\n"
        "close its popover and exits (--toggle does the same, for a key binding).\n";

    static Expected<Options, std::string> parseArguments(const QStringList& arguments);
    // Prints the usage or the version when the options ask for one; true
    // when it did and the program has nothing more to do.
    static bool answerInformationRequest(const Options& options);

    // Asks a running Korvane to toggle, or becomes the running one through
    // each channel that works. True when another instance took the request
    // and this process should end.
    static bool handOverToRunningInstance(const std::vector<AppInstance*>& channels, const std::function<void()>& onToggle);
};

}  // namespace korvane::app
