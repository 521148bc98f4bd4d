// The File Writer: one input pin ("in", any type) whose stream is written
// to a file. The file is opened by the filter itself when the graph starts
// (never through a symbolic link, never a FIFO or device) and written with
// fdsink, which seeks back when a muxer rewrites its header at the end. It
// is closed, complete, when the graph stops.
#pragma once

#include <string>

#include "platform/dshow/base_filter.h"
#include "platform/dshow/capture.h"

class CFileWriter final : public CBaseFilter, public IFileSinkFilter2 {
 public:
  CFileWriter();
  ~CFileWriter() override;

  static HRESULT CreateInstance(IUnknown *outer, REFIID riid, void **ppv);

  HRESULT QueryInterface(REFIID riid, void **ppv) override {
    return CBaseFilter::QueryInterface(riid, ppv);
  }
  ULONG AddRef() override { return CBaseFilter::AddRef(); }
  ULONG Release() override { return CBaseFilter::Release(); }

  // IFileSinkFilter
  HRESULT SetFileName(LPCOLESTR pszFileName, const AM_MEDIA_TYPE *pmt) override;
  HRESULT GetCurFile(LPOLESTR *ppszFileName, AM_MEDIA_TYPE *pmt) override;
  // IFileSinkFilter2: AM_FILE_OVERWRITE truncates an existing file; without
  // it an existing file is left alone and the graph refuses to start.
  HRESULT SetMode(DWORD dwFlags) override;
  HRESULT GetMode(DWORD *pdwFlags) override;

 protected:
  GstElement *CreateElement() override;
  HRESULT QueryFilterInterface(REFIID riid, void **ppv) override;
  HRESULT OnPrepareState(FILTER_STATE target) override;
  void OnStateChanged(FILTER_STATE state) override;

 private:
  void CloseFile();

  std::u16string m_fileName;
  DWORD m_mode = 0;
  int m_fd = -1;
};
