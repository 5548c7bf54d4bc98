#include "shared/process/process_stat.h"

#include <cerrno>
#include <charconv>

namespace korvane {
namespace {

template <class Number>
bool parseWhole(std::string_view text, Number& out) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
    return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

Expected<ProcessStat, int> parseProcessStat(std::string_view text, int lastField) {
    auto close = text.rfind(')');
    if (close == std::string_view::npos) return unexpected(EINVAL);
    // Field 3 (state) follows the name; we need 4 (ppid), 9 (flags),
    // 20 (num_threads), 22 (starttime) and, when asked, 41 (policy).
    std::string_view rest = text.substr(close + 1);
    ProcessStat stat;
    int field = 2;
    bool haveParent = false;
    bool haveFlags = false;
    bool haveThreads = false;
    while (!rest.empty()) {
        auto start = rest.find_first_not_of(' ');
        if (start == std::string_view::npos) break;
        rest.remove_prefix(start);
        auto end = std::min(rest.find_first_of(" \n"), rest.size());
        std::string_view value = rest.substr(0, end);
        rest.remove_prefix(end);
        ++field;
        if (field == 4) {
            haveParent = parseWhole(value, stat.parent);
            if (lastField <= 4) {
                if (!haveParent) break;
                return stat;
            }
        } else if (field == 9) {
            haveFlags = parseWhole(value, stat.flags);
        } else if (field == 20) {
            haveThreads = parseWhole(value, stat.threads);
        } else if (field == 22) {
            if (!haveParent || !haveFlags || !haveThreads || !parseWhole(value, stat.startTime)) break;
            if (lastField <= 22) return stat;
        } else if (field == 41) {
            if (!parseWhole(value, stat.policy)) break;
            return stat;
        }
    }
    return unexpected(EINVAL);
}

}  // namespace korvane
