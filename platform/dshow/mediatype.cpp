#include <cstring>

#include "platform/dshow/dshow_types.h"

void FreeMediaType(AM_MEDIA_TYPE &mt) {
  if (mt.cbFormat != 0 || mt.pbFormat) {
    CoTaskMemFree(mt.pbFormat);
    mt.cbFormat = 0;
    mt.pbFormat = nullptr;
  }
  if (mt.pUnk) {
    mt.pUnk->Release();
    mt.pUnk = nullptr;
  }
}

HRESULT CopyMediaType(AM_MEDIA_TYPE *dst, const AM_MEDIA_TYPE *src) {
  if (!dst || !src) return E_POINTER;
  if (dst == src) return S_OK;
  *dst = *src;
  if (src->cbFormat != 0 && src->pbFormat) {
    dst->pbFormat = static_cast<BYTE *>(CoTaskMemAlloc(src->cbFormat));
    if (!dst->pbFormat) {
      dst->cbFormat = 0;
      dst->pUnk = nullptr;
      return E_OUTOFMEMORY;
    }
    std::memcpy(dst->pbFormat, src->pbFormat, src->cbFormat);
  } else {
    dst->cbFormat = 0;
    dst->pbFormat = nullptr;
  }
  if (dst->pUnk) dst->pUnk->AddRef();
  return S_OK;
}

void DeleteMediaType(AM_MEDIA_TYPE *pmt) {
  if (!pmt) return;
  FreeMediaType(*pmt);
  CoTaskMemFree(pmt);
}

void InitAudioMediaType(AM_MEDIA_TYPE *mt, DWORD rate, WORD channels, WORD bits) {
  if (!mt) return;
  std::memset(mt, 0, sizeof *mt);
  mt->majortype = MEDIATYPE_Audio;
  mt->subtype = MEDIASUBTYPE_PCM;
  mt->bFixedSizeSamples = TRUE;
  mt->formattype = FORMAT_WaveFormatEx;
  auto *wfx = static_cast<WAVEFORMATEX *>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
  if (!wfx) return;
  wfx->wFormatTag = WAVE_FORMAT_PCM;
  wfx->nChannels = channels;
  wfx->nSamplesPerSec = rate;
  wfx->wBitsPerSample = bits;
  wfx->nBlockAlign = static_cast<WORD>(channels * bits / 8);
  wfx->nAvgBytesPerSec = rate * wfx->nBlockAlign;
  wfx->cbSize = 0;
  mt->lSampleSize = wfx->nBlockAlign;
  mt->cbFormat = sizeof(WAVEFORMATEX);
  mt->pbFormat = reinterpret_cast<BYTE *>(wfx);
}
