#include "player/preview_player.h"

#include "platform/dshow/dshow.h"
#include "platform/win/gui.h"
#include "res/resource.h"

#include <cstdint>

int s_bRaisePlayerNext = 1;

HRESULT CPreviewPlayer::InitVideoWindow(int nMultiplier, int nDivisor) {
  if (pBV == nullptr) return 0;
  long lWidth = 0, lHeight = 0;
  if (FAILED(pBV->GetVideoSize(&lWidth, &lHeight))) return 0;
  if (nDivisor == 0) return E_INVALIDARG;
  lWidth = lWidth * nMultiplier / nDivisor;
  lHeight = lHeight * nMultiplier / nDivisor;
  int cx = static_cast<int>(lWidth) + 2 * GetSystemMetrics(SM_CXFRAME);
  int cy =
      static_cast<int>(lHeight) + GetSystemMetrics(SM_CYCAPTION) + 2 * GetSystemMetrics(SM_CYFRAME);
  SetWindowPos(m_hWnd, nullptr, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOOWNERZORDER);
  RECT rect{};
  GetClientRect(m_hWnd, &rect);
  HRESULT hr = pVW->SetWindowPosition(rect.left, rect.top, rect.right, rect.bottom);
  if (FAILED(hr))
    ShowMessage("FAILED(hr=0x%x) in placing the video in the player window\n",
                static_cast<unsigned>(static_cast<uint32_t>(hr)));
  return hr;
}

void CPreviewPlayer::FitVideo() {
  if (pVW == nullptr) return;
  RECT rect{};
  GetClientRect(m_hWnd, &rect);
  pVW->SetWindowPosition(0, 0, rect.right, rect.bottom);
}

void CPreviewPlayer::ToggleFront() {
  if (pVW == nullptr) return;
  constexpr UINT kFlags = SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE;
  if (s_bRaisePlayerNext == 1) {
    SetWindowPos(m_hwndOwner, HWND_NOTOPMOST, 0, 0, 0, 0, kFlags);
    SetWindowPos(m_hWnd, HWND_TOP, 0, 0, 0, 0, kFlags);
  } else {
    // In front, not always on top: a main window left topmost stayed over
    // every other program for the rest of the session.
    SetWindowPos(m_hwndOwner, HWND_TOP, 0, 0, 0, 0, kFlags);
  }
  s_bRaisePlayerNext = s_bRaisePlayerNext == 1 ? 0 : 1;
}

void CPreviewPlayer::ShowPlayerMenu(int x, int y) {
  HMENU hMenu = LoadMenuA(m_hInstance, MAKEINTRESOURCEA(IDR_PLAYER_MENU));
  if (hMenu == nullptr) {
    MessageBoxA(nullptr, "error", "error", MB_OK);
    return;
  }
  HMENU hPopup = GetSubMenu(hMenu, 0);
  if (hPopup) {
    switch (m_state) {
      case Stopped:
        EnableMenuItem(hPopup, ID_PLAYER_PAUSE, MF_BYCOMMAND | MF_GRAYED);
        EnableMenuItem(hPopup, ID_PLAYER_STOP, MF_BYCOMMAND | MF_GRAYED);
        break;
      case Paused: EnableMenuItem(hPopup, ID_PLAYER_PAUSE, MF_BYCOMMAND | MF_GRAYED); break;
      case Playing: EnableMenuItem(hPopup, ID_PLAYER_PLAY, MF_BYCOMMAND | MF_GRAYED); break;
      default: break;
    }
    POINT pt{x, y};
    ClientToScreen(m_hWnd, &pt);
    TrackPopupMenu(hPopup, 0, pt.x, pt.y, 0, m_hWnd, nullptr);
  }
  DestroyMenu(hMenu);
}
