// The pin lookup the capture graph and the input lines rely on, on real
// filters: one whose pins alternate in direction, and the File Writer.
#include "platform/com/combase.h"
#include "platform/dshow/base_filter.h"
#include "platform/dshow/dshow.h"
#include "ui/converter_dlg.h"

#include <gtest/gtest.h>

#include <string>

namespace {

QX_DEFINE_GUID(CLSID_MixedPinsFilterForTest, "5b0f7c1e-2a9d-4e1b-8c3f-6d7a9e0b1c24");

// Pins in the order In A, Out A, In B, Out B: a lookup by direction has to
// step over the pins of the other direction.
class MixedPinsFilterForTest final : public CBaseFilter {
 public:
  MixedPinsFilterForTest() : CBaseFilter(CLSID_MixedPinsFilterForTest) {
    AM_MEDIA_TYPE mt{};
    mt.majortype = MEDIATYPE_Audio;
    AddPin(std::make_unique<CBasePin>(this, PINDIR_INPUT, u"In A", mt));
    AddPin(std::make_unique<CBasePin>(this, PINDIR_OUTPUT, u"Out A", mt));
    AddPin(std::make_unique<CBasePin>(this, PINDIR_INPUT, u"In B", mt));
    AddPin(std::make_unique<CBasePin>(this, PINDIR_OUTPUT, u"Out B", mt));
  }

 protected:
  GstElement *CreateElement() override { return nullptr; }
};

std::u16string PinName(IPin *pin) {
  PIN_INFO info{};
  if (FAILED(pin->QueryPinInfo(&info))) return u"?";
  if (info.pFilter) info.pFilter->Release();
  return info.achName;
}

// The filter's reference count, read without changing it.
ULONG RefCount(IUnknown *object) {
  object->AddRef();
  return object->Release();
}

class PinLookupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto *filter = new MixedPinsFilterForTest;
    ASSERT_EQ(filter->QueryInterface(IID_IBaseFilter, reinterpret_cast<void **>(&filter_)), S_OK);
  }
  void TearDown() override {
    if (filter_) {
      EXPECT_EQ(filter_->Release(), 0u) << "a pin reference was kept";
    }
  }
  IBaseFilter *filter_ = nullptr;
};

TEST_F(PinLookupTest, CountsOnlyPinsOfTheAskedDirection) {
  const ULONG before = RefCount(filter_);
  struct Case {
    PIN_DIRECTION dir;
    int index;
    const char16_t *name;
  } cases[] = {{PINDIR_INPUT, 0, u"In A"},
               {PINDIR_INPUT, 1, u"In B"},
               {PINDIR_OUTPUT, 0, u"Out A"},
               {PINDIR_OUTPUT, 1, u"Out B"}};
  for (const Case &c : cases) {
    IPin *pin = nullptr;
    ASSERT_EQ(CConverterDlg::FindPin(filter_, c.dir, c.index, &pin), S_OK) << c.index;
    ASSERT_NE(pin, nullptr);
    EXPECT_EQ(PinName(pin), std::u16string(c.name));
    PIN_DIRECTION dir = PINDIR_INPUT;
    pin->QueryDirection(&dir);
    EXPECT_EQ(dir, c.dir);
    EXPECT_GT(RefCount(filter_), before) << "the pin handed out holds a reference";
    pin->Release();
  }
  EXPECT_EQ(RefCount(filter_), before) << "every pin not handed out was released";
}

TEST_F(PinLookupTest, IndexPastTheLastPinFailsAndHandsOutNothing) {
  const ULONG before = RefCount(filter_);
  IPin *pin = reinterpret_cast<IPin *>(0x1);
  EXPECT_EQ(CConverterDlg::FindPin(filter_, PINDIR_INPUT, 2, &pin), E_FAIL);
  EXPECT_EQ(pin, nullptr);
  pin = reinterpret_cast<IPin *>(0x1);
  EXPECT_EQ(CConverterDlg::FindPin(filter_, PINDIR_OUTPUT, 5, &pin), E_FAIL);
  EXPECT_EQ(pin, nullptr);
  EXPECT_EQ(RefCount(filter_), before);
}

TEST_F(PinLookupTest, NoFilterIsAPointerError) {
  IPin *pin = reinterpret_cast<IPin *>(0x1);
  EXPECT_EQ(CConverterDlg::FindPin(nullptr, PINDIR_OUTPUT, 0, &pin), E_POINTER);
  EXPECT_EQ(pin, nullptr) << "the out-pointer is cleared first";
  EXPECT_EQ(CConverterDlg::FindPin(filter_, PINDIR_OUTPUT, 0, nullptr), E_POINTER);
}

TEST(PinLookupFileWriter, HasAnInputAndNoOutput) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IBaseFilter *writer = nullptr;
  ASSERT_EQ(
      CoCreateInstance(CLSID_FileWriter, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                       IID_IBaseFilter, reinterpret_cast<void **>(&writer)),
      S_OK);
  IPin *pin = nullptr;
  EXPECT_EQ(CConverterDlg::FindPin(writer, PINDIR_INPUT, 0, &pin), S_OK);
  ASSERT_NE(pin, nullptr);
  pin->Release();
  pin = nullptr;
  EXPECT_EQ(CConverterDlg::FindPin(writer, PINDIR_OUTPUT, 0, &pin), E_FAIL);
  EXPECT_EQ(pin, nullptr);
  EXPECT_EQ(writer->Release(), 0u);
  CoUninitialize();
}

}  // namespace
