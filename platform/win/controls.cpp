// The standard controls as toolkit widgets: push buttons and check boxes
// (BUTTON), edit boxes (EDIT), static texts and icons (STATIC), drop-down
// lists (COMBOBOX) and sliders (msctls_trackbar32). Each has its class's
// window procedure for the control messages, and reports the user's actions
// to its parent as the notifications the program handles.
#include "platform/win/gdi.h"
#include "platform/win/icon.h"
#include "platform/win/messages.h"
#include "platform/win/window.h"
#include "platform/win/window_internal.h"
#include "platform/win/paint_internal.h"

#include <QCheckBox>
#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>

#include <algorithm>
#include <cstring>

namespace quavix::win {

namespace {

void NotifyCommand(HWND hwnd, WORD code) {
  Window *w = FindWindowObject(hwnd);
  if (w == nullptr || !w->IsChild()) return;
  ToolkitCallScope scope;
  SendMessageA(w->parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(w->id), code),
               reinterpret_cast<LPARAM>(hwnd));
}

void NotifyParent(HWND hwnd, int code) {
  Window *w = FindWindowObject(hwnd);
  if (w == nullptr || !w->IsChild()) return;
  ToolkitCallScope scope;
  NMHDR header{hwnd, static_cast<UINT_PTR>(w->id), code};
  SendMessageA(w->parent, WM_NOTIFY, static_cast<WPARAM>(w->id), reinterpret_cast<LPARAM>(&header));
}

DWORD StyleOf(HWND hwnd) {
  Window *w = FindWindowObject(hwnd);
  return w ? w->style : 0;
}

// Owner drawing: the parent draws the control in WM_DRAWITEM on a device
// context that paints on the control's widget.
void OwnerDraw(HWND hwnd, QWidget *widget, UINT ctlType, UINT state) {
  Window *w = FindWindowObject(hwnd);
  if (w == nullptr || !w->IsChild()) return;
  HDC dc = CreateWidgetDc(hwnd, widget);
  DRAWITEMSTRUCT dis{};
  dis.CtlType = ctlType;
  dis.CtlID = static_cast<UINT>(w->id);
  dis.itemAction = ODA_DRAWENTIRE;
  dis.itemState = state;
  dis.hwndItem = hwnd;
  dis.hDC = dc;
  dis.rcItem = RECT{0, 0, widget->width(), widget->height()};
  SendMessageA(w->parent, WM_DRAWITEM, static_cast<WPARAM>(w->id), reinterpret_cast<LPARAM>(&dis));
  ReleaseWidgetDc(dc);
}

UINT ButtonDrawState(QAbstractButton *b) {
  UINT state = 0;
  if (b->isDown()) state |= ODS_SELECTED;
  if (!b->isEnabled()) state |= ODS_DISABLED;
  if (b->hasFocus()) state |= ODS_FOCUS;
  if (b->isChecked()) state |= ODS_CHECKED;
  return state;
}

bool IsOwnerDrawButton(HWND hwnd) { return (StyleOf(hwnd) & BS_TYPEMASK) == BS_OWNERDRAW; }

// What a push button and a check box share: a click is BN_CLICKED to the
// parent, and an owner-drawn one is painted by the parent (WM_DRAWITEM).
template <class QtButton>
class Button : public QtButton, public WindowWidget {
 public:
  Button(HWND hwnd, QWidget *parent) : QtButton(parent), WindowWidget(hwnd) {
    QObject::connect(this, &QAbstractButton::clicked, this,
                     [hwnd] { NotifyCommand(hwnd, BN_CLICKED); });
  }
  QWidget *Widget() override { return this; }
  void PaintDefault(QPaintEvent *event) override {
    if (IsOwnerDrawButton(hwnd_))
      OwnerDraw(hwnd_, this, ODT_BUTTON, ButtonDrawState(this));
    else
      QtButton::paintEvent(event);
  }
  void ShowText(const std::string &text) override { this->setText(ToQ(text)); }

 protected:
  void paintEvent(QPaintEvent *event) override { DispatchPaint(this, event); }
};

class PushButton : public Button<QPushButton> {
 public:
  PushButton(HWND hwnd, DWORD style, QWidget *parent) : Button(hwnd, parent) {
    setAutoDefault(false);
    setDefault((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON);
  }
};

class CheckBox : public Button<QCheckBox> {
 public:
  CheckBox(HWND hwnd, QWidget *parent) : Button(hwnd, parent) {}

