#pragma once
// The core sampler's CPU kinds, read from the machine's topology in sysfs.
#include <string>

#include "app/monitors/core_layout_source.h"

namespace korvane::linux_platform {

class SysfsCoreLayoutSource final : public app::CoreLayoutSource {
public:
    // `sysfsRoot` is "/sys" on a real machine.
    explicit SysfsCoreLayoutSource(std::string sysfsRoot) : sysfsRoot_(std::move(sysfsRoot)) {}
    app::CoreLayout currentLayout() override;

private:
    std::string sysfsRoot_;
};

}  // namespace korvane::linux_platform
