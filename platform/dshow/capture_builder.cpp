#include "platform/dshow/capture.h"
#include "platform/dshow/file_writer.h"
#include "platform/dshow/offline_filters.h"
#include "platform/dshow/filter_graph.h"
#include "platform/dshow/graph_classes.h"
#include "platform/dshow/uuids.h"

namespace {
// Holds the graph it is given; building capture graphs is done by the
// program itself, through the graph's Render.
class CCaptureGraphBuilder2 final : public ICaptureGraphBuilder2, public CRefCounted {
 public:
  ~CCaptureGraphBuilder2() override {
    if (m_graph) m_graph->Release();
  }
  HRESULT QueryInterface(REFIID riid, void **ppv) override {
    return QiHelper<ICaptureGraphBuilder2>(this, riid, ppv, IID_ICaptureGraphBuilder2);
  }
  ULONG AddRef() override { return AddRefImpl(); }
  ULONG Release() override { return ReleaseImpl(); }

  HRESULT SetFiltergraph(IGraphBuilder *pfg) override {
    if (!pfg) return E_POINTER;
    if (m_graph) return E_UNEXPECTED;  // one graph per builder
    m_graph = pfg;
    m_graph->AddRef();
    return S_OK;
  }
  HRESULT GetFiltergraph(IGraphBuilder **ppfg) override {
    if (!ppfg) return E_POINTER;
    *ppfg = m_graph;
    if (!m_graph) return E_UNEXPECTED;
    m_graph->AddRef();
    return S_OK;
  }

  static HRESULT CreateInstance(IUnknown *outer, REFIID riid, void **ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto *b = new CCaptureGraphBuilder2;
    b->AddRef();
    HRESULT hr = b->QueryInterface(riid, ppv);
    b->Release();
    return hr;
  }

 private:
  IGraphBuilder *m_graph = nullptr;
};
}  // namespace

void RegisterMediaGraphClasses() {
  RegisterBuiltInClass(CLSID_FilterGraph, &CFilterGraph::CreateInstance);
  RegisterBuiltInClass(CLSID_CaptureGraphBuilder2, &CCaptureGraphBuilder2::CreateInstance);
  RegisterBuiltInClass(CLSID_FileWriter, &CFileWriter::CreateInstance);
  RegisterOfflineFilterClasses();
}
