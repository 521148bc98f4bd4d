#include "writer/wav_dest_filter.h"

#include <gst/gst.h>

#include <cerrno>
#include <new>

#include "platform/com/olestr.h"
#include "platform/dshow/uuids.h"
#include "writer/encoder_bin.h"

namespace quavix::writer {
namespace {

HRESULT HresultFromErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR: return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ELOOP: return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    case ENAMETOOLONG: return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    default: return E_FAIL;
  }
}

}  // namespace

CWavDestFilter::CWavDestFilter() : CBaseFilter(CLSID_WavDestWriter) {
  AM_MEDIA_TYPE in{};
  in.majortype = MEDIATYPE_Audio;  // any audio: the bin converts what it gets
  AddPin(std::make_unique<CBasePin>(this, PINDIR_INPUT, kInputPinName, in));
  AM_MEDIA_TYPE out{};
  out.majortype = MEDIATYPE_Stream;
  out.subtype = MEDIASUBTYPE_WAVE;
  AddPin(std::make_unique<CBasePin>(this, PINDIR_OUTPUT, kOutputPinName, out));
}

HRESULT CWavDestFilter::QueryFilterInterface(REFIID riid, void **ppv) {
  if (riid == IID_IFileSinkFilter) {
    *ppv = static_cast<IFileSinkFilter *>(this);
    AddRef();
    return S_OK;
  }
  return CBaseFilter::QueryFilterInterface(riid, ppv);
}

HRESULT CWavDestFilter::SetFileName(LPCOLESTR pszFileName, const AM_MEDIA_TYPE *) {
  if (!pszFileName) return E_POINTER;
  if (!pszFileName[0]) return E_INVALIDARG;
  if (State() != State_Stopped) return VFW_E_WRONG_STATE;
  m_fileName = Utf16ToUtf8(pszFileName);
  return S_OK;
}

HRESULT CWavDestFilter::GetCurFile(LPOLESTR *ppszFileName, AM_MEDIA_TYPE *pmt) {
  if (!ppszFileName) return E_POINTER;
  *ppszFileName = nullptr;
  if (pmt) *pmt = AM_MEDIA_TYPE{};
  const std::string &name = m_fileName.empty() ? m_handOff.outputPath : m_fileName;
  if (name.empty()) return E_FAIL;
  *ppszFileName = CoTaskMemDupWide(Utf8ToUtf16(name));
  return *ppszFileName ? S_OK : E_OUTOFMEMORY;
}

GstElement *CWavDestFilter::CreateElement() {
  if (!gst_is_initialized()) gst_init(nullptr, nullptr);
  // An unnamed bin: GStreamer makes the name unique within the pipeline.
  return CreateEncoderBin(nullptr, Pin(0)->PadName().c_str(), Pin(1)->PadName().c_str());
}

HRESULT CWavDestFilter::Fail(const char *path, int err, HRESULT hr) {
  // In a graph the bus carries the error to the program; alone, the log does.
  if (GstElement *bin = Element())
    PostOutputFileError(bin, path, err);
  else
    g_warning("%s", OutputFileErrorText(path, err).c_str());
  return hr;
}

HRESULT CWavDestFilter::OnPrepareState(FILTER_STATE target) {
  // Only the start of a run opens the file; pausing and resuming a run
  // keeps writing the same one.
  if (target == State_Stopped || State() != State_Stopped) return S_OK;
  GstElement *bin = Element();
  if (!bin) return E_FAIL;
  // The path is read now, not when the filter was made, so it is always the
  // one handed over for this run.
  LONG rc = ERROR_SUCCESS;
  if (m_fileName.empty()) {
    rc = ReadWriterHandOff(&m_handOff);
  } else {
    m_handOff = WriterHandOff{};
    m_handOff.outputPath = m_fileName;
  }
  if (rc != ERROR_SUCCESS) {
    DetachOutputFile(bin);
    return Fail(nullptr, ENOENT, rc == ERROR_FILE_NOT_FOUND ? E_FAIL : HRESULT_FROM_WIN32(rc));
  }
  const int err = AttachOutputFile(bin, m_handOff.outputPath.c_str());
  if (err != 0) return Fail(m_handOff.outputPath.c_str(), err, HresultFromErrno(err));
  return S_OK;
}

void CWavDestFilter::OnStateChanged(FILTER_STATE state) {
  // The pipeline is down by now, so the header is rewritten and the file
  // complete; let go of it so nothing holds it open between runs.
  if (state == State_Stopped)
    if (GstElement *bin = Element()) DetachOutputFile(bin);
}

HRESULT CreateWavDestFilter(IUnknown *pUnkOuter, REFIID riid, void **ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (pUnkOuter) return CLASS_E_NOAGGREGATION;
  auto *filter = new (std::nothrow) CWavDestFilter();
  if (!filter) return E_OUTOFMEMORY;
  filter->AddRef();
  const HRESULT hr = filter->QueryInterface(riid, ppv);
  filter->Release();
  return hr;
}

}  // namespace quavix::writer
