#include <dlfcn.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/com/com.h"
#include "platform/com/olestr.h"
#include "platform/dshow/gst_filter.h"
#include "platform/dshow/uuids.h"
#include "platform/reg/registry.h"
#include "tests/writer/gst_helpers.h"
#include "writer/handoff.h"

namespace fs = std::filesystem;
using namespace writer_test;

namespace {

void WriteHandOff(const char* subkey, const std::string& value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\ZORVEKA\\VORLINTA", &key), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueA(key, subkey, REG_SZ, value.c_str(), 0), ERROR_SUCCESS);
  RegCloseKey(key);
}

void ClearHandOff() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\ZORVEKA\\VORLINTA", 0, KEY_ALL_ACCESS, &key) ==
      ERROR_SUCCESS) {
    RegDeleteKeyA(key, "OutputWMAName");
    RegDeleteKeyA(key, "OUTPUTWAVE");
    RegCloseKey(key);
  }
}

// The module as the program loads it: from the test's own folder, which is
// the build folder where the module is built.
class WriterModule : public testing::Test {
 protected:
  void SetUp() override {
    gchar* d = g_dir_make_tmp("writer-module-XXXXXX", nullptr);
    ASSERT_NE(d, nullptr);
    dir_ = d;
    g_free(d);
    ClearHandOff();
    handle_ = dlopen(WRITER_MODULE_PATH, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    ASSERT_NE(handle_, nullptr) << dlerror();
    entry_ = reinterpret_cast<DllGetClassObjectFn>(dlsym(handle_, "DllGetClassObject"));
    ASSERT_NE(entry_, nullptr);
  }
  void TearDown() override {
    ClearHandOff();
    // The module stays loaded, as the program keeps it; dlclose only drops
    // this test's own handle.
    if (handle_) dlclose(handle_);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  IBaseFilter* NewFilter() {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(entry_(CLSID_WavDestWriter, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    if (!factory) return nullptr;
    IBaseFilter* filter = nullptr;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter)),
              S_OK);
    factory->Release();
    return filter;
  }

  std::string dir_;
  void* handle_ = nullptr;
  DllGetClassObjectFn entry_ = nullptr;
};

struct PinSeen {
  PIN_DIRECTION dir;
  std::string name;
};

std::vector<PinSeen> ListPins(IBaseFilter* filter) {
  std::vector<PinSeen> pins;
  IEnumPins* e = nullptr;
  if (filter->EnumPins(&e) != S_OK || !e) return pins;
  IPin* pin = nullptr;
  ULONG got = 0;
  while (e->Next(1, &pin, &got) == S_OK && got == 1) {
    PIN_DIRECTION dir = static_cast<PIN_DIRECTION>(3);
    pin->QueryDirection(&dir);
    PIN_INFO info{};
    std::string name;
    if (pin->QueryPinInfo(&info) == S_OK) {
      name = Utf16ToUtf8(info.achName);
      EXPECT_EQ(info.pFilter, filter);
      EXPECT_EQ(info.dir, dir);
      if (info.pFilter) info.pFilter->Release();
    }
    pins.push_back({dir, name});
    pin->Release();
  }
  e->Release();
  return pins;
}

TEST_F(WriterModule, ExportsTheClassObjectOfTheWriterFilterOnly) {
  IClassFactory* factory = nullptr;
  EXPECT_EQ(entry_(CLSID_FileWriter, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(factory, nullptr);
  EXPECT_EQ(entry_(CLSID_WavDestWriter, IID_IClassFactory, nullptr), E_POINTER);
  ASSERT_EQ(entry_(CLSID_WavDestWriter, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
            S_OK);
  IUnknown* outer = factory;
  IBaseFilter* filter = reinterpret_cast<IBaseFilter*>(0x1);
  EXPECT_EQ(factory->CreateInstance(outer, IID_IBaseFilter, reinterpret_cast<void**>(&filter)),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(filter, nullptr);
  void* nothing = nullptr;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IGraphBuilder, &nothing), E_NOINTERFACE);
  EXPECT_EQ(nothing, nullptr);
  factory->Release();
  // Its own copies of the libraries it links stay private to it.
  EXPECT_EQ(dlsym(handle_, "RegQueryValueA"), nullptr);
  EXPECT_EQ(dlsym(handle_, "CoCreateInstance"), nullptr);
}

TEST_F(WriterModule, FilterHasAnInputAndAnOutputPin) {
  IBaseFilter* filter = NewFilter();
  ASSERT_NE(filter, nullptr);
  const std::vector<PinSeen> pins = ListPins(filter);
  ASSERT_EQ(pins.size(), 2u);
  EXPECT_EQ(pins[0].dir, PINDIR_INPUT);
  EXPECT_EQ(pins[0].name, "In");
  EXPECT_EQ(pins[1].dir, PINDIR_OUTPUT);
  EXPECT_EQ(pins[1].name, "Out");
  CLSID clsid{};
  EXPECT_EQ(filter->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(clsid == CLSID_WavDestWriter);
  IGstFilter* gst = nullptr;
  ASSERT_EQ(filter->QueryInterface(IID_IGstFilter, reinterpret_cast<void**>(&gst)), S_OK);
  GstElement* element = gst->GetGstElement();
  ASSERT_NE(element, nullptr);
  GstPad* in = gst_element_get_static_pad(element, "In");
  GstPad* out = gst_element_get_static_pad(element, "Out");
  ASSERT_NE(in, nullptr);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(gst_pad_get_direction(in), GST_PAD_SINK);
  EXPECT_EQ(gst_pad_get_direction(out), GST_PAD_SRC);
  gst_object_unref(in);
  gst_object_unref(out);
  gst->ReleaseGstElement();
  gst->Release();
  EXPECT_EQ(filter->Release(), 0u);
}

TEST_F(WriterModule, WritesTheWmaNamedInTheHandOff) {
  const std::string wma = dir_ + "/from registry.wma";
  const std::string wav = dir_ + "/kqzttemp.wav";
  WriteHandOff("OutputWMAName", wma);
  WriteHandOff("OUTPUTWAVE", "0");
  IBaseFilter* filter = NewFilter();
  ASSERT_NE(filter, nullptr);
  IGstFilter* gst = nullptr;
  ASSERT_EQ(filter->QueryInterface(IID_IGstFilter, reinterpret_cast<void**>(&gst)), S_OK);
  GstElement* element = gst->GetGstElement();
  ASSERT_NE(element, nullptr);

  // What the graph does: put the element in its pipeline, prepare, run.
  GError* err = nullptr;
  GstElement* src = gst_parse_bin_from_description(ToneSource(440, 2).c_str(), TRUE, &err);
  ASSERT_EQ(err, nullptr);
  GstElement* sink = gst_element_factory_make("filesink", nullptr);
  g_object_set(sink, "location", wav.c_str(), nullptr);
  GstElement* pipeline = gst_pipeline_new(nullptr);
  gst_bin_add_many(GST_BIN(pipeline), src, element, sink, nullptr);
  ASSERT_TRUE(gst_element_link_pads(src, nullptr, element, "In"));
  ASSERT_TRUE(gst_element_link_pads(element, "Out", sink, nullptr));
  ASSERT_EQ(gst->PrepareState(State_Paused), S_OK);
  EXPECT_TRUE(fs::exists(wma));  // opened at the start of the run
  gst->StateChanged(State_Paused);
  EXPECT_EQ(gst->PrepareState(State_Running), S_OK);
  gst->StateChanged(State_Running);
  const RunOutcome out = RunToEnd(pipeline);  // ends in GST_STATE_NULL
  EXPECT_TRUE(out.eos) << out.error;
  gst->StateChanged(State_Stopped);
  gst_bin_remove(GST_BIN(pipeline), element);
  gst->ReleaseGstElement();
  gst_object_unref(pipeline);
  gst->Release();
  EXPECT_EQ(filter->Release(), 0u);

  std::vector<std::int16_t> pcm;
  ASSERT_TRUE(DecodeFile(wma, &pcm));
  EXPECT_NEAR(StereoSeconds(pcm), 2.0, 0.3);
  EXPECT_NEAR(LeftFrequency(pcm), 440.0, 5.0);
  std::vector<std::int16_t> wavPcm;
  ASSERT_TRUE(DecodeFile(wav, &wavPcm));
  EXPECT_EQ(wavPcm.size(), 2u * 44100u * 2u);
}

TEST_F(WriterModule, RunFailsWithoutAnOutputName) {
  for (const char* value : {static_cast<const char*>(nullptr), ""}) {
    if (value) WriteHandOff("OutputWMAName", value);
    IBaseFilter* filter = NewFilter();
    ASSERT_NE(filter, nullptr);
    IGstFilter* gst = nullptr;
    ASSERT_EQ(filter->QueryInterface(IID_IGstFilter, reinterpret_cast<void**>(&gst)), S_OK);
    GstElement* element = gst->GetGstElement();
    ASSERT_NE(element, nullptr);
    GstElement* pipeline = gst_pipeline_new(nullptr);
    gst_bin_add(GST_BIN(pipeline), element);
    EXPECT_TRUE(FAILED(gst->PrepareState(State_Running)));
    // The failure also reaches the bus, where the graph turns errors into events.
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* msg = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
    EXPECT_NE(msg, nullptr);
    if (msg) gst_message_unref(msg);
    gst_object_unref(bus);
    gst_bin_remove(GST_BIN(pipeline), element);
    gst->ReleaseGstElement();
    gst_object_unref(pipeline);
    gst->Release();
    filter->Release();
  }
}

TEST_F(WriterModule, RunFailsForAnOutputInAMissingFolder) {
  const std::string wma = dir_ + "/gone/out.wma";
  WriteHandOff("OutputWMAName", wma);
  IBaseFilter* filter = NewFilter();
  ASSERT_NE(filter, nullptr);
  IGstFilter* gst = nullptr;
  ASSERT_EQ(filter->QueryInterface(IID_IGstFilter, reinterpret_cast<void**>(&gst)), S_OK);
  ASSERT_NE(gst->GetGstElement(), nullptr);
  EXPECT_EQ(gst->PrepareState(State_Paused), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(fs::exists(wma));
  gst->Release();
  filter->Release();
}

TEST_F(WriterModule, CoCreateInstanceFindsTheModuleBesideTheProgram) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  IBaseFilter* filter = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_WavDestWriter, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                             IID_IBaseFilter, reinterpret_cast<void**>(&filter)),
            S_OK);
  ASSERT_NE(filter, nullptr);
  EXPECT_EQ(ListPins(filter).size(), 2u);
  EXPECT_EQ(filter->Release(), 0u);
  CoUninitialize();
}

TEST(WriterHandOff, ReadsBothValuesWhole) {
  ClearHandOff();
  quavix::writer::WriterHandOff h;
  EXPECT_EQ(quavix::writer::ReadWriterHandOff(&h), ERROR_FILE_NOT_FOUND);
  // Longer than any fixed buffer the program once used: never cut.
  const std::string path = "/tmp/" + std::string(600, 'x') + "/song \xc3\xa9t\xc3\xa9.wma";
  WriteHandOff("OutputWMAName", path);
  WriteHandOff("OUTPUTWAVE", "0");
  ASSERT_EQ(quavix::writer::ReadWriterHandOff(&h), ERROR_SUCCESS);
  EXPECT_EQ(h.outputPath, path);
  EXPECT_EQ(h.outputWave, "0");
  // Names are found whatever their case, as the program writes them.
  WriteHandOff("outputwmaname", "/tmp/other.wma");
  ASSERT_EQ(quavix::writer::ReadWriterHandOff(&h), ERROR_SUCCESS);
  EXPECT_EQ(h.outputPath, "/tmp/other.wma");
  ClearHandOff();
}

}  // namespace
