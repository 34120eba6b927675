// Where the program's resource files (click.wav, the play/pause images, the .ui files) lie.
//
// They lie flat in one folder: "<prefix>/share/tonvera" when installed, "resources/" beside the
// built program otherwise. These formats stand in for the bundle paths
// "<bundle>/Contents/Resources/<name>"; %1 is folder() below (which the player window controller
// hands out as getApplicationPath()). Build resource paths only through them.
//
// Shared by every window of the program, so no UI folder reaches into another for them.
#ifndef TONVERA_UI_RESOURCEPATHS_H
#define TONVERA_UI_RESOURCEPATHS_H

#include <QString>

namespace resources {

inline constexpr char kIconPlayFormat[] = "%1/icon_play.png";
inline constexpr char kIconPauseFormat[] = "%1/icon_pause.png";
inline constexpr char kClickSoundFormat[] = "%1/click.wav";
inline constexpr char kAppIconFormat[] = "%1/tonvera.png";

// A file that every complete resource folder holds; a folder without it is not taken.
inline constexpr char kMarkerFile[] = "icon_play.png";

// The first folder that holds the marker file, tried in this order:
//   1. `override` (the environment variable TONVERA_RESOURCE_DIR), when not empty;
//   2. "<executableDir>/resources" (the build tree);
//   3. "<executableDir>/../share/tonvera" (an installed tree moved elsewhere);
//   4. `installedDir` (the install prefix the program was built for);
//   5. "resources" in up to three folders above executableDir (test programs in the build tree).
// When none holds it, `installedDir`, so messages name the place where the files belong.
QString locateFolder(const QString& override, const QString& executableDir,
                     const QString& installedDir);

// The program's resource folder: locateFolder() with the environment variable, the running
// program's folder and the install prefix the program was built for.
QString folder();

// A resource format above filled with folder().
QString path(const char* format);

}  // namespace resources

#endif