 protected:
  // A click anywhere on the control toggles it, as on Windows, not only on
  // the box and its text.
  bool hitButton(const QPoint &pos) const override { return rect().contains(pos); }
};

class Edit : public QLineEdit, public WindowWidget {
 public:
  Edit(HWND hwnd, DWORD style, DWORD exStyle, QWidget *parent)
      : QLineEdit(parent), WindowWidget(hwnd) {
    setFrame((style & WS_BORDER) || (exStyle & WS_EX_CLIENTEDGE));
    setReadOnly(style & ES_READONLY);
    if (style & ES_PASSWORD) setEchoMode(QLineEdit::Password);
    if (style & ES_CENTER) setAlignment(Qt::AlignCenter);
    if (style & ES_RIGHT) setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QObject::connect(this, &QLineEdit::textChanged, this,
                     [hwnd] { NotifyCommand(hwnd, EN_CHANGE); });
  }
  QWidget *Widget() override { return this; }
  void PaintDefault(QPaintEvent *event) override { QLineEdit::paintEvent(event); }
  bool ReadText(std::string *text) override {
    *text = FromQ(this->text());
    return true;
  }
  void ShowText(const std::string &text) override { setText(ToQ(text)); }

 protected:
  void paintEvent(QPaintEvent *event) override { DispatchPaint(this, event); }
};

class Label : public QLabel, public WindowWidget {
 public:
  Label(HWND hwnd, DWORD style, QWidget *parent)
      : QLabel(parent), WindowWidget(hwnd), style_(style) {
    setTextFormat(Qt::PlainText);
    Qt::Alignment align = Qt::AlignLeft;
    switch (style & SS_TYPEMASK) {
      case SS_CENTER: align = Qt::AlignHCenter; break;
      case SS_RIGHT: align = Qt::AlignRight; break;
      case SS_ICON: align = Qt::AlignLeft; break;
      default: break;
    }
    align |= (style & SS_CENTERIMAGE) ? Qt::AlignVCenter : Qt::AlignTop;
    setAlignment(align);
    const DWORD kind = style & SS_TYPEMASK;
    setWordWrap(kind == SS_LEFT || kind == SS_CENTER || kind == SS_RIGHT);
    if (style & SS_SUNKEN) setFrameStyle(QFrame::Panel | QFrame::Sunken);
  }
  QWidget *Widget() override { return this; }
  void PaintDefault(QPaintEvent *event) override {
    if ((StyleOf(hwnd_) & SS_TYPEMASK) == SS_OWNERDRAW) {
      OwnerDraw(hwnd_, this, ODT_STATIC, isEnabled() ? 0 : ODS_DISABLED);
      return;
    }
    QLabel::paintEvent(event);
  }
  void ShowText(const std::string &text) override {
    if ((style_ & SS_TYPEMASK) == SS_ICON) {
      ShowIcon(text);
      return;
    }
    QString shown = (style_ & SS_NOPREFIX) ? ToQ(text) : StripMnemonic(ToQ(text));
    setText(shown);
    // Keeps the name true also when a window procedure paints the text itself.
    setAccessibleName(shown);
  }

 protected:
  void paintEvent(QPaintEvent *event) override { DispatchPaint(this, event); }

 private:
  // An icon static's text names the icon resource: "#103".
  void ShowIcon(const std::string &text) {
    if (text.size() < 2 || text[0] != '#') return;
    int id = std::atoi(text.c_str() + 1);
    if (id <= 0 || id > 0xFFFF) return;
    HICON icon = LoadIconA(nullptr, MAKEINTRESOURCEA(static_cast<WORD>(id)));
    QPixmap pixmap;
    int size = GetSystemMetrics(SM_CXICON);
    if (icon && IconPixmap(icon, size, &pixmap)) {
      setPixmap(pixmap);
      resize(size, size);
    }
  }

  DWORD style_;
};

class ComboBox : public QComboBox, public WindowWidget {
 public:
  ComboBox(HWND hwnd, QWidget *parent) : QComboBox(parent), WindowWidget(hwnd) {
    setEditable(false);
    // activated comes only from the user (mouse, keys, wheel); selections
    // made by the program (CB_SETCURSEL) do not notify.
    QObject::connect(this, &QComboBox::activated, this,
                     [hwnd](int) { NotifyCommand(hwnd, CBN_SELCHANGE); });
  }
  QWidget *Widget() override { return this; }
  void PaintDefault(QPaintEvent *event) override { QComboBox::paintEvent(event); }
  bool ReadText(std::string *text) override {
    *text = FromQ(currentText());
    return true;
  }
  void ShowText(const std::string &text) override {
    if (text.empty()) return;
    int index = findText(ToQ(text), Qt::MatchFixedString);
    if (index >= 0) setCurrentIndex(index);
  }

