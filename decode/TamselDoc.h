// The document: the list of input files, full paths in the order of the form's file list.
#pragma once

#include <QStringList>

class CTamselDoc {
  public:
    QStringList m_inputFiles;
};
