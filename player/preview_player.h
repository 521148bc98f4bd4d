// The preview player: plays one media file through a filter graph of its own.
// In a conversion run it is the half that makes the sound; the main dialog
// loads the opened song into it, the run calls Play and Stop, and when the
// song ends the player posts WM_COMMAND IDC_STOP to its owner.
//
// One player loads exactly one file in its life (created, loaded once,
// unloaded, destroyed). Everything runs on the user-interface thread; the
// graph reaches the player only through WM_GRAPHNOTIFY_PLAYER posted to the
// player window.
#pragma once

#include "platform/win/windef.h"

class IVideoWindow;
class IBasicVideo;
class IGraphBuilder;
class IMediaControl;
class IMediaEventEx;
class IBasicAudio;
class IMediaSeeking;

enum PlayerState { Stopped = 0, Paused = 1, Playing = 2, NoClip = 3 };

class CPreviewPlayer {
 public:
  CPreviewPlayer(HINSTANCE hInstance, HWND hwndOwner);
  // Releases nothing: the owner unloads the file first (DiscardPlayer).
  virtual ~CPreviewPlayer();

  CPreviewPlayer(const CPreviewPlayer &) = delete;
  CPreviewPlayer &operator=(const CPreviewPlayer &) = delete;

  // Builds the graph for m_szFile and leaves it stopped. 1 loaded, 0 failed
  // (after one message box; the player is then unloaded).
  int Load();
  void Play();
  void Pause();
  // Stops, rewinds to the start and cues the graph.
  void Stop();
  void Unload();
  // Drains the graph's events; the status of the last FreeEventParams.
  HRESULT OnGraphEvent();
  // Refreshes the positions and posts WM_PLAYER_TICK to the owner.
  HRESULT OnTick();

  // The player window (player_window.cpp).
  bool CreatePlayerWindow();
  void UpdateTitle();
  void DestroyPlayerWindow();
  // The video presentation and the popup menu (player_video.cpp).
  HRESULT InitVideoWindow(int nMultiplier, int nDivisor);
  void FitVideo();
  void ToggleFront();
  void ShowPlayerMenu(int x, int y);

  HWND m_hwndOwner;
  HINSTANCE m_hInstance;
  char m_szFile[MAX_PATH];
  int m_bAudioOnly;
  PlayerState m_state;
  IVideoWindow *pVW;
  int m_bWindowShown;
  IBasicVideo *pBV;
  IGraphBuilder *pGB;
  IMediaControl *pMC;
  IMediaEventEx *pME;
  IBasicAudio *pBA;
  IMediaSeeking *pMS;
  HWND m_hWnd;
  bool m_bWindowCreated;
  LONGLONG m_rtPosition;
  LONGLONG m_rtStop;

 private:
  HRESULT BuildGraph();
  // The steps of BuildGraph.
  HRESULT CreateGraph();
  HRESULT RenderSong();
  HRESULT QueryGraphInterfaces();
  void DecideAudioOnly();
  HRESULT NotifyPlayerWindow();
  HRESULT ShowVideoWindow();
  void HidePlayerWindow();
};

// The player window's procedure ("PreviewWindow" class).
LRESULT PlayerWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// A diagnostic in a modal box without owner, title "Message"; the text is
// formatted into 512 characters.
void ShowMessage(const char *pszFormat, ...);

// What a left click on a player window brings to the front next: 1 the
// player window, 0 the main dialog made topmost. Shared by every player.
extern int s_bRaisePlayerNext;
