// Resource identifiers: one number per command, control, string and image, shared by the menu,
// the toolbar and the form buttons that trigger the same command.
#pragma once

// Templates.
constexpr int IDD_ABOUTBOX = 100;
constexpr int IDD_TAMSEL_FORM = 101;
constexpr int IDD_ENCODE = 139;
constexpr int IDD_DECODE_OPTIONS = 144;

// Images.
constexpr int IDR_MAINFRAME = 128;
constexpr int IDC_CURSOR_INFO = 130;
constexpr int IDI_RESULT_OK = 131;
constexpr int IDI_RESULT_BAD = 132;
constexpr int IDB_RESULTS_HEADER = 138;
constexpr int IDD_SPLASH = 140;
constexpr int IDB_SPLASH_TITLE = 141;
constexpr int IDB_ABOUT_EMBLEM = 142;
constexpr int IDB_SPLASH_LOGO = 146;

// Controls of the workspace form; the buttons double as command ids.
constexpr int IDC_FILELIST = 1000;
constexpr int IDC_ADDFILES = 1002;
constexpr int IDC_REMOVEFILE = 1003;
constexpr int IDC_EDITFILE = 1004;
constexpr int IDC_CHECKFILES = 1005;
constexpr int IDC_DECODEFILES = 1006;
constexpr int IDC_PROGRESS = 1008;
constexpr int IDC_PROGRESSTEXT = 1009;
constexpr int IDC_SAVEPATH = 1010;
constexpr int IDC_RESULTS = 1012;
constexpr int IDC_REMOVEALLFILES = 1013;
constexpr int IDC_ERRORLIST = 1014;
constexpr int IDC_ERRORLABEL = 1015;
constexpr int IDC_BROWSE = 1038;
// The Encode dialog's and Decode Options' controls.
constexpr int IDC_ENCODE_UU = 1017;  // then XX (1018) and Base64 (1019)
constexpr int IDC_FILE_TO_ENCODE = 1020;
constexpr int IDC_BROWSE_INPUT = 1021;
constexpr int IDC_DESTINATION = 1022;
constexpr int IDC_INFO = 1026;
constexpr int IDC_ENCODE_PROGRESS = 1027;
constexpr int IDC_SINGLE_FILE = 1028;
constexpr int IDC_LINES = 1029;
constexpr int IDC_DONE = 1031;
constexpr int IDC_OVERWRITE = 1034;
constexpr int IDC_IGNORE_ERRORS = 1035;
constexpr int IDC_BROWSE_DESTINATION = 1038;  // as the form's IDC_BROWSE: where output goes
constexpr int IDC_DEFAULT_SAVE_PATH = 1039;
constexpr int IDC_INFOLIST = 2269;

// Menu and toolbar commands.
constexpr int ID_INFO_WINDOW = 32772;
constexpr int ID_ENCODE_FILES = 32773;
constexpr int ID_OPTIONS = 32780;
constexpr int ID_APP_ABOUT = 57664;
constexpr int ID_APP_EXIT = 57665;
constexpr int ID_VIEW_TOOLBAR = 59392;
constexpr int ID_VIEW_STATUS_BAR = 59393;
constexpr int ID_INDICATOR_CAPS = 59137;
constexpr int ID_INDICATOR_NUM = 59138;
constexpr int ID_INDICATOR_SCRL = 59139;

// Strings.
constexpr int AFX_IDS_APP_TITLE = 57344;
constexpr int AFX_IDS_IDLEMESSAGE = 57345;
constexpr int IDP_OLE_INIT_FAILED = 100;
constexpr int IDR_DOCTYPE = 128;
constexpr int IDS_FILTER_DECODE = 61204;
constexpr int IDS_SPAWN_ERROR = 61205;
constexpr int IDS_INIT_ERROR_CAPTION = 61206;
constexpr int IDS_INIT_ERROR = 61207;
constexpr int IDS_NO_FILES = 61210;
constexpr int IDS_NOTHING_DECODABLE = 61211;
constexpr int IDS_NO_FILENAME = 61212;
constexpr int IDS_NO_END = 61215;
constexpr int IDS_NO_DATA = 61216;
constexpr int IDS_IO_ERROR = 61220;
constexpr int IDS_NO_MEMORY = 61221;
constexpr int IDS_INTERNAL_ERROR = 61222;
constexpr int IDS_TARGET_EXISTS = 61223;
constexpr int IDS_CANCELED = 61224;
constexpr int IDS_UNKNOWN_ERROR = 61225;
constexpr int IDS_BUSY = 61226;
constexpr int IDS_COMPLETED = 61227;
constexpr int IDS_INFO_TITLE = 61228;
constexpr int IDS_INFO_CREATE_FAILED = 61229;
constexpr int IDS_UNABLE_TO_LOCATE = 61230;
constexpr int IDS_BAD_FILENAME = 61231;
constexpr int IDS_EDIT_FIELD_FAILED = 61232;
constexpr int IDS_COLUMN_NAME = 61233;
constexpr int IDS_COLUMN_SIZE = 61234;
constexpr int IDS_DECODE_PROGRESS = 61235;
constexpr int IDS_SCANNING = 61236;
constexpr int IDS_FILTER_ALL = 61237;
constexpr int IDS_ENCODE_NEED_VALUES = 61238;
constexpr int IDS_ENCODE_NO_TYPE = 61239;
constexpr int IDS_ENCODE_DONE = 61240;
constexpr int IDS_ENCODE_FAILED = 61241;
constexpr int IDS_ENCODE_CANCELED = 61242;
constexpr int IDS_ENCODE_PROGRESS = 61243;
constexpr int IDS_BROWSE_FAILED = 61245;
constexpr int IDS_BROWSE_TITLE = 61246;  // our own: the folder browser's title

// Message box styles (the values the design's calls pass).
constexpr unsigned MB_OK = 0x00;
constexpr unsigned MB_ICONHAND = 0x10;
constexpr unsigned MB_ICONSTOP = 0x10;
constexpr unsigned MB_ICONEXCLAMATION = 0x30;
constexpr int IDOK = 1;
