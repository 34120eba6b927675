// The handle of a gain effect on a stream; its parameters live in the stream's GainEffects.
#ifndef TONVERA_AUDIOLIB_STREAM_EFFECT_H
#define TONVERA_AUDIOLIB_STREAM_EFFECT_H

#include <cstdint>
#include <memory>

#include "audiolib/core/LibObject.h"
#include "audiolib/stream/Stream.h"

namespace audiolib {

class Effect : public LibObject {
  public:
    Effect(std::shared_ptr<Stream> stream, int id)
        : LibObject(stream->deviceSerial()),
          stream_(stream),
          channelHandle_(stream->handle()),
          id_(id) {}

    ObjectKind kind() const override { return ObjectKind::Effect; }
    std::shared_ptr<Stream> stream() const { return stream_.lock(); }
    std::uint32_t channelHandle() const { return channelHandle_; }
    int id() const { return id_; }

  private:
    std::weak_ptr<Stream> stream_;
    std::uint32_t channelHandle_;
    int id_;
};

}  // namespace audiolib

#endif
