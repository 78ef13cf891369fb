// Icons, bitmaps and cursors by resource id, drawn from our own SVG artwork.
#pragma once

#include <QCursor>
#include <QIcon>
#include <QPixmap>

// An empty icon or pixmap for an unknown id; the cursor then is the arrow.
QIcon LoadIcon(int id);
QPixmap LoadBitmap(int id, QSize size);
QCursor LoadCursor(int id);
