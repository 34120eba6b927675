// The export sheet's "About 2 min left": how long the rest of an export will take at the pace of
// the part already done, once that pace says something (after a second, or a few percent).
//
// Threads: pure functions; the sheet calls them on the UI thread.
#ifndef TONVERA_EXPORT_EXPORTTIMELEFT_H
#define TONVERA_EXPORT_EXPORTTIMELEFT_H

#include <QString>
#include <optional>

namespace exporttimeleft {

// `elapsedSeconds` since the render began, `fractionDone` of it (0 to 1). Nothing while too
// little is done to tell: the first blocks carry the stretch engine's start-up.
std::optional<double> secondsLeft(double elapsedSeconds, double fractionDone);
// "About 2 min left", "About 15 s left": coarse, so the figure does not flicker block by block.
QString text(double secondsLeft);

}  // namespace exporttimeleft

#endif
