// Stream timestamp -> position in delivered frames, for every decoded frame of a straight read.
// After a seek the container's timestamps place a frame in the stream, but only this table says
// where a straight read put it: a damaged or oddly cut stream may have gaps or overlaps, and an
// Ogg page met first after a seek carries a timestamp guessed from incomplete information, which
// does not appear here and so is never trusted.
#ifndef TONVERA_AUDIOLIB_FFMPEG_FRAMEINDEX_H
#define TONVERA_AUDIOLIB_FFMPEG_FRAMEINDEX_H

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

namespace audiolib::ffmpeg {

class FrameIndex {
  public:
    // Frames must be added in reading order; a timestamp that does not grow is left out.
    void add(std::int64_t timestamp, std::uint64_t position) {
        if (!entries_.empty() && timestamp <= entries_.back().timestamp) {
            return;
        }
        entries_.push_back({timestamp, position});
    }

    std::optional<std::uint64_t> positionOf(std::int64_t timestamp) const {
        auto it = std::lower_bound(entries_.begin(), entries_.end(), timestamp,
                                   [](const Entry& e, std::int64_t t) { return e.timestamp < t; });
        if (it == entries_.end() || it->timestamp != timestamp) {
            return std::nullopt;
        }
        return it->position;
    }

    bool empty() const { return entries_.empty(); }

  private:
    struct Entry {
        std::int64_t timestamp;
        std::uint64_t position;
    };
    std::vector<Entry> entries_;
};

}  // namespace audiolib::ffmpeg

#endif