 protected:
  void paintEvent(QPaintEvent *event) override { DispatchPaint(this, event); }
};

class Trackbar : public QSlider, public WindowWidget {
 public:
  Trackbar(HWND hwnd, DWORD style, QWidget *parent)
      : QSlider((style & TBS_VERT) ? Qt::Vertical : Qt::Horizontal, parent), WindowWidget(hwnd) {
    setRange(0, 100);
    setPageStep(20);
    setSingleStep(1);
    if (style & TBS_NOTICKS)
      setTickPosition(QSlider::NoTicks);
    else
      setTickPosition((style & TBS_BOTH) ? QSlider::TicksBothSides : QSlider::TicksBelow);
  }
  QWidget *Widget() override { return this; }
  void PaintDefault(QPaintEvent *event) override { QSlider::paintEvent(event); }

  bool explicitPageSize = false;

 protected:
  void paintEvent(QPaintEvent *event) override { DispatchPaint(this, event); }
  void mousePressEvent(QMouseEvent *event) override {
    if (event->button() == Qt::LeftButton) tracking_ = true;
    QSlider::mousePressEvent(event);
  }
  void mouseReleaseEvent(QMouseEvent *event) override {
    QSlider::mouseReleaseEvent(event);
    // The thumb let go after a drag or a click: the parent hears of it once.
    if (event->button() == Qt::LeftButton && tracking_) {
      tracking_ = false;
      NotifyParent(hwnd_, NM_RELEASEDCAPTURE);
    }
  }

