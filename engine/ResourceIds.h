// Identifiers of the library's dialog resources and their controls, shared by Trelvox.rc and
// the dialog classes. Plain macros: the resource compiler reads this file too.
#pragma once

// The settings dialogs. Every one has OK (IDOK), Cancel (IDCANCEL) and "Set &Default".
#define IDD_MP3_SETTINGS 116
#define IDD_WAV_SETTINGS 133
#define IDD_OGG_SETTINGS 3326
#define IDC_SET_DEFAULT 1039

// The MIDI source's hidden notification window.
#define IDD_MIDI_NOTIFY 3329

// Wave Audio Settings: the codec and format lists and the information fields.
#define IDC_WAV_CHANNELS 1002
#define IDC_WAV_SAMPLE_RATE 1003
#define IDC_WAV_DATA_RATE 1004
#define IDC_WAV_ALIGNMENT 1006
#define IDC_WAV_SAMPLE_SIZE 1007
#define IDC_WAV_EXTRA 1008
#define IDC_WAV_FORMAT 1102
#define IDC_WAV_CODEC 1103

// MP3 Encoding Settings.
#define IDC_MP3_SLIDER 1001
#define IDC_MP3_DOWNSAMPLING 1003
#define IDC_MP3_NUMBER 1023
#define IDC_MP3_LOW_END 1055
#define IDC_MP3_HIGH_END 1056
#define IDC_MP3_CRC 1066
#define IDC_MP3_ORIGINAL 1067
#define IDC_MP3_COPYRIGHT 1068
#define IDC_MP3_PRIVATE 1069
#define IDC_MP3_JOINT_STEREO 1070
#define IDC_MP3_MODE 1126
#define IDC_MP3_ISO 1132
#define IDC_MP3_VALUE_LABEL 1133

// Ogg Vorbis Audio Settings; 1201 to 1204 are the value readouts beside the trackbars.
#define IDC_OGG_USE_MIN 1014
#define IDC_OGG_QUALITY 1101
#define IDC_OGG_AVERAGE_MODE 1102
#define IDC_OGG_AVERAGE 1103
#define IDC_OGG_MAX 1104
#define IDC_OGG_MIN 1105
#define IDC_OGG_QUALITY_MODE 1106
#define IDC_OGG_AVERAGE_LABEL 1107
#define IDC_OGG_USE_MAX 1108
#define IDC_OGG_MAX_LABEL 1109
#define IDC_OGG_MIN_LABEL 1110
#define IDC_OGG_QUALITY_LABEL 1111
#define IDC_OGG_QUALITY_VALUE 1201
#define IDC_OGG_AVERAGE_VALUE 1202
#define IDC_OGG_MIN_VALUE 1203
#define IDC_OGG_MAX_VALUE 1204

// The frame edit dialogs of the tag model. Every one has OK (IDOK) and Cancel (IDCANCEL).
#define IDD_FRAME_TEXT 203
#define IDD_FRAME_USER_URL 204
#define IDD_FRAME_URL 205
#define IDD_FRAME_USER_TEXT 206
#define IDD_FRAME_PICTURE 207
#define IDD_FRAME_GENRE 208
#define IDD_FRAME_LANGUAGE 209
#define IDD_FRAME_COMMENT 210
// Shared by several of them: the main text (text, URL or comment), the description, the
// language list, the label naming the frame and its longer explanation.
#define IDC_FRAME_TEXT 1001
#define IDC_FRAME_OPEN_URL 1006
#define IDC_FRAME_DESCRIPTION 1008
#define IDC_FRAME_LANGUAGE 1035
#define IDC_FRAME_LABEL 1119
#define IDC_FRAME_EXPLANATION 1120
// Attached picture.
#define IDC_PICTURE_TYPE 1010
#define IDC_PICTURE_SIZE 1012
#define IDC_PICTURE_LOAD 1013
#define IDC_PICTURE_MIME 1014
#define IDC_PICTURE_SAVE 1015
#define IDC_PICTURE_RESET 1016
// Content type (genre).
#define IDC_GENRE_NAME 1028
#define IDC_GENRE_ADD 1029
#define IDC_GENRE_LIST 1030
#define IDC_GENRE_REMOVE 1031
// Windows Media Audio Settings (dialog 107).
#define IDD_WMA_SETTINGS 107
#define IDC_WMA_SLIDER 1001
#define IDC_WMA_SAMPLE_RATE 1003
#define IDC_WMA_NUMBER 1023
#define IDC_WMA_LOW_END 1055
#define IDC_WMA_USE_MAX 1056
#define IDC_WMA_HIGH_END 1059
#define IDC_WMA_MAX_BITRATE 1085
#define IDC_WMA_MAX_BUFFER 1086
#define IDC_WMA_CODEC 1103
#define IDC_WMA_VALUE_LABEL 1122
#define IDC_WMA_MODE 1126
#define IDC_WMA_LOW_DELAY 1127
#define IDC_WMA_LOAD_PROFILE 1128
#define IDC_WMA_SAVE_PROFILE 1129

// The metadata list view: its image strip and its context menu ("Frame" and "List" pop-ups).
#define IDR_METADATA_LV_MENU 103
#define IDB_METADATA_LV 202
#define ID_FRAME_REMOVE 40001
#define ID_LIST_REMOVE_ALL 40002
#define ID_FRAME_EDIT 40003
