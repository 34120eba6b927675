// Checks on a property list's bytes before libplist builds a tree from them. libplist parses
// binary lists, copies shared objects and frees trees recursively: a few hundred bytes can ask it
// for billions of nodes or a stack deeper than the thread has. These checks bound both, reading
// the bytes the way the parser will.
#ifndef TONVERA_FORMATS_PLISTPRECHECK_H
#define TONVERA_FORMATS_PLISTPRECHECK_H

#include <QByteArray>
#include <cstdint>

namespace plistprecheck {

enum class Verdict {
    Acceptable,
    TooDeep,      // containers nested deeper than allowed
    TooMany,      // more values than allowed once shared objects are copied out
    Unsupported,  // a construct a settings file never has and that parsers disagree on
    Malformed,    // not a property list at all
};

// XML: element nesting counted past comments, CDATA sections, the XML declaration and a DOCTYPE
// without an internal subset. Processing instructions other than a plain declaration, internal
// subsets and tags whose quotes do not pair are Unsupported: readers differ on where they end,
// and text a reader skips must not be able to close elements for the count.
Verdict checkXml(const QByteArray& data, int maxDepth);

// Binary ("bplist00"): walks the object table without building anything and counts the nodes
// the tree would have, each reference expanded; reference loops are Malformed.
Verdict checkBinary(const QByteArray& data, int maxDepth, std::uint64_t maxNodes);

}  // namespace plistprecheck

#endif
