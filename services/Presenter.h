// The one place where the program meets the user outside its own windows: message boxes, file
// and folder dialogs, and starting another program. Production shows real dialogs; tests
// install a scripted presenter that answers and records instead.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

class CPresenter {
  public:
    virtual ~CPresenter() = default;

    // A modal message box; style is the design's MB_ value (icon in 0xF0). Returns IDOK.
    virtual int MessageBox(QWidget* parent, const QString& text, const QString& caption,
                           unsigned style) = 0;
    // Files to open (all must exist); filter in the "Name|patterns|...||" form. No value when
    // the user cancels.
    virtual std::optional<QStringList> GetOpenFileNames(QWidget* parent, const QString& filter) = 0;
    // One existing file to open, or a file name to save to (the dialog asks before an existing
    // file is chosen). No value when the user cancels.
    virtual std::optional<QString> GetOpenFileName(QWidget* parent, const QString& filter) = 0;
    virtual std::optional<QString> GetSaveFileName(QWidget* parent, const QString& filter) = 0;
    // Starts a text editor on path, detached. False with *error set when none could start.
    virtual bool StartEditor(const QString& path, QString* error) = 0;
    // A folder chooser titled title that opens on start and offers only directories:
    // 0 with *path set when one was chosen, 1 when cancelled, -1 when it could not be shown.
    virtual int ChooseDirectory(QWidget* parent, const QString& title, const QString& start,
                                QString* path) = 0;

    // The presenter in use; never null. SetCurrent(nullptr) restores the production one.
    static CPresenter& Current();
    static void SetCurrent(CPresenter* presenter);
};

// The production presenter: QMessageBox, QFileDialog, QProcess.
class CDesktopPresenter : public CPresenter {
  public:
    int MessageBox(QWidget* parent, const QString& text, const QString& caption,
                   unsigned style) override;
    std::optional<QStringList> GetOpenFileNames(QWidget* parent, const QString& filter) override;
    std::optional<QString> GetOpenFileName(QWidget* parent, const QString& filter) override;
    std::optional<QString> GetSaveFileName(QWidget* parent, const QString& filter) override;
    bool StartEditor(const QString& path, QString* error) override;
    int ChooseDirectory(QWidget* parent, const QString& title, const QString& start,
                        QString* path) override;
};

// The window a dialog without a parent of its own opens over: the active window, else the
// program's main window; null before there is one (a box at start-up).
QWidget* DialogOwner();

// "Name|patterns|Name|patterns||" → Qt's "Name (patterns);;..." list, patterns split on ";".
QString QtFilterFromResource(const QString& filter);

// A box captioned with the application title; type 0 gets the exclamation icon.
int AfxMessageBox(const QString& text, unsigned style = 0);
int AfxMessageBox(int stringId, unsigned style = 0);
