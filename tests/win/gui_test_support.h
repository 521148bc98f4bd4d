// Helpers of the window-layer tests: waiting for events, finding the widget
// of a window, running code inside a modal dialog, and finding popup menus.
#pragma once

#include "platform/win/gui.h"

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QWidget>

#include <functional>

namespace guitest {

// The widget behind a window handle (the window layer's own lookup).
QWidget *Widget(HWND hwnd);

// Pumps events until pred holds or a generous limit passes (a missing event
// is a fault, not a slow machine); returns pred().
bool WaitFor(const std::function<bool()> &pred, int limitMs = 10000);

// Pumps events for a while (to see that something does NOT happen).
void Pump(int ms);

// Runs `body` once the next modal dialog is shown, inside its modal loop,
// through the test seam; restores the previous seam afterwards.
class OnModalShown {
 public:
  explicit OnModalShown(std::function<void(HWND dialog)> body);
  ~OnModalShown();
  bool Ran() const { return *ran_; }

 private:
  std::shared_ptr<bool> ran_ = std::make_shared<bool>(false);
  UiSeamHandler previous_;
};

// Waits for a popup menu to open and clicks the item with this text.
// Call from a single-shot timer before the menu opens.
void ClickMenuItemWhenShown(const QString &text, QStringList *seenItems = nullptr);

}  // namespace guitest
