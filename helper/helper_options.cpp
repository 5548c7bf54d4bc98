#include "helper/helper_options.h"

#include <charconv>
#include <string_view>

#include "shared/paths/installed_paths.h"

namespace korvane::helper {

Expected<HelperOptions, std::string> parseOptions(int argc, char** argv) {
    HelperOptions options;
    options.taskPolicyTool = paths::taskPolicyOverride();
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--restore-fans") {
            options.restoreFans = true;
        } else if (arg == "--release-all") {
            options.releaseAll = true;
        } else if (arg == "--version") {
            options.showVersion = true;
        } else if (arg == "--help" || arg == "-h") {
            options.showHelp = true;
        } else if (arg.starts_with("--log=") && arg.size() > 6) {
            options.logFile = std::string(arg.substr(6));
        } else if (arg.starts_with("--allow-uid=")) {
            auto digits = arg.substr(12);
            unsigned long uid = 0;
            auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), uid);
            if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
                uid >= static_cast<unsigned long>(static_cast<uid_t>(-1))) {
                return unexpected("com.korvane.helper: not a user id: " + std::string(digits));
            }
            options.allowedUid = static_cast<uid_t>(uid);
        } else {
            return unexpected("com.korvane.helper: unknown argument: " + std::string(arg));
        }
    }
    return options;
}

}  // namespace korvane::helper
