#include "platform/win/message_post.h"

#include <atomic>

namespace {
std::atomic<MessagePoster> g_poster{nullptr};
}

MessagePoster SetMessagePoster(MessagePoster poster) { return g_poster.exchange(poster); }

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  MessagePoster poster = g_poster.load();
  if (poster == nullptr || hwnd == nullptr) return FALSE;
  return poster(hwnd, msg, wParam, lParam);
}
