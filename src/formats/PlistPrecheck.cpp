#include "formats/PlistPrecheck.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace plistprecheck {

namespace {

// ---- XML -----------------------------------------------------------------------------------

bool startsWith(const QByteArray& data, qsizetype at, const char* text) {
    const qsizetype n = static_cast<qsizetype>(qstrlen(text));
    return at + n <= data.size() && data.mid(at, n) == text;
}

// Where the tag that opens at `from` ends (the index of its '>'), quotes taken as a reader takes
// them; nullopt when a '<' comes first, the quotes do not pair, or the data ends.
std::optional<qsizetype> tagEnd(const QByteArray& data, qsizetype from) {
    char quote = 0;
    for (qsizetype i = from; i < data.size(); ++i) {
        const char c = data[i];
        if (quote) {
            if (c == quote)
                quote = 0;
            else if (c == '<' || c == '>')
                return std::nullopt;  // readers differ on quotes holding markup
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i;
        } else if (c == '<') {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// ---- binary ----------------------------------------------------------------------------------

struct Reader {
    const unsigned char* bytes;
    std::uint64_t size;

    // A big-endian unsigned number of `width` bytes at `at`; nullopt beyond the data.
    std::optional<std::uint64_t> number(std::uint64_t at, unsigned width) const {
        if (width == 0 || width > 8 || at > size || size - at < width)
            return std::nullopt;
        std::uint64_t value = 0;
        for (unsigned i = 0; i < width; ++i)
            value = (value << 8) | bytes[at + i];
        return value;
    }
};

struct Container {
    bool container = false;  // an array, a set or a dictionary (which may be empty)
    std::uint64_t refsAt = 0;
    std::uint64_t count = 0;  // references
};

// The references an object holds: none for a scalar; nullopt when its header is broken.
std::optional<Container> containerAt(const Reader& r, std::uint64_t at, std::uint64_t end,
                                     unsigned refSize) {
    const auto marker = r.number(at, 1);
    if (!marker)
        return std::nullopt;
    const unsigned type = static_cast<unsigned>(*marker) >> 4;
    if (type != 0xA && type != 0xC && type != 0xD)
        return Container{};
    std::uint64_t count = *marker & 0xF;
    std::uint64_t refsAt = at + 1;
    if (count == 0xF) {
        const auto intMarker = r.number(at + 1, 1);
        if (!intMarker || (*intMarker >> 4) != 0x1 || (*intMarker & 0xF) > 3)
            return std::nullopt;
        const unsigned width = 1U << (*intMarker & 0xF);
        const auto n = r.number(at + 2, width);
        if (!n)
            return std::nullopt;
        count = *n;
        refsAt = at + 2 + width;
    }
    if (type == 0xD)
        count *= 2;  // keys, then values
    // Every reference must lie before the offset table; this also bounds count.
    if (refsAt > end || count > (end - refsAt) / refSize)
        return std::nullopt;
    return Container{true, refsAt, count};
}

}  // namespace

Verdict checkXml(const QByteArray& data, int maxDepth) {
    int depth = 0;
    const qsizetype n = data.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (data[i] != '<')
            continue;
        if (startsWith(data, i, "<!--")) {
            const qsizetype end = data.indexOf("-->", i + 4);
            if (end < 0)
                return Verdict::Malformed;
            i = end + 2;
        } else if (startsWith(data, i, "<![CDATA[")) {
            const qsizetype end = data.indexOf("]]>", i + 9);
            if (end < 0)
                return Verdict::Malformed;
            i = end + 2;
        } else if (startsWith(data, i, "<?")) {
            // Only a plain declaration: no markup and no question mark before its end.
            const qsizetype end = data.indexOf("?>", i + 2);
            if (end < 0)
                return Verdict::Malformed;
            const QByteArray body = data.mid(i + 2, end - i - 2);
            if (!body.startsWith("xml") || body.contains('<') || body.contains('>') ||
                body.contains('?') || body.count('"') % 2 != 0 || body.count('\'') % 2 != 0) {
                return Verdict::Unsupported;
            }
            i = end + 1;
        } else if (startsWith(data, i, "<!DOCTYPE")) {
            // The usual public identifier only; an internal subset could hide markup.
            const auto end = tagEnd(data, i + 9);
            if (!end)
                return Verdict::Unsupported;
            if (data.mid(i, *end - i).contains('['))
                return Verdict::Unsupported;
            i = *end;
        } else if (i + 1 < n && data[i + 1] == '!') {
            return Verdict::Unsupported;
        } else {
            const auto end = tagEnd(data, i + 1);
            if (!end)
                return Verdict::Malformed;
            if (i + 1 < n && data[i + 1] == '/') {
                if (--depth < 0)
                    return Verdict::Malformed;
            } else if (data[*end - 1] != '/' && ++depth > maxDepth) {
                return Verdict::TooDeep;
            }
            i = *end;
        }
    }
    return Verdict::Acceptable;
}

Verdict checkBinary(const QByteArray& data, int maxDepth, std::uint64_t maxNodes) {
    constexpr std::uint64_t kHeader = 8;
    constexpr std::uint64_t kTrailer = 32;
    const Reader r{reinterpret_cast<const unsigned char*>(data.constData()),
                   static_cast<std::uint64_t>(data.size())};
    if (r.size < kHeader + kTrailer || !data.startsWith("bplist00"))
        return Verdict::Malformed;
    const std::uint64_t trailer = r.size - kTrailer;
    const auto offsetSize = r.number(trailer + 6, 1);
    const auto refSize = r.number(trailer + 7, 1);
    const auto objects = r.number(trailer + 8, 8);
    const auto root = r.number(trailer + 16, 8);
    const auto tableAt = r.number(trailer + 24, 8);
    if (*offsetSize < 1 || *offsetSize > 8 || *refSize < 1 || *refSize > 8 || *objects == 0 ||
        *root >= *objects || *tableAt < kHeader || *tableAt > trailer ||
        *objects > (trailer - *tableAt) / *offsetSize) {
        return Verdict::Malformed;
    }
    const std::uint64_t count = *objects;  // bounded by the file size above
    std::vector<std::uint64_t> offsets(count);
    for (std::uint64_t k = 0; k < count; ++k) {
        const auto at = r.number(*tableAt + k * *offsetSize, static_cast<unsigned>(*offsetSize));
        if (!at || *at < kHeader || *at >= *tableAt)
            return Verdict::Malformed;
        offsets[k] = *at;
    }

    // Depth-first, without recursion: nodes and depth of every object once its children are
    // done. A shared object counts once per reference, as the parser copies it each time.
    enum : unsigned char { kNew, kOpen, kDone };
    std::vector<unsigned char> state(count, kNew);
    std::vector<std::uint64_t> nodes(count, 0);
    std::vector<int> depth(count, 0);
    struct Step {
        std::uint64_t object;
        Container refs;
        std::uint64_t next;
    };
    std::vector<Step> stack;
    const auto open = [&](std::uint64_t object) -> bool {
        const auto refs =
            containerAt(r, offsets[object], *tableAt, static_cast<unsigned>(*refSize));
        if (!refs)
            return false;
        state[object] = kOpen;
        nodes[object] = 1;
        depth[object] = refs->container ? 1 : 0;
        stack.push_back({object, *refs, 0});
        return true;
    };
    if (!open(*root))
        return Verdict::Malformed;
    while (!stack.empty()) {
        Step& step = stack.back();
        if (step.next == step.refs.count) {
            state[step.object] = kDone;
            const std::uint64_t done = step.object;
            stack.pop_back();
            if (!stack.empty()) {
                const std::uint64_t parent = stack.back().object;
                nodes[parent] = std::min(nodes[parent] + nodes[done], maxNodes + 1);
                depth[parent] = std::max(depth[parent], depth[done] + 1);
                if (depth[parent] > maxDepth)
                    return Verdict::TooDeep;
                if (nodes[parent] > maxNodes)
                    return Verdict::TooMany;
            }
            continue;
        }
        const auto child =
            r.number(step.refs.refsAt + step.next * *refSize, static_cast<unsigned>(*refSize));
        ++step.next;
        if (!child || *child >= count || state[*child] == kOpen)
            return Verdict::Malformed;  // out of range, or a loop
        const std::uint64_t parent = step.object;
        if (state[*child] == kDone) {
            nodes[parent] = std::min(nodes[parent] + nodes[*child], maxNodes + 1);
            depth[parent] = std::max(depth[parent], depth[*child] + 1);
            if (depth[parent] > maxDepth)
                return Verdict::TooDeep;
            if (nodes[parent] > maxNodes)
                return Verdict::TooMany;
            continue;
        }
        if (!open(*child))
            return Verdict::Malformed;
        // The path holds containers and at most one scalar at its end.
        if (static_cast<int>(stack.size()) > maxDepth + 1)
            return Verdict::TooDeep;
    }
    return Verdict::Acceptable;
}

}  // namespace plistprecheck
