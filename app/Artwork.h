// The program's own pictures, drawn with QPainter: the database tree's icons, the picture of
// unreadable records, the About box's picture and the application icon.
#pragma once

#include <QIcon>
#include <QImage>

namespace plotwick::app {

// Indices of the tree's icons: the database kind, and the roots.
enum TreeIconIndex { kIconDrawings = 0, kIconLibrary = 1, kIconFonts = 2, kIconRoot = 3 };

// The 16 x 16 tree icon of an index 0-3, on a transparent background.
QImage TreeIconImage(int index);
QIcon TreeIcon(int index);

// The 32 x 32 picture shown for a record that could not be read.
QImage UnreadableRecordImage();

// The About box's picture, 350 x 293.
QImage AboutPicture();

// The application icon at a square size.
QImage ApplicationIconImage(int size);
QIcon ApplicationIcon();

}  // namespace plotwick::app
