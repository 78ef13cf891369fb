// Registers the program with the desktop for "*.uue" files: a desktop entry, a shared-mime-info
// package and the icon under $XDG_DATA_HOME (default ~/.local/share), and a D-Bus activation
// file for automation starts. Each file is written only when its contents change.
#pragma once

#include <QString>

// The user's data directory as the XDG base directory rules give it.
QString XdgDataHome();
// Writes the desktop entry, MIME package and icon; true when any file changed.
bool RegisterShellFileTypes(const QString& executable);
// Writes the D-Bus activation file of the automation service; true when it changed.
bool UpdateAutomationRegistration(const QString& executable);

// The D-Bus name and object path of the automation service.
extern const char* const kAutomationService;
extern const char* const kAutomationPath;
