#pragma once
// The machine as the managers read it, for tests: CPUs each busier than the
// last, a little more each sample; a fixed core layout; no application
// bundles.
#include <optional>
#include <string>
#include <vector>

#include "app/focus/bundle_reader.h"
#include "app/monitors/core_layout_source.h"
#include "app/monitors/processor_tick_source.h"

namespace korvane::testing {

class SteadyTicks final : public app::ProcessorTickSource {
public:
    explicit SteadyTicks(int cpus) : cpus_(cpus) {}
    bool fetchTicks(std::vector<app::ProcessorTicks>& into) override {
        into.clear();
        step_ += 100;
        for (int cpu = 0; cpu < cpus_; ++cpu) {
            into.push_back({cpu, static_cast<std::uint32_t>(step_ * (cpu + 1) / 10), 0,
                            static_cast<std::uint32_t>(step_ * (10 - cpu - 1) / 10), 0});
        }
        return true;
    }

private:
    int cpus_;
    std::uint32_t step_ = 0;
};

class FixedCores final : public app::CoreLayoutSource {
public:
    app::CoreLayout currentLayout() override { return layout; }
    app::CoreLayout layout{CpuList{0, 1}, CpuList{2, 3}};
};

class NoBundles final : public app::BundleReader {
public:
    std::optional<app::BundleInfo> readBundle(const std::string&) const override { return std::nullopt; }
};

}  // namespace korvane::testing
