// Parsing a desktop entry stuffed with keys, as a hostile data folder may
// hold: the time must grow with the text, not with the square of its keys.
#include <benchmark/benchmark.h>

#include <string>

#include "shared/identity/desktop_entry.h"

namespace {

std::string stuffedEntry(int keys) {
    std::string text = "[Desktop Entry]\nType=Application\nName=Stuffed\n";
    for (int i = 0; i < keys; ++i) text += "X-Key-" + std::to_string(i) + "=value\n";
    return text;
}

void ParseStuffedEntry(benchmark::State& state) {
    std::string text = stuffedEntry(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(korvane::identity::parseDesktopEntry(text));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(ParseStuffedEntry)->Arg(1000)->Arg(16000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
