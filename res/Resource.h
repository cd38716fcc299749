#pragma once
// The program's resource, command and control ids. The numbers are fixed: language files and
// stored layouts key their texts by them, so never renumber.

namespace res {

// Menus, tool bars, bitmaps, string entries
inline constexpr unsigned IDR_MAINFRAME = 128; // menu, tool bar, accelerators, document string
inline constexpr unsigned IDB_FOLDER_IMAGES = 131;
inline constexpr unsigned IDB_SPLASH = 152;
inline constexpr unsigned IDB_TOOLBAR_NORMAL = 160;
inline constexpr unsigned IDB_TOOLBAR_DISABLED = 161;
inline constexpr unsigned IDP_OLE_INIT_FAILED = 100;
inline constexpr unsigned AFX_IDS_IDLEMESSAGE = 57345;
inline constexpr unsigned IDR_FOLDER_MENU = 132; // the folder view's context menu

// Commands of menu 128 and tool bar 128
inline constexpr unsigned ID_FILE_PREFERENCE = 32783;
inline constexpr unsigned ID_APP_EXIT = 57665;
inline constexpr unsigned ID_SWITCH_IDENTITY = 32790;
inline constexpr unsigned ID_LAUNCH_MAIL = 32780;
inline constexpr unsigned ID_LAUNCH_BROWSER = 32779;
inline constexpr unsigned ID_EXTRACT_ATTACHMENTS = 32776;
inline constexpr unsigned ID_EDIT_REPORT = 32786;
inline constexpr unsigned ID_SAVE_MESSAGES = 32775;
inline constexpr unsigned ID_EXTRACT_SAFELY = 32794;
inline constexpr unsigned ID_WIZARD = 32791;
inline constexpr unsigned ID_SEARCH_MAIL = 32792;
inline constexpr unsigned ID_EXPRESS_MESSAGES = 32793;
inline constexpr unsigned ID_RECOVER_MESSAGES = 32795; // the folder menu only
inline constexpr unsigned ID_VIEW_STATUS_BAR = 59393;
inline constexpr unsigned ID_HELP_TOPICS = 57667;
inline constexpr unsigned ID_SUPPORT = 32785;
inline constexpr unsigned ID_APP_ABOUT = 57664;
inline constexpr unsigned ID_ONLINE_TUTORIAL = 5560;

// Framework commands reached through the accelerators
inline constexpr unsigned ID_FILE_NEW = 57600;
inline constexpr unsigned ID_FILE_OPEN = 57601;
inline constexpr unsigned ID_FILE_SAVE = 57603;
inline constexpr unsigned ID_FILE_PRINT_SETUP = 57606;
inline constexpr unsigned ID_FILE_PRINT = 57607;
inline constexpr unsigned ID_EDIT_COPY = 57634;
inline constexpr unsigned ID_EDIT_CUT = 57635;
inline constexpr unsigned ID_EDIT_PASTE = 57637;
inline constexpr unsigned ID_EDIT_UNDO = 57643;
inline constexpr unsigned ID_CONTEXT_HELP = 57669;
inline constexpr unsigned ID_HELP = 57670;
inline constexpr unsigned ID_DEFAULT_HELP = 57671;
inline constexpr unsigned ID_NEXT_PANE = 57680;
inline constexpr unsigned ID_PREV_PANE = 57681;

// The Language submenu: the built-in entry and the range handed to language files
inline constexpr unsigned ID_LANGUAGE_DEFAULT = 5050;
inline constexpr unsigned ID_LANGUAGE_FIRST = 5051;
inline constexpr unsigned ID_LANGUAGE_LAST = 5099;

// The message dialog of a store kept as .dbx files, and its controls
inline constexpr unsigned IDD_OE_MESSAGES = 130;
inline constexpr unsigned IDC_OE_MESSAGE_LIST = 1005;
inline constexpr unsigned IDC_OE_MARK_READ = 1008;
inline constexpr unsigned IDC_OE_MARK_UNREAD = 10091;
inline constexpr unsigned IDC_OE_VIEW = 10101;
inline constexpr unsigned IDC_OE_CREATE = 10071;
inline constexpr unsigned IDC_OE_DELETE = 10131;
inline constexpr unsigned IDC_OE_COPY = 10112;
inline constexpr unsigned IDC_OE_MOVE = 10121;
inline constexpr unsigned IDC_OE_TEST_EXTRACT = 1056;

// Windows of the main frame
inline constexpr unsigned IDW_TOOLBAR = 128;
inline constexpr unsigned IDW_STATUS_BAR = 59393;
inline constexpr unsigned IDW_CAPTION_BAR = 5000;
inline constexpr unsigned IDC_DESTINATION_COMBO = 333;
inline constexpr unsigned IDW_FIRST_PANE = 59648;

// The window system takes command ids below 0x8000 only. Command ids at or above it travel as
// their low 15 bits, which land in ranges no other command uses (7..27 and 0x6000 upward).
constexpr int WxId(unsigned id) {
    return static_cast<int>(id >= 0x8000 ? id & 0x7FFF : id);
}
constexpr unsigned CommandId(int wxId) {
    return (wxId >= 0 && wxId < 1000) || wxId >= 0x6000 ? static_cast<unsigned>(wxId) | 0x8000
                                                        : static_cast<unsigned>(wxId);
}

// The extraction option sheet and its pages
inline constexpr unsigned IDD_EXTRACT_OPTION_SHEET = 141;
inline constexpr unsigned IDD_MAIL_EXTRACTION_PAGE = 142;
inline constexpr unsigned IDD_EXTRACTION_OPTION_PAGE = 143;
inline constexpr unsigned IDD_ACTION_PAGE = 155;
inline constexpr unsigned IDD_FOLDER_TREE_PAGE = 166;
inline constexpr unsigned IDOK_BUTTON = 1;
inline constexpr unsigned IDCANCEL_BUTTON = 2;
inline constexpr unsigned IDC_OPTION_TABS = 1007;
inline constexpr unsigned IDC_SHOW_REPORT = 1009;
inline constexpr unsigned IDC_ONLY_PICTURES = 1011;
// The option sheet's and the wizard's "new mail only" boxes.
inline constexpr unsigned IDC_NEW_MAIL_ONLY = 1097;
inline constexpr unsigned IDC_WIZARD_NEW_MAIL_ONLY = 1098;
inline constexpr unsigned IDC_DESTINATION_TREE = 1012;
inline constexpr unsigned IDC_DESTINATION_PATH = 1013;
inline constexpr unsigned IDC_NO_SUBDIR = 1014;
inline constexpr unsigned IDC_FOLDER_SUBDIR = 1015;
inline constexpr unsigned IDC_EXTENSION_SUBDIR = 1016;
inline constexpr unsigned IDC_SENDER_SUBDIR = 10181;
inline constexpr unsigned IDC_ACTION_TREE = 1020;
inline constexpr unsigned IDC_ACTION = 1021;
inline constexpr unsigned IDC_ARE_YOU_SURE = 1023;
inline constexpr unsigned IDC_CONDITION = 1024;
inline constexpr unsigned IDC_CONDITION_KEYWORD = 1025;
inline constexpr unsigned IDC_SORT_KEY = 1026;
inline constexpr unsigned IDC_ACTION_GROUP = 1030;
inline constexpr unsigned IDC_DESTINATION_GROUP = 1031;
inline constexpr unsigned IDC_SUBDIR_GROUP = 1032;
inline constexpr unsigned IDC_CONDITION_GROUP = 1033;
inline constexpr unsigned IDC_SORT_GROUP = 1034;
inline constexpr unsigned IDC_ASCENDING = 1035;
inline constexpr unsigned IDC_FOLDER_TREE = 1036;

// The extraction wizard and its pages
inline constexpr unsigned IDD_WIZARD = 131;
inline constexpr unsigned IDD_WIZARD_FOLDER_PAGE = 136;
inline constexpr unsigned IDD_WIZARD_DESTINATION_PAGE = 169;
inline constexpr unsigned IDD_WIZARD_DURATION_PAGE = 170;
inline constexpr unsigned IDM_WIZARD_FOLDER_MENU = 167;
inline constexpr unsigned IDB_WIZARD_PICTURE = 173;
inline constexpr unsigned IDC_WIZARD_PLACEHOLDER = 1010;
inline constexpr unsigned IDC_WIZARD_TITLE = 10182;
inline constexpr unsigned IDC_START_DATE = 1039;
inline constexpr unsigned IDC_END_DATE = 1040;
inline constexpr unsigned IDC_ONLY_PICTURES_RADIO = 1042;
inline constexpr unsigned IDC_ONLY_DOCUMENTS_RADIO = 1043;
inline constexpr unsigned IDC_ALL_ATTACHMENTS_RADIO = 1045;
// The pages' texts, labels and groups, named so that a language file can translate each.
inline constexpr unsigned IDC_WIZARD_TEXT = 1060;
inline constexpr unsigned IDC_WIZARD_TEXT2 = 1061;
inline constexpr unsigned IDC_WIZARD_PATH_LABEL = 1062;
inline constexpr unsigned IDC_DURATION_GROUP = 1063;
inline constexpr unsigned IDC_DOCTYPE_GROUP = 1064;
inline constexpr unsigned IDC_START_LABEL = 1065;
inline constexpr unsigned IDC_END_LABEL = 1066;
inline constexpr unsigned ID_WIZARD_BACK = 12323;
inline constexpr unsigned ID_WIZARD_NEXT = 12324;
inline constexpr unsigned ID_WIZARD_FINISH = 12325;
inline constexpr unsigned ID_CHECK_ALL = 32788;
inline constexpr unsigned ID_UNCHECK_ALL = 32789;

// The search mail dialog
inline constexpr unsigned IDD_SEARCH_MAIL = 175;
inline constexpr unsigned IDC_SEARCH_SENDER = 1046;
inline constexpr unsigned IDC_SEARCH_SUBJECT = 1047;
inline constexpr unsigned IDC_SEARCH_RECEIVER = 1048;
inline constexpr unsigned IDC_SEARCH_BODY = 1049;
inline constexpr unsigned IDC_SEARCH_BUTTON = 1050;
inline constexpr unsigned IDC_STOP_BUTTON = 1051;
inline constexpr unsigned IDC_EXTRACT_BUTTON = 1052;
inline constexpr unsigned IDC_SEARCH_LIST = 1053;
inline constexpr unsigned IDC_SEARCH_FOLDER_NAME = 1054;
inline constexpr unsigned IDC_FOLDER_NAME_LABEL = 1067;
inline constexpr unsigned IDC_SENDER_LABEL = 1068;
inline constexpr unsigned IDC_RECEIVER_LABEL = 1069;
inline constexpr unsigned IDC_SUBJECT_LABEL = 1070;
inline constexpr unsigned IDC_BODY_LABEL = 1071;

// The preference dialog and its page
inline constexpr unsigned IDD_PREFERENCE = 153;
inline constexpr unsigned IDD_GENERAL_SETTING_PAGE = 154;
inline constexpr unsigned IDC_PREFERENCE_TABS = 1018;
inline constexpr unsigned IDC_SUBJECTS_PER_PAGE = 1019;
inline constexpr unsigned IDC_PREF_SHOW_REPORT = 1026;
inline constexpr unsigned IDC_PREF_ONLY_PICTURES = 1027;
inline constexpr unsigned IDC_REPORT_STYLE_GROUP = 1028;
inline constexpr unsigned IDC_EXTRACTION_OPTION_GROUP = 1029;
inline constexpr unsigned IDC_SUBJECT_SETTING_LABEL = 1063;
inline constexpr unsigned IDC_SUBJECTS_PAGE_LABEL = 1064;
inline constexpr unsigned IDC_SIZE_LIMIT_LABEL = 1072;
inline constexpr unsigned IDC_KBYTES_LABEL = 1073;
inline constexpr unsigned IDC_MAILBOX_PATH = 1074;
inline constexpr unsigned IDC_BROWSE_MAILBOX = 1075;
// The group and label of the mailbox path have ids of their own, so that a language file can
// give each its text (under 65535 both would get the same one).
inline constexpr unsigned IDC_MAILBOX_GROUP = 1076;
inline constexpr unsigned IDC_MAILBOX_LABEL = 1077;
inline constexpr unsigned IDC_SIZE_LIMIT = 10201;
inline constexpr unsigned IDC_AUTO_RENAME = 10301;
inline constexpr unsigned IDC_REMOVE_FW = 10312;
inline constexpr unsigned IDC_SET_DATE = 10321;

// The identity dialog
inline constexpr unsigned IDD_IDENTITY = 168;
inline constexpr unsigned IDC_IDENTITY_LIST = 1038;

// The about box
inline constexpr unsigned IDD_ABOUTBOX = 100;
inline constexpr unsigned IDB_ABOUT_PICTURE = 148;
inline constexpr unsigned IDC_CREDITS = 1001;
inline constexpr unsigned IDC_VERSION_TEXT = 1003;
inline constexpr unsigned IDC_HOME_LINK = 1006;

// Controls without an id of their own share this one in dialog templates.
inline constexpr unsigned IDC_STATIC_SHARED = 65535;

} // namespace res
