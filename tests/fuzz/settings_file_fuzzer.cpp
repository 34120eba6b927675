// libFuzzer target: bytes as a practice settings file. Besides crashes and sanitizer reports it
// checks the reader's promises: what the prechecks let through stays within the nesting and size
// limits once libplist has built it, a file that reads is rewritten and reads again, and the
// writer is only handed values it can store.
#include <plist/plist.h>

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "formats/PlistPrecheck.h"
#include "formats/PracticeSettingsFile.h"

namespace {

struct TreeSize {
    int depth = 0;
    std::uint64_t nodes = 0;
};

// Iterative, so that measuring a tree that should not exist cannot itself overflow the stack.
TreeSize measure(plist_t root) {
    TreeSize size;
    std::vector<std::pair<plist_t, int>> stack{{root, 1}};
    while (!stack.empty()) {
        const auto [node, depth] = stack.back();
        stack.pop_back();
        ++size.nodes;
        const plist_type type = plist_get_node_type(node);
        if (type != PLIST_ARRAY && type != PLIST_DICT)
            continue;
        size.depth = std::max(size.depth, depth);
        if (type == PLIST_ARRAY) {
            for (std::uint32_t i = 0; i < plist_array_get_size(node); ++i)
                stack.emplace_back(plist_array_get_item(node, i), depth + 1);
        } else {
            // Without asking for the keys: libplist asserts on a key holding a NUL when it
            // copies it out (the reader itself only looks keys up).
            plist_dict_iter it = nullptr;
            plist_dict_new_iter(node, &it);
            for (;;) {
                plist_t value = nullptr;
                plist_dict_next_item(node, it, nullptr, &value);
                if (!value)
                    break;
                size.nodes += 1;  // the key's own node
                stack.emplace_back(value, depth + 1);
            }
            std::free(it);
        }
    }
    return size;
}

void checkLimitsHold(const QByteArray& data) {
    const auto size = static_cast<std::uint32_t>(data.size());
    const bool binary = plist_is_binary(data.constData(), size) != 0;
    if (binary ? data.size() > PracticeSettingsFile::kMaximumBinarySize
               : data.size() > PracticeSettingsFile::kMaximumXmlSize) {
        return;
    }
    const auto verdict = binary
                             ? plistprecheck::checkBinary(data, PracticeSettingsFile::kMaximumDepth,
                                                          PracticeSettingsFile::kMaximumBinaryNodes)
                             : plistprecheck::checkXml(data, PracticeSettingsFile::kMaximumDepth);
    if (verdict != plistprecheck::Verdict::Acceptable)
        return;
    plist_t root = nullptr;
    plist_from_memory(data.constData(), size, &root);
    if (!root)
        return;
    const TreeSize tree = measure(root);
    plist_free(root);
    if (tree.depth > PracticeSettingsFile::kMaximumDepth ||
        (binary && tree.nodes > PracticeSettingsFile::kMaximumBinaryNodes)) {
        std::abort();  // a precheck let through what it promises to refuse
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t length) {
    const QByteArray data(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(length));
    checkLimitsHold(data);
    const PracticeSettingsReadResult read = PracticeSettingsFile::parse(data);
    if (read.settings.has_value() == !read.error.isEmpty())
        std::abort();  // a result is either settings or a reason
    if (!read.settings || !PracticeSettingsFile::unstorable(*read.settings).isEmpty())
        return 0;
    const QByteArray rewritten = PracticeSettingsFile::toXml(*read.settings);
    if (rewritten.isEmpty() || !PracticeSettingsFile::parse(rewritten).settings)
        std::abort();  // what was read and can be stored must be written and read again
    return 0;
}
