// The program's own icon and the icons of its commands. The desktop's icon
// theme comes first; without one (or without the name in it) the program's
// bundled images and the style's standard icons stand in, so that no button
// is blank.
#pragma once

#include <QIcon>
#include <QStringList>
#include <QStyle>

namespace sg {

// The name of the launcher, the AppStream entry and the installed icon.
inline constexpr const char* kDesktopId = "io.github.sitegleaner.Sitegleaner";

// The program's icon: the theme's, else the bundled SVG (when Qt can draw
// SVG) with its renderings at fixed sizes.
QIcon applicationIcon();

// The first of the theme's icons named, else the style's standard icon.
QIcon commandIcon(const QStringList& themeNames, QStyle::StandardPixmap fallback);

}  // namespace sg
