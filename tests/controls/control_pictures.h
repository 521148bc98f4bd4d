// A dialog of the test's own, made from a template with the real window
// layer, whose controls the test binds to the owner-drawn classes, and the
// pictures of its controls as the toolkit renders them.
#pragma once

#include "platform/afx/afxwin.h"
#include "platform/win/dialog_template.h"

#include <QImage>

#include <vector>

// Publishes the button faces as the application object does at start-up
// (two separate bitmaps of resource 147), once per process.
void PublishButtonFaces();

class TestDialog {
 public:
  // The dialog's messages go to `host` (a plain window object when null).
  explicit TestDialog(std::vector<ControlTemplate> controls, short cx = 200, short cy = 120,
                      CWnd *host = nullptr);
  ~TestDialog();
  TestDialog(const TestDialog &) = delete;
  TestDialog &operator=(const TestDialog &) = delete;

  HWND Item(int id) const { return ::GetDlgItem(host_->m_hWnd, id); }
  // Binds the member to control id, as a dialog's DoDataExchange does.
  bool Bind(int id, CWnd &control);
  HWND Hwnd() const { return host_->m_hWnd; }

 private:
  DialogTemplate template_;
  CWnd ownHost_;
  CWnd *host_;
};

// The control as it shows on screen now: its own painting over its parent's.
QImage Picture(HWND control);
// The rectangle of pixels of `image` that differ from `ground` by more than
// `tolerance` in any channel.
QRect InkBox(const QImage &image, QRgb ground, int tolerance = 40);
// Whether image a at (x, y) equals image b at (x + dx, y + dy) for every
// pixel of `area` (in a's coordinates).
bool SameShifted(const QImage &a, const QImage &b, const QRect &area, int dx, int dy);
