#include "support/AudioFixtures.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <memory>
#include <numbers>

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/tx.h>
}

#include "audiolib/AudioDecoder.h"
#include "audiolib/FileEncoder.h"
#include "audiolib/ffmpeg/FfmpegEncoder.h"

namespace testsupport {

namespace {

using audiolib::EncodedFormat;
using audiolib::ffmpeg::EncoderRecipe;

std::size_t frameCount(double seconds, int rate) {
    return static_cast<std::size_t>(std::llround(std::max(0.0, seconds) * rate));
}

void setError(std::string* error, const std::string& text) {
    if (error) {
        *error = text;
    }
}

std::string extensionOf(const std::string& path) {
    const auto dot = path.find_last_of('.');
    const auto slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return {};
    }
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

bool encode(std::unique_ptr<audiolib::FileEncoder> encoder, const std::vector<float>& data,
            int channels, std::string* error, const std::string& path) {
    if (!encoder) {
        return false;
    }
    // Odd block sizes on purpose: the encoders must cope with any.
    const std::size_t frames = data.size() / static_cast<std::size_t>(channels);
    std::size_t done = 0;
    while (done < frames) {
        const std::size_t n = std::min<std::size_t>(3001, frames - done);
        if (!encoder->write(data.data() + done * static_cast<std::size_t>(channels), n)) {
            setError(error, "writing " + path + " failed");
            return false;
        }
        done += n;
    }
    if (!encoder->finish()) {
        setError(error, "finishing " + path + " failed");
        return false;
    }
    return true;
}

bool encodeWithRecipe(const std::string& path, const EncoderRecipe& recipe,
                      const std::vector<float>& data, int rate, int channels, std::string* error) {
    return encode(audiolib::ffmpeg::FfmpegEncoder::create(path, recipe, rate, channels, error),
                  data, channels, error, path);
}

}  // namespace

std::vector<float> sine(double hz, double seconds, int rate, int channels, float amplitude) {
    const std::size_t frames = frameCount(seconds, rate);
    std::vector<float> out(frames * static_cast<std::size_t>(channels));
    for (std::size_t i = 0; i < frames; ++i) {
        const double phase = 2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate;
        const auto v = static_cast<float>(amplitude * std::sin(phase));
        std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(i * channels), channels, v);
    }
    return out;
}

std::vector<float> silence(double seconds, int rate, int channels) {
    return std::vector<float>(frameCount(seconds, rate) * static_cast<std::size_t>(channels), 0.0f);
}

std::vector<float> clicks(double intervalSeconds, double seconds, int rate, int channels,
                          float amplitude) {
    std::vector<float> out = silence(seconds, rate, channels);
    const std::size_t frames = out.size() / static_cast<std::size_t>(channels);
    const std::size_t step = std::max<std::size_t>(1, frameCount(intervalSeconds, rate));
    const std::size_t clickFrames = std::max<std::size_t>(1, frameCount(0.002, rate));
    for (std::size_t start = 0; start < frames; start += step) {
        for (std::size_t i = 0; i < clickFrames && start + i < frames; ++i) {
            const double t = static_cast<double>(i) / rate;
            const double decay = 1.0 - static_cast<double>(i) / static_cast<double>(clickFrames);
            const auto v = static_cast<float>(
                amplitude * decay *
                std::sin(2.0 * std::numbers::pi * 1000 * t + std::numbers::pi / 2));
            std::fill_n(out.begin() + static_cast<std::ptrdiff_t>((start + i) * channels), channels,
                        v);
        }
    }
    return out;
}

bool writeWav(const std::string& path, const std::vector<float>& interleaved, int rate,
              int channels, WavSampleFormat format, std::string* error) {
    if (format == WavSampleFormat::S16) {
        return encode(
            audiolib::FileEncoder::create(path, EncodedFormat::Wav16, rate, channels, error),
            interleaved, channels, error, path);
    }
    EncoderRecipe recipe;
    recipe.muxer = "wav";
    switch (format) {
        case WavSampleFormat::U8:
            recipe.codec = "pcm_u8";
            break;
        case WavSampleFormat::S16:
            recipe.codec = "pcm_s16le";
            break;
        case WavSampleFormat::S24:
            recipe.codec = "pcm_s24le";
            recipe.significantBits = 24;
            break;
        case WavSampleFormat::S32:
            recipe.codec = "pcm_s32le";
            break;
        case WavSampleFormat::Float32:
            recipe.codec = "pcm_f32le";
            break;
        case WavSampleFormat::Float64:
            recipe.codec = "pcm_f64le";
            break;
    }
    return encodeWithRecipe(path, recipe, interleaved, rate, channels, error);
}

