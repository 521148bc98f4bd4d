#include "player/preview_player.h"

#include "platform/dshow/dshow.h"
#include "platform/win/gui.h"
#include "res/resource.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr LPCSTR kPlayerClass = "PreviewWindow";
constexpr UINT_PTR kTickTimer = 2;

CPreviewPlayer *PlayerOf(HWND hwnd) {
  return reinterpret_cast<CPreviewPlayer *>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

// Hands the message to the video renderer's window, if any, then to the
// default handling.
LRESULT Forward(CPreviewPlayer *player, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (player->pVW)
    player->pVW->NotifyOwnerMessage(reinterpret_cast<OAHWND>(hwnd), static_cast<long>(message),
                                    static_cast<LONG_PTR>(wParam), static_cast<LONG_PTR>(lParam));
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

void ShowMessage(const char *pszFormat, ...) {
  char szBuffer[512];
  va_list args;
  va_start(args, pszFormat);
  vsnprintf(szBuffer, sizeof szBuffer, pszFormat, args);
  va_end(args);
  MessageBoxA(nullptr, szBuffer, "Message", MB_OK);
}

bool CPreviewPlayer::CreatePlayerWindow() {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = PlayerWndProc;
  wc.hInstance = m_hInstance;
  wc.hIcon = LoadIconA(m_hInstance, MAKEINTRESOURCEA(IDI_QUAVIX));
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszClassName = kPlayerClass;
  // A second player finds the class declared already and uses it.
  RegisterClassExA(&wc);

  RECT rcWork{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &rcWork, 0);
  RECT rcOwner{};
  GetWindowRect(m_hwndOwner, &rcOwner);
  int h = rcOwner.top - rcWork.top - 5;
  RECT rc;
  rc.left = rcWork.left + 100;
  rc.top = rcWork.top + 5;
  rc.right = rcWork.left + (4 * h) / 3;
  rc.bottom = rcOwner.top;
  // A main dialog near the top of the screen leaves no room above it; the
  // window must still exist, since the song cannot play without it.
  int width = std::max(1, static_cast<int>(rc.right - rc.left));
  int height = std::max(1, static_cast<int>(rc.bottom - rc.top));

  HWND hwnd = CreateWindowExA(0, kPlayerClass, "Video Window",
                              WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, rc.left,
                              rc.top, width, height, nullptr, nullptr, m_hInstance, this);
  if (hwnd == nullptr) return false;
  SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  m_hWnd = hwnd;
  m_bWindowCreated = true;
  return true;
}

void CPreviewPlayer::UpdateTitle() {
  char szTitle[MAX_PATH];
  if (m_szFile[0] == 0) {
    strcpy(szTitle, "PREVIEW");
  } else {
    const char *pszSlash = strrchr(m_szFile, '/');
    const char *pszBack = strrchr(m_szFile, '\\');
    const char *pszLast = std::max(pszSlash, pszBack);
    char szName[MAX_PATH];
    snprintf(szName, sizeof szName, "%s", pszLast ? pszLast + 1 : m_szFile);
    // The title is held in MAX_PATH characters; a longer one is cut.
    std::string strTitle =
        std::string(szName) + " " + "" + " " + (m_state == Paused ? "(Paused)" : "");
    snprintf(szTitle, sizeof szTitle, "%s", strTitle.substr(0, MAX_PATH - 1).c_str());
  }
  SetWindowTextA(m_hWnd, szTitle);
}

void CPreviewPlayer::DestroyPlayerWindow() {
  if (pVW) {
    ShowWindow(m_hWnd, SW_HIDE);
    pVW->put_Visible(OAFALSE);
  }
  UpdateWindow(m_hwndOwner);
  HWND hwnd = m_hWnd;
  m_hWnd = nullptr;
  // Nothing from the window may reach a player that is going away.
  SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
  DestroyWindow(hwnd);
}

LRESULT PlayerWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CPreviewPlayer *player = PlayerOf(hwnd);
  if (player == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);

  switch (message) {
    case WM_MOVE:
    case WM_SIZE:
      if (player->m_bWindowShown == 1) {
        player->FitVideo();
        return 0;
      }
      return Forward(player, hwnd, message, wParam, lParam);
    case WM_CLOSE:
      // The owner's Close command discards the player, and the window with it.
      return PostMessageA(player->m_hwndOwner, WM_COMMAND, IDC_CLOSE_BTN, 0);
    case WM_KEYUP:
      if (wParam == VK_ESCAPE) return 0;
      return DefWindowProcA(hwnd, message, wParam, lParam);
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case ID_PLAYER_PLAY: player->Play(); break;
        case ID_PLAYER_PAUSE: player->Pause(); break;
        case ID_PLAYER_STOP: player->Stop(); break;
        case ID_PLAYER_CLOSE: SendMessageA(hwnd, WM_CLOSE, 0, 0); break;
        default: break;
      }
      return Forward(player, hwnd, message, wParam, lParam);
    case WM_TIMER:
      if (wParam == kTickTimer) return player->OnTick();
      return DefWindowProcA(hwnd, message, wParam, lParam);
    case WM_LBUTTONUP: player->ToggleFront(); return 0;
    case WM_RBUTTONUP: player->ShowPlayerMenu(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)); return 0;
    case WM_MOUSEMOVE:
    case WM_MBUTTONUP: return DefWindowProcA(hwnd, message, wParam, lParam);
    case WM_GRAPHNOTIFY_PLAYER:
      player->OnGraphEvent();
      // The events may have unloaded the player; only forward to a live one.
      if (PlayerOf(hwnd) != player) return DefWindowProcA(hwnd, message, wParam, lParam);
      return Forward(player, hwnd, message, wParam, lParam);
    default: return Forward(player, hwnd, message, wParam, lParam);
  }
}
