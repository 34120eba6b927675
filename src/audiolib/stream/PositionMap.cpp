#include "audiolib/stream/PositionMap.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace audiolib {

void PositionMap::restart(double sourceFrame, double ratio, double lead) {
    unwrapped_ = sourceFrame;
    ratio_ = ratio;
    emitted_ = 0;
    changeCount_ = 0;
    latestLead_ = lead;
    shiftLeft_ = 0.0;
    wrapCount_ = 0;
    loopOffset_ = 0.0;
}

void PositionMap::changeRatio(std::uint64_t framesAhead, double ratio, double lead) {
    double shift = lead - latestLead_;
    latestLead_ = lead;
    if (changeCount_ == changes_.size()) {
        --changeCount_;  // a burst of changes: the newest one wins, keeping the lead it moved
        shift += changes_[changeCount_].shift;
    }
    changes_[changeCount_++] = RatioChange{emitted_ + framesAhead, ratio, shift};
}

void PositionMap::addWrap(double at, double offset) {
    if (wrapCount_ == wraps_.size()) {
        // Seams closer together than the stretcher's delay: only the newest matters.
        std::move(wraps_.begin() + 1, wraps_.end(), wraps_.begin());
        --wrapCount_;
    }
    wraps_[wrapCount_++] = Wrap{at, offset};
}

std::size_t PositionMap::framesUntilWrap() const {
    const double left = (wraps_[0].at - unwrapped_) / ratio_;
    return static_cast<std::size_t>(std::max(1.0, std::ceil(left)));
}

std::size_t PositionMap::advance(std::size_t frames) {
    std::size_t seams = 0;
    // One frame at a time only where a ratio change falls inside the block.
    while (frames > 0) {
        std::uint64_t run = frames;
        if (changeCount_ > 0)
            run = std::min<std::uint64_t>(
                run, changes_[0].atFrame > emitted_ ? changes_[0].atFrame - emitted_ : 0);
        if (run == 0) {
            ratio_ = changes_[0].ratio;
            if (changes_[0].shift != 0.0) {
                // Never so fast that the position would run backwards.
                shiftLeft_ += changes_[0].shift;
                const double over =
                    std::max(kLeadShiftFrames, 2.0 * std::fabs(shiftLeft_) / ratio_);
                shiftPerFrame_ = std::fabs(shiftLeft_) / over;
            }
            std::move(changes_.begin() + 1, changes_.begin() + changeCount_, changes_.begin());
            --changeCount_;
            continue;
        }
        unwrapped_ += static_cast<double>(run) * ratio_;
        while (wrapCount_ > 0 && unwrapped_ >= wraps_[0].at) {
            ++seams;
            loopOffset_ = wraps_[0].offset;
            std::move(wraps_.begin() + 1, wraps_.begin() + wrapCount_, wraps_.begin());
            --wrapCount_;
        }
        if (shiftLeft_ != 0.0) {
            const double step = std::copysign(
                std::min(std::fabs(shiftLeft_), static_cast<double>(run) * shiftPerFrame_),
                shiftLeft_);
            unwrapped_ += step;
            shiftLeft_ -= step;
        }
        emitted_ += run;
        frames -= static_cast<std::size_t>(run);
    }
    return seams;
}

}  // namespace audiolib
