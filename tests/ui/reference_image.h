#pragma once
// Renders compared with reviewed reference images, with a tolerance: small
// anti-aliasing and hinting differences pass, a moved, missing or recoloured
// control does not. KORVANE_UPDATE_REFERENCES=1 writes each render as its new
// reference, to be looked at before committing.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <cstdlib>

namespace korvane::testing {

// The share of pixels that differ by more than `channelSlack` in any channel.
inline double differingShare(const QImage& a, const QImage& b, int channelSlack) {
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    std::size_t differing = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int column = 0; column < x.width(); ++column) {
            const QRgb p = x.pixel(column, row);
            const QRgb q = y.pixel(column, row);
            differing += std::abs(qRed(p) - qRed(q)) > channelSlack || std::abs(qGreen(p) - qGreen(q)) > channelSlack ||
                         std::abs(qBlue(p) - qBlue(q)) > channelSlack || std::abs(qAlpha(p) - qAlpha(q)) > channelSlack;
        }
    }
    return static_cast<double>(differing) / (static_cast<double>(x.width()) * x.height());
}

// A render that does not match is saved as `failedCopy` (when given) for review.
inline void expectMatchesReference(const QImage& render, const QString& reference, double tolerance, int channelSlack,
                                   const QString& failedCopy = {}) {
    SCOPED_TRACE(reference.toStdString());
    if (qEnvironmentVariableIntValue("KORVANE_UPDATE_REFERENCES") == 1) {
        QDir().mkpath(QFileInfo(reference).absolutePath());
        ASSERT_TRUE(render.save(reference));
        return;
    }
    const QImage expected(reference);
    ASSERT_FALSE(expected.isNull()) << "no reference; run with KORVANE_UPDATE_REFERENCES=1 and review it";
    ASSERT_EQ(render.size(), expected.size());
    const double share = differingShare(render, expected, channelSlack);
    EXPECT_LT(share, tolerance) << share * 100 << "% of the pixels differ";
    if (share >= tolerance && !failedCopy.isEmpty()) render.save(failedCopy);
}

}  // namespace korvane::testing
