// The string table. Texts stand exactly as the program has always shown them, typing slips
// included, because users and their scripts know them.
#include "res/Strings.h"

#include <QHash>
#include <utility>

#include "res/resource.h"

namespace {

struct Entry {
    int id;
    const char* text;
};

constexpr Entry kStrings[] = {
    {AFX_IDS_APP_TITLE, "Corvane/Encoder for WIN32"},
    {AFX_IDS_IDLEMESSAGE, "Ready"},
    {IDP_OLE_INIT_FAILED,
     "OLE initialization failed.  Make sure that the OLE libraries are the correct version."},
    {IDR_DOCTYPE,
     "TamselWin32\n\nTamselWin\nTamselWin Files (*.uue)\n.UUE\nTamselWin32.Document\nTamselWin "
     "Document"},
    {ID_INDICATOR_CAPS, "CAP"},
    {ID_INDICATOR_NUM, "NUM"},
    {ID_INDICATOR_SCRL, "SCRL"},
    {ID_VIEW_TOOLBAR, "Show or hide the toolbar\nToggle ToolBar"},
    {ID_VIEW_STATUS_BAR, "Show or hide the status bar\nToggle StatusBar"},
    {IDS_FILTER_DECODE,
     "Decodable Files (*.uue, *.xxe, *.hqx, *.mim)|*.uue; *.xxe; *.hqx; *.mim|UU-Encoded "
     "(*.uue)|*.uus|XX-Encoded (*.xxe)|*.xxe|Bin Hex(*.hqx)|*.hqx|Mime Files (*.mim)|*.mim|Text "
     "Files (*.txt)|*.txt|All Files (*.*)|*.*||"},
    {IDS_SPAWN_ERROR, "Error Spawning Viewer"},
    {IDS_INIT_ERROR_CAPTION, "Initializing Error"},
    {IDS_INIT_ERROR,
     "The library used to perform the UU-Decoding/Encoding was\r\n unable to initialize.  This "
     "is usually caused by a low \r\nmemory situation.  But other errors could be the cause\r\n "
     "as well."},
    {IDS_NO_FILES,
     "There are currently no files available for that action\r\nPlease Add Files to the list"},
    {IDS_NOTHING_DECODABLE,
     "The files you have loaded can not be decoded for an unknown reason.\r\nThe most likely "
     "cause is there is no begin or no valid filename found\r\nPlease check the Information "
     "Window for more."},
    {IDS_NO_FILENAME, "No FileName Found"},
    {IDS_NO_END, "No \"end\" line was detected."},
    {IDS_NO_DATA, "No encoded data was found within the files"},
    {IDS_IO_ERROR,
     "An I/O error occurred. There may be many reasons from\r\n\"File not found'' to \"Disk "
     "full\"."},
    {IDS_NO_MEMORY,
     "There is not enough memory to complete the operation.\r\nPlease exit this application and "
     "try to free some\r\nmemory, or make a larger swap file."},
    {IDS_INTERNAL_ERROR,
     "An internal error occured while processing.\r\nPlease report the problem with the steps to "
     "reproduce"},
    {IDS_TARGET_EXISTS,
     "The target file already exists, and you did not allow overwrite existing files."},
    {IDS_CANCELED, "The operation was canceled at the users request."},
    {IDS_UNKNOWN_ERROR, "An unknown error occurred.  Please restart application"},
    {IDS_BUSY, "Hit ESC key to cancel operation"},
    {IDS_COMPLETED, "Operation Completed"},
    {IDS_INFO_TITLE, "Information Window"},
    {IDS_INFO_CREATE_FAILED,
     "Unable to Create Message Window\r\nInfo Messages will not be displayed"},
    {IDS_UNABLE_TO_LOCATE, "Unable to locate %s\r\nFile not added to decoding list"},
    {IDS_BAD_FILENAME,
     "Changes ignored!!\r\nThe filename that you entered is not valid. \r\nDo not specify any "
     "drive or directory information\r\nand be sure not to use any wildcards or special "
     "characters.\r\n\r\nFile Name: \"%s\""},
    {IDS_EDIT_FIELD_FAILED, "Unable to Create edit field"},
    {IDS_COLUMN_NAME, "File Name"},
    {IDS_COLUMN_SIZE, "Size (Approx.)"},
    {IDS_DECODE_PROGRESS, "File: %s %d%% processed."},
    {IDS_SCANNING, "Scanning File %s"},
    {IDS_FILTER_ALL, "All Files (*.*)|*.*||"},
    {IDS_ENCODE_NEED_VALUES,
     "You need to have values in both the \"File to Encode\"\r\nedit box and the \"Destination\" "
     "edit box."},
    {IDS_ENCODE_NO_TYPE, "Unable to determine which encoding type you wish to use."},
    {IDS_ENCODE_DONE, "Succesfully encoded: %s"},
    {IDS_ENCODE_FAILED, "An error occured while encoding. Make sure the filename && path is valid"},
    {IDS_ENCODE_CANCELED, "The encoding operation was canceled at your request."},
    {IDS_ENCODE_PROGRESS, "File: %s %d%% processed. Hit ESC to Cancel"},
    {IDS_BROWSE_TITLE, "Select a Directory to Decode to"},
    {IDS_BROWSE_FAILED,
     "TamselWin32 was unable to display the available\r\ndirectories due to a system "
     "error\r\nPlease type a save path manually"},
    // Commands: the status-bar prompt, "\n", the tooltip.
    {IDC_ADDFILES, "Adds files to the list\nAdd Files"},
    {IDC_REMOVEFILE, "Remove Selected file from the List\nRemove File"},
    {IDC_EDITFILE, "Edit Selected File\nEdit File"},
    {IDC_CHECKFILES, "Check Files to see if they are OK\nCheck Files"},
    {IDC_DECODEFILES, "Decode Files (Performs Check if needed)\nDecode Files"},
    {IDC_REMOVEALLFILES, "Removes all files from decode list\nRemove All Files"},
    {ID_INFO_WINDOW, "Displays Informational Messages\n(Un)Hide Info Window"},
    {ID_ENCODE_FILES, "Allows Encoding of files\nEncode Files"},
    {ID_OPTIONS, "Set decoding options\nDecoding options"},
    {ID_APP_ABOUT, "Display program information, version number and copyright\nAbout"},
    {ID_APP_EXIT, "Quit the application\nExit"},
};

}  // namespace

