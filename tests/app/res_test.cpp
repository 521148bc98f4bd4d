// The resources as the window layer and the rest of the program see them.
#include "res/dialog_template.h"
#include "res/images.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

struct Expected {
  int id;
  const char *cls;
  const char *text;
  short x, y, cx, cy;
};

// The main window's controls in tab order, as the product defines them.
const Expected kMainControls[] = {
    {1008, kEditClass, "", 7, 94, 159, 14},
    {1004, kButtonClass, "Convert", 88, 7, 66, 18},
    {1002, kButtonClass, "Open", 7, 7, 66, 18},
    {1003, kButtonClass, "Stop", 169, 6, 66, 18},
    {1001, kButtonClass, "Play", 172, 76, 66, 14},
    {1051, kStaticClass, "", 117, 39, 8, 8},
    {1035, kStaticClass, "Status : Ready", 7, 139, 228, 12},
    {1054, kStaticClass, "Output:", 7, 76, 66, 14},
    {1009, kComboBoxClass, "", 130, 32, 106, 49},
    {1011, kComboBoxClass, "", 7, 32, 110, 97},
    {1038, kTrackbarClass, "", 39, 49, 174, 15},
    {1039, kButtonClass, "Browse", 172, 94, 66, 14},
    {1040, kStaticClass, "", 236, 38, 8, 10},
    {1047, kButtonClass, "About", 226, 64, 6, 14},
    {1048, kButtonClass, "Help", 89, 117, 66, 14},
    {1052, kStaticClass, "Volume:", 7, 52, 31, 8},
    {1053, kStaticClass, "Max", 218, 51, 16, 8},
    {1056, kButtonClass, "Close", 225, 63, 8, 14},
    {1059, kButtonClass, "Exit", 171, 117, 66, 14},
};

const ControlTemplate *FindControl(const DialogTemplate &d, int id) {
  for (const ControlTemplate &c : d.controls)
    if (c.id == id) return &c;
  return nullptr;
}

TEST(MainDialogTemplate, WindowAndControlsInTabOrder) {
  const DialogTemplate *d = FindDialogTemplate(IDD_CONVERTER_DIALOG);
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d->caption, "Quavix");
  EXPECT_STREQ(d->fontName, "MS Shell Dlg");
  EXPECT_EQ(d->cx, 244);
  EXPECT_EQ(d->cy, 158);
  const DWORD want = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME;
  EXPECT_EQ(d->style & want, want);
  EXPECT_EQ(d->style & WS_MAXIMIZEBOX, 0u) << "the window has no maximise box";
  EXPECT_EQ(d->style & WS_THICKFRAME, 0u);
  EXPECT_TRUE(d->exStyle & WS_EX_APPWINDOW);

  ASSERT_EQ(d->controls.size(), std::size(kMainControls));
  for (std::size_t i = 0; i < d->controls.size(); ++i) {
    const ControlTemplate &c = d->controls[i];
    const Expected &e = kMainControls[i];
    SCOPED_TRACE("control " + std::to_string(e.id));
    EXPECT_EQ(c.id, e.id);
    EXPECT_STREQ(c.className, e.cls);
    EXPECT_STREQ(c.text, e.text);
    EXPECT_EQ(c.x, e.x);
    EXPECT_EQ(c.y, e.y);
    EXPECT_EQ(c.cx, e.cx);
    EXPECT_EQ(c.cy, e.cy);
    EXPECT_EQ(c.style & (WS_VISIBLE | WS_DISABLED), 0u)
        << "hiding and disabling is the dialog's work at start-up";
  }
}

TEST(MainDialogTemplate, ControlStyles) {
  const DialogTemplate &d = *FindDialogTemplate(IDD_CONVERTER_DIALOG);
  for (const ControlTemplate &c : d.controls) {
    if (std::strcmp(c.className, kButtonClass) != 0) continue;
    SCOPED_TRACE(c.id);
    EXPECT_EQ(c.style & BS_TYPEMASK, BS_PUSHBUTTON) << "no button is the default";
    EXPECT_TRUE(c.style & WS_TABSTOP);
  }
  const ControlTemplate *edit = FindControl(d, IDC_OUTPUT_PATH);
  EXPECT_EQ(edit->style & (WS_BORDER | ES_AUTOHSCROLL), WS_BORDER | ES_AUTOHSCROLL);
  EXPECT_TRUE(FindControl(d, IDC_STATUS)->style & SS_SUNKEN);
  EXPECT_TRUE(FindControl(d, IDC_OUTPUT_LABEL)->style & SS_CENTERIMAGE);
  for (int id : {IDC_DEVICE_LIST, IDC_INPUT_LIST}) {
    const ControlTemplate *combo = FindControl(d, id);
    EXPECT_EQ(combo->style & 0x3, CBS_DROPDOWNLIST) << id;
    EXPECT_TRUE(combo->style & WS_VSCROLL) << id;
  }
  const ControlTemplate *slider = FindControl(d, IDC_VOLUME);
  EXPECT_EQ(slider->style & (TBS_BOTH | TBS_NOTICKS), TBS_BOTH | TBS_NOTICKS);
}

