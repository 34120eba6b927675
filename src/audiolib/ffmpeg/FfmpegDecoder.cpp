#include "audiolib/ffmpeg/FfmpegDecoder.h"

#include "audiolib/dsp/FiniteSamples.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace audiolib::ffmpeg {

namespace {

// Below this many frames past the pre-roll a seek simply decodes from the start: the region
// holds the encoder delay, which only a read from the file's start trims correctly.
constexpr std::uint64_t kMinFramesForDirectSeek = 8192;

// The longest stretch of silence timeline reading puts in for packets that did not decode; a
// longer jump in the timestamps is taken as broken timestamps and not followed.
constexpr std::int64_t kMaxGapSeconds = 30;
// Frames an Ogg stream's derived timestamps may be off by (see placeFor); half of Vorbis's
// longest block.
constexpr std::int64_t kOggTimestampSlack = 4096;
// Silence at the end of a file cut short is handed out in pieces of this many frames.
constexpr std::uint64_t kSilenceFrames = 4096;

}  // namespace

FfmpegDecoder::FfmpegDecoder(std::shared_ptr<const ReadableFile> file,
                             std::unique_ptr<FfmpegInput> input)
    : file_(std::move(file)), path_(file_->path()), input_(std::move(input)) {}

// The scan (if any) is stopped and joined before the members it writes to go.
FfmpegDecoder::~FfmpegDecoder() {
    scan_.reset();
}

std::unique_ptr<FfmpegDecoder> FfmpegDecoder::open(const std::string& utf8Path, std::string* error,
                                                   Measure measure) {
    auto file = ReadableFile::open(utf8Path, error);
    return file ? open(std::move(file), error, measure) : nullptr;
}

std::unique_ptr<FfmpegDecoder> FfmpegDecoder::open(std::shared_ptr<const ReadableFile> file,
                                                   std::string* error, Measure measure) {
    auto input = FfmpegInput::open(file, error);
    if (!input) {
        return nullptr;
    }
    std::unique_ptr<FfmpegDecoder> decoder(new FfmpegDecoder(std::move(file), std::move(input)));
    if (!decoder->measure(error, measure)) {
        return nullptr;
    }
    return decoder;
}

void FfmpegDecoder::setLength(std::uint64_t frames) {
    length_ = frames;
    reported_.store(frames, std::memory_order_release);
}

void FfmpegDecoder::adoptScan() {
    if (indexPending_ && scan_->finished()) {
        indexPending_ = false;
        if (auto result = scan_->take()) {
            index_ = std::move(result->packetIndex);
            firstPacketPos_ = result->firstPacketPos;
        }
        return;
    }
    if (!provisional_ || !scan_->finished()) {
        return;
    }
    provisional_ = false;
    if (auto result = scan_->take()) {
        // The scan counted the same frames this reader delivers, so positions carry over.
        setLength(result->frames);
        frameIndex_ = std::move(result->frameIndex);
        index_ = std::move(result->packetIndex);
        firstPacketPos_ = result->firstPacketPos;
        position_ = std::min(position_, length_);
    } else {
        setLength(std::max(length_, position_));  // the file could not be read again
    }
}

bool FfmpegDecoder::rewind() {
    pending_.clear();
    pendingOffset_ = 0;
    position_ = 0;
    exhausted_ = false;
    input_ = FfmpegInput::open(file_, nullptr);
    if (input_) {
        input_->lockSampleRate(sampleRate_);
    }
    return input_ != nullptr;
}

