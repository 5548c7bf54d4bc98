// What the tray icon costs to draw: one heatmap redraw at the tray's sizes,
// the full set of StatusNotifierItem pixmaps, and a redraw the 5 % cache
// turns away (the common case between samples).
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QPainter>

#include "app/shell/heatmap_icon_manager.h"
#include "app/shell/status_bar_controller.h"
#include "app/shell/tray_icon_drawing.h"

using namespace korvane;
using namespace korvane::app;

namespace {

std::vector<CoreUsage> someCores(int count, double shift, bool performance) {
    std::vector<CoreUsage> cores;
    for (int i = 0; i < count; ++i) {
        cores.push_back(CoreUsage{i, std::fmod(0.07 * i + shift, 1.0), performance});
    }
    return cores;
}

// A new image (a new sample) rendered once, as the tray asks for it.
void HeatmapRedraw(benchmark::State& state) {
    const int pixels = static_cast<int>(state.range(0));
    const qreal ratio = static_cast<qreal>(state.range(1));
    double shift = 0;
    for (auto _ : state) {
        shift += 0.05;
        auto image = HeatmapIconManager::createHeatmapImage(someCores(8, shift, true), someCores(4, shift, false));
        QImage rendered = drawTrayIcon(image, {}, QSize(pixels, pixels) * ratio, ratio, Qt::black);
        benchmark::DoNotOptimize(rendered.constBits());
    }
}
BENCHMARK(HeatmapRedraw)->Args({22, 1})->Args({22, 2})->Args({48, 1})->Unit(benchmark::kMicrosecond);

// Every pixmap size our StatusNotifierItem offers, with the percentage drawn in.
void SniPixmapSet(benchmark::State& state) {
    auto image = HeatmapIconManager::createHeatmapImage(someCores(8, 0.3, true), someCores(4, 0.3, false));
    for (auto _ : state) {
        for (int size : {16, 22, 24, 32, 48, 64}) {
            QImage rendered = drawTrayIcon(image, " 37%", QSize(size, size), 1.0, Qt::black);
            benchmark::DoNotOptimize(rendered.constBits());
        }
    }
}
BENCHMARK(SniPixmapSet)->Unit(benchmark::kMicrosecond);

// The check that keeps the old image when no core moved a 5 % step.
void CacheKey(benchmark::State& state) {
    auto p = someCores(8, 0.3, true);
    auto e = someCores(4, 0.3, false);
    for (auto _ : state) benchmark::DoNotOptimize(StatusBarController::quantize(p, e));
}
BENCHMARK(CacheKey);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
