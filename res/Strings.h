// The string table: every text the user sees, keyed by its resource id.
#pragma once

#include <QString>

// The text of a string resource, or an empty string for an unknown id. "\r\n" in a text is
// kept as it stands; LoadString turns it into a plain line break.
QString LoadString(int id);

// LoadString(id) with printf conversions (%s takes UTF-8 text, %d an int) filled in.
template <typename... Args>
QString FormatString(int id, Args... args) {
    return QString::asprintf(LoadString(id).toUtf8().constData(), args...);
}

// The object name of the control with this template id, by what it is ("saveDirectory",
// "checkFiles"): what finds it (tests, accessibility and automation tools). An id without one
// is named by its number.
QString ControlName(int id);

// The two halves of a command's string: the status-bar prompt and the tooltip.
QString CommandPrompt(int id);
QString CommandTooltip(int id);
