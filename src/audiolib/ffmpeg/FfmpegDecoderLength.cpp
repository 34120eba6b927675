// How FfmpegDecoder learns a file's exact length at open, without decoding the whole file where
// the file's own headers suffice (see FfmpegDecoder.h for the ways and their order).
#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <limits>
#include <string_view>

#include "audiolib/ffmpeg/FfmpegDecoder.h"
#include "audiolib/ffmpeg/LengthScan.h"

extern "C" {
#include <libavcodec/codec_desc.h>
#include <libavutil/intreadwrite.h>
}

namespace audiolib::ffmpeg {

namespace {

// Containers without timestamps of their own, whose demuxers can only estimate a position after
// a seek (from the bit rate or a coarse table of contents). Each packet header states its
// duration, so reading the headers alone gives the exact length and where every packet starts.
bool needsPacketIndex(const AVFormatContext& format) {
    static constexpr std::string_view kRawFormats[] = {"mp3", "aac", "ac3", "eac3", "dts"};
    const std::string_view name = format.iformat->name;
    return std::find(std::begin(kRawFormats), std::end(kRawFormats), name) != std::end(kRawFormats);
}

// Containers that state the length exactly: FLAC's STREAMINFO, MP4's sample tables and edit
// list, Ogg's last granule position. Their timestamps are sample-exact.
bool statesLength(const AVFormatContext& format) {
    const std::string_view name = format.iformat->name;
    return name == "flac" || name == "ogg" || name.starts_with("mov,");
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

// What the packet headers of a raw stream say, gathered while they are read.
struct FfmpegDecoder::PacketTally {
    std::int64_t end = std::numeric_limits<std::int64_t>::min();  // stream time base
    std::uint64_t endSkip = 0;  // padding the demuxer marks for the decoder to drop
    bool complete = true;       // every packet had a timestamp and a duration

    void add(const AVPacket& pkt) {
        const std::int64_t ts = pkt.pts != AV_NOPTS_VALUE ? pkt.pts : pkt.dts;
        if (ts == AV_NOPTS_VALUE || pkt.duration <= 0) {
            complete = false;
            return;
        }
        end = std::max(end, ts + pkt.duration);
        std::size_t size = 0;
        if (const std::uint8_t* skip =
                av_packet_get_side_data(&pkt, AV_PKT_DATA_SKIP_SAMPLES, &size);
            skip && size >= 8) {
            endSkip += AV_RL32(skip + 4);
        }
    }
};

std::uint64_t FfmpegDecoder::lengthCap() const {
    return kMaxLengthSeconds * static_cast<std::uint64_t>(sampleRate_);
}

bool FfmpegDecoder::measure(std::string* error, Measure measure) {
    const AVCodecContext& codec = input_->codec();
    useIndex_ = needsPacketIndex(input_->format());
    oggTimestamps_ = std::string_view(input_->format().iformat->name) == "ogg";
    preroll_ = prerollFor(codec);
    sourceBits_ = bitsOf(codec);

    PacketTally tally;
    input_->setPacketObserver([this, &tally](const AVPacket& pkt) {
        if (firstPacketPos_ < 0) {
            firstPacketPos_ = pkt.pos;
        }
        const std::int64_t ts = pkt.pts != AV_NOPTS_VALUE ? pkt.pts : pkt.dts;
        if (useIndex_ && ts != AV_NOPTS_VALUE) {
            index_.add(pkt.pos, ts);
        }
        tally.add(pkt);
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
    AVChannelLayout layout{};
    if (frame->ch_layout.nb_channels != channels_ ||
        av_channel_layout_copy(&layout, &frame->ch_layout) < 0) {
        av_channel_layout_default(&layout, channels_);
    }
    converter_ = std::make_unique<FloatConverter>(sampleRate_, layout);
    av_channel_layout_uninit(&layout);
    const auto start = input_->frameStartSamples(*frame);
    hasTimestamps_ = start.has_value();
    origin_ = start.value_or(0);

    const std::uint64_t cap = lengthCap();
    std::optional<std::uint64_t> frames = pcmLength();
    if (!frames) {
        frames = statedLength();
    }
    if (!frames && useIndex_ && hasTimestamps_) {
        frames = xingLength();
        if (frames) {
            // The length is known; where each packet starts is only needed by the first seek
            // that jumps, and is read on a thread of its own meanwhile.
            index_ = PacketIndex{};
            scan_ = std::make_unique<LengthScan>(
                path_, sampleRate_, ScanRequest{cap, cap, true, nullptr, true}, reported_);
            indexPending_ = true;
        } else {
            frames = walkedLength(tally, cap);
        }
    }
    timeline_ = frames.has_value();
    input_->setPacketObserver(nullptr);
    if (!frames) {
        // Nothing in the file states the length: count what actually decodes, from the start.
        index_ = PacketIndex{};
        firstPacketPos_ = -1;
        if (!rewind()) {
            if (error) {
                *error = "cannot read " + path_ + " again after measuring it";
            }
            return false;
        }
        const ScanRequest request{cap, declaredMp4Length(), useIndex_, nullptr};
        const std::uint64_t estimate = estimatedLength();
        if (measure == Measure::InBackground && estimate > 0) {
            // Playable at once with the container's estimate; the exact length follows.
            frames = std::min(estimate, cap);
            provisional_ = true;
            scan_ = std::make_unique<LengthScan>(path_, sampleRate_, request, reported_);
        } else {
            ScanResult scanned = scanLength(*input_, request);
            if (scanned.capped) {
                reportLengthCap(path_);
            }
            frames = scanned.frames;
            frameIndex_ = std::move(scanned.frameIndex);
            index_ = std::move(scanned.packetIndex);
            firstPacketPos_ = scanned.firstPacketPos;
        }
    }
    length_ = std::min(*frames, cap);
    reported_.store(length_, std::memory_order_release);
    if (*frames > cap) {
        reportLengthCap(path_);
    }
    if (length_ == 0) {
        if (error) {
            *error = path_ + " holds no audio";
        }
        return false;
    }
    if (!provisional_ && !rewind()) {
        if (error) {
            *error = "cannot read " + path_ + " again after measuring it";
        }
        return false;
    }
    return true;
}

std::optional<std::uint64_t> FfmpegDecoder::pcmLength() const {
    static constexpr std::string_view kPcmContainers[] = {"wav", "aiff", "w64", "au"};
    const AVFormatContext& format = input_->format();
    const AVStream& stream = input_->stream();
    const AVCodecParameters& par = *stream.codecpar;
    if (std::find(std::begin(kPcmContainers), std::end(kPcmContainers),
                  std::string_view(format.iformat->name)) == std::end(kPcmContainers) ||
        !isPlainPcm(par.codec_id) || par.block_align <= 0 || stream.duration <= 0 ||
        firstPacketPos_ < 0 || !format.pb) {
        return std::nullopt;
    }
    const std::int64_t fileSize = avio_size(format.pb);
    if (fileSize <= firstPacketPos_) {
        return std::nullopt;
    }
    const auto claimed = static_cast<std::uint64_t>(
        av_rescale_q(stream.duration, stream.time_base, AVRational{1, sampleRate_}));
    // A header may claim more data than the file holds (a copy that was cut short).
    const auto present = static_cast<std::uint64_t>((fileSize - firstPacketPos_) / par.block_align);
    return std::min(claimed, present);
}

std::optional<std::uint64_t> FfmpegDecoder::statedLength() {
    const AVStream& stream = input_->stream();
    if (!statesLength(input_->format()) || !hasTimestamps_ || stream.duration <= 0 ||
        stream.duration == AV_NOPTS_VALUE) {
        return std::nullopt;
    }
    auto claimed = static_cast<std::uint64_t>(
        av_rescale_q(stream.duration, stream.time_base, AVRational{1, sampleRate_}));
    if (oggTimestamps_) {
        // Ogg's last granule position counts the pre-skip (Opus) that the decoder drops.
        claimed -= std::min<std::uint64_t>(
            claimed, static_cast<std::uint64_t>(std::max(0, stream.codecpar->initial_padding)));
    }
    if (claimed == 0) {
        return std::nullopt;
    }
    const std::optional<std::int64_t> end = tailEnd(claimed);
    if (!end || *end <= 0) {
        return std::nullopt;
    }
    // The music ends where the container says (MP4 decodes the padding of the last frame in
    // full, the edit list cuts it), or where the file really ends if that comes first.
    return std::min(claimed, static_cast<std::uint64_t>(*end));
}

std::optional<std::int64_t> FfmpegDecoder::tailEnd(std::uint64_t claimed) {
    // Decode the last stretch the header claims and see where decodable audio really ends: a
    // copy cut short ends earlier than its header says. Jumping there is the container's own
    // seek (FLAC's seek table or frame headers, MP4's sample table, Ogg's granule search).
    const std::uint64_t back = 4 * preroll_ + 32768;
    const std::uint64_t budget = 8 * back + (std::uint64_t{1} << 19);
    if (claimed > back &&
        !input_->seekToTimestamp(origin_ + static_cast<std::int64_t>(claimed - back))) {
        return std::nullopt;
    }
    std::optional<std::int64_t> end;
    std::uint64_t decoded = 0;
    while (const AVFrame* frame = input_->nextFrame()) {
        if (const auto start = input_->frameStartSamples(*frame)) {
            const std::int64_t frameEnd = *start + frame->nb_samples - origin_;
            end = end ? std::max(*end, frameEnd) : frameEnd;
        }
        decoded += static_cast<std::uint64_t>(frame->nb_samples);
        if (claimed > back && decoded > budget) {
            return std::nullopt;  // landed far from the end: the claim cannot be checked cheaply
        }
    }
    return end;
}

std::optional<std::uint64_t> FfmpegDecoder::xingLength() const {
    // The Xing / Info header LAME (and FFmpeg's own muxer) put into the first MPEG audio frame
    // states the frame count and the stream's size in bytes; the LAME extension after it the
    // encoder delay and padding. Believed only when the file's size is what the header says.
    std::ifstream file(path_, std::ios::binary);
    std::array<unsigned char, 4096> head{};
    // ID3v2 tags (cover art: often hundreds of KB; sometimes more than one) come first.
    std::size_t tagEnd = 0;
    for (int tags = 0; tags < 8; ++tags) {
        file.clear();
        file.seekg(static_cast<std::streamoff>(tagEnd));
        file.read(reinterpret_cast<char*>(head.data()), 10);
        if (file.gcount() != 10 || head[0] != 'I' || head[1] != 'D' || head[2] != '3') {
            break;
        }
        const std::size_t tag = (std::size_t{head[6]} << 21) | (std::size_t{head[7]} << 14) |
                                (std::size_t{head[8]} << 7) | std::size_t{head[9]};
        tagEnd += 10 + tag + ((head[5] & 0x10) ? 10 : 0);
    }
    file.clear();
    file.seekg(static_cast<std::streamoff>(tagEnd));
    file.read(reinterpret_cast<char*>(head.data()), head.size());
    const std::size_t got = static_cast<std::size_t>(file.gcount());
    auto be32 = [&head](std::size_t at) {
        return (std::uint32_t{head[at]} << 24) | (std::uint32_t{head[at + 1]} << 16) |
               (std::uint32_t{head[at + 2]} << 8) | std::uint32_t{head[at + 3]};
    };
    if (got < 4 || head[0] != 0xFF || (head[1] & 0xE0) != 0xE0) {
        return std::nullopt;
    }
    const unsigned version = (head[1] >> 3) & 3;  // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
    const unsigned layer = (head[1] >> 1) & 3;    // 1: Layer III
    const bool mono = ((head[3] >> 6) & 3) == 3;
    if (layer != 1 || version == 1) {
        return std::nullopt;
    }
    const std::size_t sideInfo = version == 3 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    std::size_t at = 4 + sideInfo;
    if (at + 8 > got ||
        (std::memcmp(&head[at], "Xing", 4) != 0 && std::memcmp(&head[at], "Info", 4) != 0)) {
        return std::nullopt;
    }
    const std::uint32_t flags = be32(at + 4);
    at += 8;
    if ((flags & 3) != 3 || at + 8 > got) {
        return std::nullopt;  // no frame count or no byte count: nothing to check it by
    }
    const std::uint64_t frames = be32(at);
    const std::uint64_t bytes = be32(at + 4);
    at += 8 + ((flags & 4) ? 100 : 0) + ((flags & 8) ? 4 : 0);
    const std::uint64_t spf = version == 3 ? 1152 : 576;
    std::uint64_t delay = 0;
    std::uint64_t padding = 0;
    if (at + 24 <= got &&
        (std::memcmp(&head[at], "LAME", 4) == 0 || std::memcmp(&head[at], "Lavf", 4) == 0 ||
         std::memcmp(&head[at], "Lavc", 4) == 0)) {
        const std::uint32_t v = (std::uint32_t{head[at + 21]} << 16) |
                                (std::uint32_t{head[at + 22]} << 8) | std::uint32_t{head[at + 23]};
        delay = v >> 12;
        padding = v & 0xFFF;
    }
    // FFmpeg drops the delay plus its decoder's 529 frames at the start (the first frame's
    // timestamp shows it) and the padding less those 529 at the end: what the header says must
    // be what the decoder does, or the header is not for this stream.
    const bool startMatches =
        delay > 0 ? origin_ == static_cast<std::int64_t>(delay + 529) : origin_ == 0;
    // The size: the header counts from its own frame to the end of the audio; tags may follow
    // (ID3v1, APE), a copy cut short holds less.
    const std::int64_t fileSize = input_->format().pb ? avio_size(input_->format().pb) : -1;
    const auto available = fileSize - static_cast<std::int64_t>(tagEnd);
    const bool sizeMatches = available >= static_cast<std::int64_t>(bytes) &&
                             available <= static_cast<std::int64_t>(bytes) + 65536;
    if (!startMatches || !sizeMatches || frames == 0 || frames * spf <= delay + padding) {
        return std::nullopt;
    }
    return frames * spf - delay - padding;
}

std::optional<std::uint64_t> FfmpegDecoder::walkedLength(const PacketTally& tally,
                                                         std::uint64_t cap) {
    // Every packet header to the end of the file (or the cap); the observer set by measure
    // indexes and tallies them as they pass.
    const AVRational tb = input_->stream().time_base;
    const AVRational samples{1, sampleRate_};
    const std::int64_t capTs = av_rescale_q(origin_ + static_cast<std::int64_t>(cap), samples, tb);
    while (tally.end <= capTs && input_->skimPacket()) {
    }
    if (!tally.complete || tally.end == std::numeric_limits<std::int64_t>::min()) {
        return std::nullopt;  // a packet without a timestamp or duration: headers do not suffice
    }
    const std::int64_t end = av_rescale_q(tally.end, tb, samples) - origin_;
    if (end <= 0) {
        return std::nullopt;
    }
    const auto frames = static_cast<std::uint64_t>(end);
    return frames - std::min(frames, tally.endSkip);
}

std::uint64_t FfmpegDecoder::estimatedLength() const {
    // The container's duration, or FFmpeg's guess from the bit rate: right to about a second,
    // which is what the window shows until the measurement replaces it.
    const AVStream& stream = input_->stream();
    const AVRational samples{1, sampleRate_};
    if (stream.duration > 0 && stream.duration != AV_NOPTS_VALUE) {
        return static_cast<std::uint64_t>(av_rescale_q(stream.duration, stream.time_base, samples));
    }
    const AVFormatContext& format = input_->format();
    if (format.duration > 0 && format.duration != AV_NOPTS_VALUE) {
        // AV_TIME_BASE_Q is a C compound literal, which clang's -Wpedantic refuses in C++.
        const AVRational microseconds{1, AV_TIME_BASE};
        return static_cast<std::uint64_t>(av_rescale_q(format.duration, microseconds, samples));
    }
    return 0;
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

}  // namespace audiolib::ffmpeg
