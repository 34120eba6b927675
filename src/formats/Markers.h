// The markers of the open music, kept in time order, and how the keys move between them.
#ifndef TONVERA_FORMATS_MARKERS_H
#define TONVERA_FORMATS_MARKERS_H

#include <cstddef>
#include <optional>
#include <vector>

#include "formats/PracticeSetup.h"

namespace markers {

// More would make the list and the strip unreadable, and bound what a settings file can ask for.
inline constexpr std::size_t kMostMarkers = 999;

// "Marker n", numbered on from the highest number the default names in `list` have.
QString defaultName(const std::vector<Marker>& list);

// Puts the marker in its place by time; its index there. A marker at the very time of another
// replaces none: both are kept, the new one after.
std::size_t insert(std::vector<Marker>& list, Marker marker);

// Sorts by time and drops what cannot be a marker (negative or not a number), keeping at most
// kMostMarkers: a list as a settings file gives it, made fit to use.
void tidy(std::vector<Marker>& list);

// The marker PgDn goes to from `seconds`: the first one after it.
std::optional<std::size_t> nextAfter(const std::vector<Marker>& list, double seconds);
// The marker PgUp goes to: the last one before `seconds`, skipping one just passed, so that a
// second press while playing goes further back instead of to the same marker again.
std::optional<std::size_t> previousBefore(const std::vector<Marker>& list, double seconds);
// The marker the passage at `seconds` starts with: the last one at or before it, or the first
// one when `seconds` comes before every marker.
std::optional<std::size_t> startingAt(const std::vector<Marker>& list, double seconds);

// The loop from marker `index` to the next one, or to the song's end (`length`) from the last.
std::optional<LoopRange> loopFrom(const std::vector<Marker>& list, std::size_t index,
                                  double length);

}  // namespace markers

#endif