QString LoadString(int id) {
    static const QHash<int, QString> table = [] {
        QHash<int, QString> t;
        for (const Entry& e : kStrings)
            t.insert(e.id, QString::fromUtf8(e.text));
        return t;
    }();
    QString text = table.value(id);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return text;
}

QString CommandPrompt(int id) {
    return LoadString(id).section(QLatin1Char('\n'), 0, 0);
}

QString CommandTooltip(int id) {
    return LoadString(id).section(QLatin1Char('\n'), 1, 1);
}

QString ControlName(int id) {
    static const std::pair<int, const char*> kNames[] = {
        {IDOK, "ok"},
        {IDC_FILELIST, "filesToDecode"},
        {IDC_ADDFILES, "addFiles"},
        {IDC_REMOVEFILE, "removeFile"},
        {IDC_EDITFILE, "editFile"},
        {IDC_CHECKFILES, "checkFiles"},
        {IDC_DECODEFILES, "decodeFiles"},
        {IDC_PROGRESS, "progress"},
        {IDC_PROGRESSTEXT, "progressText"},
        {IDC_SAVEPATH, "saveDirectory"},
        {IDC_RESULTS, "resultingFiles"},
        {IDC_REMOVEALLFILES, "removeAllFiles"},
        {IDC_ERRORLIST, "errorList"},
        {IDC_ERRORLABEL, "errorLabel"},
        {IDC_BROWSE, "browseDestination"},
        {IDC_INFOLIST, "infoLines"},
        {IDC_ENCODE_UU, "uuEncode"},
        {IDC_ENCODE_UU + 1, "xxEncode"},
        {IDC_ENCODE_UU + 2, "base64"},
        {IDC_FILE_TO_ENCODE, "fileToEncode"},
        {IDC_BROWSE_INPUT, "browseFileToEncode"},
        {IDC_DESTINATION, "destination"},
        {IDC_INFO, "info"},
        {IDC_ENCODE_PROGRESS, "encodeProgress"},
        {IDC_SINGLE_FILE, "singleFile"},
        {IDC_LINES, "linesPerFile"},
        {IDC_DONE, "done"},
        {IDC_OVERWRITE, "overwriteExisting"},
        {IDC_IGNORE_ERRORS, "ignoreErrors"},
        {IDC_DEFAULT_SAVE_PATH, "defaultToLastSavePath"},
        {ID_INDICATOR_CAPS, "capsLock"},
        {ID_INDICATOR_NUM, "numLock"},
        {ID_INDICATOR_SCRL, "scrollLock"},
    };
    for (auto [key, name] : kNames)
        if (key == id) return QString::fromLatin1(name);
    return QString::number(id);
}
