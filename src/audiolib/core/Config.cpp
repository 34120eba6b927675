#include "audiolib/core/Config.h"

namespace audiolib {

Config& Config::instance() {
    static Config config;
    return config;
}

}  // namespace audiolib
