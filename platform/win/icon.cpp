// Icon handles name an icon resource or a standard icon; the pictures are
// decoded when they are drawn, at the size asked for.
#include "platform/win/icon.h"

#include "platform/win/paint_internal.h"
#include "platform/win/window.h"
#include "platform/win/window_internal.h"
#include "platform/win/images.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QStyle>

#include <map>

namespace quavix::win {
namespace {

constexpr std::uintptr_t kResourceIconBase = 0x7D000000;
constexpr std::uintptr_t kStandardIconBase = 0x7D100000;
constexpr std::uintptr_t kArrowCursor = 0x7D200000;
constexpr int kFirstStandardIcon = 32512;  // IDI_APPLICATION
constexpr int kLastStandardIcon = 32516;   // IDI_ASTERISK

bool ResourceIdOf(HICON icon, int *id) {
  auto v = reinterpret_cast<std::uintptr_t>(icon);
  if (v <= kResourceIconBase || v >= kResourceIconBase + 0x10000) return false;
  *id = static_cast<int>(v - kResourceIconBase);
  return true;
}

bool StandardIdOf(HICON icon, int *id) {
  auto v = reinterpret_cast<std::uintptr_t>(icon);
  if (v < kStandardIconBase + kFirstStandardIcon || v > kStandardIconBase + kLastStandardIcon)
    return false;
  *id = static_cast<int>(v - kStandardIconBase);
  return true;
}

QIcon StandardIcon(int id) {
  if (QApplication::instance() == nullptr) return {};
  QStyle::StandardPixmap which = QStyle::SP_DesktopIcon;
  switch (id) {
    case 32513: which = QStyle::SP_MessageBoxCritical; break;
    case 32514: which = QStyle::SP_MessageBoxQuestion; break;
    case 32515: which = QStyle::SP_MessageBoxWarning; break;
    case 32516: which = QStyle::SP_MessageBoxInformation; break;
    default: break;
  }
  return QApplication::style()->standardIcon(which);
}

}  // namespace

bool IconPixmap(HICON icon, int size, QPixmap *pixmap) {
  int id = 0;
  if (ResourceIdOf(icon, &id)) {
    const IconImage *image = FindIconImage(id, size);
    if (image == nullptr) return false;
    QPixmap p;
    if (!p.loadFromData(image->png, static_cast<uint>(image->pngSize), "PNG")) return false;
    if (p.width() != size || p.height() != size)
      p = p.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    *pixmap = p;
    return true;
  }
  if (StandardIdOf(icon, &id)) {
    QIcon i = StandardIcon(id);
    if (i.isNull()) return false;
    *pixmap = i.pixmap(size, size);
    return !pixmap->isNull();
  }
  return false;
}

QIcon IconFromHandle(HICON icon) {
  int id = 0;
  if (ResourceIdOf(icon, &id)) {
    // Decoded once and shared: every window of a class (a player window per
    // opened song) would otherwise hold its own 350 KB of pictures. Never
    // destroyed: pictures must not outlive the application object.
    static auto *decoded = new std::map<int, QIcon>;
    auto found = decoded->find(id);
    if (found != decoded->end()) return found->second;
    QIcon result;
    if (const auto *images = FindIconResource(id)) {
      for (const IconImage &image : *images) {
        QPixmap p;
        if (p.loadFromData(image.png, static_cast<uint>(image.pngSize), "PNG")) result.addPixmap(p);
      }
    }
    decoded->emplace(id, result);
    return result;
  }
  if (StandardIdOf(icon, &id)) return StandardIcon(id);
  return {};
}

}  // namespace quavix::win

using namespace quavix::win;

HICON LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName) {
  (void)hInstance;
  if (lpIconName == nullptr || !IS_INTRESOURCE(lpIconName)) return nullptr;
  auto id = static_cast<int>(reinterpret_cast<std::uintptr_t>(lpIconName));
  if (id >= kFirstStandardIcon && id <= kLastStandardIcon)
    return reinterpret_cast<HICON>(kStandardIconBase + static_cast<std::uintptr_t>(id));
  if (id <= 0 || FindIconResource(id) == nullptr) return nullptr;
  return reinterpret_cast<HICON>(kResourceIconBase + static_cast<std::uintptr_t>(id));
}

HCURSOR LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName) {
  (void)hInstance;
  if (lpCursorName == IDC_ARROW) return reinterpret_cast<HCURSOR>(kArrowCursor);
  return nullptr;
}

BOOL DrawIcon(HDC hdc, int x, int y, HICON hIcon) {
  QPainter *painter = PainterOf(hdc);
  if (painter == nullptr || !painter->isActive()) return FALSE;
  QPixmap pixmap;
  if (!IconPixmap(hIcon, GetSystemMetrics(SM_CXICON), &pixmap)) return FALSE;
  painter->drawPixmap(x, y, pixmap);
  return TRUE;
}

BOOL DestroyIcon(HICON hIcon) { return hIcon != nullptr ? TRUE : FALSE; }
