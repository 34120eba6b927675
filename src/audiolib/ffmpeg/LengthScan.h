// Decoding a file once from its start to learn its exact length and where each decoded frame
// lies: the last resort for files whose headers do not state the length (Matroska, ASF, AVI...).
// scanLength() runs it on the calling thread; a LengthScan runs it on a thread of its own while
// the decoder that asked for it is already being read.
#ifndef TONVERA_AUDIOLIB_FFMPEG_LENGTHSCAN_H
#define TONVERA_AUDIOLIB_FFMPEG_LENGTHSCAN_H

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "audiolib/ffmpeg/FfmpegInput.h"
#include "audiolib/ffmpeg/FrameIndex.h"
#include "audiolib/ffmpeg/PacketIndex.h"

namespace audiolib::ffmpeg {

// No piece of music is this long, while a crafted file can claim (or truly hold, as a few MB of
// compressed silence) a hundred hours. Beyond this a file is played and measured only this far,
// which also bounds the work measuring one file may cost.
inline constexpr std::uint64_t kMaxLengthSeconds = 24 * 3600;
// The diagnostic line for a file cut to kMaxLengthSeconds.
void reportLengthCap(const std::string& path);

struct ScanResult {
    std::uint64_t frames = 0;  // already bounded by the cap and the declared MP4 length
    bool capped = false;
    std::int64_t firstPacketPos = -1;
    FrameIndex frameIndex;
    PacketIndex packetIndex;  // only when asked for (raw streams)
};

struct ScanRequest {
    std::uint64_t cap = 0;
    std::uint64_t declaredLength = 0;  // the container's word where it bounds the decoded length
    bool indexPackets = false;
    const std::atomic<bool>* stop = nullptr;  // checked after every frame; may be null
    // Only read the packet headers into the PacketIndex; no length comes of it.
    bool packetsOnly = false;
};

// From the input's next frame (a fresh input: its first) to its end or the cap.
ScanResult scanLength(FfmpegInput& input, const ScanRequest& request);

class LengthScan {
  public:
    // Opens its own input on the file; `reported` (which must outlive the scan) receives the
    // length the moment the scan ends, so that any thread reading it sees the exact value.
    LengthScan(std::string path, int sampleRate, ScanRequest request,
               std::atomic<std::uint64_t>& reported);
    // Stops the scan early and waits for its thread.
    ~LengthScan();
    LengthScan(const LengthScan&) = delete;
    LengthScan& operator=(const LengthScan&) = delete;

    bool finished() const { return finished_.load(std::memory_order_acquire); }
    bool givesLength() const { return !request_.packetsOnly; }
    // Until finished (for the thread that asked for the scan).
    void wait();
    // The result once finished (nullopt when the file could not be read again); call once.
    std::optional<ScanResult> take();

  private:
    void run(std::string path, int sampleRate);

    ScanRequest request_;
    std::atomic<std::uint64_t>& reported_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    std::mutex mutex_;  // guards result_
    std::optional<ScanResult> result_;
    std::thread thread_;
};

}  // namespace audiolib::ffmpeg

#endif
