// Icons, bitmaps and cursors by resource id, drawn from our own SVG artwork.
#pragma once

#include <QCursor>
#include <QIcon>
#include <QPixmap>

// Registers the compiled-in files (":/res/...") of a static build; safe to call again.
void InitResources();

// An empty icon or pixmap for an unknown id; the cursor then is the arrow.
QIcon LoadIcon(int id);
// A toolbar button's 16 x 15 picture, by the command id of the button.
QIcon LoadToolbarIcon(int commandId);
QPixmap LoadBitmap(int id, QSize size);
QCursor LoadCursor(int id);