TEST(OtherTemplates, AboutBox) {
  const DialogTemplate *d = FindDialogTemplate(IDD_ABOUTBOX);
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d->caption, "About Quavix");
  EXPECT_STREQ(d->fontName, "MS Sans Serif");
  EXPECT_EQ(d->fontPointSize, 8);
  EXPECT_EQ(d->cx, 235);
  EXPECT_EQ(d->cy, 156);
  ASSERT_EQ(d->controls.size(), 8u);
  EXPECT_EQ(d->controls[0].style & 0xF, SS_ICON);
  EXPECT_STREQ(d->controls[0].text, "#103");
  EXPECT_STREQ(d->controls[1].text, "Quavix");
  EXPECT_STREQ(d->controls[2].text, "Version 1.0");
  const ControlTemplate &ok = d->controls[3];
  EXPECT_EQ(ok.id, IDOK);
  EXPECT_EQ(ok.style & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  EXPECT_EQ(ok.style & (WS_TABSTOP | WS_GROUP), WS_TABSTOP | WS_GROUP);
  EXPECT_EQ(d->controls[4].id, 1049);
  EXPECT_EQ(d->controls[5].id, 1050);
  EXPECT_EQ(d->controls[4].style & SS_NOTIFY, 0u) << "the address lines are plain text";
  EXPECT_EQ(d->controls[5].style & SS_NOTIFY, 0u);
  std::string notice = d->controls[7].text;
  for (const char *lib : {"Qt", "GStreamer", "PulseAudio", "FluidSynth"})
    EXPECT_NE(notice.find(lib), std::string::npos) << lib;
}

TEST(OtherTemplates, InputHintTextsAndMenuAndString) {
  const DialogTemplate *d = FindDialogTemplate(IDD_INPUT_HINT);
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d->caption, "How to select an input device");
  EXPECT_EQ(d->cx, 237);
  EXPECT_EQ(d->cy, 133);
  ASSERT_EQ(d->controls.size(), 5u);
  EXPECT_EQ(d->controls[0].id, IDOK);
  EXPECT_STREQ(d->controls[1].text,
               "If you want to convert MIDI to WMA file, please select an input device with "
               "\"Wave Out Mix\", which might appear as \"Stereo Mixer\", \"What U Hear\", "
               "\"Output\", \"Mixer\", \"Wave\".");
  EXPECT_EQ(d->controls[2].id, IDC_DONT_SHOW);
  EXPECT_EQ(d->controls[2].style & BS_TYPEMASK, BS_AUTOCHECKBOX);
  EXPECT_STREQ(d->controls[2].text, "Do not show the message in the future");
  EXPECT_STREQ(d->controls[3].text, "For more details, please read help.");
  EXPECT_STREQ(d->controls[4].text,
               "(When the program launches at the first time, it will select the item as "
               "possible as it can. If succeed, the list will hide. If not, it will show. "
               "please select the item manually.)");

  const MenuTemplate *m = FindMenuTemplate(IDR_PLAYER_MENU);
  ASSERT_NE(m, nullptr);
  EXPECT_STREQ(m->popupName, "PREVIEW");
  ASSERT_EQ(m->items.size(), 5u);
  EXPECT_STREQ(m->items[0].text, "Play");
  EXPECT_EQ(m->items[0].id, 32771u);
  EXPECT_STREQ(m->items[1].text, "pause");
  EXPECT_EQ(m->items[1].id, 32772u);
  EXPECT_STREQ(m->items[2].text, "Stop");
  EXPECT_EQ(m->items[2].id, 32773u);
  EXPECT_EQ(m->items[3].text, nullptr);
  EXPECT_EQ(m->items[3].id, 0u);
  EXPECT_STREQ(m->items[4].text, "Close");
  EXPECT_EQ(m->items[4].id, 32774u);

  EXPECT_STREQ(FindStringResource(IDS_ABOUTBOX), "&About Quavix");
  EXPECT_EQ(FindStringResource(102), nullptr);
  EXPECT_EQ(FindDialogTemplate(101), nullptr);
  EXPECT_EQ(FindMenuTemplate(144), nullptr);
}

TEST(OtherTemplates, IdsThatOtherLayersRelyOn) {
  EXPECT_EQ(IDM_ABOUTBOX & 0xF, 0) << "system commands keep their low four bits free";
  EXPECT_EQ(WM_PLAYER_TICK, 1027u);
  EXPECT_EQ(WM_GRAPHNOTIFY_PLAYER, 1037u);
  EXPECT_EQ(WM_CAPTURE_NOTIFY, 32769u);
  // Control ids of one dialog must be unique, or a lookup by id finds the wrong one.
  for (int id : {IDD_ABOUTBOX, IDD_CONVERTER_DIALOG, IDD_INPUT_HINT}) {
    std::set<int> seen;
    for (const ControlTemplate &c : FindDialogTemplate(id)->controls)
      if (c.id != -1) {
        EXPECT_TRUE(seen.insert(c.id).second) << "dialog " << id << " id " << c.id;
      }
  }
}

