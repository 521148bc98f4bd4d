#include <dlfcn.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/com/com.h"
#include "platform/com/olestr.h"
#include "platform/dshow/gst_filter.h"
#include "platform/dshow/uuids.h"
#include "platform/reg/registry.h"
#include "writer/handoff.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

void SetHandOff(const char *subkey, const char *value) {  // null value: delete
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\ZORVEKA\\VORLINTA", &key), ERROR_SUCCESS);
  if (value)
    EXPECT_EQ(RegSetValueA(key, subkey, REG_SZ, value, 0), ERROR_SUCCESS);
  else
    RegDeleteKeyA(key, subkey);
  RegCloseKey(key);
}

// The built module, loaded as the program loads it and, like there, never
// unloaded.
class WriterModule : public testing::Test {
 protected:
  void SetUp() override {
    SetHandOff("OutputWMAName", nullptr);
    void *module = dlopen(WRITER_MODULE_PATH, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    ASSERT_NE(module, nullptr) << dlerror();
    entry_ = reinterpret_cast<DllGetClassObjectFn>(dlsym(module, "DllGetClassObject"));
    ASSERT_NE(entry_, nullptr);
    // What it exports beside its entry point stays its own.
    EXPECT_EQ(dlsym(module, "RegQueryValueA"), nullptr);
    EXPECT_EQ(dlsym(module, "CoCreateInstance"), nullptr);
    dlclose(module);
    IClassFactory *factory = nullptr;
    ASSERT_EQ(entry_(CLSID_WavDestWriter, IID_IClassFactory, reinterpret_cast<void **>(&factory)),
              S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IGstFilter, reinterpret_cast<void **>(&filter_)),
              S_OK);
    factory->Release();
  }
  void TearDown() override {
    if (filter_) {
      filter_->ReleaseGstElement();
      EXPECT_EQ(filter_->Release(), 0u);
    }
  }

  quavix::test::TempDir dir_{"writer-module"};
  DllGetClassObjectFn entry_ = nullptr;
  IGstFilter *filter_ = nullptr;
};

TEST_F(WriterModule, MakesOnlyTheWriterFilterWithAnInAndAnOutPin) {
  IClassFactory *factory = nullptr;
  EXPECT_EQ(entry_(CLSID_FileWriter, IID_IClassFactory, reinterpret_cast<void **>(&factory)),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(factory, nullptr);

  IBaseFilter *base = nullptr;
  ASSERT_EQ(filter_->QueryInterface(IID_IBaseFilter, reinterpret_cast<void **>(&base)), S_OK);
  IEnumPins *pins = nullptr;
  ASSERT_EQ(base->EnumPins(&pins), S_OK);
  IPin *pin[3] = {};
  ULONG got = 0;
  EXPECT_EQ(pins->Next(3, pin, &got), S_FALSE);
  ASSERT_EQ(got, 2u);
  const PIN_DIRECTION dirs[] = {PINDIR_INPUT, PINDIR_OUTPUT};
  const char *names[] = {"In", "Out"};
  GstElement *element = filter_->GetGstElement();
  ASSERT_NE(element, nullptr);
  for (int i = 0; i < 2; ++i) {
    PIN_INFO info{};
    ASSERT_EQ(pin[i]->QueryPinInfo(&info), S_OK);
    EXPECT_EQ(info.dir, dirs[i]);
    EXPECT_EQ(Utf16ToUtf8(info.achName), names[i]);
    EXPECT_EQ(info.pFilter, base);
    info.pFilter->Release();
    pin[i]->Release();
    // Each pin is a pad of the element, of the same direction and name.
    GstPad *pad = gst_element_get_static_pad(element, names[i]);
    ASSERT_NE(pad, nullptr);
    EXPECT_EQ(gst_pad_get_direction(pad), i == 0 ? GST_PAD_SINK : GST_PAD_SRC);
    gst_object_unref(pad);
  }
  pins->Release();
  base->Release();
}

TEST_F(WriterModule, RunFailsWithoutAUsableOutputName) {
  const std::string missing = dir_.File("gone/out.wma");
  const std::pair<const char *, HRESULT> cases[] = {
      {nullptr, E_FAIL}, {"", E_FAIL}, {missing.c_str(), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)}};
  GstElement *pipeline = gst_pipeline_new(nullptr);
  gst_bin_add(GST_BIN(pipeline), filter_->GetGstElement());
  GstBus *bus = gst_element_get_bus(pipeline);
  for (const auto &[path, hr] : cases) {
    SetHandOff("OutputWMAName", path);
    EXPECT_EQ(filter_->PrepareState(State_Running), hr) << (path ? path : "(none)");
    // The failure is on the bus too, where the graph turns errors into events.
    GstMessage *msg = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
    EXPECT_NE(msg, nullptr);
    if (msg) gst_message_unref(msg);
  }
  EXPECT_FALSE(fs::exists(dir_.File("gone")));
  gst_object_unref(bus);
  gst_object_unref(pipeline);
}

TEST(WriterHandOff, ReadsThePathWholeWhateverItsLength) {
  quavix::writer::WriterHandOff h;
  const std::string path = "/tmp/" + std::string(600, 'x') + "/song \xc3\xa9t\xc3\xa9.wma";
  SetHandOff("OutputWMAName", path.c_str());
  SetHandOff("OUTPUTWAVE", "0");
  ASSERT_EQ(quavix::writer::ReadWriterHandOff(&h), ERROR_SUCCESS);
  EXPECT_EQ(h.outputPath, path);
  EXPECT_EQ(h.outputWave, "0");
  SetHandOff("OutputWMAName", nullptr);
  EXPECT_EQ(quavix::writer::ReadWriterHandOff(&h), ERROR_FILE_NOT_FOUND);
}

}  // namespace
