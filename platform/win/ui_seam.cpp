#include "platform/win/ui_seam.h"

#include <utility>

namespace {
UiSeamHandler &Handler() {
  static UiSeamHandler handler;
  return handler;
}
}  // namespace

UiSeamHandler SetUiSeamForTest(UiSeamHandler handler) {
  return std::exchange(Handler(), std::move(handler));
}

bool HasUiSeamHandler() { return static_cast<bool>(Handler()); }

bool AnswerThroughUiSeam(const UiRequest &request, UiAnswer *answer) {
  // A copy, so the handler may replace itself while it answers.
  UiSeamHandler handler = Handler();
  if (!handler) return false;
  UiAnswer result = handler(request);
  if (answer) *answer = std::move(result);
  return true;
}
