// Helpers for the visualisation tests: a scripted data source, console capture, event pumping and
// pixel reading.
#ifndef TONVERA_TESTS_VISUALISATION_VISUALTESTSUPPORT_H
#define TONVERA_TESTS_VISUALISATION_VISUALTESTSUPPORT_H

#include <gtest/gtest.h>

#include <QColor>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "visualisation/VisualDataSource.h"

namespace visualtest {

// Hands out whatever the test put in and records every request.
class ScriptedSource : public VisualDataSource {
  public:
    struct Request {
        char kind;  // 's' spectrum, 'w' waveform
        int size;
        int height;
    };

    std::optional<std::vector<int>> spectrum;
    std::vector<std::vector<int>> wave;
    std::vector<Request> requests;

    std::optional<std::vector<int>> spectrumData(int size, int height) override {
        requests.push_back({'s', size, height});
        return spectrum;
    }
    std::vector<std::vector<int>> waveData(int size, int height) override {
        requests.push_back({'w', size, height});
        return wave;
    }
};

// Collects what the console outlet writes to stderr while it lives.
class ConsoleCapture {
  public:
    ConsoleCapture() { ::testing::internal::CaptureStderr(); }
    ~ConsoleCapture() {
        if (!taken_)
            ::testing::internal::GetCapturedStderr();
    }
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;

    // Ends the capture and returns everything written.
    const std::string& text() {
        if (!taken_) {
            text_ = ::testing::internal::GetCapturedStderr();
            taken_ = true;
        }
        return text_;
    }
    bool has(const std::string& line) { return text().find(line) != std::string::npos; }
    int count(const std::string& line) {
        int n = 0;
        for (auto at = text().find(line); at != std::string::npos;
             at = text().find(line, at + line.size())) {
            ++n;
        }
        return n;
    }

  private:
    bool taken_ = false;
    std::string text_;
};

// Delivers queued calls until the condition holds or the timeout passes.
inline bool pumpUntil(const std::function<bool()>& condition, int timeoutMs = 2000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Delivers everything already queued (a few passes, so calls queued by queued calls run too).
inline void pumpQueued() {
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

inline QImage blankImage(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::magenta);  // anything the renderer leaves unpainted stands out
    return image;
}

inline bool isBlack(const QImage& image, int x, int y) {
    return image.pixel(x, y) == qRgb(0, 0, 0);
}

// Every pixel of the image is black.
inline bool allBlack(const QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!isBlack(image, x, y))
                return false;
        }
    }
    return true;
}

// The height of the coloured column at x, counted up from the bottom edge.
inline int columnHeight(const QImage& image, int x) {
    int h = 0;
    for (int y = image.height() - 1; y >= 0 && !isBlack(image, x, y); --y)
        ++h;
    return h;
}

}  // namespace visualtest

#endif
