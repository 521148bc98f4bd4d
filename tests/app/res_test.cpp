// The resources as the window layer and the rest of the program see them.
#include "platform/win/dialog_template.h"
#include "platform/win/images.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

// The tab order decides keyboard navigation and which control the dialog
// focuses first; other layers find controls by these ids.
const int kMainTabOrder[] = {1008, 1004, 1002, 1003, 1001, 1051, 1035, 1054, 1009, 1011,
                             1038, 1039, 1040, 1047, 1048, 1052, 1053, 1056, 1059};

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

  ASSERT_EQ(d->controls.size(), std::size(kMainTabOrder));
  for (std::size_t i = 0; i < d->controls.size(); ++i) {
    const ControlTemplate &c = d->controls[i];
    EXPECT_EQ(c.id, kMainTabOrder[i]) << "position " << i;
    EXPECT_EQ(c.style & (WS_VISIBLE | WS_DISABLED), 0u)
        << c.id << ": hiding and disabling is the dialog's work at start-up";
    // Every control lies inside the dialog (the two hidden 6- and 8-unit
    // buttons at the right edge included).
    EXPECT_LE(c.x + c.cx, d->cx + 1) << c.id;
    EXPECT_LE(c.y + c.cy, d->cy) << c.id;
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
  ASSERT_EQ(d->controls.size(), 8u);
  EXPECT_EQ(d->controls[0].style & 0xF, SS_ICON);
  EXPECT_STREQ(d->controls[0].text, "#103") << "the icon static names the program's icon";
  EXPECT_NE(FindIconResource(103), nullptr);
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
  ASSERT_EQ(d->controls.size(), 5u);
  EXPECT_EQ(d->controls[0].id, IDOK);
  EXPECT_EQ(d->controls[2].id, IDC_DONT_SHOW);
  EXPECT_EQ(d->controls[2].style & BS_TYPEMASK, BS_AUTOCHECKBOX);
  EXPECT_STREQ(d->controls[2].text, "Do not show the message in the future");
  EXPECT_EQ(d->controls[0].style & BS_TYPEMASK, BS_DEFPUSHBUTTON) << "Enter is OK";

  const MenuTemplate *m = FindMenuTemplate(IDR_PLAYER_MENU);
  ASSERT_NE(m, nullptr);
  EXPECT_STREQ(m->popupName, "PREVIEW");
  ASSERT_EQ(m->items.size(), 5u);
  const UINT ids[] = {ID_PLAYER_PLAY, ID_PLAYER_PAUSE, ID_PLAYER_STOP, 0, ID_PLAYER_CLOSE};
  for (std::size_t i = 0; i < m->items.size(); ++i) {
    EXPECT_EQ(m->items[i].id, ids[i]) << i;
    EXPECT_EQ(m->items[i].text == nullptr, ids[i] == 0) << "only the separator has no text";
  }

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
    return unsigned(f[at]) | unsigned(f[at + 1]) << 8 | unsigned(f[at + 2]) << 16 |
           unsigned(f[at + 3]) << 24;
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
