// Pins, pin enumeration and connection rules of the filter base classes.
#include <gtest/gtest.h>

#include "platform/com/olestr.h"
#include "tests/dshow/test_filters.h"

using namespace dshow_test;

namespace {

std::vector<ComPtr<IPin>> AllPins(IBaseFilter *f) {
  std::vector<ComPtr<IPin>> pins;
  ComPtr<IEnumPins> e;
  EXPECT_EQ(f->EnumPins(e.Out()), S_OK);
  IPin *p = nullptr;
  while (e->Next(1, &p, nullptr) == S_OK) pins.push_back(ComPtr<IPin>::Attach(p));
  return pins;
}

std::string NameOf(IPin *pin) {
  PIN_INFO info{};
  EXPECT_EQ(pin->QueryPinInfo(&info), S_OK);
  if (info.pFilter) info.pFilter->Release();
  return Utf16ToUtf8(info.achName);
}

class BaseFilterTest : public ::testing::Test {
 protected:
  void SetUp() override { m_live = CRefCounted::LiveObjects(); }
  void TearDown() override { EXPECT_EQ(CRefCounted::LiveObjects(), m_live) << "objects leaked"; }
  long m_live = 0;
};

TEST_F(BaseFilterTest, PinsComeInTheirOrderWithTheirDirections) {
  auto f = Hold(new CPinBoardFilter("ioio"));
  auto pins = AllPins(f.Get());
  ASSERT_EQ(pins.size(), 4u);
  const char *names[] = {"i0", "o1", "i2", "o3"};
  const PIN_DIRECTION dirs[] = {PINDIR_INPUT, PINDIR_OUTPUT, PINDIR_INPUT, PINDIR_OUTPUT};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(NameOf(pins[i].Get()), names[i]);
    PIN_DIRECTION d = static_cast<PIN_DIRECTION>(3);
    EXPECT_EQ(pins[i]->QueryDirection(&d), S_OK);
    EXPECT_EQ(d, dirs[i]);
  }
}

TEST_F(BaseFilterTest, EnumeratorBatchesSkipsResetsAndClones) {
  auto f = Hold(new CPinBoardFilter("iio"));
  ComPtr<IEnumPins> e;
  ASSERT_EQ(f->EnumPins(e.Out()), S_OK);
  IPin *batch[4] = {};
  ULONG got = 99;
  EXPECT_EQ(e->Next(2, batch, &got), S_OK);
  EXPECT_EQ(got, 2u);
  EXPECT_EQ(NameOf(batch[1]), "i1");
  batch[0]->Release();
  batch[1]->Release();

  ComPtr<IEnumPins> clone;
  ASSERT_EQ(e->Clone(clone.Out()), S_OK);  // continues from the same place
  EXPECT_EQ(e->Next(4, batch, &got), S_FALSE);
  ASSERT_EQ(got, 1u);
  EXPECT_EQ(NameOf(batch[0]), "o2");
  batch[0]->Release();
  EXPECT_EQ(e->Next(1, batch, &got), S_FALSE);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(e->Next(2, batch, nullptr), E_POINTER);  // a count above 1 needs the fetched count

  IPin *p = nullptr;
  ASSERT_EQ(clone->Next(1, &p, nullptr), S_OK);
  EXPECT_EQ(NameOf(p), "o2");
  p->Release();

  EXPECT_EQ(e->Reset(), S_OK);
  EXPECT_EQ(e->Skip(2), S_OK);
  ASSERT_EQ(e->Next(1, &p, nullptr), S_OK);
  EXPECT_EQ(NameOf(p), "o2");
  p->Release();
  EXPECT_EQ(e->Skip(1), S_FALSE);
}

