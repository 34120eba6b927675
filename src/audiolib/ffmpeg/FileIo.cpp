#include "audiolib/ffmpeg/FileIo.h"

#include <cerrno>

namespace audiolib::ffmpeg {

namespace {

// FFmpeg's own file protocol reads in blocks of this size.
constexpr int kBufferSize = 32768;

}  // namespace

std::unique_ptr<FileIo> FileIo::create(std::shared_ptr<const ReadableFile> file) {
    std::unique_ptr<FileIo> io(new FileIo(std::move(file)));
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
    if (!buffer) {
        return nullptr;
    }
    io->context_ = avio_alloc_context(buffer, kBufferSize, 0, io.get(), &FileIo::readPacket,
                                      nullptr, &FileIo::seek);
    if (!io->context_) {
        av_free(buffer);
        return nullptr;
    }
    return io;
}

FileIo::~FileIo() {
    if (context_) {
        // The buffer may have been replaced by FFmpeg since allocation; free the current one.
        av_freep(&context_->buffer);
        avio_context_free(&context_);
    }
}

int FileIo::readPacket(void* opaque, std::uint8_t* buffer, int size) {
    auto* self = static_cast<FileIo*>(opaque);
    const std::int64_t n =
        self->file_->read(self->position_, buffer, static_cast<std::size_t>(size));
    if (n < 0) {
        return AVERROR(errno);
    }
    if (n == 0) {
        return AVERROR_EOF;
    }
    self->position_ += n;
    return static_cast<int>(n);
}

std::int64_t FileIo::seek(void* opaque, std::int64_t offset, int whence) {
    auto* self = static_cast<FileIo*>(opaque);
    std::int64_t target = 0;
    switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE: {
            const std::int64_t size = self->file_->size();
            return size >= 0 ? size : AVERROR(ENOSYS);
        }
        case SEEK_SET:
            target = offset;
            break;
        case SEEK_CUR:
            target = self->position_ + offset;
            break;
        case SEEK_END: {
            const std::int64_t size = self->file_->size();
            if (size < 0) {
                return AVERROR(ENOSYS);
            }
            target = size + offset;
            break;
        }
        default:
            return AVERROR(EINVAL);
    }
    if (target < 0) {
        return AVERROR(EINVAL);
    }
    self->position_ = target;
    return target;
}

}  // namespace audiolib::ffmpeg
