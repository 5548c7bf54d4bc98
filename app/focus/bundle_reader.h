#pragma once
// What the jail needs to know of "an application at a location": whether it
// is one, its identifier and its display name. On Linux an application at a
// location is a desktop entry file (platform/linux/identity); tests use
// fixture folders.
#include <optional>
#include <string>

namespace korvane::app {

struct BundleInfo {
    std::optional<std::string> bundleIdentifier;
    std::string name;  // the display name; empty when the bundle gives none
};

class BundleReader {
public:
    virtual ~BundleReader() = default;
    // Nothing when `path` is not an application bundle.
    virtual std::optional<BundleInfo> readBundle(const std::string& path) const = 0;
};

}  // namespace korvane::app
