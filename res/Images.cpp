// Renders the SVG artwork ourselves, so no image-format plugin is needed at run time.
#include "res/Images.h"

#include <QPainter>
#include <QSvgRenderer>

#include "res/resource.h"

static bool RegisterResources() {
    Q_INIT_RESOURCE(res);
    return true;
}

void InitResources() {
    static const bool registered = RegisterResources();  // once, however many pictures
    (void)registered;
}

namespace {

struct Image {
    int id;
    const char* file;
};

// Icons, bitmaps and the cursor by id; toolbar pictures by the command they stand for.
constexpr Image kImages[] = {
    {IDR_MAINFRAME, "app"},
    {IDI_RESULT_OK, "result-ok"},
    {IDI_RESULT_BAD, "result-bad"},
    {IDB_RESULTS_HEADER, "results-header"},
    {IDC_CURSOR_INFO, "info-cursor"},
    {IDB_SPLASH_TITLE, "banner"},
    {IDB_SPLASH_LOGO, "logo"},
    {IDB_ABOUT_EMBLEM, "emblem"},
    {ID_ENCODE_FILES, "tb-encode"},
    {IDC_ADDFILES, "tb-add"},
    {IDC_REMOVEFILE, "tb-remove"},
    {IDC_REMOVEALLFILES, "tb-removeall"},
    {IDC_EDITFILE, "tb-edit"},
    {IDC_CHECKFILES, "tb-check"},
    {IDC_DECODEFILES, "tb-decode"},
    {ID_INFO_WINDOW, "tb-info"},
    {ID_OPTIONS, "tb-options"},
    {ID_APP_ABOUT, "tb-about"},
    {ID_APP_EXIT, "tb-exit"},
};

QString ImagePath(int id) {
    for (const Image& image : kImages)
        if (image.id == id)
            return QStringLiteral(":/res/images/%1.svg").arg(QLatin1String(image.file));
    return {};
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
