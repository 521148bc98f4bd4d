// Types, media types and constants shared by the media graph interfaces.
#pragma once

#include "platform/com/com.h"

using OAHWND = LONG_PTR;
using OAEVENT = LONG_PTR;
using OAFilterState = long;
using OABool = long;
using REFTIME = double;
constexpr OABool OATRUE = -1;
constexpr OABool OAFALSE = 0;
constexpr DWORD INFINITE = 0xFFFFFFFFu;

enum FILTER_STATE : int { State_Stopped = 0, State_Paused = 1, State_Running = 2 };
enum PIN_DIRECTION : int { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

constexpr int MAX_PIN_NAME = 128;
constexpr int MAX_FILTER_NAME = 128;

class IBaseFilter;
class IFilterGraph;

// pFilter holds a reference the caller releases.
struct PIN_INFO {
  IBaseFilter *pFilter;
  PIN_DIRECTION dir;
  WCHAR achName[MAX_PIN_NAME];
};

// pGraph holds a reference (when not null) the caller releases.
struct FILTER_INFO {
  WCHAR achName[MAX_FILTER_NAME];
  IFilterGraph *pGraph;
};

struct AM_MEDIA_TYPE {
  GUID majortype;
  GUID subtype;
  BOOL bFixedSizeSamples;
  BOOL bTemporalCompression;
  ULONG lSampleSize;
  GUID formattype;
  IUnknown *pUnk;
  ULONG cbFormat;
  BYTE *pbFormat;  // CoTaskMemAlloc'd
};

struct WAVEFORMATEX {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;
};
constexpr WORD WAVE_FORMAT_PCM = 1;

// Media types: the graph matches pins by major type (and subtype when the
// receiving pin asks for one).
QX_DEFINE_GUID(MEDIATYPE_Audio, "73647561-0000-0010-8000-00aa00389b71");
QX_DEFINE_GUID(MEDIATYPE_Video, "73646976-0000-0010-8000-00aa00389b71");
QX_DEFINE_GUID(MEDIATYPE_Stream, "e436eb83-524f-11ce-9f53-0020af0ba770");
QX_DEFINE_GUID(MEDIATYPE_Midi, "7364696d-0000-0010-8000-00aa00389b71");
QX_DEFINE_GUID(MEDIASUBTYPE_PCM, "00000001-0000-0010-8000-00aa00389b71");
QX_DEFINE_GUID(MEDIASUBTYPE_WAVE, "e436eb8b-524f-11ce-9f53-0020af0ba770");
QX_DEFINE_GUID(MEDIASUBTYPE_Asf, "3db80f90-9412-11d1-aded-0000f8754b99");
QX_DEFINE_GUID(MEDIASUBTYPE_RGB32, "e436eb7e-524f-11ce-9f53-0020af0ba770");
QX_DEFINE_GUID(FORMAT_WaveFormatEx, "05589f81-c356-11ce-bf01-00aa0055595a");
QX_DEFINE_GUID(FORMAT_VideoInfo, "05589f80-c356-11ce-bf01-00aa0055595a");
QX_DEFINE_GUID(FORMAT_None, "0f6417d6-c318-11d0-a43f-00a0c9223196");

// Media type helpers (implemented in quavix_dshow_base).
void FreeMediaType(AM_MEDIA_TYPE &mt);  // frees format block and pUnk
HRESULT CopyMediaType(AM_MEDIA_TYPE *dst, const AM_MEDIA_TYPE *src);
void DeleteMediaType(AM_MEDIA_TYPE *pmt);  // Free + CoTaskMemFree(pmt)
// 44.1 kHz 16-bit stereo PCM unless told otherwise.
void InitAudioMediaType(AM_MEDIA_TYPE *mt, DWORD rate = 44100, WORD channels = 2, WORD bits = 16);

// Time formats of IMediaSeeking.
QX_DEFINE_GUID(TIME_FORMAT_NONE, "00000000-0000-0000-0000-000000000000");
QX_DEFINE_GUID(TIME_FORMAT_FRAME, "7b785570-8c82-11cf-bc0c-00aa00ac74f6");
QX_DEFINE_GUID(TIME_FORMAT_BYTE, "7b785571-8c82-11cf-bc0c-00aa00ac74f6");
QX_DEFINE_GUID(TIME_FORMAT_SAMPLE, "7b785572-8c82-11cf-bc0c-00aa00ac74f6");
QX_DEFINE_GUID(TIME_FORMAT_FIELD, "7b785573-8c82-11cf-bc0c-00aa00ac74f6");
QX_DEFINE_GUID(TIME_FORMAT_MEDIA_TIME, "7b785574-8c82-11cf-bc0c-00aa00ac74f6");

// IMediaSeeking::SetPositions flags
enum AM_SEEKING_SEEKING_FLAGS : DWORD {
  AM_SEEKING_NoPositioning = 0,
  AM_SEEKING_AbsolutePositioning = 0x1,
  AM_SEEKING_RelativePositioning = 0x2,
  AM_SEEKING_IncrementalPositioning = 0x3,
  AM_SEEKING_PositioningBitsMask = 0x3,
  AM_SEEKING_SeekToKeyFrame = 0x4,
  AM_SEEKING_ReturnTime = 0x8,
  AM_SEEKING_Segment = 0x10,
  AM_SEEKING_NoFlush = 0x20,
};
// IMediaSeeking::GetCapabilities bits
enum AM_SEEKING_SEEKING_CAPABILITIES : DWORD {
  AM_SEEKING_CanSeekAbsolute = 0x1,
  AM_SEEKING_CanSeekForwards = 0x2,
  AM_SEEKING_CanSeekBackwards = 0x4,
  AM_SEEKING_CanGetCurrentPos = 0x8,
  AM_SEEKING_CanGetStopPos = 0x10,
  AM_SEEKING_CanGetDuration = 0x20,
  AM_SEEKING_CanPlayBackwards = 0x40,
  AM_SEEKING_CanDoSegments = 0x80,
  AM_SEEKING_Source = 0x100,
};

// IFileSinkFilter2 modes
constexpr DWORD AM_FILE_OVERWRITE = 0x1;
