// The system device enumerator, its monikers and property bags, and the
// audio capture filter, against a private PulseAudio daemon; recordings go
// through a real GStreamer pipeline into a WAV file that is read back.
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <vector>

#include "platform/com/olestr.h"
#include "platform/dshow/dshow.h"
#include "platform/dshow/gst_filter.h"
#include "platform/dshow/pulse/capture_filter.h"
#include "tests/support/private_pulse.h"
#include "tests/support/record_capture.h"

namespace quavix::pulse {
namespace {

using test::PrivatePulseTest;

template <class T>
void SafeRelease(T *&p) {
  if (p) p->Release();
  p = nullptr;
}

class ComScope {
 public:
  ComScope() { hr_ = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  ~ComScope() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }

 private:
  HRESULT hr_;
};

IEnumMoniker *AudioInputs(HRESULT *hr_out = nullptr) {
  ICreateDevEnum *devEnum = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC, IID_ICreateDevEnum,
                                reinterpret_cast<void **>(&devEnum));
  EXPECT_EQ(hr, S_OK);
  if (FAILED(hr)) return nullptr;
  IEnumMoniker *e = nullptr;
  hr = devEnum->CreateClassEnumerator(CLSID_AudioInputDeviceCategory, &e, 0);
  if (hr_out) *hr_out = hr;
  devEnum->Release();
  return e;
}

std::string ReadString(IMoniker *m, const char16_t *prop, HRESULT *hr_out = nullptr) {
  IPropertyBag *bag = nullptr;
  HRESULT hr =
      m->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void **>(&bag));
  if (FAILED(hr)) return "<no bag>";
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  hr = bag->Read(prop, &v, nullptr);
  if (hr_out) *hr_out = hr;
  std::string s = SUCCEEDED(hr) && v.vt == VT_BSTR ? Utf16ToUtf8(v.bstrVal) : "<failed>";
  VariantClear(&v);
  bag->Release();
  return s;
}

// Binds the first moniker whose "DeviceId" is id.
IBaseFilter *BindDevice(const std::string &id, HRESULT *hr_out = nullptr) {
  IEnumMoniker *e = AudioInputs();
  if (!e) return nullptr;
  IMoniker *m = nullptr;
  IBaseFilter *filter = nullptr;
  while (!filter && e->Next(1, &m, nullptr) == S_OK) {
    if (ReadString(m, u"DeviceId") == id) {
      HRESULT hr =
          m->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void **>(&filter));
      if (hr_out) *hr_out = hr;
    }
    SafeRelease(m);
  }
  e->Release();
  return filter;
}

struct PinSummary {
  std::string name;
  PIN_DIRECTION dir;
};

std::vector<PinSummary> Pins(IBaseFilter *f) {
  std::vector<PinSummary> out;
  IEnumPins *e = nullptr;
  if (FAILED(f->EnumPins(&e))) return out;
  IPin *p = nullptr;
  while (e->Next(1, &p, nullptr) == S_OK) {
    PIN_INFO info{};
    if (SUCCEEDED(p->QueryPinInfo(&info))) {
      out.push_back({Utf16ToUtf8(info.achName), info.dir});
      SafeRelease(info.pFilter);
    }
    SafeRelease(p);
  }
  e->Release();
  return out;
}

// The n-th pin of a direction (as the program's pin lookup counts them).
IPin *NthPin(IBaseFilter *f, PIN_DIRECTION dir, int n) {
  IEnumPins *e = nullptr;
  if (FAILED(f->EnumPins(&e))) return nullptr;
  IPin *p = nullptr, *found = nullptr;
  while (!found && e->Next(1, &p, nullptr) == S_OK) {
    PIN_DIRECTION d;
    if (SUCCEEDED(p->QueryDirection(&d)) && d == dir && n-- == 0)
      found = p;
    else
      SafeRelease(p);
  }
  e->Release();
  return found;
}

IAMAudioInputMixer *Mixer(IBaseFilter *f, int line) {
  IPin *pin = NthPin(f, PINDIR_INPUT, line);
  if (!pin) return nullptr;
  IAMAudioInputMixer *mixer = nullptr;
  pin->QueryInterface(IID_IAMAudioInputMixer, reinterpret_cast<void **>(&mixer));
  pin->Release();
  return mixer;
}

class CaptureDevicesTest : public PrivatePulseTest {
 protected:
  ComScope com_;
};