std::size_t FfmpegDecoder::read(float* interleaved, std::size_t frames) {
    adoptScan();
    // An estimated length does not end the reading: the file does (or the scan's result).
    const std::uint64_t limit = provisional_ ? lengthCap() : length_;
    if (position_ >= limit || !interleaved) {
        return 0;
    }
    frames = static_cast<std::size_t>(std::min<std::uint64_t>(frames, limit - position_));
    const auto ch = static_cast<std::size_t>(channels_);
    std::size_t done = 0;
    while (done < frames) {
        const std::size_t available = (pending_.size() - pendingOffset_) / ch;
        if (available == 0) {
            if (!refill()) {
                // The file gave less than it did when measured (changed on disk, read error),
                // or ends before its estimate: the length follows what was really delivered.
                if (!provisional_ || position_ > 0) {
                    setLength(position_);
                }
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

bool FfmpegDecoder::refill() {
    for (;;) {
        const AVFrame* frame = input_ && !exhausted_ ? input_->nextFrame() : nullptr;
        if (!frame) {
            if (!timeline_ || position_ >= length_) {
                return false;
            }
            // The timestamps promised more than decodes (the last packet of a cut copy): the
            // rest plays as silence, so the length holds.
            exhausted_ = true;
            silenceIntoPending(std::min(length_ - position_, kSilenceFrames));
            return true;
        }
        if (!timeline_) {
            return convertIntoPending(*frame, 0);
        }
        const std::int64_t here = static_cast<std::int64_t>(position_);
        switch (placeIntoPending(*frame, placeFor(*frame, here))) {
            case Placed::Used:
                return true;
            case Placed::Before:
            case Placed::Failed:  // a frame that does not convert is a gap like any other
                continue;
        }
    }
}

std::optional<std::int64_t> FfmpegDecoder::timelinePlace(const AVFrame& frame) const {
    const auto start = input_->frameStartSamples(frame);
    if (!start) {
        return std::nullopt;
    }
    return *start - origin_;
}

std::int64_t FfmpegDecoder::placeFor(const AVFrame& frame, std::int64_t expected) const {
    const std::optional<std::int64_t> stated = timelinePlace(frame);
    if (!stated) {
        return expected;
    }
    // FFmpeg works out an Ogg stream's timestamps packet by packet from the block sizes, and
    // where Vorbis changes its block size they come out a few hundred frames late. Followed,
    // they would cut a block short and pad silence in its place: within that slack the frames
    // simply follow each other, and only a larger jump is a real gap. An earlier timestamp is
    // the true one: after a seek that placed its first frame by a late one, the next page puts
    // the frames back where they belong, during the decoding up to the target.
    if (oggTimestamps_ && std::llabs(*stated - expected) < kOggTimestampSlack) {
        return std::min(*stated, expected);
    }
    return *stated;
}

FfmpegDecoder::Placed FfmpegDecoder::placeIntoPending(const AVFrame& frame, std::int64_t place) {
    const auto here = static_cast<std::int64_t>(position_);
    const std::int64_t n = frame.nb_samples;
    if (place + n <= here) {
        return Placed::Before;
    }
    std::int64_t gap = std::max<std::int64_t>(0, place - here);
    if (gap > kMaxGapSeconds * sampleRate_) {
        gap = 0;  // broken timestamps: keep the audio going rather than follow them
    }
    gap = std::min<std::int64_t>(gap, static_cast<std::int64_t>(length_ - position_));
    const std::size_t skip = place < here ? static_cast<std::size_t>(here - place) : 0;
    const auto ch = static_cast<std::size_t>(channels_);
    const auto silent = static_cast<std::size_t>(gap);
    pending_.assign((silent + static_cast<std::size_t>(n)) * ch, 0.0F);
    const std::size_t converted = converter_->convert(frame, pending_.data() + silent * ch);
    if (converted == 0 || skip >= converted) {
        pending_.clear();
        pendingOffset_ = 0;
        return converted == 0 ? Placed::Failed : Placed::Before;
    }
    pending_.resize((silent + converted) * ch);
    // Damaged float files stop here too: frames placed by their timestamps skip the path below.
    sanitiseSamples(pending_.data() + silent * ch, converted * ch);
    pendingOffset_ = skip * ch;
    return Placed::Used;
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
    // Damaged float files stop here (and in placeIntoPending).
    sanitiseSamples(pending_.data(), pending_.size());
    pendingOffset_ = skipFrames * ch;
    return true;
}

void FfmpegDecoder::silenceIntoPending(std::uint64_t frames) {
    pending_.assign(static_cast<std::size_t>(frames) * static_cast<std::size_t>(channels_), 0.0F);
    pendingOffset_ = 0;
}

bool FfmpegDecoder::seek(std::uint64_t frame) {
    adoptScan();
    if (frame > length_) {
        return false;
    }
    pending_.clear();
    pendingOffset_ = 0;
    exhausted_ = false;
    if (frame == length_) {
        position_ = length_;
        return true;
    }
    if (input_ && hasTimestamps_ && !provisional_) {
        // Until the scan's tables are there, only decoding from the start is exact.
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
        if (indexPending_) {
            scan_->wait();  // a fraction of a second, once
            adoptScan();
        }
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
        const bool guessed = (!frameIndex_.empty() || oggTimestamps_) && frame->pkt_pos >= 0 &&
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
    // Timeline reading: timestamps are sample-exact.
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
    if (timeline_) {
        // Each frame goes where its timestamp says; what lies before the target only warms the
        // decoder up, a gap before it plays as silence.
        position_ = target;
        for (; frame; frame = input_->nextFrame()) {
            const auto place = placeFor(*frame, static_cast<std::int64_t>(framePosition));
            framePosition = static_cast<std::uint64_t>(std::max<std::int64_t>(0, place)) +
                            static_cast<std::uint64_t>(frame->nb_samples);
            if (placeIntoPending(*frame, place) == Placed::Used) {
                return true;
            }
        }
        exhausted_ = true;
        return true;  // the rest up to the length is silence (refill)
    }
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

std::unique_ptr<AudioDecoder> AudioDecoder::open(const std::string& utf8Path, std::string* error,
                                                 Measure measure) {
    return ffmpeg::FfmpegDecoder::open(utf8Path, error, measure);
}

std::unique_ptr<AudioDecoder> AudioDecoder::open(std::shared_ptr<const ReadableFile> file,
                                                 std::string* error, Measure measure) {
    return ffmpeg::FfmpegDecoder::open(std::move(file), error, measure);
}

}  // namespace audiolib
