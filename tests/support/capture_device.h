// Binds the capture filter of the audio input device whose property (the
// friendly name unless told) holds this value, through the system device
// enumerator as the program does. For tests
// and benchmarks that link the media graph; header-only so that the
// sound-server fixture library stays free of it.
#pragma once

#include <string>

#include "platform/com/olestr.h"
#include "platform/dshow/dshow.h"

namespace quavix::test {

// The filter (one reference, the caller's), or null when no such device is
// listed or it cannot be bound.
inline IBaseFilter *BindCaptureDevice(const std::string &value,
                                      const char16_t *property = u"FriendlyName") {
  ICreateDevEnum *devEnum = nullptr;
  if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC, IID_ICreateDevEnum,
                              reinterpret_cast<void **>(&devEnum))))
    return nullptr;
  IEnumMoniker *e = nullptr;
  IBaseFilter *filter = nullptr;
  if (devEnum->CreateClassEnumerator(CLSID_AudioInputDeviceCategory, &e, 0) == S_OK && e) {
    IMoniker *m = nullptr;
    while (!filter && e->Next(1, &m, nullptr) == S_OK) {
      IPropertyBag *bag = nullptr;
      if (SUCCEEDED(m->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                     reinterpret_cast<void **>(&bag)))) {
        VARIANT v;
        VariantInit(&v);
        if (SUCCEEDED(bag->Read(property, &v, nullptr)) && v.vt == VT_BSTR &&
            Utf16ToUtf8(v.bstrVal) == value)
          m->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void **>(&filter));
        VariantClear(&v);
        bag->Release();
      }
      m->Release();
    }
    e->Release();
  }
  devEnum->Release();
  return filter;
}

// Adds a "File Writer" that writes `path` (raw PCM) to the graph and
// renders the capture filter's output pin into it. The writer (one
// reference, the caller's), or null when any step fails.
inline IBaseFilter *RecordIntoFile(IGraphBuilder *graph, IBaseFilter *capture,
                                   const std::string &path) {
  IFileSinkFilter2 *sink = nullptr;
  if (FAILED(CoCreateInstance(CLSID_FileWriter, nullptr, CLSCTX_INPROC, IID_IFileSinkFilter2,
                              reinterpret_cast<void **>(&sink))))
    return nullptr;
  IBaseFilter *writer = nullptr;
  bool ok = SUCCEEDED(sink->QueryInterface(IID_IBaseFilter, reinterpret_cast<void **>(&writer))) &&
            graph->AddFilter(writer, u"File Writer") == S_OK;
  if (ok) sink->SetMode(AM_FILE_OVERWRITE);
  ok = ok && sink->SetFileName(Utf8ToUtf16(path).c_str(), nullptr) == S_OK;
  sink->Release();
  IPin *out = nullptr;
  ok = ok && capture->FindPin(u"Capture", &out) == S_OK && SUCCEEDED(graph->Render(out));
  if (out) out->Release();
  if (!ok && writer) {
    writer->Release();
    writer = nullptr;
  }
  return writer;
}

}  // namespace quavix::test
