// An AVIOContext that reads a ReadableFile, so FFmpeg reads the descriptor that was checked
// instead of opening the path again. Each FileIo keeps its own position; several may read one
// file. Not thread-safe.
#ifndef TONVERA_AUDIOLIB_FFMPEG_FILEIO_H
#define TONVERA_AUDIOLIB_FFMPEG_FILEIO_H

#include <cstdint>
#include <memory>

#include "audiolib/core/ReadableFile.h"
#include "audiolib/ffmpeg/FfmpegHolders.h"

namespace audiolib::ffmpeg {

class FileIo {
  public:
    // nullptr when out of memory.
    static std::unique_ptr<FileIo> create(std::shared_ptr<const ReadableFile> file);
    ~FileIo();
    FileIo(const FileIo&) = delete;
    FileIo& operator=(const FileIo&) = delete;

    // For AVFormatContext::pb; the format context must be closed before this is destroyed.
    AVIOContext* context() const { return context_; }

  private:
    explicit FileIo(std::shared_ptr<const ReadableFile> file) : file_(std::move(file)) {}
    static int readPacket(void* opaque, std::uint8_t* buffer, int size);
    static std::int64_t seek(void* opaque, std::int64_t offset, int whence);

    std::shared_ptr<const ReadableFile> file_;
    std::int64_t position_ = 0;
    AVIOContext* context_ = nullptr;
};

}  // namespace audiolib::ffmpeg

#endif
