// What the plugin framework needs to know of Velmor (for LV2): an
// instrument with stereo output, MIDI input and output (the sequencer's
// notes), the host's transport, a state, a latency and an editor.
#ifndef DISTRHO_PLUGIN_INFO_H_INCLUDED
#define DISTRHO_PLUGIN_INFO_H_INCLUDED

#define DISTRHO_PLUGIN_NAME    "Velmor"
#define DISTRHO_PLUGIN_URI     "urn:velmor:velmor"
#define DISTRHO_PLUGIN_CLAP_ID "velmor.velmor"

// The editor, where the build has one: drawn with NanoVG, holding the
// plugin core itself (the host runs both in one process), resizable.
#ifdef VELMOR_EDITOR
#define DISTRHO_PLUGIN_HAS_UI             1
#define DISTRHO_UI_USE_NANOVG             1
#define DISTRHO_PLUGIN_WANT_DIRECT_ACCESS 1
#define DISTRHO_UI_USER_RESIZABLE         1
#define DISTRHO_UI_FILE_BROWSER           1
#define DISTRHO_UI_DEFAULT_WIDTH          1000
#define DISTRHO_UI_DEFAULT_HEIGHT         640
#else
#define DISTRHO_PLUGIN_HAS_UI 0
#endif
#define DISTRHO_PLUGIN_IS_RT_SAFE       1
#define DISTRHO_PLUGIN_IS_SYNTH         1
#define DISTRHO_PLUGIN_NUM_INPUTS       0
#define DISTRHO_PLUGIN_NUM_OUTPUTS      2
#define DISTRHO_PLUGIN_WANT_MIDI_INPUT  1
#define DISTRHO_PLUGIN_WANT_MIDI_OUTPUT 1
#define DISTRHO_PLUGIN_WANT_TIMEPOS     1
#define DISTRHO_PLUGIN_WANT_STATE       1
#define DISTRHO_PLUGIN_WANT_FULL_STATE  1
#define DISTRHO_PLUGIN_WANT_LATENCY     1
#define DISTRHO_PLUGIN_WANT_PROGRAMS    0

#define DISTRHO_PLUGIN_LV2_CATEGORY    "lv2:InstrumentPlugin"
#define DISTRHO_PLUGIN_VST3_CATEGORIES "Instrument|Synth"
#define DISTRHO_PLUGIN_CLAP_FEATURES   "instrument", "synthesizer", "stereo"

#endif