TEST_F(BaseFilterTest, APinKeepsItsFilterAlive) {
  IPin *pin = nullptr;
  {
    auto f = Hold(new CPinBoardFilter("o"));
    ASSERT_EQ(f->FindPin(u"o0", &pin), S_OK);
  }
  // The filter's last outside reference is gone, but the pin still works
  // and reaches its filter.
  PIN_INFO info{};
  ASSERT_EQ(pin->QueryPinInfo(&info), S_OK);
  ASSERT_NE(info.pFilter, nullptr);
  CLSID clsid{};
  EXPECT_EQ(info.pFilter->GetClassID(&clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_TestPinBoard);
  info.pFilter->Release();
  EXPECT_EQ(pin->Release(), 0u);
}

TEST_F(BaseFilterTest, FindPinByNameAndFilterInfoOutsideAGraph) {
  auto f = Hold(new CPinBoardFilter("is"));
  IPin *pin = reinterpret_cast<IPin *>(1);
  EXPECT_EQ(f->FindPin(u"nope", &pin), VFW_E_NOT_FOUND);
  EXPECT_EQ(pin, nullptr);
  EXPECT_EQ(f->FindPin(u"s1", &pin), S_OK);
  LPWSTR id = nullptr;
  ASSERT_EQ(pin->QueryId(&id), S_OK);
  EXPECT_EQ(std::u16string(id), u"s1");
  CoTaskMemFree(id);
  pin->Release();

  FILTER_INFO fi{};
  EXPECT_EQ(f->QueryFilterInfo(&fi), S_OK);
  EXPECT_EQ(fi.pGraph, nullptr);
  EXPECT_EQ(fi.achName[0], 0);
  auto *raw = static_cast<CPinBoardFilter *>(f.Get());
  EXPECT_EQ(raw->NotifyEvent(EC_DEVICE_LOST, 0, 0), S_FALSE);  // nobody to tell
}

TEST_F(BaseFilterTest, ConnectionNeedsAnAcceptedTypeAndTheRightDirections) {
  auto a = Hold(new CPinBoardFilter("oi"));
  auto b = Hold(new CPinBoardFilter("sio"));
  ComPtr<IPin> aOut, aIn, bStream, bAudio, bOut;
  a->FindPin(u"o0", aOut.Out());
  a->FindPin(u"i1", aIn.Out());
  b->FindPin(u"s0", bStream.Out());
  b->FindPin(u"i1", bAudio.Out());
  b->FindPin(u"o2", bOut.Out());

  // Audio into a stream-only input: refused, and neither side is left half connected.
  EXPECT_EQ(aOut->Connect(bStream.Get(), nullptr), VFW_E_NO_ACCEPTABLE_TYPES);
  IPin *peer = reinterpret_cast<IPin *>(1);
  EXPECT_EQ(aOut->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(peer, nullptr);
  EXPECT_EQ(bStream->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);

  EXPECT_EQ(aIn->Connect(bAudio.Get(), nullptr), VFW_E_INVALID_DIRECTION);  // from an input
  EXPECT_EQ(aOut->Connect(bOut.Get(), nullptr), VFW_E_INVALID_DIRECTION);   // into an output
  EXPECT_EQ(aOut->QueryAccept(nullptr), E_POINTER);

  ASSERT_EQ(aOut->Connect(bAudio.Get(), nullptr), S_OK);
  ASSERT_EQ(aOut->ConnectedTo(&peer), S_OK);
  EXPECT_EQ(peer, bAudio.Get());
  peer->Release();
  ASSERT_EQ(bAudio->ConnectedTo(&peer), S_OK);
  EXPECT_EQ(peer, aOut.Get());
  peer->Release();
  AM_MEDIA_TYPE mt{};
  EXPECT_EQ(bAudio->ConnectionMediaType(&mt), S_OK);
  EXPECT_EQ(mt.majortype, MEDIATYPE_Audio);
  FreeMediaType(mt);

  EXPECT_EQ(aOut->Connect(bStream.Get(), nullptr), VFW_E_ALREADY_CONNECTED);
  EXPECT_EQ(bOut->Connect(bAudio.Get(), nullptr), VFW_E_ALREADY_CONNECTED);  // input taken

  // Both sides break; until then each holds the other's filter.
  EXPECT_EQ(aOut->Disconnect(), S_OK);
  EXPECT_EQ(bAudio->Disconnect(), S_OK);
  EXPECT_EQ(aOut->Disconnect(), S_FALSE);
}

TEST_F(BaseFilterTest, NoConnectionWhileTheFilterStreams) {
  auto a = Hold(new CPinBoardFilter("o"));
  auto b = Hold(new CPinBoardFilter("i"));
  ComPtr<IPin> out, in;
  a->FindPin(u"o0", out.Out());
  b->FindPin(u"i0", in.Out());
  ComPtr<IGstFilter> g;
  ASSERT_EQ(a->QueryInterface(IID_IGstFilter, g.OutVoid()), S_OK);
  g->StateChanged(State_Running);
  FILTER_STATE s = State_Stopped;
  EXPECT_EQ(a->GetState(0, &s), S_OK);
  EXPECT_EQ(s, State_Running);
  EXPECT_EQ(out->Connect(in.Get(), nullptr), VFW_E_NOT_STOPPED);
  g->StateChanged(State_Stopped);
  EXPECT_EQ(out->Connect(in.Get(), nullptr), S_OK);
  out->Disconnect();
  in->Disconnect();
}

TEST_F(BaseFilterTest, FilterAnswersItsInterfacesOnly) {
  auto f = Hold(new CPinBoardFilter("i"));
  void *p = nullptr;
  for (const GUID &iid :
       {IID_IUnknown, IID_IPersist, IID_IMediaFilter, IID_IBaseFilter, IID_IGstFilter}) {
    ASSERT_EQ(f->QueryInterface(iid, &p), S_OK) << GuidToString(iid);
    static_cast<IUnknown *>(p)->Release();
  }
  EXPECT_EQ(f->QueryInterface(IID_IFileSinkFilter, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  // IUnknown is one identity whichever interface it is asked from.
  IUnknown *u1 = nullptr, *u2 = nullptr;
  IGstFilter *g = nullptr;
  f->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&u1));
  f->QueryInterface(IID_IGstFilter, reinterpret_cast<void **>(&g));
  g->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&u2));
  EXPECT_EQ(u1, u2);
  u1->Release();
  u2->Release();
  g->Release();
}

TEST(MediaType, CopiesOwnTheirFormatBlock) {
  AM_MEDIA_TYPE a{};
  InitAudioMediaType(&a, 48000, 1, 16);
  ASSERT_EQ(a.cbFormat, sizeof(WAVEFORMATEX));
  auto *wfx = reinterpret_cast<WAVEFORMATEX *>(a.pbFormat);
  EXPECT_EQ(wfx->nSamplesPerSec, 48000u);
  EXPECT_EQ(wfx->nBlockAlign, 2);
  EXPECT_EQ(wfx->nAvgBytesPerSec, 96000u);
  AM_MEDIA_TYPE b{};
  ASSERT_EQ(CopyMediaType(&b, &a), S_OK);
  EXPECT_NE(b.pbFormat, a.pbFormat);
  FreeMediaType(a);  // b stays valid on its own
  EXPECT_EQ(reinterpret_cast<WAVEFORMATEX *>(b.pbFormat)->nChannels, 1);
  auto *heap = static_cast<AM_MEDIA_TYPE *>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  ASSERT_EQ(CopyMediaType(heap, &b), S_OK);
  DeleteMediaType(heap);
  FreeMediaType(b);
  EXPECT_EQ(b.pbFormat, nullptr);
  EXPECT_EQ(b.cbFormat, 0u);
}

}  // namespace