unsigned BigEndian32(const unsigned char *p) {
  return (unsigned(p[0]) << 24) | (unsigned(p[1]) << 16) | (unsigned(p[2]) << 8) | p[3];
}

TEST(IconResource, EmbeddedPngsHaveTheirSizes) {
  const std::vector<IconImage> *images = FindIconResource(IDI_QUAVIX);
  ASSERT_NE(images, nullptr);
  std::vector<int> sizes;
  for (const IconImage &img : *images) {
    sizes.push_back(img.size);
    ASSERT_GT(img.pngSize, 33u);
    EXPECT_EQ(std::memcmp(img.png, "\x89PNG\r\n\x1a\n", 8), 0) << img.size;
    EXPECT_EQ(std::memcmp(img.png + 12, "IHDR", 4), 0);
    EXPECT_EQ(BigEndian32(img.png + 16), unsigned(img.size)) << "width";
    EXPECT_EQ(BigEndian32(img.png + 20), unsigned(img.size)) << "height";
    EXPECT_EQ(img.png[25], 6) << "RGBA, so the tile's corners are transparent";
  }
  EXPECT_EQ(sizes, (std::vector<int>{16, 32, 48, 64, 128, 256}));
  EXPECT_EQ(FindIconImage(IDI_QUAVIX, 16)->size, 16);
  EXPECT_EQ(FindIconImage(IDI_QUAVIX, 20)->size, 32);
  EXPECT_EQ(FindIconImage(IDI_QUAVIX, 1000)->size, 256);
  EXPECT_EQ(FindIconResource(104), nullptr);
  EXPECT_EQ(FindIconImage(104, 32), nullptr);
}

TEST(ButtonFaceBitmap, GradientOutlineAndRoundCorners) {
  const BitmapResource *b = FindBitmapResource(IDB_BUTTON_FACE);
  ASSERT_NE(b, nullptr);
  ASSERT_EQ(b->width, 116);
  ASSERT_EQ(b->height, 21);
  EXPECT_EQ(b->bitsPerPixel, 24);
  const COLORREF outline = RGB(153, 153, 153);
  const int mid = b->width / 2;
  EXPECT_EQ(b->At(mid, 0), outline);
  EXPECT_EQ(b->At(mid, 20), outline);
  EXPECT_EQ(b->At(0, 10), outline);
  EXPECT_EQ(b->At(115, 10), outline);
  EXPECT_EQ(b->At(mid, 1), RGB(254, 254, 254));
  EXPECT_EQ(b->At(mid, 19), RGB(220, 220, 220));
  for (int y = 2; y <= 19; ++y) {
    COLORREF above = b->At(mid, y - 1), here = b->At(mid, y);
    EXPECT_LT(GetRValue(here), GetRValue(above)) << "row " << y;
    EXPECT_EQ(GetRValue(here), GetGValue(here));
    EXPECT_EQ(GetRValue(here), GetBValue(here));
    EXPECT_EQ(here, b->At(5, y)) << "rows are uniform across";
  }
  // Rounded corners: the corner pixel itself lies outside the outline.
  for (auto [x, y] : {std::pair{0, 0}, {115, 0}, {0, 20}, {115, 20}})
    EXPECT_NE(b->At(x, y), outline) << x << "," << y;
  EXPECT_EQ(FindBitmapResource(148), nullptr);
}

TEST(ButtonFaceBitmap, BmpFileMatchesPixels) {
  const BitmapResource &b = *FindBitmapResource(IDB_BUTTON_FACE);
  const std::vector<unsigned char> &f = b.bmpFile;
  auto le32 = [&](std::size_t at) {
    return unsigned(f[at]) | unsigned(f[at + 1]) << 8 | unsigned(f[at + 2]) << 16 | unsigned(f[at + 3]) << 24;
  };
  ASSERT_GE(f.size(), 54u);
  EXPECT_EQ(f[0], 'B');
  EXPECT_EQ(f[1], 'M');
  EXPECT_EQ(le32(2), f.size());
  EXPECT_EQ(le32(18), 116u);
  EXPECT_EQ(le32(22), 21u);
  EXPECT_EQ(f[28], 24);
  const std::size_t offset = le32(10), stride = 348;
  ASSERT_EQ(f.size(), offset + stride * 21);
  for (int y : {0, 1, 10, 20})
    for (int x : {0, 3, 58, 115}) {
      const unsigned char *p = &f[offset + stride * (20 - y) + 3 * x];  // bottom-up rows, BGR
      EXPECT_EQ(RGB(p[2], p[1], p[0]), b.At(x, y)) << x << "," << y;
    }
}

}  // namespace
