#pragma once

// Numbers of the program's dialogs, controls, commands, pictures and icon. Widgets made from the
// forms carry their control number as object name ("id1006"), so code and tests find them by id.

#include <QString>

namespace kestova::res {

// Dialogs.
constexpr int IDD_MAIN = 102;
constexpr int IDD_CONNECT = 131;
constexpr int IDD_PARAMETERS = 133;
constexpr int IDD_MOTION_TEST = 134;
constexpr int IDD_MOTION_PROFILE = 149;
constexpr int IDD_CURRENT_LOOP = 150;
constexpr int IDD_SCOPE_ONLY = 151;
constexpr int IDD_PLATFORM_INFO = 147;
constexpr int IDD_ALARM = 154;
constexpr int IDD_DICTIONARY = 167;
constexpr int IDD_IO_SETTINGS = 176;
constexpr int IDD_REGISTERS = 168;
constexpr int IDD_ABOUT = 185;
constexpr int IDD_PRODUCT_INFO = 189;

// Main window (102).
constexpr int IDC_NAV_FRAME = 1001;
constexpr int IDC_TITLE_FRAME = 1010;
constexpr int IDC_PAGE_FRAME = 1002;
constexpr int IDC_BTN_COMMUNICATION = 1000;
constexpr int IDC_BTN_PARAMETERS = 1003;
constexpr int IDC_BTN_MOTION_TEST = 1004;
constexpr int IDC_BTN_ALARMS = 1006;
constexpr int IDC_BTN_WRITE_TO_DRIVE = 1023;
constexpr int IDC_BTN_HELP = 1005;

// Connection page (131).
constexpr int IDC_PORT_LABEL = 1025;
constexpr int IDC_PORT_LIST = 1006;
constexpr int IDC_LIST_ALL = 1066;
constexpr int IDC_CONNECT = 1000;
constexpr int IDC_BAUD_LABEL = 1026;
constexpr int IDC_BAUD_LIST = 1007;
constexpr int IDC_STATION_LABEL = 1027;
constexpr int IDC_STATION_LIST = 1008;
constexpr int IDC_OFFLINE = 1009;

// Platform information page (147).
constexpr int IDC_MODEL_LABEL = 1029;
constexpr int IDC_MODEL_FIELD = 1031;
constexpr int IDC_FIRMWARE_LABEL = 1035;
constexpr int IDC_FIRMWARE_FIELD = 1036;
constexpr int IDC_SOFTWARE_LABEL = 1030;
constexpr int IDC_SOFTWARE_FIELD = 1032;
constexpr int IDC_PLATFORM_HIDDEN_LABEL = 1033;
constexpr int IDC_PLATFORM_HIDDEN_LIST = 1034;

// Parameter page (133).
constexpr int IDC_CLASS_FILTER = 1037;
constexpr int IDC_FILTER_HINT = 1038;
constexpr int IDC_PARAMETER_LIST = 1039;
constexpr int IDC_PARAMETER_PROGRESS = 1040;
constexpr int IDC_PARAM_OPEN = 1041;
constexpr int IDC_PARAM_SAVE_AS = 1042;
constexpr int IDC_PARAM_READ = 1043;
constexpr int IDC_PARAM_DOWNLOAD = 1044;
constexpr int IDC_PARAM_WRITE = 1045;
constexpr int IDC_PARAM_RESET = 1046;

// Alarm page (154) and its tab pages "Last Error" (155) and "Previous Error(s)" (156).
constexpr int IDD_CURRENT_ALARM = 155;
constexpr int IDD_HISTORY_ALARM = 156;
constexpr int IDC_ALARM_TAB = 1047;
constexpr int IDC_ALARM_READ = 1048;
constexpr int IDC_ALARM_CLEAR = 1049;
constexpr int IDC_ALARM_LIST = 1050;

// Motion test page (134).
constexpr int IDC_SCOPE = 1019;
constexpr int IDC_CHANNEL_1 = 1020;
constexpr int IDC_CHANNEL_2 = 1021;
constexpr int IDC_CHANNEL_3 = 1026;
constexpr int IDC_CHANNEL_4 = 1027;
constexpr int IDC_SHOW_CHANNEL_1 = 1060;
constexpr int IDC_SHOW_CHANNEL_2 = 1061;
constexpr int IDC_SHOW_CHANNEL_3 = 1062;
constexpr int IDC_SHOW_CHANNEL_4 = 1063;
constexpr int IDC_SUBPAGE_FRAME = 1047;
constexpr int IDC_TEST_TYPE_GROUP = 1115;
constexpr int IDC_TYPE_MOTION = 1116;
constexpr int IDC_TYPE_SCOPE = 1117;
constexpr int IDC_TYPE_CURRENT_LOOP = 1118;
constexpr int IDC_BTN_MOTION = 1023;
constexpr int IDC_BTN_CURRENT_LOOP = 1024;
constexpr int IDC_BTN_SCOPE = 1025;
constexpr int IDC_RUN = 1022;
constexpr int IDC_CYCLIC = 1065;
constexpr int IDC_TRIGGERED = 1064;
constexpr int IDC_TRIGGER_FRAME = 1057;
constexpr int IDC_TRIGGER_SOURCE_LABEL = 1052;
constexpr int IDC_TRIGGER_SOURCE = 1028;
constexpr int IDC_TRIGGER_POLARITY_LABEL = 1053;
constexpr int IDC_TRIGGER_POLARITY = 1029;
constexpr int IDC_TRIGGER_LEVEL_LABEL = 1054;
constexpr int IDC_TRIGGER_LEVEL = 1058;
constexpr int IDB_RUNNING = 204;
constexpr int IDB_IDLE = 205;

// Motion profile (149), current loop (150) and scope-only (151) test pages.
constexpr int IDC_SPEED = 1037;
constexpr int IDC_DISTANCE = 1038;
constexpr int IDC_REPEAT = 1039;
constexpr int IDC_ACCELERATION = 1040;
constexpr int IDC_INTERVAL = 1041;
constexpr int IDC_TRACE_TIME = 1042;
constexpr int IDC_CLOCKWISE = 1043;
constexpr int IDC_COUNTERCLOCKWISE = 1044;
constexpr int IDC_ONE_WAY = 1045;
constexpr int IDC_BACK_AND_FORTH = 1046;
constexpr int IDC_CURRENT_KP = 1050;
constexpr int IDC_CURRENT_KI = 1051;
constexpr int IDC_TEST_CURRENT = 1052;
constexpr int IDC_AUTO_CONFIGURATION = 1053;
constexpr int IDC_SAMPLING = 1054;
constexpr int IDC_SAMPLING_LABEL = 1056;
constexpr int IDC_TRACE_TIME_LABEL = 1059;

// IO function panel (176), a child of the parameter list.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDC_IO_NAME_LABEL = 1130;
constexpr int IDC_IO_NAME = 1131;
constexpr int IDC_IO_VALUE_LABEL = 1132;
constexpr int IDC_IO_VALUE = 1133;
constexpr int IDC_IO_FUNCTION_LABEL = 1134;
constexpr int IDC_IO_FUNCTION = 1135;
constexpr int IDC_IO_FILTER_LABEL = 1136;
constexpr int IDC_IO_FILTER = 1137;
constexpr int IDC_IO_A_NODE = 1138;
constexpr int IDC_IO_B_NODE = 1139;

// Object dictionary page (167): write group, read group 1, read group 2.
constexpr int IDC_DICT_WRITE_INDEX = 1074;
constexpr int IDC_DICT_WRITE_SUBINDEX = 1075;
constexpr int IDC_DICT_WRITE_LENGTH = 1076;
constexpr int IDC_DICT_WRITE_HEX = 1077;
constexpr int IDC_DICT_WRITE_DEC = 1078;
constexpr int IDC_DICT_WRITE_HEX2 = 1079;
constexpr int IDC_DICT_WRITE = 1080;
constexpr int IDC_DICT_READ1_INDEX = 1082;
constexpr int IDC_DICT_READ1_SUBINDEX = 1083;
constexpr int IDC_DICT_READ1_LENGTH = 1084;
constexpr int IDC_DICT_READ1_HEX = 1085;
constexpr int IDC_DICT_READ1_DEC = 1086;
constexpr int IDC_DICT_READ1_HEX2 = 1087;
constexpr int IDC_DICT_READ1 = 1081;
constexpr int IDC_DICT_READ1_CONTINUOUS = 1095;
constexpr int IDC_DICT_READ2_INDEX = 1089;
constexpr int IDC_DICT_READ2_SUBINDEX = 1090;
constexpr int IDC_DICT_READ2_LENGTH = 1091;
constexpr int IDC_DICT_READ2_HEX = 1092;
constexpr int IDC_DICT_READ2_DEC = 1093;
constexpr int IDC_DICT_READ2_HEX2 = 1094;
constexpr int IDC_DICT_READ2 = 1088;
constexpr int IDC_DICT_READ2_CONTINUOUS = 1096;

// Register monitor page (168).
constexpr int IDC_REG_ADDRESS = 1096;
constexpr int IDC_REG_READ = 1097;
constexpr int IDC_REG_CONTINUOUS = 1098;
constexpr int IDC_REG_HEX = 1099;
constexpr int IDC_REG_DEC = 1100;

// Product information (189) and About (185).
constexpr int IDC_PRODUCT_MODEL_LABEL = 1109;
constexpr int IDC_PRODUCT_FIRMWARE_LABEL = 1110;
constexpr int IDC_PRODUCT_MODEL = 1112;
constexpr int IDC_PRODUCT_FIRMWARE = 1113;
constexpr int IDC_ABOUT_TITLE = 1114;

// Menu commands (menu 166).
constexpr int ID_PROJECT_OPEN = 32791;
constexpr int ID_PROJECT_SAVE_AS = 32787;
constexpr int ID_PROJECT_EXIT = 32772;
constexpr int ID_DRIVE_COMMUNICATION = 32802;
constexpr int ID_DRIVE_ERROR_TRACK = 32803;
constexpr int ID_DRIVE_WRITE = 32793;
constexpr int ID_DRIVE_RESET = 32797;
constexpr int ID_CONFIG_PARAMETERS = 32775;
constexpr int ID_CONFIG_MOTION_TEST = 32776;
constexpr int ID_HELP_MANUAL = 32804;
constexpr int ID_HELP_PRODUCT_INFO = 57670;
constexpr int ID_HELP_ABOUT = 32788;
constexpr int ID_COMMUNICATION_ALT = 32771;
constexpr int ID_ALARMS_ALT = 32777;
constexpr int ID_DIAG_DICTIONARY = 32779;
constexpr int ID_DIAG_REGISTERS = 32780;
constexpr int ID_PROJECT_COMPARE = 32820;
constexpr int ID_DRIVE_HISTORY = 32825;
constexpr int ID_DRIVE_TUNING = 32826;
constexpr int ID_DIAG_BUS_MONITOR = 32821;

// Navigation pictures: normal, hover, pressed.
struct ImageSet {
    int normal;
    int hover;
    int pressed;
};
constexpr ImageSet kCommunicationImages{1007, 1009, 1008};
constexpr ImageSet kParametersImages{1010, 1011, 1012};
constexpr ImageSet kParametersDriveImages{210, 211, 209};
constexpr ImageSet kMotionImages{1013, 1017, 1018};
constexpr ImageSet kMotionDriveImages{214, 213, 212};
constexpr ImageSet kAlarmImages{1023, 1022, 1021};
constexpr ImageSet kAlarmDriveImages{208, 207, 206};
constexpr ImageSet kHelpImages{1014, 1019, 1020};
constexpr ImageSet kWriteImages{192, 191, 190};
constexpr ImageSet kWriteDriveImages{217, 216, 215};

constexpr int IDI_MAIN = 157;

// Object name of a control.
inline QString ControlName(int id) {
    return QStringLiteral("id%1").arg(id);
}
// Resource path of a navigation picture.
inline QString BitmapPath(int id) {
    return QStringLiteral(":/bitmaps/%1.svg").arg(id);
}

} // namespace kestova::res
