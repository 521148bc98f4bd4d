#include "cli/offline_conversion.h"

#include <cstdio>

#include "platform/com/olestr.h"
#include "platform/dshow/dshow.h"

namespace {

// Releases a COM reference when it goes out of scope.
template <class T>
struct Ref {
  T *p = nullptr;
  ~Ref() {
    if (p) p->Release();
  }
  void **Out() { return reinterpret_cast<void **>(&p); }
  T *operator->() const { return p; }
};

HRESULT FirstPin(IBaseFilter *filter, PIN_DIRECTION dir, IPin **pin) {
  *pin = nullptr;
  Ref<IEnumPins> pins;
  HRESULT hr = filter->EnumPins(&pins.p);
  if (FAILED(hr)) return hr;
  IPin *p = nullptr;
  while (pins->Next(1, &p, nullptr) == S_OK) {
    PIN_DIRECTION d;
    if (SUCCEEDED(p->QueryDirection(&d)) && d == dir) {
      *pin = p;
      return S_OK;
    }
    p->Release();
  }
  return VFW_E_NOT_FOUND;
}

HRESULT Connect(IGraphBuilder *graph, IBaseFilter *from, IBaseFilter *to) {
  Ref<IPin> out, in;
  HRESULT hr = FirstPin(from, PINDIR_OUTPUT, &out.p);
  if (SUCCEEDED(hr)) hr = FirstPin(to, PINDIR_INPUT, &in.p);
  if (SUCCEEDED(hr)) hr = graph->ConnectDirect(out.p, in.p, nullptr);
  return hr;
}

std::string ErrorText(HRESULT hr) {
  switch (hr) {
    case HRESULT_FROM_WIN32(112): return "the disk is full";
    case HRESULT_FROM_WIN32(29): return "the output file could not be written";
    case E_ACCESSDENIED: return "the output file cannot be created or written there";
    case HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND): return "the output folder does not exist";
    case VFW_E_NOT_FOUND: return "a file or a GStreamer element is missing";
    default: break;
  }
  char text[64];
  std::snprintf(text, sizeof text, "the conversion failed (error 0x%08x)",
                static_cast<unsigned>(hr));
  return text;
}

bool Fail(std::string *reason, const std::string &text) {
  if (reason) *reason = text;
  return false;
}

const CLSID &EncoderClass(OutputFormat format) {
  switch (format) {
    case OutputFormat::Wav: return CLSID_WavEncoder;
    case OutputFormat::Flac: return CLSID_FlacEncoder;
    case OutputFormat::Ogg: return CLSID_OggVorbisEncoder;
    case OutputFormat::Mp3: return CLSID_Mp3Encoder;
    case OutputFormat::Wma: break;
  }
  return CLSID_WavDestWriter;
}

template <class T>
HRESULT Create(REFCLSID clsid, REFIID iid, Ref<T> *out) {
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, out->Out());
}

}  // namespace

