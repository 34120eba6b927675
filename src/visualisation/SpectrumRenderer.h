// Drawing of the spectrum view's data: a black panel with one coloured bar per value, bars 4 units
// wide standing on the bottom edge, their height the value itself (no scaling to the panel).
//
// Threads: main thread only, like every QPainter on a widget; the functions keep no state.
#ifndef TONVERA_VISUALISATION_SPECTRUMRENDERER_H
#define TONVERA_VISUALISATION_SPECTRUMRENDERER_H

#include <QColor>
#include <QSizeF>
#include <cstdint>
#include <variant>
#include <vector>

class QPainter;

// Nothing yet, spectrum bins, or one trace per audio channel.
using SpectrumData = std::variant<std::monostate, std::vector<int>, std::vector<std::vector<int>>>;

namespace spectrumrender {

// Green at 0 towards red at 127 (even channels and the spectrum) or towards blue (odd channels).
QColor barColour(int value, bool oddChannel);

// Chooses the renderer by the spectrum type, not by the shape of the data: data of the other
// shape (left over from before a change of type) draws the background only.
void render(QPainter& painter, const QSizeF& frame, std::int32_t spectrumType,
            const SpectrumData& data);

void renderFFT(QPainter& painter, const QSizeF& frame, const SpectrumData& data);
void renderWaveForm(QPainter& painter, const QSizeF& frame, const SpectrumData& data);

}  // namespace spectrumrender

#endif
