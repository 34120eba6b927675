#include "engine/export/ExportType.h"

#include <algorithm>
#include <cctype>

namespace exporttype {

std::string extensionOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto dot = name.find_last_of('.');
    // A leading dot names a hidden file, not an extension.
    if (dot == std::string::npos || dot == 0)
        return {};
    return name.substr(dot + 1);
}

std::int32_t forPath(const std::string& path) {
    std::string ext = extensionOf(path);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == "mp4")
        return kMp4;
    if (ext == "m4a")
        return kM4a;
    return kWav;
}

}  // namespace exporttype
