// Renders the SVG artwork ourselves, so no image-format plugin is needed at run time.
#include "res/Images.h"

#include <QPainter>
#include <QSvgRenderer>

#include "res/resource.h"

void InitResources() {
    Q_INIT_RESOURCE(res);
}

namespace {

QString ImagePath(int id) {
    switch (id) {
        case IDR_MAINFRAME:
            return QStringLiteral(":/res/images/app.svg");
        case IDI_RESULT_OK:
            return QStringLiteral(":/res/images/result-ok.svg");
        case IDI_RESULT_BAD:
            return QStringLiteral(":/res/images/result-bad.svg");
        case IDB_RESULTS_HEADER:
            return QStringLiteral(":/res/images/results-header.svg");
        case IDC_CURSOR_INFO:
            return QStringLiteral(":/res/images/info-cursor.svg");
        default:
            return {};
    }
}

QPixmap Render(const QString& path, QSize size) {
    if (path.isEmpty()) return {};
    InitResources();
    QSvgRenderer renderer(path);
    if (!renderer.isValid()) return {};
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    return pixmap;
}

}  // namespace

QIcon LoadIcon(int id) {
    QIcon icon;
    for (int side : {16, 24, 32, 48, 64}) {
        QPixmap pixmap = Render(ImagePath(id), QSize(side, side));
        if (!pixmap.isNull()) icon.addPixmap(pixmap);
    }
    return icon;
}

QIcon LoadToolbarIcon(int commandId) {
    QIcon icon;
    for (int scale : {1, 2}) {
        QPixmap pixmap = Render(ImagePath(commandId), QSize(16 * scale, 15 * scale));
        if (!pixmap.isNull()) icon.addPixmap(pixmap);
    }
    return icon;
}

QPixmap LoadBitmap(int id, QSize size) {
    return Render(ImagePath(id), size);
}

QCursor LoadCursor(int id) {
    QPixmap pixmap = Render(ImagePath(id), QSize(32, 32));
    if (pixmap.isNull()) return QCursor(Qt::ArrowCursor);
    return QCursor(pixmap, 16, 15);
}
