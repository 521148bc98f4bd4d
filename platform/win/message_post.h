// PostMessageA: safe from any thread (GStreamer and sound-server threads use
// it). The window layer installs the function that queues the message on the
// user-interface thread's event loop; code below the window layer (the media
// graph, the writer) only needs this header and the quavix_winbase library.
#pragma once

#include "platform/win/windef.h"

using MessagePoster = BOOL (*)(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Installs the poster and returns the previous one. Called once by the window
// layer at start-up; tests of lower layers install a recorder of their own.
MessagePoster SetMessagePoster(MessagePoster poster);

// Returns FALSE when no poster is installed or the window is null.
BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
