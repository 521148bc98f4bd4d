// The program's dialogs, menu and string table, as data.
#include "res/program_resources.h"
#include "res/resource.h"

namespace {

// clang-format off: the templates read like a resource script, a control a line.

constexpr DWORD kPush = BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kCombo = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;

const DialogTemplate kMainDialog{
    IDD_CONVERTER_DIALOG,
    "Quavix",
    "MS Shell Dlg",
    8,
    244,
    158,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME | DS_SETFONT,
    WS_EX_APPWINDOW,
    {
        {IDC_OUTPUT_PATH, kEditClass, "", 7, 94, 159, 14, WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP,
         0},
        {IDC_CONVERT, kButtonClass, "Convert", 88, 7, 66, 18, kPush, 0},
        {IDC_OPEN, kButtonClass, "Open", 7, 7, 66, 18, kPush, 0},
        {IDC_STOP, kButtonClass, "Stop", 169, 6, 66, 18, kPush, 0},
        {IDC_PLAY, kButtonClass, "Play", 172, 76, 66, 14, kPush, 0},
        {IDC_INPUT_TAG, kStaticClass, "", 117, 39, 8, 8, SS_LEFT, 0},
        {IDC_STATUS, kStaticClass, "Status : Ready", 7, 139, 228, 12, SS_LEFT | SS_SUNKEN, 0},
        {IDC_OUTPUT_LABEL, kStaticClass, "Output:", 7, 76, 66, 14, SS_LEFT | SS_CENTERIMAGE, 0},
        {IDC_DEVICE_LIST, kComboBoxClass, "", 130, 32, 106, 49, kCombo, 0},
        {IDC_INPUT_LIST, kComboBoxClass, "", 7, 32, 110, 97, kCombo, 0},
        {IDC_VOLUME, kTrackbarClass, "", 39, 49, 174, 15, TBS_BOTH | TBS_NOTICKS | WS_TABSTOP, 0},
        {IDC_BROWSE, kButtonClass, "Browse", 172, 94, 66, 14, kPush, 0},
        {IDC_DEVICE_TAG, kStaticClass, "", 236, 38, 8, 10, SS_LEFT, 0},
        {IDC_ABOUT, kButtonClass, "About", 226, 64, 6, 14, kPush, 0},
        {IDC_HELP_BTN, kButtonClass, "Help", 89, 117, 66, 14, kPush, 0},
        {IDC_VOLUME_LABEL, kStaticClass, "Volume:", 7, 52, 31, 8, SS_LEFT, 0},
        {IDC_MAX_LABEL, kStaticClass, "Max", 218, 51, 16, 8, SS_LEFT, 0},
        {IDC_CLOSE_BTN, kButtonClass, "Close", 225, 63, 8, 14, kPush, 0},
        {IDC_EXIT, kButtonClass, "Exit", 171, 117, 66, 14, kPush, 0},
    },
};

// The maker's lines: who makes the program, where it lives, how to reach
// its makers, and what it is built on.
const DialogTemplate kAboutDialog{
    IDD_ABOUTBOX,
    "About Quavix",
    "MS Sans Serif",
    8,
    235,
    156,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
    0,
    {
        {-1, kStaticClass, "#103", 12, 18, 20, 20, SS_ICON, 0},
        {-1, kStaticClass, "Quavix", 50, 10, 169, 8, SS_LEFT | SS_NOPREFIX, 0},
        {-1, kStaticClass, "Version 1.0", 50, 28, 157, 8, SS_LEFT, 0},
        {IDOK, kButtonClass, "OK", 78, 135, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 0},
        {IDC_WEB_ADDRESS, kStaticClass, "https://quavix.example.org/", 50, 64, 151, 8, SS_LEFT, 0},
        {IDC_CONTACT, kStaticClass, "Contact: quavix-devel@quavix.example.org", 50, 82, 156, 8,
         SS_LEFT, 0},
        {-1, kStaticClass, "Quavix is made by the Quavix developers", 50, 46, 157, 8, SS_LEFT, 0},
        {-1, kStaticClass,
         "Uses Qt, GStreamer, PulseAudio and FluidSynth (LGPL), FFmpeg (libav), which encodes "
         "the WMA (GPL 2+ as Debian builds it), and the FluidR3 GM SoundFont (MIT).",
         50, 96, 178, 37, SS_LEFT, 0},
    },
};

const DialogTemplate kInputHintDialog{
    IDD_INPUT_HINT,
    "How to select an input device",
    "MS Sans Serif",
    8,
    237,
    133,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
    0,
    {
        {IDOK, kButtonClass, "OK", 91, 110, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP, 0},
        {-1, kStaticClass,
         "If you want to convert MIDI to WMA file, please select an input device "
         "with \"Wave Out Mix\", which might appear as \"Stereo Mixer\", \"What U "
         "Hear\", \"Output\", \"Mixer\", \"Wave\".",
         7, 7, 223, 28, SS_LEFT, 0},
        {IDC_DONT_SHOW, kButtonClass, "Do not show the message in the future", 7, 87, 223, 10,
         BS_AUTOCHECKBOX | WS_TABSTOP, 0},
        {-1, kStaticClass, "For more details, please read help.", 7, 71, 223, 8, SS_LEFT, 0},
        {-1, kStaticClass,
         "(When the program launches at the first time, it will select the item as "
         "possible as it can. If succeed, the list will hide. If not, it will show. "
         "please select the item manually.)",
         7, 35, 223, 32, SS_LEFT, 0},
    },
};

const MenuTemplate kPlayerMenu{
    IDR_PLAYER_MENU,
    "PREVIEW",
    {
        {"Play", ID_PLAYER_PLAY},
        {"pause", ID_PLAYER_PAUSE},
        {"Stop", ID_PLAYER_STOP},
        {nullptr, 0},
        {"Close", ID_PLAYER_CLOSE},
    },
};

}  // namespace

// clang-format on

const DialogTemplate *ProgramDialogTemplate(int id) {
  switch (id) {
    case IDD_ABOUTBOX: return &kAboutDialog;
    case IDD_CONVERTER_DIALOG: return &kMainDialog;
    case IDD_INPUT_HINT: return &kInputHintDialog;
    default: return nullptr;
  }
}

const MenuTemplate *ProgramMenuTemplate(int id) {
  return id == IDR_PLAYER_MENU ? &kPlayerMenu : nullptr;
}

const char *ProgramString(int id) { return id == IDS_ABOUTBOX ? "&About Quavix" : nullptr; }
