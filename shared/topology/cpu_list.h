#pragma once
// CPU lists as the kernel writes them in sysfs ("0-1,10-15").
#include <string>
#include <string_view>
#include <vector>

#include "shared/util/expected.h"

namespace korvane {

// Logical CPU numbers, ascending, without repeats.
using CpuList = std::vector<int>;

// No real machine numbers its CPUs this high; the bound keeps a hostile or
// corrupt range such as "0-2000000000" from allocating gigabytes.
inline constexpr int kMaxCpuNumber = 65535;

// Accepts "N" and "N-M" items separated by commas, surrounded by white space
// (sysfs files end in a newline). An empty text is an empty list, as the
// kernel writes for an empty mask. The error text names the offending item.
Expected<CpuList, std::string> parseCpuList(std::string_view text);

// The kernel's own notation: ascending ranges joined by commas; "" when empty.
std::string formatCpuList(const CpuList& cpus);

// Set operations on sorted lists.
CpuList intersectCpuLists(const CpuList& a, const CpuList& b);
CpuList subtractCpuLists(const CpuList& from, const CpuList& remove);
CpuList uniteCpuLists(const CpuList& a, const CpuList& b);

}  // namespace korvane
