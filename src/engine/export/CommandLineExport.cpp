#include "engine/export/CommandLineExport.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "engine/MusicChain.h"
#include "engine/export/CommandLineProgress.h"
#include "engine/export/ExportTarget.h"
#include "engine/export/ExportType.h"
#include "engine/export/SoundExportProtocol.h"
#include "engine/export/StopSignals.h"

namespace commandline {

namespace {

constexpr float kMinTempo = -95.0F;
constexpr float kMaxTempo = 5000.0F;
constexpr float kMaxPitch = 60.0F;

std::optional<float> number(const std::string& text) {
    if (text.empty())
        return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const float value = std::strtof(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// Passes the progress on to the printer and, at each report (once before the first block, then
// after every block), turns a stop signal noted since into a cancel of the export.
class SignalRelay : public SoundExportProtocol {
  public:
    SignalRelay(SoundExporter& exporter, SoundExportProtocol& progress)
        : exporter_(exporter), progress_(progress) {}

    void exportLength(std::uint32_t length) override { exportLength64(length); }
    void exportUpdate(std::uint32_t position) override { exportUpdate64(position); }
    void exportLength64(std::uint64_t length) override {
        progress_.exportLength64(length);
        watch();
    }
    void exportUpdate64(std::uint64_t position) override {
        progress_.exportUpdate64(position);
        watch();
    }

  private:
    void watch() {
        if (StopSignals::received() != 0)
            exporter_.cancel();
    }

    SoundExporter& exporter_;
    SoundExportProtocol& progress_;
};

std::optional<formats::ChannelChoice> channelChoice(const std::string& text) {
    using formats::ChannelChoice;
    if (text == "stereo")
        return ChannelChoice::Stereo;
    if (text == "left")
        return ChannelChoice::LeftOnly;
    if (text == "right")
        return ChannelChoice::RightOnly;
    if (text == "mono")
        return ChannelChoice::Mono;
    if (text == "swapped")
        return ChannelChoice::Swapped;
    return std::nullopt;
}

// off, bass, low-mids, highs, or custom:HZ:OCTAVES:DB.
std::optional<formats::FocusSpec> focusSpec(const std::string& text) {
    using formats::FocusBand;
    formats::FocusSpec spec;
    if (text == "off") {
        spec.band = FocusBand::Off;
    } else if (text == "bass") {
        spec.band = FocusBand::Bass;
    } else if (text == "low-mids") {
        spec.band = FocusBand::LowMids;
    } else if (text == "highs") {
        spec.band = FocusBand::Highs;
    } else if (text.rfind("custom:", 0) == 0) {
        std::vector<float> values;
        std::size_t from = 7;
        while (from <= text.size()) {
            const std::size_t colon = std::min(text.find(':', from), text.size());
            const auto value = number(text.substr(from, colon - from));
            if (!value)
                return std::nullopt;
            values.push_back(*value);
            from = colon + 1;
        }
        if (values.size() != 3)
            return std::nullopt;
        spec.band = FocusBand::Custom;
        spec.centreHz = values[0];
        spec.widthOctaves = values[1];
        spec.gainDb = values[2];
        if (!spec.valid())
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    return spec;
}

std::string nameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

Request parse(const std::vector<std::string>& arguments) {
    Request request;
    bool exporting = false;
    std::vector<std::string> inputs;
    std::vector<std::string> unknown;
    auto invalid = [&](const std::string& why) {
        Request bad;
        bad.action = Action::Invalid;
        bad.error = why;
        return bad;
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string option = arguments[i];
        std::optional<std::string> inlineValue;
        if (option.rfind("--", 0) == 0) {
            if (const auto eq = option.find('='); eq != std::string::npos) {
                inlineValue = option.substr(eq + 1);
                option = option.substr(0, eq);
            }
        }
        auto value = [&]() -> std::optional<std::string> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 < arguments.size())
                return arguments[++i];
            return std::nullopt;
        };
        if (option == "--help" || option == "-h") {
            request.action = Action::Help;
            return request;
        }
        if (option == "--export") {
            const auto out = value();
            if (!out || out->empty())
                return invalid("--export needs the name of the file to write");
            exporting = true;
            request.output = *out;
        } else if (option == "--tempo" || option == "--pitch" || option == "--rate") {
            const auto text = value();
            const auto parsed = text ? number(*text) : std::nullopt;
            if (!parsed)
                return invalid(option + " needs a number" +
                               (text ? ", not \"" + *text + "\"" : ""));
            if (option == "--tempo") {
                if (*parsed < kMinTempo || *parsed > kMaxTempo)
                    return invalid("--tempo must lie between -95 and 5000 (percent)");
                request.settings.tempo = *parsed;
            } else if (option == "--pitch") {
                if (std::fabs(*parsed) > kMaxPitch)
                    return invalid("--pitch must lie between -60 and 60 (semitones)");
                request.settings.pitch = *parsed;
            } else {
                if (*parsed <= 0.0F)
                    return invalid("--rate must be a positive number of Hz");
                request.settings.rate = *parsed;
            }
        } else if (option == "--tuning") {
            const auto text = value();
            const auto parsed = text ? number(*text) : std::nullopt;
            if (!parsed || std::fabs(*parsed) > MusicChain::kMaxTuning)
                return invalid("--tuning must lie between -50 and 50 (cents)");
            request.settings.tuning = *parsed;
        } else if (option == "--channels") {
            const auto text = value();
            const auto choice = text ? channelChoice(*text) : std::nullopt;
            if (!choice)
                return invalid("--channels must be stereo, left, right, mono or swapped");
            request.settings.hearing.channels = *choice;
        } else if (option == "--focus") {
            const auto text = value();
            const auto spec = text ? focusSpec(*text) : std::nullopt;
            if (!spec)
                return invalid(
                    "--focus must be off, bass, low-mids, highs or custom:HZ:OCTAVES:DB "
                    "(20 to 20000 Hz, 0.1 to 6 octaves, -30 to 30 dB)");
            request.settings.hearing.focus = *spec;
        } else if (option == "--centre-cancel" || option == "--center-cancel") {
            request.settings.hearing.centreCancel = true;
        } else if (option == "--quality") {
            const auto text = value();
            if (text && *text == "best") {
                request.settings.engineFlags = MusicChain::engineFlags(SoundQuality::Best);
            } else if (text && *text == "light") {
                request.settings.engineFlags = MusicChain::engineFlags(SoundQuality::Light);
            } else {
                return invalid("--quality must be best or light");
            }
            request.qualityGiven = true;
        } else if (option == "--level") {
            const auto text = value();
            if (text && *text == "original") {
                request.settings.level = ExportLevel::Original;
            } else if (text && *text == "heard") {
                request.settings.level = ExportLevel::Heard;
            } else {
                return invalid("--level must be original or heard");
            }
        } else if (option.rfind("--", 0) == 0) {
            unknown.push_back(option);
        } else {
            inputs.push_back(arguments[i]);
        }
    }
    if (!exporting) {
        // Without --export the player starts; its own options are only FILE arguments.
        request.action = Action::StartPlayer;
        return request;
    }
    if (!unknown.empty())
        return invalid("unknown option " + unknown.front());
    if (inputs.size() != 1)
        return invalid(inputs.empty() ? "--export needs the music file to read"
                                      : "--export reads exactly one music file");
    request.action = Action::Export;
    request.settings.musicFile = inputs.front();
    return request;
}

std::string usage(const std::string& program) {
    return "Usage: " + program + " [FILE]\n" + "       " + program +
           " --export OUT [--tempo PERCENT] [--pitch SEMITONES] [--rate HZ]\n" +
           "               [--tuning CENTS] [--focus BAND] [--centre-cancel]\n"
           "               [--channels stereo|left|right|mono|swapped] [--quality best|light]\n"
           "               [--level original|heard] IN\n" +
           "       " + program +
           " --help\n"
           "\n"
           "Without options Tonvera opens its window, with FILE (a music file or a .sps practice\n"
           "settings file) loaded when given; while it runs, a second start hands FILE to it.\n"
           "\n"
           "  --export OUT        render IN with the changes below into OUT, with no window and\n"
           "                      no sound; the type follows OUT's extension: .wav (16-bit PCM),\n"
           "                      .mp4 (AAC) or .m4a (Apple Lossless), any other: WAV\n"
           "  --tempo PERCENT     tempo change, same key: -95 to 5000 (-25 plays at 75 %)\n"
           "  --pitch SEMITONES   key change, same speed: -60 to 60, fractions allowed\n"
           "  --rate HZ           playback rate (speed and key together); default: the file's own\n"
           "  --tuning CENTS      fine tuning added to the pitch: -50 to 50\n"
           "  --focus BAND        off, bass, low-mids, highs, or custom:HZ:OCTAVES:DB (a band of\n"
           "                      your own: its centre, width and gain)\n"
           "  --centre-cancel     turn down what sits in the middle of the stereo image (the "
           "lead)\n"
           "  --channels WHICH    stereo, left, right, mono or swapped; default: stereo\n"
           "  --quality best|light  stretch engine; default: the one chosen in Settings\n"
           "  --level original|heard  original keeps the recording's own level (the default);\n"
           "                      heard is the level the player sounds at with the volume at\n"
           "                      full: twice as loud, its peaks held below full scale\n"
           "  -h, --help          show this help and exit\n"
           "\n"
           "Progress is shown on stderr. Exit status: 0 when OUT was written, 1 when the export\n"
           "failed (OUT is then left as it was), 2 for a bad command line. Ctrl+C (SIGINT) or\n"
           "SIGTERM stops the export, leaves OUT as it was and exits with 130 or 143.\n";
}

int runExport(const Request& request, std::FILE* progress, std::FILE* errors) {
    auto failWith = [&](const std::string& why) {
        if (errors)
            std::fprintf(errors, "tonvera: export failed: %s\n", why.c_str());
        return 1;
    };
    const std::string& in = request.settings.musicFile;
    if (::access(in.c_str(), R_OK) != 0)
        return failWith("cannot read " + in + ": " + std::strerror(errno));

    // A folder, a device or a pipe as OUT is refused before the music is even opened.
    if (const std::string refused = ExportTarget::refusal(request.output); !refused.empty())
        return failWith(refused);

    // From here on Ctrl+C and a plain kill stop the export cleanly instead of ending the process
    // with its temporary file left behind.
    const StopSignals stopSignals;
    // No output device: finish() hands the thread back to device 0, which selects nothing.
    SoundExporter exporter;
    CommandLineProgress printer(progress, nameOf(request.output));
    SignalRelay relay(exporter, printer);
    exporter.setDelegate(&relay);
    bool succeeded = exporter.prepare(request.settings);
    if (succeeded && request.settings.rate) {
        // The rate's range depends on the file (1/16 to 16 times its own); say so up front
        // instead of exporting at another rate.
        float own = 0.0F;
        if (!exporter.acceptsRate(*request.settings.rate, &own)) {
            exporter.finish();
            return failWith("--rate must lie between " + std::to_string(std::lround(own / 16)) +
                            " and " + std::to_string(std::lround(own * 16)) + " Hz for this file");
        }
    }
    // A signal during the preparation (which reads the whole file when its length must be
    // scanned) stops the export before it writes anything.
    if (succeeded && StopSignals::received() != 0)
        exporter.cancel();
    if (succeeded)
        succeeded = exporter.exportTo(exporttype::forPath(request.output), request.output);
    const std::string failure = exporter.failure();
    const bool cancelled = exporter.wasCancelled();
    exporter.finish();
    printer.done(succeeded);
    if (cancelled)
        return StopSignals::exitStatus(StopSignals::received());
    if (!succeeded)
        return failWith(failure.empty() ? "unknown error" : failure);
    return 0;
}

}  // namespace commandline