TEST_F(CaptureDevicesTest, EnumeratorListsEveryOutputWithItsFriendlyName) {
  HRESULT hr = E_FAIL;
  IEnumMoniker *e = AudioInputs(&hr);
  ASSERT_EQ(hr, S_OK);
  ASSERT_NE(e, nullptr);
  std::vector<std::string> names, ids;
  IMoniker *m = nullptr;
  while (e->Next(1, &m, nullptr) == S_OK) {
    names.push_back(ReadString(m, u"FriendlyName"));
    ids.push_back(ReadString(m, u"DeviceId"));
    SafeRelease(m);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Test Output A", "Test Output B"}));
  EXPECT_EQ(ids, (std::vector<std::string>{"sink:quavix_a", "sink:quavix_b"}));

  // The end of the list, Reset, Skip and Clone behave as enumerators do.
  ULONG fetched = 7;
  EXPECT_EQ(e->Next(1, &m, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(e->Reset(), S_OK);
  EXPECT_EQ(e->Skip(1), S_OK);
  IEnumMoniker *clone = nullptr;
  ASSERT_EQ(e->Clone(&clone), S_OK);
  ASSERT_EQ(clone->Next(1, &m, nullptr), S_OK);
  EXPECT_EQ(ReadString(m, u"FriendlyName"), "Test Output B");
  SafeRelease(m);
  EXPECT_EQ(e->Skip(5), S_FALSE);
  IMoniker *two[2] = {};
  EXPECT_EQ(clone->Reset(), S_OK);
  EXPECT_EQ(clone->Next(2, two, &fetched), S_OK);
  EXPECT_EQ(fetched, 2u);
  SafeRelease(two[0]);
  SafeRelease(two[1]);
  clone->Release();
  e->Release();
}

TEST_F(CaptureDevicesTest, PropertyBagRefusesUnknownPropertiesAndWrongTypes) {
  IEnumMoniker *e = AudioInputs();
  ASSERT_NE(e, nullptr);
  IMoniker *m = nullptr;
  ASSERT_EQ(e->Next(1, &m, nullptr), S_OK);
  IPropertyBag *bag = nullptr;
  ASSERT_EQ(m->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void **>(&bag)),
            S_OK);
  VARIANT v;
  VariantInit(&v);
  EXPECT_EQ(bag->Read(u"CLSID", &v, nullptr), E_INVALIDARG);
  EXPECT_EQ(v.vt, VT_EMPTY);
  v.vt = VT_I4;
  EXPECT_EQ(bag->Read(u"FriendlyName", &v, nullptr), DISP_E_TYPEMISMATCH);
  VariantInit(&v);  // VT_EMPTY asks for the natural type
  ASSERT_EQ(bag->Read(u"FriendlyName", &v, nullptr), S_OK);
  EXPECT_EQ(v.vt, VT_BSTR);
  EXPECT_EQ(Utf16ToUtf8(v.bstrVal), "Test Output A");
  VariantClear(&v);
  bag->Release();
  void *other = reinterpret_cast<void *>(1);
  EXPECT_EQ(m->BindToStorage(nullptr, nullptr, IID_IBaseFilter, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  m->Release();
  e->Release();
}

TEST_F(CaptureDevicesTest, OtherCategoriesAreEmpty) {
  ICreateDevEnum *devEnum = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC, IID_ICreateDevEnum,
                             reinterpret_cast<void **>(&devEnum)),
            S_OK);
  IEnumMoniker *e = reinterpret_cast<IEnumMoniker *>(1);
  EXPECT_EQ(devEnum->CreateClassEnumerator(CLSID_AudioRendererCategory, &e, 0), S_FALSE);
  EXPECT_EQ(e, nullptr);
  devEnum->Release();
}

TEST_F(CaptureDevicesTest, FilterHasTheDeviceLinesAsInputPinsAndOneCaptureOutput) {
  HRESULT hr = E_FAIL;
  IBaseFilter *f = BindDevice("sink:quavix_b", &hr);
  ASSERT_EQ(hr, S_OK);
  ASSERT_NE(f, nullptr);
  auto pins = Pins(f);
  ASSERT_EQ(pins.size(), 2u);
  EXPECT_EQ(pins[0].name, "Monitor of Test Output B");
  EXPECT_EQ(pins[0].dir, PINDIR_INPUT);
  EXPECT_EQ(pins[1].name, "Capture");
  EXPECT_EQ(pins[1].dir, PINDIR_OUTPUT);

  // A line takes no connection, so rendering the output cannot loop back
  // into the filter itself.
  IPin *line = NthPin(f, PINDIR_INPUT, 0);
  ASSERT_NE(line, nullptr);
  AM_MEDIA_TYPE mt{};
  InitAudioMediaType(&mt);
  EXPECT_EQ(line->QueryAccept(&mt), S_FALSE);
  FreeMediaType(mt);
  line->Release();

  // Each binding makes a filter of its own.
  IBaseFilter *f2 = BindDevice("sink:quavix_b");
  ASSERT_NE(f2, nullptr);
  EXPECT_NE(f2, f);
  f2->Release();
  f->Release();
}

TEST_F(CaptureDevicesTest, MixLevelIsTheLinesVolumeOnTheServer) {
  IBaseFilter *f = BindDevice("sink:quavix_a");
  ASSERT_NE(f, nullptr);
  IAMAudioInputMixer *mixer = Mixer(f, 0);
  ASSERT_NE(mixer, nullptr);
  EXPECT_EQ(mixer->put_MixLevel(0.5), S_OK);
  EXPECT_NEAR(*pulse_.SourceVolumePercent("quavix_a.monitor"), 50.0, 0.01);
  double level = -1;
  EXPECT_EQ(mixer->get_MixLevel(&level), S_OK);
  EXPECT_DOUBLE_EQ(level, 0.5);
  ASSERT_EQ(pulse_.Pactl({"set-source-volume", "quavix_a.monitor", "33.3%"}).exit_code, 0);
  EXPECT_EQ(mixer->get_MixLevel(&level), S_OK);
  EXPECT_NEAR(level, 0.333, 1e-4);
  EXPECT_EQ(mixer->put_MixLevel(1.5), E_INVALIDARG);
  EXPECT_EQ(mixer->get_MixLevel(nullptr), E_POINTER);
  // The mixer belongs to its pin: it answers for the pin too.
  IPin *pin = nullptr;
  EXPECT_EQ(mixer->QueryInterface(IID_IPin, reinterpret_cast<void **>(&pin)), S_OK);
  SafeRelease(pin);
  mixer->Release();

  // The output pin has no mixer.
  IPin *out = NthPin(f, PINDIR_OUTPUT, 0);
  ASSERT_NE(out, nullptr);
  IAMAudioInputMixer *none = nullptr;
  EXPECT_EQ(out->QueryInterface(IID_IAMAudioInputMixer, reinterpret_cast<void **>(&none)),
            E_NOINTERFACE);
  out->Release();
  f->Release();
}

TEST_F(CaptureDevicesTest, BindingADeviceThatHasGoneFails) {
  IEnumMoniker *e = AudioInputs();
  ASSERT_NE(e, nullptr);
  IMoniker *m[2] = {};
  ULONG n = 0;
  ASSERT_EQ(e->Next(2, m, &n), S_OK);
  ASSERT_TRUE(pulse_.UnloadNullSink("quavix_b"));
  IBaseFilter *f = nullptr;
  EXPECT_EQ(m[1]->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void **>(&f)),
            VFW_E_NOT_FOUND);
  EXPECT_EQ(f, nullptr);
  // Its name is still readable: the list shows what was found.
  EXPECT_EQ(ReadString(m[1], u"FriendlyName"), "Test Output B");
  SafeRelease(m[0]);
  SafeRelease(m[1]);
  e->Release();
}

TEST(CaptureDevicesWithoutServer, EnumeratorIsEmpty) {
  ComScope com;
  test::UnreachablePulse none;
  ASSERT_TRUE(none.ok());
  HRESULT hr = E_FAIL;
  IEnumMoniker *e = AudioInputs(&hr);
  EXPECT_EQ(hr, S_FALSE);
  EXPECT_EQ(e, nullptr);
  SafeRelease(e);
}

// ---- recording ------------------------------------------------------------

struct Wav {
  int rate = 0, channels = 0, bits = 0;
  std::vector<int16_t> samples;  // interleaved
};

bool ReadWav(const std::string &path, Wav *w) {
  std::ifstream f(path, std::ios::binary);
  std::vector<char> d((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (d.size() < 12 || std::memcmp(d.data(), "RIFF", 4) || std::memcmp(d.data() + 8, "WAVE", 4))
    return false;
  auto u32 = [&](size_t o) {
    uint32_t v;
    std::memcpy(&v, d.data() + o, 4);
    return v;
  };
  auto u16 = [&](size_t o) {
    uint16_t v;
    std::memcpy(&v, d.data() + o, 2);
    return v;
  };
  for (size_t o = 12; o + 8 <= d.size();) {
    uint32_t len = u32(o + 4);
    if (!std::memcmp(d.data() + o, "fmt ", 4) && o + 24 <= d.size()) {
      w->channels = u16(o + 10);
      w->rate = static_cast<int>(u32(o + 12));
      w->bits = u16(o + 22);
    } else if (!std::memcmp(d.data() + o, "data", 4)) {
      size_t n = std::min<size_t>(len, d.size() - o - 8) / 2;
      w->samples.resize(n);
      std::memcpy(w->samples.data(), d.data() + o + 8, n * 2);
    }
    o += 8 + len + (len & 1);
  }
  return w->rate > 0;
}

struct Analysis {
  double seconds = 0;
  double rms = 0;        // of the left channel after the first 0.3 s, full scale 1.0
  double frequency = 0;  // from the zero crossings of that part
  double amp1000 = 0;    // amplitude of the 1000 Hz component (Goertzel)
  double amp400 = 0;     // amplitude of the 400 Hz component
};

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

// Loudness and pitch per block of 100 ms, the median of the blocks: a
// stall of the playing tone on a busy machine (a hole, a phase jump)
// spoils the blocks it falls into, not the measurement. The pitch of a
// block comes from the time between its first and last rising zero
// crossing, exact to a fraction of a hertz.
void BlockRmsAndPitch(const std::vector<double> &x, int rate, double *rms, double *frequency) {
  const size_t block = static_cast<size_t>(rate / 10);
  std::vector<double> levels, pitches;
  for (size_t b = 0; b + block <= x.size(); b += block) {
    double sum = 0;
    long first = -1, last = -1;
    int rises = 0;
    for (size_t i = b; i < b + block; ++i) {
      sum += x[i] * x[i];
      if (i > b && x[i - 1] < 0 && x[i] >= 0) {
        if (first < 0) first = static_cast<long>(i);
        last = static_cast<long>(i);
        ++rises;
      }
    }
    levels.push_back(std::sqrt(sum / static_cast<double>(block)));
    pitches.push_back(rises > 1 ? (rises - 1) * static_cast<double>(rate) / (last - first) : 0);
  }
  *rms = Median(levels);
  *frequency = Median(pitches);
}

// Amplitude of one frequency in x (full scale 1.0), by the Goertzel filter
// over blocks of 20 ms (a whole number of cycles of both test tones), the
// median of the blocks: a glitch of the playing tone under load (a phase
// jump) spoils one block, not the measurement.
double ToneAmplitude(const std::vector<double> &x, double freq, int rate) {
  const size_t block = static_cast<size_t>(rate / 50);
  const double coeff = 2.0 * std::cos(2.0 * M_PI * freq / rate);
  std::vector<double> amps;
  for (size_t b = 0; b + block <= x.size(); b += block) {
    double s1 = 0, s2 = 0;
    for (size_t i = b; i < b + block; ++i) {
      double s0 = x[i] + coeff * s1 - s2;
      s2 = s1;
      s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    amps.push_back(2.0 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(block));
  }
  return Median(amps);
}

Analysis Analyse(const Wav &w) {
  Analysis a;
  if (w.channels <= 0 || w.rate <= 0) return a;
  const size_t frames = w.samples.size() / static_cast<size_t>(w.channels);
  a.seconds = static_cast<double>(frames) / w.rate;
  const size_t start = static_cast<size_t>(0.3 * w.rate);
  if (frames <= start + 1) return a;
  std::vector<double> left;
  for (size_t i = start; i < frames; ++i) left.push_back(w.samples[i * w.channels] / 32768.0);
  BlockRmsAndPitch(left, w.rate, &a.rms, &a.frequency);
  a.amp1000 = ToneAmplitude(left, 1000.0, w.rate);
  a.amp400 = ToneAmplitude(left, 400.0, w.rate);
  return a;
}

class CaptureRecordingTest : public CaptureDevicesTest {
 protected:
  void SetUp() override {
    CaptureDevicesTest::SetUp();
    if (HasFatalFailure()) return;
    // 1000 Hz into output A, 400 Hz into output B.
    tone_a_ = pulse_.PlayTone("quavix_a", 1000.0, 0.5);
    tone_b_ = pulse_.PlayTone("quavix_b", 400.0, 0.5);
    ASSERT_NE(tone_a_, nullptr);
    ASSERT_NE(tone_b_, nullptr);
    // Both tones heard on their outputs' loop-backs: the players run, and
    // the outputs are past their late start (a null output that was just
    // loaded renders its first blocks late, as its timer starts at a long
    // idle period; recordings in the program start on outputs that have
    // long been loaded).
    ASSERT_TRUE(pulse_.WaitUntilSounding("quavix_a")) << "the tone never reached output A";
    ASSERT_TRUE(pulse_.WaitUntilSounding("quavix_b")) << "the tone never reached output B";
  }
  void TearDown() override {
    tone_a_.reset();
    tone_b_.reset();
    CaptureDevicesTest::TearDown();
  }
  Analysis RecordAndAnalyse(IBaseFilter *f, const char *name) {
    const std::string path = pulse_.folder() + "/" + name;
    EXPECT_TRUE(test::RecordCaptureToWav(f, path, 2.0));
    Wav w;
    EXPECT_TRUE(ReadWav(path, &w)) << path;
    EXPECT_EQ(w.rate, 44100);
    EXPECT_EQ(w.channels, 2);
    EXPECT_EQ(w.bits, 16);
    return Analyse(w);
  }
  std::unique_ptr<test::ChildProcess> tone_a_, tone_b_;
};

TEST_F(CaptureRecordingTest, RecordsTheToneThatPlaysIntoTheOutput) {
  IBaseFilter *f = BindDevice("sink:quavix_a");
  ASSERT_NE(f, nullptr);
  Analysis a = RecordAndAnalyse(f, "a.wav");
  EXPECT_GT(a.seconds, 1.0);
  EXPECT_NEAR(a.rms, 0.354, 0.03);  // a sine of amplitude 0.5
  EXPECT_NEAR(a.frequency, 1000.0, 20.0);
  EXPECT_NEAR(a.amp1000, 0.5, 0.05);
  EXPECT_LT(a.amp400, 0.01) << "the other output's tone leaked in";
  f->Release();
}

TEST_F(CaptureRecordingTest, TheEnabledLineIsTheOneRecorded) {
  // One filter with two lines: the monitors of both outputs.
  CaptureDevice device{"test:two-lines",
                       "Two Lines",
                       {{"quavix_a.monitor", "Monitor of Test Output A", true, "quavix_a"},
                        {"quavix_b.monitor", "Monitor of Test Output B", true, "quavix_b"}}};
  IBaseFilter *f = nullptr;
  ASSERT_EQ(CreateAudioCaptureFilter(device, PulseClient::Shared(), IID_IBaseFilter,
                                     reinterpret_cast<void **>(&f)),
            S_OK);
  IAMAudioInputMixer *line0 = Mixer(f, 0), *line1 = Mixer(f, 1);
  ASSERT_NE(line0, nullptr);
  ASSERT_NE(line1, nullptr);
  BOOL on0 = FALSE, on1 = TRUE;
  // Until a line is enabled the first loop-back line is recorded.
  EXPECT_EQ(line0->get_Enable(&on0), S_OK);
  EXPECT_EQ(line1->get_Enable(&on1), S_OK);
  EXPECT_TRUE(on0);
  EXPECT_FALSE(on1);

  EXPECT_EQ(line0->put_Enable(FALSE), S_OK);
  EXPECT_EQ(line1->put_Enable(TRUE), S_OK);
  line0->get_Enable(&on0);
  line1->get_Enable(&on1);
  EXPECT_FALSE(on0);
  EXPECT_TRUE(on1);
  Analysis b = RecordAndAnalyse(f, "b.wav");
  EXPECT_GT(b.seconds, 1.0);
  EXPECT_LT(b.amp1000, 0.01) << "the first line's tone is in the second line's recording";
  EXPECT_NEAR(b.amp400, 0.5, 0.05);
  EXPECT_NEAR(b.frequency, 400.0, 10.0);

  // Enabling another line switches the recording, only one at a time.
  EXPECT_EQ(line0->put_Enable(TRUE), S_OK);
  line1->get_Enable(&on1);
  EXPECT_FALSE(on1);
  Analysis a = RecordAndAnalyse(f, "a.wav");
  EXPECT_NEAR(a.amp1000, 0.5, 0.05);
  EXPECT_LT(a.amp400, 0.01);
  EXPECT_NEAR(a.frequency, 1000.0, 20.0);

  line0->Release();
  line1->Release();
  f->Release();
}

TEST_F(CaptureRecordingTest, LineLevelScalesTheRecording) {
  IBaseFilter *f = BindDevice("sink:quavix_a");
  ASSERT_NE(f, nullptr);
  IAMAudioInputMixer *mixer = Mixer(f, 0);
  ASSERT_NE(mixer, nullptr);
  ASSERT_EQ(mixer->put_MixLevel(1.0), S_OK);
  Analysis full = RecordAndAnalyse(f, "full.wav");
  // 0.5 on the server's volume scale is about -18 dB (cubic), an eighth.
  ASSERT_EQ(mixer->put_MixLevel(0.5), S_OK);
  Analysis half = RecordAndAnalyse(f, "half.wav");
  EXPECT_NEAR(full.amp1000, 0.5, 0.05);
  EXPECT_NEAR(half.amp1000 / full.amp1000, 0.125, 0.02);
  mixer->Release();
  f->Release();
}

}  // namespace
}  // namespace quavix::pulse
