#include "app/shell/korvane_app.h"

#include <cstdio>

#include "shared/version/version.h"

namespace korvane::app {

Expected<KorvaneApp::Options, std::string> KorvaneApp::parseArguments(const QStringList& arguments) {
    Options options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--toggle")) {
            options.toggle = true;
        } else if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            options.help = true;
        } else if (argument == QLatin1String("--version")) {
            options.version = true;
        } else {
            return unexpected("unknown argument: " + argument.toStdString());
        }
    }
    return options;
}

bool KorvaneApp::answerInformationRequest(const Options& options) {
    if (options.help) {
        std::fputs(kUsage, stdout);
    } else if (options.version) {
        std::printf("korvane %s\n", kReleaseVersion.data());
    }
    return options.help || options.version;
}

bool KorvaneApp::handOverToRunningInstance(const std::vector<AppInstance*>& channels,
                                           const std::function<void()>& onToggle) {
    for (auto* channel : channels) {
        if (channel->requestToggle()) return true;
    }
    bool primary = false;
    for (auto* channel : channels) {
        switch (channel->claim(onToggle)) {
            case AppInstance::Claim::primary:
                primary = true;
                break;
            case AppInstance::Claim::anotherIsRunning:
                // Lost a race with an instance that started at the same moment.
                if (!primary && channel->requestToggle()) return true;
                break;
            case AppInstance::Claim::unavailable:
                break;
        }
    }
    return false;
}

}  // namespace korvane::app
