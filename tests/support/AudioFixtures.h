// Generated test signals, fixture files in every format the player opens, and measurements on
// decoded audio. Signals are interleaved float frames; all channels carry the same signal.
#ifndef TONVERA_TESTS_SUPPORT_AUDIOFIXTURES_H
#define TONVERA_TESTS_SUPPORT_AUDIOFIXTURES_H

#include <string>
#include <vector>

namespace testsupport {

// The rate most generated signals use. One definition: the test programs are unity builds, where
// each file's own copy would clash with its neighbours'.
inline constexpr int kRate = 44100;

// A sine of hz starting at phase 0, the same on every channel.
std::vector<float> sine(double hz, double seconds, int rate, int channels, float amplitude = 0.5f);
// All zeros.
std::vector<float> silence(double seconds, int rate, int channels);
// Short clicks (a 2 ms decaying 1 kHz burst) every intervalSeconds, starting at frame 0.
std::vector<float> clicks(double intervalSeconds, double seconds, int rate, int channels,
                          float amplitude = 0.9f);

enum class WavSampleFormat { U8, S16, S24, S32, Float32, Float64 };

// A WAV file of the given sample format; false (and *error) when it cannot be written.
bool writeWav(const std::string& path, const std::vector<float>& interleaved, int rate,
              int channels, WavSampleFormat format, std::string* error = nullptr);

// A file whose format follows the extension: wav (16-bit), flac (16-bit), mp3 (LAME, 128 kbit/s,
// with its Xing/LAME header), mp2, ogg (Vorbis), opus (48 kHz only), m4a and mp4 (AAC), aac
// (raw ADTS), aif/aiff (16-bit). mp1 is refused: FFmpeg has no MPEG-1 Layer I encoder.
bool writeAudioFile(const std::string& path, const std::vector<float>& interleaved, int rate,
                    int channels, std::string* error = nullptr);

// Every frame of an audio file through the project's decoder; false when it does not open.
bool decodeFile(const std::string& path, std::vector<float>* interleaved, int* rate = nullptr,
                int* channels = nullptr, std::string* error = nullptr);

// One channel out of interleaved frames.
std::vector<float> channelOf(const std::vector<float>& interleaved, int channels, int index);
// Frequency of the strongest spectral peak in Hz (windowed FFT, interpolated between bins);
// within 0.1 % for a clean tone of a second or more. 0 for empty or silent input.
double dominantFrequency(const std::vector<float>& mono, int rate);
// Root mean square of all samples; 0 for empty input.
double rms(const std::vector<float>& samples);
// Largest absolute sample; 0 for empty input.
double peak(const std::vector<float>& samples);

}  // namespace testsupport

#endif
