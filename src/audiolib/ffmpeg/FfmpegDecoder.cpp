#include "audiolib/ffmpeg/FfmpegDecoder.h"

#include "audiolib/dsp/FiniteSamples.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>

extern "C" {
#include <libavcodec/codec_desc.h>
}

namespace audiolib::ffmpeg {

namespace {

// Below this many frames past the pre-roll a seek simply decodes from the start: the region
// holds the encoder delay, which only a read from the file's start trims correctly.
constexpr std::uint64_t kMinFramesForDirectSeek = 8192;

// Containers without timestamps of their own, whose demuxers can only estimate a position after
// a seek (from the bit rate or a coarse table of contents).
bool needsPacketIndex(const AVFormatContext& format) {
    static constexpr std::string_view kRawFormats[] = {"mp3", "aac", "ac3", "eac3", "dts"};
    const std::string_view name = format.iformat->name;
    return std::find(std::begin(kRawFormats), std::end(kRawFormats), name) != std::end(kRawFormats);
}

// Frames decoded and dropped before a seek target so that the decoder's state there is what a
// straight read would have had.
std::uint64_t prerollFor(const AVCodecContext& codec) {
    // FFmpeg calls nearly every audio codec intra-only (each packet decodes on its own), yet
    // lossy ones overlap their transforms across packets; lossless frames stand alone.
    const AVCodecDescriptor* desc = avcodec_descriptor_get(codec.codec_id);
    if (desc && (desc->props & AV_CODEC_PROP_LOSSLESS) && !(desc->props & AV_CODEC_PROP_LOSSY)) {
        return 0;
    }
    // Lossy codecs overlap neighbouring frames and MP3 borrows bits from up to 511 bytes of
    // earlier frames: 16384 frames covers two of the longest Vorbis blocks, an MP3 reservoir
    // even at 8 kbit/s, and more than Opus's recommended 80 ms.
    return std::max<std::uint64_t>(16384, 4 * static_cast<std::uint64_t>(codec.frame_size));
}

int bitsOf(const AVCodecContext& codec) {
    const int pcmBits = av_get_exact_bits_per_sample(codec.codec_id);
    const AVCodecDescriptor* desc = avcodec_descriptor_get(codec.codec_id);
    const bool lossless = desc && (desc->props & AV_CODEC_PROP_LOSSLESS);
    if (!lossless) {
        return 0;
    }
    if (codec.bits_per_raw_sample > 0) {
        return codec.bits_per_raw_sample;
    }
    return pcmBits > 0 ? pcmBits : 0;
}

bool isPlainPcm(AVCodecID id) {
    // PCM codec ids form one block that ends where ADPCM begins; the DVD / Blu-ray variants
    // carry headers per packet and are left to the scan.
    return id >= AV_CODEC_ID_PCM_S16LE && id < AV_CODEC_ID_ADPCM_IMA_QT &&
           id != AV_CODEC_ID_PCM_DVD && id != AV_CODEC_ID_PCM_BLURAY &&
           av_get_exact_bits_per_sample(id) > 0;
}

}  // namespace

FfmpegDecoder::FfmpegDecoder(std::shared_ptr<const ReadableFile> file,
                             std::unique_ptr<FfmpegInput> input)
    : file_(std::move(file)), path_(file_->path()), input_(std::move(input)) {}

std::unique_ptr<FfmpegDecoder> FfmpegDecoder::open(const std::string& utf8Path,
                                                   std::string* error) {
    auto file = ReadableFile::open(utf8Path, error);
    return file ? open(std::move(file), error) : nullptr;
}

std::unique_ptr<FfmpegDecoder> FfmpegDecoder::open(std::shared_ptr<const ReadableFile> file,
                                                   std::string* error) {
    auto input = FfmpegInput::open(file, error);
    if (!input) {
        return nullptr;
    }
    std::unique_ptr<FfmpegDecoder> decoder(new FfmpegDecoder(std::move(file), std::move(input)));
    if (!decoder->measure(error)) {
        return nullptr;
    }
    return decoder;
}

bool FfmpegDecoder::measure(std::string* error) {
    const AVCodecContext& codec = input_->codec();
    useIndex_ = needsPacketIndex(input_->format());
    preroll_ = prerollFor(codec);
    sourceBits_ = bitsOf(codec);

    input_->setPacketObserver([this](const AVPacket& pkt) {
        if (firstPacketPos_ < 0) {
            firstPacketPos_ = pkt.pos;
        }
        const std::int64_t ts = pkt.pts != AV_NOPTS_VALUE ? pkt.pts : pkt.dts;
        if (useIndex_ && ts != AV_NOPTS_VALUE) {
            index_.add(pkt.pos, ts);
        }
    });
    const AVFrame* frame = input_->nextFrame();
    if (!frame) {
        if (error) {
            *error = "no audio could be decoded from " + path_;
        }
        return false;
    }
    // What the first frame shows is what the whole file is delivered as (HE-AAC's doubled rate
    // and parametric stereo's second channel appear only there).
    sampleRate_ = input_->sampleRate();
    channels_ = frame->ch_layout.nb_channels > 0 ? frame->ch_layout.nb_channels
                                                 : codec.ch_layout.nb_channels;
    converter_ = std::make_unique<FloatConverter>(sampleRate_, channels_);
    const auto start = input_->frameStartSamples(*frame);
    hasTimestamps_ = start.has_value();
    origin_ = start.value_or(0);

    std::uint64_t frames = 0;
    if (!trustedPcmLength(&frames)) {
        // The container's duration is not to be trusted: count what actually decodes.
        do {
            if (const auto ts = input_->frameStartSamples(*frame)) {
                frameIndex_.add(*ts, frames);
            }
            frames += static_cast<std::uint64_t>(frame->nb_samples);
        } while ((frame = input_->nextFrame()));
    }
    input_->setPacketObserver(nullptr);
    length_ = std::min(frames, declaredMp4Length());
    if (length_ == 0) {
        if (error) {
            *error = path_ + " holds no audio";
        }
        return false;
    }
    if (!rewind()) {
        if (error) {
            *error = "cannot read " + path_ + " again after measuring it";
        }
        return false;
    }
    return true;
}

bool FfmpegDecoder::trustedPcmLength(std::uint64_t* frames) const {
    static constexpr std::string_view kPcmContainers[] = {"wav", "aiff", "w64", "au"};
    const AVFormatContext& format = input_->format();
    const AVStream& stream = input_->stream();
    const AVCodecParameters& par = *stream.codecpar;
    if (std::find(std::begin(kPcmContainers), std::end(kPcmContainers),
                  std::string_view(format.iformat->name)) == std::end(kPcmContainers) ||
        !isPlainPcm(par.codec_id) || par.block_align <= 0 || stream.duration <= 0 ||
        firstPacketPos_ < 0 || !format.pb) {
        return false;
    }
    const std::int64_t fileSize = avio_size(format.pb);
    if (fileSize <= firstPacketPos_) {
        return false;
    }
    const auto claimed = static_cast<std::uint64_t>(
        av_rescale_q(stream.duration, stream.time_base, AVRational{1, sampleRate_}));
    // A header may claim more data than the file holds (a copy that was cut short).
    const auto present = static_cast<std::uint64_t>((fileSize - firstPacketPos_) / par.block_align);
    *frames = std::min(claimed, present);
    return true;
}

std::uint64_t FfmpegDecoder::declaredMp4Length() const {
    // FFmpeg trims the AAC priming in MP4 but decodes the padding of the last frame in full;
    // the edit list, reflected in the stream duration, says where the music really ends.
    const AVStream& stream = input_->stream();
    if (!std::string_view(input_->format().iformat->name).starts_with("mov,") ||
        stream.duration <= 0) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return static_cast<std::uint64_t>(
        av_rescale_q(stream.duration, stream.time_base, AVRational{1, sampleRate_}));
}

bool FfmpegDecoder::rewind() {
    pending_.clear();
    pendingOffset_ = 0;
    position_ = 0;
    input_ = FfmpegInput::open(file_, nullptr);
    if (input_) {
        input_->lockSampleRate(sampleRate_);
    }
    return input_ != nullptr;
}

std::size_t FfmpegDecoder::read(float* interleaved, std::size_t frames) {
    if (position_ >= length_ || !interleaved) {
        return 0;
    }
    frames = static_cast<std::size_t>(std::min<std::uint64_t>(frames, length_ - position_));
    const auto ch = static_cast<std::size_t>(channels_);
    std::size_t done = 0;
    while (done < frames) {
        const std::size_t available = (pending_.size() - pendingOffset_) / ch;
        if (available == 0) {
            const AVFrame* frame = input_ ? input_->nextFrame() : nullptr;
            if (!frame || !convertIntoPending(*frame, 0)) {
                // The file gave less than it did when measured (changed on disk, read error):
                // the length follows what was really delivered.
                length_ = position_;
                break;
            }
            continue;
        }
        const std::size_t n = std::min(available, frames - done);
        std::memcpy(interleaved + done * ch, pending_.data() + pendingOffset_,
                    n * ch * sizeof(float));
        pendingOffset_ += n * ch;
        done += n;
        position_ += n;
    }
    return done;
}

bool FfmpegDecoder::convertIntoPending(const AVFrame& frame, std::size_t skipFrames) {
    const auto ch = static_cast<std::size_t>(channels_);
    pending_.resize(static_cast<std::size_t>(frame.nb_samples) * ch);
    const std::size_t converted = converter_->convert(frame, pending_.data());
    if (converted == 0 || skipFrames > converted) {
        pending_.clear();
        pendingOffset_ = 0;
        return false;
    }
    pending_.resize(converted * ch);
    // The one place every decoded sample passes: damaged float files stop here.
    sanitiseSamples(pending_.data(), pending_.size());
    pendingOffset_ = skipFrames * ch;
    return true;
}

bool FfmpegDecoder::seek(std::uint64_t frame) {
    if (frame > length_) {
        return false;
    }
    pending_.clear();
    pendingOffset_ = 0;
    if (frame == length_) {
        position_ = length_;
        return true;
    }
    if (input_ && hasTimestamps_) {
        // A container may land too late to place the target (an Ogg page's timestamps are
        // only known from the page before it): then land before where it landed, and as a last
        // resort decode from the start.
        std::uint64_t lead = preroll_;
        for (int attempt = 0; attempt < 4 && frame >= lead + kMinFramesForDirectSeek; ++attempt) {
            std::uint64_t landedAt = frame;
            const Landing landing = seekNear(frame, lead, &landedAt);
            if (landing == Landing::Done) {
                return true;
            }
            if (landing == Landing::Failed) {
                break;
            }
            lead = std::max(
                {2 * lead, frame - std::min(frame, landedAt) + preroll_, std::uint64_t{16384}});
        }
    }
    return seekByRewinding(frame);
}

FfmpegDecoder::Landing FfmpegDecoder::seekNear(std::uint64_t target, std::uint64_t lead,
                                               std::uint64_t* landedAt) {
    const std::int64_t want = origin_ + static_cast<std::int64_t>(target - lead);
    bool moved = false;
    if (useIndex_) {
        const AVRational tb = input_->stream().time_base;
        const auto entry = index_.lastAtOrBefore(av_rescale_q(want, {1, sampleRate_}, tb));
        // Landing on the first packet would need the start-of-file trimming: rewind instead.
        if (!entry || entry->pos == index_.first().pos) {
            return Landing::Failed;
        }
        moved = input_->seekToByte(entry->pos, &index_);
    } else {
        moved = input_->seekToTimestamp(want);
    }
    if (!moved) {
        return Landing::Failed;
    }
    // Frames are placed by their timestamps, except those of the first packet group read
    // (an Ogg page shares one byte offset), whose timestamps a demuxer may have had to guess
    // unless the group is the file's first. Frames before the first placed one only warm the
    // decoder up; a stream whose timestamps never match gives up after a while.
    const std::uint64_t giveUpAfter = 2 * lead + kMinFramesForDirectSeek;
    std::uint64_t unplaced = 0;
    std::optional<std::int64_t> firstGroup;
    while (const AVFrame* frame = input_->nextFrame()) {
        if (!firstGroup) {
            firstGroup = frame->pkt_pos;
            if (const auto start = input_->frameStartSamples(*frame)) {
                *landedAt = static_cast<std::uint64_t>(std::max<std::int64_t>(0, *start - origin_));
            }
        }
        const bool guessed = !frameIndex_.empty() && frame->pkt_pos >= 0 &&
                             frame->pkt_pos == *firstGroup && *firstGroup != firstPacketPos_;
        if (guessed) {
            continue;
        }
        if (const auto place = placeOf(*frame)) {
            if (*place > target) {
                return Landing::TooLate;
            }
            return decodeUpTo(frame, *place, target) ? Landing::Done : Landing::Failed;
        }
        unplaced += static_cast<std::uint64_t>(frame->nb_samples);
        if (unplaced > giveUpAfter) {
            break;
        }
    }
    return Landing::Failed;
}

std::optional<std::uint64_t> FfmpegDecoder::placeOf(const AVFrame& frame) const {
    const auto start = input_->frameStartSamples(frame);
    if (!start) {
        return std::nullopt;
    }
    if (!frameIndex_.empty()) {
        return frameIndex_.positionOf(*start);
    }
    // Not scanned (plain PCM): timestamps follow from byte offsets and are exact.
    if (*start < origin_) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(*start - origin_);
}

bool FfmpegDecoder::seekByRewinding(std::uint64_t target) {
    if (target > 0) {
        ++seeksFromStart_;
    }
    if (!rewind()) {
        return false;
    }
    if (target == 0) {
        return true;
    }
    std::uint64_t reached = 0;
    if (decodeUpTo(input_->nextFrame(), 0, target, &reached)) {
        return true;
    }
    // The file ends before the target although it measured longer (damaged so that it decodes
    // differently the second time, or cut short since): the nearest playable position is the
    // end of what decodes, and the length follows it, as a short read would.
    pending_.clear();
    pendingOffset_ = 0;
    length_ = std::min(length_, reached);
    position_ = length_;
    return true;
}

bool FfmpegDecoder::decodeUpTo(const AVFrame* frame, std::uint64_t framePosition,
                               std::uint64_t target, std::uint64_t* reached) {
    while (frame) {
        const auto n = static_cast<std::uint64_t>(frame->nb_samples);
        if (framePosition + n > target) {
            if (!convertIntoPending(*frame, static_cast<std::size_t>(target - framePosition))) {
                break;
            }
            position_ = target;
            return true;
        }
        framePosition += n;
        frame = input_->nextFrame();
    }
    if (reached) {
        *reached = framePosition;
    }
    return false;
}

}  // namespace audiolib::ffmpeg

namespace audiolib {

std::unique_ptr<AudioDecoder> AudioDecoder::open(const std::string& utf8Path, std::string* error) {
    return ffmpeg::FfmpegDecoder::open(utf8Path, error);
}

std::unique_ptr<AudioDecoder> AudioDecoder::open(std::shared_ptr<const ReadableFile> file,
                                                 std::string* error) {
    return ffmpeg::FfmpegDecoder::open(std::move(file), error);
}

}  // namespace audiolib
