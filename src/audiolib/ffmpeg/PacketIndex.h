// Byte offset -> exact timestamp of every audio packet, recorded while a file is read straight
// through. Raw streams (MP3, ADTS AAC...) have no timestamps of their own: after a seek the
// demuxer can only estimate them from the bit rate or a coarse table of contents, so a seek
// lands on a known packet by byte offset and takes its timestamp from here instead.
#ifndef TONVERA_AUDIOLIB_FFMPEG_PACKETINDEX_H
#define TONVERA_AUDIOLIB_FFMPEG_PACKETINDEX_H

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

namespace audiolib::ffmpeg {

class PacketIndex {
  public:
    struct Entry {
        std::int64_t pos;  // byte offset of the packet in the file
        std::int64_t pts;  // its timestamp in the stream's time base, as a straight read saw it
    };

    // Packets must be added in file order; one that does not move forward is ignored.
    void add(std::int64_t pos, std::int64_t pts) {
        if (pos < 0 || (!entries_.empty() && pos <= entries_.back().pos)) {
            return;
        }
        entries_.push_back({pos, pts});
    }

    std::optional<std::int64_t> ptsAt(std::int64_t pos) const {
        auto it = std::lower_bound(entries_.begin(), entries_.end(), pos,
                                   [](const Entry& e, std::int64_t p) { return e.pos < p; });
        if (it == entries_.end() || it->pos != pos) {
            return std::nullopt;
        }
        return it->pts;
    }

    // The last packet whose timestamp is at or before pts (timestamps grow with the offset).
    std::optional<Entry> lastAtOrBefore(std::int64_t pts) const {
        auto it = std::upper_bound(entries_.begin(), entries_.end(), pts,
                                   [](std::int64_t p, const Entry& e) { return p < e.pts; });
        if (it == entries_.begin()) {
            return std::nullopt;
        }
        return *(it - 1);
    }

    // Only when !empty().
    const Entry& first() const { return entries_.front(); }
    bool empty() const { return entries_.empty(); }
    std::size_t size() const { return entries_.size(); }

  private:
    std::vector<Entry> entries_;
};

}  // namespace audiolib::ffmpeg

#endif
