#include "services/Presenter.h"

#include <QApplication>
#include <QFileDialog>
#include <QMainWindow>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include "res/Strings.h"
#include "res/resource.h"

namespace {

CPresenter* g_current = nullptr;

CDesktopPresenter& Desktop() {
    static CDesktopPresenter desktop;
    return desktop;
}

}  // namespace

CPresenter& CPresenter::Current() {
    return g_current ? *g_current : Desktop();
}

void CPresenter::SetCurrent(CPresenter* presenter) {
    g_current = presenter;
}

QWidget* DialogOwner() {
    if (QWidget* active = QApplication::activeWindow()) return active;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (qobject_cast<QMainWindow*>(top) && top->isVisible()) return top;
    return nullptr;
}

int CDesktopPresenter::MessageBox(QWidget* parent, const QString& text, const QString& caption,
                                  unsigned style) {
    if (!parent) parent = DialogOwner();
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (style & 0xF0) {
        case 0x10:
            icon = QMessageBox::Critical;
            break;
        case 0x20:
            icon = QMessageBox::Question;
            break;
        case 0x30:
            icon = QMessageBox::Warning;
            break;
        case 0x40:
            icon = QMessageBox::Information;
            break;
    }
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    // Without a window to open over (at start-up, the splash still up), above everything, so
    // that nothing hides it, with the keyboard focus.
    if (!parent) box.setWindowFlag(Qt::WindowStaysOnTopHint);
    QTimer::singleShot(0, &box, [&box] {
        box.raise();
        box.activateWindow();
    });
    box.exec();
    return IDOK;
}

namespace {

// Runs a file dialog in the given mode; the chosen names, or none when cancelled.
std::optional<QStringList> RunFileDialog(QWidget* parent, const QString& filter,
                                         QFileDialog::FileMode mode,
                                         QFileDialog::AcceptMode accept) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(accept);
    dialog.setFileMode(mode);
    dialog.setNameFilter(QtFilterFromResource(filter));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles();
}

std::optional<QString> First(const std::optional<QStringList>& names) {
    if (!names) return std::nullopt;
    return names->first();
}

}  // namespace

std::optional<QStringList> CDesktopPresenter::GetOpenFileNames(QWidget* parent,
                                                               const QString& filter) {
    return RunFileDialog(parent, filter, QFileDialog::ExistingFiles, QFileDialog::AcceptOpen);
}

std::optional<QString> CDesktopPresenter::GetOpenFileName(QWidget* parent, const QString& filter) {
    return First(RunFileDialog(parent, filter, QFileDialog::ExistingFile, QFileDialog::AcceptOpen));
}

std::optional<QString> CDesktopPresenter::GetSaveFileName(QWidget* parent, const QString& filter) {
    return First(RunFileDialog(parent, filter, QFileDialog::AnyFile, QFileDialog::AcceptSave));
}

bool CDesktopPresenter::StartEditor(const QString& path, QString* error) {
    // The editors a Linux desktop is likely to have, graphical first.
    static const char* const kEditors[] = {"gnome-text-editor", "gedit", "kate", "kwrite",
                                           "mousepad",          "pluma", "xed",  "leafpad",
                                           "featherpad"};
    *error = QStringLiteral("No text editor was found on PATH.");
    for (const char* editor : kEditors) {
        QString program = QStandardPaths::findExecutable(QString::fromLatin1(editor));
        if (program.isEmpty()) continue;
        QProcess process;
        process.setProgram(program);
        process.setArguments({path});
        if (process.startDetached()) return true;
        *error = process.errorString();
    }
    return false;
}

int CDesktopPresenter::ChooseDirectory(QWidget* parent, const QString& title, const QString& start,
                                       QString* path) {
    QFileDialog dialog(parent, title, start);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() != QDialog::Accepted) return 1;
    QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty()) return -1;
    *path = chosen.first();
    return 0;
}

QString QtFilterFromResource(const QString& filter) {
    QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) break;
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& p : patterns)
            p = p.trimmed();
        // Qt reads the last parenthesis of an entry as its patterns; the shown name keeps its own.
        entries << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                       QLatin1Char(')');
    }
    return entries.join(QStringLiteral(";;"));
}

int AfxMessageBox(const QString& text, unsigned style) {
    if ((style & 0xF0) == 0) style |= MB_ICONEXCLAMATION;
    return CPresenter::Current().MessageBox(nullptr, text, LoadString(AFX_IDS_APP_TITLE), style);
}

int AfxMessageBox(int stringId, unsigned style) {
    return AfxMessageBox(LoadString(stringId), style);
}