bool writeAudioFile(const std::string& path, const std::vector<float>& interleaved, int rate,
                    int channels, std::string* error) {
    const std::string ext = extensionOf(path);
    if (channels <= 0 || interleaved.size() % static_cast<std::size_t>(channels) != 0) {
        setError(error, "sample count is not a multiple of the channel count");
        return false;
    }
    if (ext == "wav") {
        return writeWav(path, interleaved, rate, channels, WavSampleFormat::S16, error);
    }
    if (ext == "m4a" || ext == "mp4") {
        return encode(
            audiolib::FileEncoder::create(path, EncodedFormat::Mp4Aac, rate, channels, error),
            interleaved, channels, error, path);
    }
    EncoderRecipe recipe;
    if (ext == "mp3") {
        recipe = {"mp3", "libmp3lame", AV_SAMPLE_FMT_NONE, 128000, 0};
    } else if (ext == "mp2") {
        recipe = {"mp2", "mp2", AV_SAMPLE_FMT_NONE, 192000, 0};
    } else if (ext == "ogg") {
        recipe = {"ogg", "libvorbis", AV_SAMPLE_FMT_NONE, 0, 0};
    } else if (ext == "opus") {
        recipe = {"ogg", "libopus", AV_SAMPLE_FMT_NONE, 96000, 0};
    } else if (ext == "aac") {
        recipe = {"adts", "aac", AV_SAMPLE_FMT_NONE, 128000, 0};
    } else if (ext == "flac") {
        recipe = {"flac", "flac", AV_SAMPLE_FMT_S16, 0, 0};
    } else if (ext == "aif" || ext == "aiff") {
        recipe = {"aiff", "pcm_s16be", AV_SAMPLE_FMT_S16, 0, 0};
    } else if (ext == "mp1") {
        setError(error, "FFmpeg has no MPEG-1 Layer I encoder; mp1 fixtures cannot be made");
        return false;
    } else {
        setError(error, "no fixture writer for the extension '" + ext + "'");
        return false;
    }
    return encodeWithRecipe(path, recipe, interleaved, rate, channels, error);
}

bool decodeFile(const std::string& path, std::vector<float>* interleaved, int* rate, int* channels,
                std::string* error) {
    auto decoder = audiolib::AudioDecoder::open(path, error);
    if (!decoder) {
        return false;
    }
    if (rate) {
        *rate = decoder->sampleRate();
    }
    if (channels) {
        *channels = decoder->channels();
    }
    const auto ch = static_cast<std::size_t>(decoder->channels());
    interleaved->clear();
    std::vector<float> block(4096 * ch);
    for (;;) {
        const std::size_t n = decoder->read(block.data(), 4096);
        if (n == 0) {
            break;
        }
        interleaved->insert(interleaved->end(), block.begin(),
                            block.begin() + static_cast<std::ptrdiff_t>(n * ch));
    }
    return true;
}

std::vector<float> channelOf(const std::vector<float>& interleaved, int channels, int index) {
    std::vector<float> out;
    const auto ch = static_cast<std::size_t>(channels);
    out.reserve(interleaved.size() / ch);
    for (std::size_t i = static_cast<std::size_t>(index); i < interleaved.size(); i += ch) {
        out.push_back(interleaved[i]);
    }
    return out;
}

double dominantFrequency(const std::vector<float>& mono, int rate) {
    if (mono.size() < 64 || rate <= 0) {
        return 0.0;
    }
    int n = 1;
    while (n * 2 <= static_cast<int>(mono.size()) && n < (1 << 20)) {
        n *= 2;
    }
    AVTXContext* tx = nullptr;
    av_tx_fn fft = nullptr;
    const float scale = 1.0f;
    if (av_tx_init(&tx, &fft, AV_TX_FLOAT_FFT, 0, n, &scale, 0) < 0) {
        return 0.0;
    }
    // av_tx wants buffers aligned for the widest SIMD in use, which std::vector does not give.
    struct AvFree {
        void operator()(AVComplexFloat* p) const { av_free(p); }
    };
    const auto count = static_cast<std::size_t>(n);
    std::unique_ptr<AVComplexFloat[], AvFree> in(
        static_cast<AVComplexFloat*>(av_malloc(count * sizeof(AVComplexFloat))));
    std::unique_ptr<AVComplexFloat[], AvFree> out(
        static_cast<AVComplexFloat*>(av_malloc(count * sizeof(AVComplexFloat))));
    if (!in || !out) {
        av_tx_uninit(&tx);
        return 0.0;
    }
    // Hann window over the middle of the signal, away from any fade at the ends.
    const std::size_t offset = (mono.size() - count) / 2;
    for (std::size_t i = 0; i < count; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) /
                                              static_cast<double>(n));
        in[i] = {static_cast<float>(w * mono[offset + i]), 0.0f};
    }
    fft(tx, out.get(), in.get(), sizeof(AVComplexFloat));
    av_tx_uninit(&tx);

    std::vector<double> mag(static_cast<std::size_t>(n / 2));
    for (std::size_t k = 0; k < mag.size(); ++k) {
        mag[k] = std::hypot(out[k].re, out[k].im);
    }
    const auto best =
        static_cast<std::size_t>(std::max_element(mag.begin() + 1, mag.end() - 1) - mag.begin());
    if (mag[best] <= 1e-9) {
        return 0.0;
    }
    // A Hann-windowed tone's peak is close to a Gaussian: a parabola through the logarithms
    // of the three top bins finds its centre to a small fraction of a bin.
    const double a = std::log(std::max(mag[best - 1], 1e-20));
    const double b = std::log(mag[best]);
    const double c = std::log(std::max(mag[best + 1], 1e-20));
    const double denom = a - 2.0 * b + c;
    const double delta = denom != 0.0 ? 0.5 * (a - c) / denom : 0.0;
    return (static_cast<double>(best) + delta) * rate / n;
}

double rms(const std::vector<float>& samples) {
    if (samples.empty()) {
        return 0.0;
    }
    double sum = 0.0;
    for (float s : samples) {
        sum += static_cast<double>(s) * s;
    }
    return std::sqrt(sum / static_cast<double>(samples.size()));
}

double peak(const std::vector<float>& samples) {
    double best = 0.0;
    for (float s : samples) {
        best = std::max(best, static_cast<double>(std::fabs(s)));
    }
    return best;
}

}  // namespace testsupport
