#include "visualisation/VisualDataSource.h"

#include "engine/SoundEngine.h"

std::optional<std::vector<int>> EngineDataSource::spectrumData(int size, int height) {
    return engine_.spectrumData(size, height);
}

std::vector<std::vector<int>> EngineDataSource::waveData(int size, int height) {
    return engine_.waveData(size, height);
}
