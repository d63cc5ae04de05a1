#pragma once
// The window's pictures (its icon, the logo, the toolbar's pictures) are files of the
// working directory, which the user may replace: they are read as any outside input is,
// so that a FIFO or a device in their place never holds the window up, and a picture
// that is not there, not a regular file or too large is simply not shown.

#include <QImage>
#include <QString>
#include <cstddef>

namespace app {

// Pictures larger than this are no pictures of the program's.
inline constexpr std::size_t kMaxPictureBytes = 16 * 1024 * 1024;

// The picture at `path`, or a null image when it cannot be read as one.
QImage readPicture(const QString& path);

}  // namespace app
