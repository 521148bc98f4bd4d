#include "platform/dshow/file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/com/olestr.h"
#include "platform/dshow/gst_util.h"
#include "platform/dshow/uuids.h"
#include "platform/win/winerror.h"

namespace {
HRESULT HrFromErrno(int err) {
  switch (err) {
    case ENOENT: return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    case EEXIST: return HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
    case EACCES:
    case EPERM:
    case ELOOP:  // a symbolic link where the file should be
    case EROFS:
    case EISDIR: return E_ACCESSDENIED;
    case ENAMETOOLONG: return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    default: return E_FAIL;
  }
}

AM_MEDIA_TYPE AnyType() {
  AM_MEDIA_TYPE mt{};  // major type GUID_NULL: accepts every stream
  return mt;
}
}  // namespace

CFileWriter::CFileWriter() : CBaseFilter(CLSID_FileWriter) {
  AddPin(std::make_unique<CBasePin>(this, PINDIR_INPUT, u"in", AnyType()));
}

CFileWriter::~CFileWriter() {
  // The element must let go of the descriptor before it is closed.
  ReleaseGstElement();
  CloseFile();
}

HRESULT CFileWriter::CreateInstance(IUnknown *outer, REFIID riid, void **ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  EnsureGstInit();
  auto *f = new CFileWriter;
  f->AddRef();
  HRESULT hr = f->QueryInterface(riid, ppv);
  f->Release();
  return hr;
}

HRESULT CFileWriter::QueryFilterInterface(REFIID riid, void **ppv) {
  if (riid == IID_IFileSinkFilter || riid == IID_IFileSinkFilter2) {
    *ppv = static_cast<IFileSinkFilter2 *>(this);
    AddRef();
    return S_OK;
  }
  return CBaseFilter::QueryFilterInterface(riid, ppv);
}

HRESULT CFileWriter::SetFileName(LPCOLESTR pszFileName, const AM_MEDIA_TYPE *) {
  if (!pszFileName) return E_POINTER;
  if (!pszFileName[0]) return E_INVALIDARG;
  if (State() != State_Stopped) return VFW_E_WRONG_STATE;
  m_fileName.assign(pszFileName, WideLength(pszFileName));
  return S_OK;
}

HRESULT CFileWriter::GetCurFile(LPOLESTR *ppszFileName, AM_MEDIA_TYPE *pmt) {
  if (!ppszFileName) return E_POINTER;
  *ppszFileName = nullptr;
  if (pmt) *pmt = AM_MEDIA_TYPE{};
  if (m_fileName.empty()) return E_FAIL;
  *ppszFileName = CoTaskMemDupWide(m_fileName);
  if (!*ppszFileName) return E_OUTOFMEMORY;
  if (pmt) pmt->majortype = MEDIATYPE_Stream;
  return S_OK;
}

HRESULT CFileWriter::SetMode(DWORD dwFlags) {
  if (dwFlags & ~AM_FILE_OVERWRITE) return E_INVALIDARG;
  m_mode = dwFlags;
  return S_OK;
}

HRESULT CFileWriter::GetMode(DWORD *pdwFlags) {
  if (!pdwFlags) return E_POINTER;
  *pdwFlags = m_mode;
  return S_OK;
}

GstElement *CFileWriter::CreateElement() {
  GstElement *bin = gst_bin_new(nullptr);
  GstElement *sink = MakeElement("fdsink");
  if (!sink) {
    gst_object_unref(gst_object_ref_sink(bin));
    return nullptr;
  }
  // Recording runs as fast as the data arrives; a file never waits for a clock.
  g_object_set(sink, "sync", FALSE, "async", FALSE, nullptr);
  gst_bin_add(GST_BIN(bin), sink);
  if (!AddGhostPad(bin, sink, "sink", Pin(0))) {
    gst_object_unref(gst_object_ref_sink(bin));
    return nullptr;
  }
  return bin;
}

HRESULT CFileWriter::OnPrepareState(FILTER_STATE target) {
  if (target == State_Stopped || m_fd >= 0) return S_OK;
  if (m_fileName.empty()) return E_FAIL;  // nothing to write to
  std::string path = Utf16ToUtf8(m_fileName);
  int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
  flags |= (m_mode & AM_FILE_OVERWRITE) ? O_TRUNC : O_EXCL;
  // O_NONBLOCK keeps a FIFO planted at the path from blocking the open;
  // anything but a regular file is refused right after.
  int fd = open(path.c_str(), flags, 0666);
  if (fd < 0) return HrFromErrno(errno);
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return E_ACCESSDENIED;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  GstElement *bin = Element();
  GstElement *sink = nullptr;
  if (bin) {
    GstIterator *it = gst_bin_iterate_sinks(GST_BIN(bin));
    GValue v = G_VALUE_INIT;
    if (gst_iterator_next(it, &v) == GST_ITERATOR_OK) sink = GST_ELEMENT(g_value_dup_object(&v));
    g_value_unset(&v);
    gst_iterator_free(it);
  }
  if (!sink) {
    close(fd);
    return E_FAIL;
  }
  g_object_set(sink, "fd", fd, nullptr);
  gst_object_unref(sink);
  m_fd = fd;
  return S_OK;
}

void CFileWriter::OnStateChanged(FILTER_STATE state) {
  if (state == State_Stopped) CloseFile();
}

void CFileWriter::CloseFile() {
  if (m_fd >= 0) {
    close(m_fd);
    m_fd = -1;
  }
}
