/*
 * Velmor: identifiers of the program's resources, menu commands and
 * dialog controls. Used by velmor.rc and by the C++ code, so it holds
 * nothing but #define lines.
 *
 * Resource names are strings (ANSI literals for the ...A functions of the
 * platform, e.g. DialogBoxParamA(instance, IDD_MAIN, ...)).
 */
#ifndef VELMOR_RESOURCE_IDS_H
#define VELMOR_RESOURCE_IDS_H

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

/* ---- Resources ---------------------------------------------------------- */

#define IDR_SYNTHMENU           "SYNTHMENU"
#define IDD_MAIN                "MAIN"
#define IDD_PITCH               "PITCH"
#define IDD_FX                  "FX"
#define IDD_ABOUT               "AppAbout"
#define IDD_WAVSELECT           "WAVSELECT"
#define IDD_BUFSIZE             "BUFSIZE"
#define IDD_SONG                "SONG"
#define IDD_STREAM_PROGRESS     "STREAMING"
#define IDD_MIDI                "MIDI_SETUP"
#define IDB_STARTUP             "STARTUP"
#define IDI_APP                 "APPICON"
#define IDI_SAW                 "SAW"
#define IDI_SAW2                "SAW2"
#define IDI_SQUARE              "SQUARE"
#define IDI_SINE                "SINE"
#define IDI_PLAY                "PLAY"
#define IDI_STOP                "STOP"

/* ---- Menu "SYNTHMENU" ---------------------------------------------------- */

/* &File */
#define IDM_LOAD_PATTERN        40025
#define IDM_SAVE_PATTERN        40003
#define IDM_IMPORT_MIDI         40120
#define IDM_EXPORT_MIDI         40121
#define IDM_STREAM_TO_DISK      40026
#define IDM_EXIT                40005
/* &Edit (the accelerators UNDO_KEYS: Ctrl+Z; Ctrl+Y and Ctrl+Shift+Z) */
#define IDM_UNDO                40100
#define IDM_REDO                40101
#define IDR_UNDO_KEYS           "UNDO_KEYS"
/* Posted to the main window at start: offer a recovery copy a shutdown left */
#define IDM_OFFER_RECOVERY      40102
/* &Pattern */
#define IDM_PATTERN_EDIT        40029
#define IDM_PATTERN_COPY        40030
#define IDM_PATTERN_PASTE       40031
#define IDM_SONG_EDIT           40040
#define IDM_SONG_MODE           40041
/* &Velmor */
#define IDM_UNIT_ADD            40028
#define IDM_UNIT_DELETE         40034
#define IDM_SETTINGS_COPY       40032
#define IDM_SETTINGS_PASTE      40033
/* &Options */
#define IDM_OUTPUT_DEVICE       40007
#define IDM_RESPONSE            40015
#define IDM_FX_SETUP            40035
#define IDM_MIDI                40140
/* &Help */
#define IDM_ABOUT               40006

/* ---- Dialog "MAIN" ------------------------------------------------------- */

#define IDC_UNIT_TABS           1061

/* Osc 1 */
#define IDC_OSC1_SAW            1030
#define IDC_OSC1_SQUARE         1031
#define IDC_OSC1_SINE           1032
#define IDC_OSC1_SAW2           1033
#define IDC_OSC1_USER           1034
#define IDC_OSC1_LOAD           1052
#define IDC_OSC1_COARSE         1027
#define IDC_OSC1_FINE           1013
#define IDC_OSC1_PW             1074

/* Osc 2 */
#define IDC_OSC2_SAW            1041
#define IDC_OSC2_SQUARE         1042
#define IDC_OSC2_SINE           1043
#define IDC_OSC2_SAW2           1044
#define IDC_OSC2_USER           1045
#define IDC_OSC2_COARSE         1028
#define IDC_OSC2_FINE           1021
#define IDC_FM                  1800

/* Osc 1+2 */
#define IDC_OSC_MIX             1016
#define IDC_RING_MOD            1801
#define IDC_PHASE               1017
#define IDC_SYNC                1077

/* Filter */
#define IDC_FILTER_LO12         1202
#define IDC_FILTER_LO24         1203
#define IDC_FILTER_HI12         1204
#define IDC_FILTER_BAND         1205
#define IDC_FILTER_BYPASS       1206
#define IDC_CUTOFF              1011
#define IDC_ENV_AMT             1012
#define IDC_RESO                1010

/* Envelope */
#define IDC_ENVELOPE            1055
#define IDC_ATTACK              1062
#define IDC_DECAY               1063
#define IDC_SUSTAIN             1065
#define IDC_RELEASE             1066
#define IDC_SUS_LEVEL           1067
#define IDC_STEP_GATE           1064
#define IDC_VOLUME              1073
#define IDC_ACCENT              1078

