#include "controls/transparent_label.h"

#include <cstring>

namespace {

// Text taken from the control when it is bound, and one drawn line, are read
// through buffers of 256 bytes.
constexpr int kLineBuffer = 256;

int CountLines(const char *text) {
  int lines = 1;
  for (const char *p = text; *p != '\0'; ++p)
    if (*p == '\n') ++lines;
  return lines;
}

// The length of `text` cut to at most `limit` bytes without splitting a
// UTF-8 character.
std::size_t CutLength(const char *text, std::size_t length, std::size_t limit) {
  if (length <= limit) return length;
  std::size_t n = limit;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return n;
}

void CopyCut(char *dest, std::size_t destSize, const char *text) {
  std::size_t n = CutLength(text, std::strlen(text), destSize - 1);
  std::memcpy(dest, text, n);
  dest[n] = '\0';
}

// Perceived brightness below the middle: a dark desktop theme.
bool IsDark(COLORREF c) {
  return GetRValue(c) * 299 + GetGValue(c) * 587 + GetBValue(c) * 114 < 128 * 1000;
}

}  // namespace

CTransparentLabel::CTransparentLabel()
    : m_dwStyle(0),
      m_szText{},
      m_crDisabledText(RGB(0, 0, 0)),
      m_crText(RGB(0, 0, 0)),
      m_nLines(1) {}

CTransparentLabel::~CTransparentLabel() { DestroyWindow(); }

BEGIN_MESSAGE_MAP(CTransparentLabel, CStatic)
ON_WM_PAINT()
ON_MESSAGE(WM_SETTEXT, &CTransparentLabel::OnSetText)
END_MESSAGE_MAP()

void CTransparentLabel::PreSubclassWindow() {
  m_dwStyle = GetStyle();
  CStatic::PreSubclassWindow();
  char text[kLineBuffer] = "";
  GetWindowText(text, kLineBuffer);
  CopyCut(m_szText, sizeof m_szText, text);
  m_nLines = CountLines(m_szText);
}

LRESULT CTransparentLabel::OnSetText(WPARAM, LPARAM lParam) {
  const char *text = reinterpret_cast<const char *>(lParam);
  CopyCut(m_szText, sizeof m_szText, text ? text : "");
  m_nLines = CountLines(m_szText);

  // The parent paints what shows through the letters: the old text has to
  // go from there first. Its client coordinates come from the screen
  // rectangle, whatever frame the parent has.
  CWnd *parent = GetParent();
  if (parent != nullptr) {
    CRect rect;
    GetWindowRect(&rect);
    POINT topLeft{rect.left, rect.top};
    POINT bottomRight{rect.right, rect.bottom};
    parent->ScreenToClient(&topLeft);
    parent->ScreenToClient(&bottomRight);
    CRect area(topLeft.x, topLeft.y, bottomRight.x, bottomRight.y);
    parent->InvalidateRect(&area, TRUE);
  }
  return 0;
}

void CTransparentLabel::OnPaint() {
  CPaintDC dc(this);
  CRect client;
  GetClientRect(&client);
  const int width = client.Width();
  const int height = client.Height();

  // The top row and the left column are never painted.
  CRgn clip;
  clip.CreateRectRgn(1, 1, width, height);

  dc.SelectObject(reinterpret_cast<HGDIOBJ>(SendMessage(WM_GETFONT)));
  dc.SetBkMode(TRANSPARENT);
  dc.SelectClipRgn(&clip);

  const bool enabled = IsWindowEnabled() != FALSE;
  // The labels were made black for the light face of a dialog; the face
  // follows the desktop's palette, and on a dark one black letters vanish:
  // there they take the palette's own text colour.
  COLORREF crText = m_crText;
  COLORREF crDisabledText = m_crDisabledText;
  if (IsDark(GetSysColor(COLOR_BTNFACE))) crText = crDisabledText = GetSysColor(COLOR_BTNTEXT);
  const DWORD align = m_dwStyle & 0x3;
  const char *line = m_szText;
  int y = 0;
  for (int i = 0; i < m_nLines; ++i) {
    const char *end = std::strchr(line, '\n');
    std::size_t length = end ? static_cast<std::size_t>(end - line) : std::strlen(line);
    char buffer[kLineBuffer];
    std::size_t shown = CutLength(line, length, kLineBuffer - 1);
    std::memcpy(buffer, line, shown);
    buffer[shown] = '\0';
    const int count = static_cast<int>(shown);

    CSize extent = dc.GetTextExtent(buffer, count);
    int x = 2;
    if (align == SS_CENTER)
      x = (width - extent.cx) / 2;
    else if (align == SS_RIGHT)
      x = width - extent.cx - 2;

    if (!enabled) {
      dc.SetTextColor(crDisabledText);
      dc.TextOut(x + 1, y + 1, buffer, count);
    }
    dc.SetTextColor(crText);
    dc.TextOut(x, y, buffer, count);
    y += extent.cy + 1;

    if (end == nullptr) break;
    line = end + 1;
  }

  dc.SelectClipRgn(nullptr);
  clip.DeleteObject();
}