 private:
  bool tracking_ = false;
};

template <typename T>
T *ControlWidget(HWND hwnd) {
  return dynamic_cast<T *>(WidgetOf(hwnd));
}

LRESULT ButtonWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto *button = ControlWidget<QAbstractButton>(hwnd);
  if (button == nullptr) return DefWindowProcA(hwnd, msg, wParam, lParam);
  const bool checkable = dynamic_cast<QCheckBox *>(button) != nullptr;
  switch (msg) {
    case BM_GETCHECK: return (checkable && button->isChecked()) ? BST_CHECKED : BST_UNCHECKED;
    case BM_SETCHECK:
      if (checkable) button->setChecked(wParam == static_cast<WPARAM>(BST_CHECKED));
      return 0;
    case BM_GETSTATE: {
      LRESULT state = 0;
      if (checkable && button->isChecked()) state |= BST_CHECKED;
      if (button->isDown()) state |= BST_PUSHED;
      if (button->hasFocus()) state |= BST_FOCUS;
      return state;
    }
    case BM_SETSTATE: button->setDown(wParam != 0); return 0;
    case BM_CLICK: button->click(); return 0;
    case BM_SETSTYLE: {
      if (Window *w = FindWindowObject(hwnd)) {
        w->style = (w->style & ~0xFFFFu) | (static_cast<DWORD>(wParam) & 0xFFFFu);
        if (auto *push = dynamic_cast<QPushButton *>(button))
          push->setDefault((w->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON);
        if (lParam) button->update();
      }
      return 0;
    }
    default: return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

LRESULT StaticWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT EditWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT ComboBoxWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto *combo = ControlWidget<QComboBox>(hwnd);
  if (combo == nullptr) return DefWindowProcA(hwnd, msg, wParam, lParam);
  const int count = combo->count();
  const auto index = static_cast<int>(static_cast<std::intptr_t>(wParam));
  const bool valid = index >= 0 && index < count;
  switch (msg) {
    case CB_ADDSTRING: combo->addItem(ToQ(reinterpret_cast<const char *>(lParam))); return count;
    case CB_INSERTSTRING: {
      int at = (index < 0 || index > count) ? count : index;
      combo->insertItem(at, ToQ(reinterpret_cast<const char *>(lParam)));
      return at;
    }
    case CB_DELETESTRING:
      if (!valid) return CB_ERR;
      combo->removeItem(index);
      return combo->count();
    case CB_RESETCONTENT: combo->clear(); return 0;
    case CB_GETCOUNT: return count;
    case CB_GETCURSEL: return combo->currentIndex() < 0 ? CB_ERR : combo->currentIndex();
    case CB_SETCURSEL:
      if (!valid) {
        combo->setCurrentIndex(-1);
        return CB_ERR;
      }
      combo->setCurrentIndex(index);
      return index;
    case CB_GETLBTEXTLEN:
      return valid ? static_cast<LRESULT>(FromQ(combo->itemText(index)).size()) : CB_ERR;
    case CB_GETLBTEXT: {
      if (!valid || lParam == 0) return CB_ERR;
      std::string text = FromQ(combo->itemText(index));
      std::memcpy(reinterpret_cast<char *>(lParam), text.c_str(), text.size() + 1);
      return static_cast<LRESULT>(text.size());
    }
    case CB_SETITEMDATA:
      if (!valid) return CB_ERR;
      combo->setItemData(index, QVariant::fromValue<qlonglong>(static_cast<qlonglong>(lParam)));
      return 0;
    case CB_GETITEMDATA:
      if (!valid) return CB_ERR;
      return static_cast<LRESULT>(combo->itemData(index).toLongLong());
    case CB_FINDSTRINGEXACT: {
      int start = (index < 0 || index >= count) ? 0 : index + 1;
      QString wanted = ToQ(reinterpret_cast<const char *>(lParam));
      for (int i = 0; i < count; ++i) {
        int at = (start + i) % count;
        if (combo->itemText(at).compare(wanted, Qt::CaseInsensitive) == 0) return at;
      }
      return CB_ERR;
    }
    case CB_SHOWDROPDOWN:
      if (wParam)
        combo->showPopup();
      else
        combo->hidePopup();
      return TRUE;
    case CB_GETDROPPEDSTATE: return combo->view() && combo->view()->isVisible() ? TRUE : FALSE;
    default: return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

void DefaultPageSize(Trackbar *slider) {
  if (!slider->explicitPageSize)
    slider->setPageStep(std::max(1, (slider->maximum() - slider->minimum()) / 5));
}

LRESULT TrackbarWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto *slider = ControlWidget<Trackbar>(hwnd);
  if (slider == nullptr) return DefWindowProcA(hwnd, msg, wParam, lParam);
  switch (msg) {
    case TBM_GETPOS: return slider->value();
    case TBM_GETRANGEMIN: return slider->minimum();
    case TBM_GETRANGEMAX: return slider->maximum();
    case TBM_SETPOS: slider->setValue(static_cast<int>(lParam)); return 0;
    case TBM_SETRANGE:
      slider->setRange(static_cast<SHORT>(LOWORD(static_cast<DWORD_PTR>(lParam))),
                       static_cast<SHORT>(HIWORD(static_cast<DWORD_PTR>(lParam))));
      DefaultPageSize(slider);
      return 0;
    case TBM_SETRANGEMIN:
      slider->setMinimum(static_cast<int>(lParam));
      DefaultPageSize(slider);
      return 0;
    case TBM_SETRANGEMAX:
      slider->setMaximum(static_cast<int>(lParam));
      DefaultPageSize(slider);
      return 0;
    case TBM_SETPAGESIZE: {
      int previous = slider->pageStep();
      slider->setPageStep(static_cast<int>(lParam));
      slider->explicitPageSize = true;
      return previous;
    }
    case TBM_GETPAGESIZE: return slider->pageStep();
    default: return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

}  // namespace

WNDPROC ControlClassProc(const std::string &classLower) {
  if (classLower == "button") return &ButtonWndProc;
  if (classLower == "edit") return &EditWndProc;
  if (classLower == "static") return &StaticWndProc;
  if (classLower == "combobox") return &ComboBoxWndProc;
  if (classLower == "msctls_trackbar32") return &TrackbarWndProc;
  return nullptr;
}

QWidget *CreateControlWidget(const std::string &classLower, HWND hwnd, DWORD style,
                             QWidget *parent) {
  Window *w = FindWindowObject(hwnd);
  const DWORD exStyle = w ? w->exStyle : 0;
  QWidget *widget = nullptr;
  if (classLower == "button") {
    DWORD kind = style & BS_TYPEMASK;
    if (kind == BS_CHECKBOX || kind == BS_AUTOCHECKBOX || kind == BS_3STATE ||
        kind == BS_AUTO3STATE)
      widget = new CheckBox(hwnd, parent);
    else
      widget = new PushButton(hwnd, style, parent);
  } else if (classLower == "edit") {
    widget = new Edit(hwnd, style, exStyle, parent);
  } else if (classLower == "static") {
    widget = new Label(hwnd, style, parent);
  } else if (classLower == "combobox") {
    widget = new ComboBox(hwnd, parent);
  } else if (classLower == "msctls_trackbar32") {
    widget = new Trackbar(hwnd, style, parent);
  }
  if (widget != nullptr) {
    // Tab order follows creation order; only tab stops take the focus by Tab.
    if (widget->focusPolicy() != Qt::NoFocus)
      widget->setFocusPolicy((style & WS_TABSTOP) ? Qt::StrongFocus : Qt::ClickFocus);
  }
  return widget;
}

}  // namespace quavix::win
