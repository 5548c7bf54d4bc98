#include "helper/runtime_state_file.h"

#include <unistd.h>

#include <cerrno>

#include "shared/util/atomic_file.h"
#include "shared/log/log.h"

namespace korvane::helper {

std::optional<std::string> RuntimeStateFile::load() {
    auto text = readWholeFile(path_);
    if (!text) {
        if (!text.error().missing) log::write("KorvaneHelper: Cannot read " + path_ + " — " + text.error().reason);
        return std::nullopt;
    }
    return std::move(*text);
}

bool RuntimeStateFile::save(std::string_view contents) {
    if (contents.empty()) {
        if (::unlink(path_.c_str()) == 0 || errno == ENOENT) return true;
        log::write("KorvaneHelper: Cannot remove " + path_);
        return false;
    }
    auto written = writeFileAtomically(path_, contents);
    if (!written) log::write("KorvaneHelper: Cannot record state — " + written.error());
    return written.has_value();
}

}  // namespace korvane::helper