/* FX Routing */
#define IDC_DELAY_SEND          1024

/* Link Generators */
#define IDC_LINK_1              1068
#define IDC_LINK_2              1069
#define IDC_LINK_3              1070
#define IDC_LINK_4              1071

/* Distortion */
#define IDC_DIST_WET            1023
#define IDC_DIST_THRESHOLD      1022
#define IDC_DIST_A              1200
#define IDC_DIST_B              1201

/* LFO 1 */
#define IDC_LFO_TARGET_OSC      1036
#define IDC_LFO_TARGET_RESO     1038
#define IDC_LFO_TARGET_CUTOFF   1040
#define IDC_LFO_SPEED           1019
#define IDC_LFO_AMOUNT          1020
#define IDC_LFO_SINE            1046
#define IDC_LFO_SQUARE          1047

/* The row below the tabs */
#define IDC_TEMPO               1018
#define IDC_TEMPO_TEXT          1106
#define IDC_PLAY                1007
#define IDC_STOP                1009
#define IDC_MASTER_VOLUME       1072
#define IDC_VOL_LEFT            1108
#define IDC_VOL_RIGHT           1109
#define IDC_CPU                 1014
#define IDC_QUIT                1

/* What plays, in the tab strip's free space: "Pattern 2", "Song 3/8: Pattern 5" */
#define IDC_PLAYING             1111

/* ---- Dialog "PITCH" (step editor) ---------------------------------------- */

/* Step i (0..15): pitch slider, note name, note, slide and accent switch. */
#define IDC_STEP_PITCH_FIRST    3000
#define IDC_STEP_NAME_FIRST     1974
#define IDC_STEP_NOTE_FIRST     1958
#define IDC_STEP_SLIDE_FIRST    2000
#define IDC_STEP_PITCH(i)       (IDC_STEP_PITCH_FIRST + (i))
#define IDC_STEP_NAME(i)        (IDC_STEP_NAME_FIRST + (i))
#define IDC_STEP_NOTE(i)        (IDC_STEP_NOTE_FIRST + (i))
#define IDC_STEP_SLIDE(i)       (IDC_STEP_SLIDE_FIRST + (i))
#define IDC_STEP_ACCENT_FIRST   2030
#define IDC_STEP_ACCENT(i)      (IDC_STEP_ACCENT_FIRST + (i))
/* The pattern shown and edited: a drop-down list of 1..64 */
#define IDC_PATTERN_SELECT      2050
#define IDC_GENERATE_RANDOM     1047
#define IDC_SHIFT_SPIN          1048
#define IDC_PITCH_SPIN          1110

/* ---- Dialog "FX" (Effects Setup) ----------------------------------------- */

#define IDC_DELAY_STEPS         1029
#define IDC_DELAY_FEEDBACK      1107
#define IDC_DELAY_PAN           1108
#define IDC_DELAY_STEPS_TEXT    1073
#define IDC_DELAY_FEEDBACK_TEXT 1074
#define IDC_DELAY_PAN_TEXT      1075
/* Groove */
#define IDC_SWING               1109
#define IDC_SWING_TEXT          1076

/* ---- Dialog "SONG" -------------------------------------------------------- */

#define IDC_SONG_LIST           2101
#define IDC_SONG_PATTERN        2102
#define IDC_SONG_INSERT         2103
#define IDC_SONG_DELETE         2104
#define IDC_SONG_MODE           2105

/* ---- Dialog "STREAMING" (Stream 2 Disk in progress) ---------------------- */

#define IDC_STREAM_TEXT         2201
#define IDC_STREAM_PROGRESS     2202

/* ---- Dialog "WAVSELECT" (Select WAV Device) ------------------------------ */

#define IDC_DEVICE_LIST         1002

/* ---- Dialog "BUFSIZE" (Adjust Average Response) -------------------------- */

#define IDC_RESPONSE_SLIDER     1003
#define IDC_RESPONSE_TEXT       1004
#define IDC_RESPONSE_WASAPI     1005
#define IDC_RESPONSE_EXCLUSIVE  1006

/* ---- Dialog "MIDI_SETUP" (Options > MIDI...) ------------------------------ */

#define IDC_MIDI_INPUT          1340
#define IDC_MIDI_OUTPUT         1341
#define IDC_MIDI_SYNC           1342
#define IDC_MIDI_SEND_CLOCK     1343
/* The channel of unit tab i (0..3): 1..16, then Off */
#define IDC_MIDI_CHANNEL_FIRST  1344
#define IDC_MIDI_LATENCY        1348
#define IDC_MIDI_SEND_NOTES     1349
/* "Local Off" of unit tab i (0..3) */
#define IDC_MIDI_LOCAL_OFF_FIRST 1350

#endif /* VELMOR_RESOURCE_IDS_H */
