#include "tests/win/gui_test_support.h"

#include "platform/win/window_internal.h"
#include "tests/support/test_main.h"

#include <QAction>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>

namespace guitest {

namespace {
// Windows of the window layer come and go in every test: the application
// must not quit when the last one closes, and what is left for deletion is
// deleted while the toolkit still exists.
void KeepRunningWithoutWindows() { QApplication::setQuitOnLastWindowClosed(false); }
void DeleteWhatWasLeft() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
[[maybe_unused]] const bool kSteps = quavix::test::BeforeTests(&KeepRunningWithoutWindows) &&
                                     quavix::test::AfterTests(&DeleteWhatWasLeft);
}  // namespace

QWidget *Widget(HWND hwnd) { return quavix::win::WidgetOf(hwnd); }

bool WaitFor(const std::function<bool()> &pred, int limitMs) {
  QElapsedTimer timer;
  timer.start();
  while (!pred()) {
    if (timer.elapsed() > limitMs) return pred();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QTest::qWait(5);
  }
  return true;
}

void Pump(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QTest::qWait(5);
  }
}

OnModalShown::OnModalShown(std::function<void(HWND)> body) {
  auto ran = ran_;
  previous_ = SetUiSeamForTest([ran, body](const UiRequest &request) -> UiAnswer {
    if (request.kind == UiRequestKind::ModalDialog && !*ran) {
      *ran = true;
      body(request.dialog);
    }
    return {};
  });
}

OnModalShown::~OnModalShown() { SetUiSeamForTest(previous_); }

void ClickMenuItemWhenShown(const QString &text, QStringList *seenItems) {
  QTimer::singleShot(10, [text, seenItems] {
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    if (menu == nullptr) {
      ClickMenuItemWhenShown(text, seenItems);
      return;
    }
    if (seenItems) {
      seenItems->clear();
      for (QAction *a : menu->actions())
        *seenItems << (a->isSeparator() ? QStringLiteral("-") : a->text());
    }
    for (QAction *a : menu->actions()) {
      if (a->text() == text) {
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
        return;
      }
    }
    menu->close();
  });
}

}  // namespace guitest
