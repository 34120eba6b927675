// Where the spectrum view gets its display data from: the audio engine in the program, anything
// that produces the same shapes in tests and benchmarks.
//
// Threads: called on the main thread only, with the view's data lock held (the lock order is the
// view's data lock first, then whatever lock the source takes).
#ifndef TONVERA_VISUALISATION_VISUALDATASOURCE_H
#define TONVERA_VISUALISATION_VISUALDATASOURCE_H

#include <optional>
#include <vector>

class SoundEngine;

class VisualDataSource {
  public:
    virtual ~VisualDataSource() = default;
    // size / 2 scaled spectrum bins; nullopt when nothing is playing.
    virtual std::optional<std::vector<int>> spectrumData(int size, int height) = 0;
    // One trace per audio channel, each value in 0..height-1.
    virtual std::vector<std::vector<int>> waveData(int size, int height) = 0;
};

// The engine as a data source; the engine must outlive it.
class EngineDataSource final : public VisualDataSource {
  public:
    explicit EngineDataSource(SoundEngine& engine) : engine_(engine) {}
    std::optional<std::vector<int>> spectrumData(int size, int height) override;
    std::vector<std::vector<int>> waveData(int size, int height) override;

  private:
    SoundEngine& engine_;
};

#endif
