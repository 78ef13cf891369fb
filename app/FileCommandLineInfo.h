// The command line: "-x" and "--x" are switches (-Embedding and -Automation mark a start by an
// automation client); every other argument names an input file that must exist.
#pragma once

#include <QStringList>

class CFileCommandLineInfo {
  public:
    // Takes every argument after the program name, in order.
    void ParseCommandLine(const QStringList& arguments);
    // One argument; switches arrive without their leading dashes.
    void ParseParam(const QString& param, bool isSwitch, bool last);

    QStringList m_fileNames;
    bool m_bRunEmbedded = false;
    bool m_bRunAutomated = false;
};
