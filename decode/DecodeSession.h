// The workspace's load, check and decode workflow, without a window: the document's input
// list, the library's scan of it, and the passes over it, calling the library in the order the
// workspace always has. The view drives it and shows what its host is told. While a pass runs,
// every command is refused here, in one place: one that reached the view meanwhile changes
// nothing.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "codec/codec_library.h"
#include "decode/TamselDoc.h"

class CDecodeSession {
  public:
    // What the session needs of whoever shows it.
    class Host {
      public:
        virtual ~Host() = default;
        // Makes the library ready, its callbacks set; false, having said why, when it cannot.
        virtual bool InitLibrary(codec::CodecLibrary& library) = 0;
        // A pass begins and ends: the wait cursor, input held, the status bar.
        virtual void PassBegins() = 0;
        virtual void PassEnds() = 0;
        // A message box with this string id.
        virtual void Say(int stringId) = 0;
        // The scan is gone: the outputs shown are the library's no longer.
        virtual void ScanDropped() = 0;
        // The progress shown during a pass goes.
        virtual void ProgressEnds() = 0;
    };
    // An output of a check or a decode, in the library's order; ok: ready, or decoded.
    using Row = std::function<void(const codec::FileRecord& record, int index, bool ok)>;
    struct Options {
        QString directory;  // ends in "/"
        bool ignoreErrors = false;
        bool overwrite = true;
    };

    CDecodeSession(CTamselDoc& document, codec::CodecLibrary& library, Host& host);
    ~CDecodeSession();
    CDecodeSession(const CDecodeSession&) = delete;
    CDecodeSession& operator=(const CDecodeSession&) = delete;

    bool Busy() const { return m_passes > 0; }
    bool Loaded() const { return m_loaded; }
    const QStringList& Inputs() const { return m_document.m_inputFiles; }

    // The input list replaced (ordered by file name), one entry removed, or emptied; each
    // drops the scan. Removing from an empty list says so. False, nothing changed, while a
    // pass runs or when there was nothing to remove.
    bool ReplaceInputs(const QStringList& paths);
    bool RemoveInput(int index);
    bool RemoveAllInputs();
    // There are inputs; else says so.
    bool RequireInputs();
    // Drops the scan (the library released): the next check or decode loads again.
    void DropScan();
    // Loads every input unless the scan is there: false when one failed (the scan dropped,
    // the reason said) or a pass runs.
    bool Load();
    // Loads, then lists the outputs. False when there are no inputs, a load failed, or a pass
    // runs.
    bool Check(const Row& row);
    // Loads, then decodes every ready output; a failing decode ends the run (said) and drops
    // the scan.
    bool Decode(const Options& options, const Row& row);
    // The record shown in a row, or null; renaming it (false while a pass runs or for a row
    // the library no longer has).
    const codec::FileRecord* Record(int row) const;
    bool Rename(int row, const QString& name);

  private:
    // A pass: counted, and the host told, for its lifetime.
    class Pass;
    // Says the result of a library call; true for success.
    bool Succeeded(int code);

    CTamselDoc& m_document;
    codec::CodecLibrary& m_library;
    Host& m_host;
    bool m_loaded = false;
    int m_passes = 0;
};
