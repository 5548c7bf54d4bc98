#include "shared/topology/cpu_list.h"

#include <algorithm>
#include <charconv>
#include <iterator>

namespace korvane {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool parseNumber(std::string_view s, int& out) {
    if (s.empty()) return false;
    auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), out);
    return error == std::errc() && end == s.data() + s.size() && out >= 0 && out <= kMaxCpuNumber;
}

}  // namespace

Expected<CpuList, std::string> parseCpuList(std::string_view text) {
    text = trimmed(text);
    CpuList cpus;
    if (text.empty()) return cpus;
    while (true) {
        auto comma = text.find(',');
        std::string_view item = trimmed(text.substr(0, comma));
        auto dash = item.find('-');
        int first = 0;
        int last = 0;
        bool ok = dash == std::string_view::npos
                      ? parseNumber(item, first) && parseNumber(item, last)
                      : parseNumber(item.substr(0, dash), first) && parseNumber(item.substr(dash + 1), last);
        if (!ok || first > last) return unexpected("not a CPU list item: \"" + std::string(item) + "\"");
        for (int cpu = first; cpu <= last; ++cpu) cpus.push_back(cpu);
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    std::sort(cpus.begin(), cpus.end());
    cpus.erase(std::unique(cpus.begin(), cpus.end()), cpus.end());
    return cpus;
}

std::string formatCpuList(const CpuList& cpus) {
    std::string text;
    for (std::size_t i = 0; i < cpus.size();) {
        std::size_t j = i;
        while (j + 1 < cpus.size() && cpus[j + 1] == cpus[j] + 1) ++j;
        if (!text.empty()) text += ',';
        text += std::to_string(cpus[i]);
        if (j > i) text += '-' + std::to_string(cpus[j]);
        i = j + 1;
    }
    return text;
}

CpuList intersectCpuLists(const CpuList& a, const CpuList& b) {
    CpuList out;
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

CpuList subtractCpuLists(const CpuList& from, const CpuList& remove) {
    CpuList out;
    std::set_difference(from.begin(), from.end(), remove.begin(), remove.end(), std::back_inserter(out));
    return out;
}

CpuList uniteCpuLists(const CpuList& a, const CpuList& b) {
    CpuList out;
    std::set_union(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

}  // namespace korvane