bool RunOfflineConversion(const OfflineConversion &job, std::string *reason) {
  Ref<IGraphBuilder> graph;
  if (FAILED(Create(CLSID_FilterGraph, IID_IGraphBuilder, &graph)))
    return Fail(reason, "the media graph cannot be made");
  {
    // No clock: the song renders as fast as the CPU allows instead of in
    // real time.
    Ref<IMediaFilter> asFilter;
    if (FAILED(graph->QueryInterface(IID_IMediaFilter, asFilter.Out())) ||
        FAILED(asFilter->SetSyncSource(nullptr)))
      return Fail(reason, "the media graph cannot run without a clock");
  }

  Ref<IBaseFilter> source;
  if (FAILED(Create(CLSID_MidiFileSource, IID_IBaseFilter, &source)))
    return Fail(reason, "the MIDI source cannot be made");
  {
    Ref<IFileSourceFilter> file;
    Ref<IMidiSourceSettings> settings;
    if (FAILED(source->QueryInterface(IID_IFileSourceFilter, file.Out())) ||
        FAILED(source->QueryInterface(IID_IMidiSourceSettings, settings.Out())))
      return Fail(reason, "the MIDI source has no file interface");
    HRESULT hr = file->Load(Utf8ToUtf16(job.song).c_str(), nullptr);
    if (FAILED(hr)) return Fail(reason, "the song cannot be read as MIDI");
    if (FAILED(settings->SetSoundFont(Utf8ToUtf16(job.soundFont).c_str())))
      return Fail(reason, "the SoundFont \"" + job.soundFont + "\" cannot be used");
    settings->SetStreamTags(Utf8ToUtf16(job.tags.title).c_str(),
                            Utf8ToUtf16(job.tags.copyright).c_str(),
                            Utf8ToUtf16(job.tags.comment).c_str());
  }
  if (FAILED(graph->AddFilter(source.p, u"MIDI Source")))
    return Fail(reason, "the MIDI source cannot join the graph");

  const std::u16string file = Utf8ToUtf16(job.file);
  if (job.format == OutputFormat::Wma) {
    // The window's writer module, loaded through the class table; its WAV
    // output is not wanted here and goes to a Null Renderer.
    Ref<IBaseFilter> writer, discard;
    if (FAILED(Create(CLSID_WavDestWriter, IID_IBaseFilter, &writer)))
      return Fail(reason, "the WMA writer module (vorlinta-wmawriter.so) cannot be loaded");
    Ref<IFileSinkFilter> sink;
    if (FAILED(writer->QueryInterface(IID_IFileSinkFilter, sink.Out())) ||
        FAILED(sink->SetFileName(file.c_str(), nullptr)))
      return Fail(reason, "the WMA writer module takes no file name");
    if (FAILED(Create(CLSID_NullRenderer, IID_IBaseFilter, &discard)))
      return Fail(reason, "the Null Renderer cannot be made");
    if (FAILED(graph->AddFilter(writer.p, u"WAV Dest")) ||
        FAILED(graph->AddFilter(discard.p, u"Null Renderer")) ||
        FAILED(Connect(graph.p, source.p, writer.p)) ||
        FAILED(Connect(graph.p, writer.p, discard.p)))
      return Fail(reason, "the WMA writer cannot be connected");
  } else {
    Ref<IBaseFilter> encoder, fileWriter;
    if (FAILED(Create(EncoderClass(job.format), IID_IBaseFilter, &encoder)))
      return Fail(reason, std::string("the ") + FormatName(job.format) + " encoder cannot be made");
    if (FAILED(Create(CLSID_FileWriter, IID_IBaseFilter, &fileWriter)))
      return Fail(reason, "the File Writer cannot be made");
    Ref<IFileSinkFilter> sink;
    if (FAILED(fileWriter->QueryInterface(IID_IFileSinkFilter, sink.Out())) ||
        FAILED(sink->SetFileName(file.c_str(), nullptr)))
      return Fail(reason, "the File Writer takes no file name");
    if (FAILED(graph->AddFilter(encoder.p, u"Encoder")) ||
        FAILED(graph->AddFilter(fileWriter.p, u"File Writer")) ||
        FAILED(Connect(graph.p, source.p, encoder.p)) ||
        FAILED(Connect(graph.p, encoder.p, fileWriter.p)))
      return Fail(reason, "the encoder cannot be connected");
  }

  Ref<IMediaControl> control;
  Ref<IMediaEvent> events;
  Ref<IMediaSeeking> seeking;
  if (FAILED(graph->QueryInterface(IID_IMediaControl, control.Out())) ||
      FAILED(graph->QueryInterface(IID_IMediaEvent, events.Out())) ||
      FAILED(graph->QueryInterface(IID_IMediaSeeking, seeking.Out())))
    return Fail(reason, "the media graph lacks an interface");

  HRESULT hr = control->Run();
  if (FAILED(hr)) {
    control->Stop();
    return Fail(reason, ErrorText(hr));
  }
  long code = 0;
  while (events->WaitForCompletion(100, &code) == E_ABORT) {
    LONGLONG now = 0;
    if (job.position && SUCCEEDED(seeking->GetCurrentPosition(&now))) job.position->store(now);
  }
  HRESULT error = S_OK;
  long ev;
  LONG_PTR p1, p2;
  while (events->GetEvent(&ev, &p1, &p2, 0) == S_OK) {
    if (ev == EC_ERRORABORT && error == S_OK) error = static_cast<HRESULT>(p1);
    events->FreeEventParams(ev, p1, p2);
  }
  // Stopping completes the file (the WMA header, the WAV sizes).
  control->Stop();
  if (code != EC_COMPLETE || FAILED(error))
    return Fail(reason, ErrorText(FAILED(error) ? error : E_FAIL));
  return true;
}
