#include "visualisation/SpectrumRenderer.h"

#include <QPainter>
#include <QRectF>
#include <algorithm>
#include <cstddef>

#include "logging/Console.h"
#include "visualisation/GlobalSettings.h"

namespace spectrumrender {

namespace {

// 1/127 as a float: the colour ramp spans the data's height argument.
constexpr float kColourScale = 0.007874016F;
constexpr float kBarWidth = 4.0F;
constexpr float kBarOffset = 1.0F;

void fillBackground(QPainter& painter, const QSizeF& frame) {
    painter.fillRect(QRectF(QPointF(0.0, 0.0), frame), Qt::black);
}

// The step between bars: divided in double precision, kept in single precision.
float stepFor(const QSizeF& frame, std::size_t count) {
    return static_cast<float>(frame.width() / static_cast<double>(count));
}

// Values are lengths up from the bottom edge; Qt's y axis points down, so the bar's top is at
// frame height - value. A value of 0 or below covers nothing inside the panel.
void fillBar(QPainter& painter, const QSizeF& frame, float x, int value, const QColor& colour) {
    if (value <= 0)
        return;
    const double height = static_cast<double>(value);
    painter.fillRect(QRectF(static_cast<double>(x), frame.height() - height, kBarWidth, height),
                     colour);
}

void drawBars(QPainter& painter, const QSizeF& frame, const std::vector<int>& values,
              bool oddChannel, float stepx) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        const int v = values[i];
        const float x = static_cast<float>(i) * stepx + kBarOffset;
        fillBar(painter, frame, x, v, barColour(v, oddChannel));
    }
}

}  // namespace

QColor barColour(int value, bool oddChannel) {
    const float f = std::clamp(static_cast<float>(value) * kColourScale, 0.0F, 1.0F);
    const float rising = f;
    const float falling = std::clamp(1.0F - f, 0.0F, 1.0F);
    if (oddChannel)
        return QColor::fromRgbF(0.0F, falling, rising, 1.0F);
    return QColor::fromRgbF(rising, falling, 0.0F, 1.0F);
}

void render(QPainter& painter, const QSizeF& frame, std::int32_t spectrumType,
            const SpectrumData& data) {
    switch (spectrumType) {
        case SpectrumTypeFFT:
            renderFFT(painter, frame, data);
            break;
        case SpectrumTypeWaveForm:
            renderWaveForm(painter, frame, data);
            break;
        default:
            fillBackground(painter, frame);
            break;
    }
}

void renderFFT(QPainter& painter, const QSizeF& frame, const SpectrumData& data) {
    fillBackground(painter, frame);
    const auto* values = std::get_if<std::vector<int>>(&data);
    if (values == nullptr)
        return;
    console("rendering fft: %u", static_cast<unsigned>(values->size()));
    if (values->empty())
        return;
    drawBars(painter, frame, *values, false, stepFor(frame, values->size()));
}

void renderWaveForm(QPainter& painter, const QSizeF& frame, const SpectrumData& data) {
    fillBackground(painter, frame);
    const auto* channels = std::get_if<std::vector<std::vector<int>>>(&data);
    if (channels == nullptr)
        return;

    console("numChannels: %i", static_cast<int>(channels->size()));
    std::size_t maxCount = 0;
    for (const auto& channel : *channels)
        maxCount = std::max(maxCount, channel.size());
    console("frame width: %f", frame.width());
    console("max count: %i", static_cast<int>(maxCount));

    // Every channel spans the whole width; later channels are drawn over earlier ones.
    for (std::size_t c = 0; c < channels->size(); ++c) {
        const auto& channel = (*channels)[c];
        console("chanBuff count: %u", static_cast<unsigned>(channel.size()));
        // An empty channel gives an infinite step (IEEE division); it is logged and skipped.
        const float stepx = stepFor(frame, channel.size());
        console("stepx: %f", static_cast<double>(stepx));
        if (channel.empty())
            continue;
        drawBars(painter, frame, channel, c % 2 == 1, stepx);
    }
}

}  // namespace spectrumrender
