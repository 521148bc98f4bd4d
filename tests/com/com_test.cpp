#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "platform/com/com.h"
#include "platform/com/olestr.h"
#include "platform/com/refcounted.h"

namespace {

QX_DEFINE_GUID(IID_IQxProbe, "0c7d1e52-9a3b-4f60-b1d2-3e4f5a6b7c80");
QX_DEFINE_GUID(CLSID_QxProbe, "0c7d1e53-9a3b-4f60-b1d2-3e4f5a6b7c80");

class IQxProbe : public IUnknown {
 public:
  virtual int Value() = 0;

 protected:
  ~IQxProbe() = default;
};

std::atomic<int> g_probeAlive{0};

class CProbe final : public IQxProbe, public CRefCounted {
 public:
  CProbe() { ++g_probeAlive; }
  ~CProbe() override { --g_probeAlive; }
  HRESULT QueryInterface(REFIID riid, void **ppv) override {
    return QiHelper<IQxProbe>(this, riid, ppv, IID_IQxProbe);
  }
  ULONG AddRef() override { return AddRefImpl(); }
  ULONG Release() override { return ReleaseImpl(); }
  int Value() override { return 7; }

  static HRESULT Create(IUnknown *outer, REFIID riid, void **ppv) {
    if (outer) return CLASS_E_NOAGGREGATION;
    auto *p = new CProbe;
    p->AddRef();
    HRESULT hr = p->QueryInterface(riid, ppv);
    p->Release();
    return hr;
  }
};

// Sets up COM on the test's thread the way the program does.
class ComTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  }
  void TearDown() override {
    CoUninitialize();
    EXPECT_EQ(g_probeAlive.load(), 0) << "a test object leaked";
  }
};

TEST(Guid, ParsesRegistryTextAndCompares) {
  constexpr GUID g = MakeGuid("56a86895-0ad4-11ce-b03a-0020af0ba770");
  static_assert(g.Data1 == 0x56a86895u && g.Data2 == 0x0ad4 && g.Data3 == 0x11ce);
  static_assert(g.Data4[0] == 0xb0 && g.Data4[1] == 0x3a && g.Data4[7] == 0x70);
  EXPECT_EQ(GuidToString(g), "{56A86895-0AD4-11CE-B03A-0020AF0BA770}");
  constexpr GUID other = MakeGuid("56a86895-0ad4-11ce-b03a-0020af0ba771");
  EXPECT_TRUE(IsEqualGUID(g, g));
  EXPECT_FALSE(IsEqualGUID(g, other));  // differs in the last byte only
  EXPECT_FALSE(IsEqualIID(IID_IUnknown, IID_IClassFactory));
  EXPECT_EQ(GuidToString(GUID_NULL), "{00000000-0000-0000-0000-000000000000}");
}

TEST(Apartment, CountsPerThreadAndRefusesAModelChange) {
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);

  // Another thread has an apartment of its own.
  HRESULT other = E_FAIL, otherCreate = S_OK;
  std::thread([&] {
    void *p = nullptr;
    otherCreate = CoCreateInstance(CLSID_QxProbe, nullptr, CLSCTX_INPROC_SERVER, IID_IQxProbe, &p);
    other = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    CoUninitialize();
  }).join();
  EXPECT_EQ(otherCreate, CO_E_NOTINITIALIZED);
  EXPECT_EQ(other, S_OK);

  CoUninitialize();
  CoUninitialize();
  // Fully uninitialised: creation is refused again, and a new model is fine.
  void *p = reinterpret_cast<void *>(1);
  EXPECT_EQ(CoCreateInstance(CLSID_QxProbe, nullptr, CLSCTX_INPROC_SERVER, IID_IQxProbe, &p),
            CO_E_NOTINITIALIZED);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  CoUninitialize();
}

TEST_F(ComTest, BuiltInClassIsCreatedAndReleasedExactlyOnce) {
  RegisterBuiltInClass(CLSID_QxProbe, &CProbe::Create);
  IQxProbe *probe = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_QxProbe, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                             IID_IQxProbe, reinterpret_cast<void **>(&probe)),
            S_OK);
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(probe->Value(), 7);
  EXPECT_EQ(g_probeAlive.load(), 1);

  IUnknown *unk = nullptr;
  ASSERT_EQ(probe->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&unk)), S_OK);
  EXPECT_EQ(static_cast<void *>(unk), static_cast<void *>(probe));
  EXPECT_EQ(unk->Release(), 1u);
  void *nothing = reinterpret_cast<void *>(1);
  EXPECT_EQ(probe->QueryInterface(IID_IClassFactory, &nothing), E_NOINTERFACE);
  EXPECT_EQ(nothing, nullptr);
  EXPECT_EQ(probe->Release(), 0u);
  EXPECT_EQ(g_probeAlive.load(), 0);
  EXPECT_TRUE(UnregisterBuiltInClass(CLSID_QxProbe));
  EXPECT_FALSE(UnregisterBuiltInClass(CLSID_QxProbe));
}

TEST_F(ComTest, CreationFailuresLeaveTheOutPointerNull) {
  RegisterBuiltInClass(CLSID_QxProbe, &CProbe::Create);
  void *p = reinterpret_cast<void *>(1);
  // Unknown class
  EXPECT_EQ(CoCreateInstance(MakeGuid("0c7d1e54-9a3b-4f60-b1d2-3e4f5a6b7c80"), nullptr,
                             CLSCTX_INPROC_SERVER, IID_IUnknown, &p),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(p, nullptr);
  // Out-of-process only: nothing here serves that
  p = reinterpret_cast<void *>(1);
  EXPECT_EQ(CoCreateInstance(CLSID_QxProbe, nullptr, CLSCTX_LOCAL_SERVER, IID_IQxProbe, &p),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(p, nullptr);
  // Interface the class does not have: the object made for it must not leak
  p = reinterpret_cast<void *>(1);
  EXPECT_EQ(CoCreateInstance(CLSID_QxProbe, nullptr, CLSCTX_INPROC_SERVER, IID_IClassFactory, &p),
            E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(g_probeAlive.load(), 0);
  // Aggregation refused
  CProbe outer;
  p = reinterpret_cast<void *>(1);
  EXPECT_EQ(CoCreateInstance(CLSID_QxProbe, &outer, CLSCTX_INPROC_SERVER, IID_IQxProbe, &p),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(CoCreateInstance(CLSID_QxProbe, nullptr, CLSCTX_INPROC_SERVER, IID_IQxProbe, nullptr),
            E_POINTER);
  UnregisterBuiltInClass(CLSID_QxProbe);
}

TEST(RefCounting, ConcurrentAddRefAndReleaseDeleteOnce) {
  auto *p = new CProbe;
  p->AddRef();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([p] {
      for (int i = 0; i < 20000; ++i) {
        p->AddRef();
        p->Release();
      }
    });
  for (auto &t : threads) t.join();
  EXPECT_EQ(g_probeAlive.load(), 1);
  EXPECT_EQ(p->Release(), 0u);
  EXPECT_EQ(g_probeAlive.load(), 0);
}

TEST(RefCounting, ComPtrHoldsExactlyOneReference) {
  long before = CRefCounted::LiveObjects();
  {
    auto *raw = new CProbe;
    ComPtr<IQxProbe> a(raw);  // AddRef: 1
    EXPECT_EQ(CRefCounted::LiveObjects(), before + 1);
    ComPtr<IQxProbe> b = a;  // 2
    ComPtr<IQxProbe> c = std::move(b);
    EXPECT_FALSE(b);
    EXPECT_EQ(raw->AddRef(), 3u);  // a and c, plus this one
    raw->Release();
    a.Reset();
    EXPECT_EQ(g_probeAlive.load(), 1);
    // Out() lets go of what it held before the call fills it.
    IQxProbe **slot = c.Out();
    EXPECT_EQ(*slot, nullptr);
    EXPECT_EQ(g_probeAlive.load(), 0);
  }
  EXPECT_EQ(CRefCounted::LiveObjects(), before);
}

TEST(Bstr, CarriesItsLengthAndTerminator) {
  const char16_t text[] = u"Stereo Mix";
  BSTR b = SysAllocString(text);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(SysStringLen(b), 10u);
  EXPECT_EQ(SysStringByteLen(b), 20u);
  EXPECT_EQ(std::u16string(b), u"Stereo Mix");
  SysFreeString(b);

  // Embedded zero: the length, not the terminator, says how long it is.
  const char16_t withZero[] = {u'a', 0, u'b'};
  b = SysAllocStringLen(withZero, 3);
  EXPECT_EQ(SysStringLen(b), 3u);
  EXPECT_EQ(b[2], u'b');
  EXPECT_EQ(b[3], 0);
  SysFreeString(b);

  b = SysAllocStringLen(nullptr, 4);
  ASSERT_NE(b, nullptr);
  for (int i = 0; i <= 4; ++i) EXPECT_EQ(b[i], 0);
  SysFreeString(b);

  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);  // harmless

  b = SysAllocStringUtf8("Écouter – 🎵");
  EXPECT_EQ(std::u16string(b), u"Écouter – 🎵");
  EXPECT_EQ(SysStringLen(b), 12u);  // the note is a surrogate pair
  SysFreeString(b);
}

TEST(Variant, ClearFreesWhatItOwns) {
  VARIANT v;
  VariantInit(&v);
  EXPECT_EQ(v.vt, VT_EMPTY);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(u"FriendlyName value");
  EXPECT_EQ(VariantClear(&v), S_OK);  // the sanitizer run reports the BSTR if it leaks
  EXPECT_EQ(v.vt, VT_EMPTY);
  EXPECT_EQ(v.bstrVal, nullptr);

  auto *p = new CProbe;
  p->AddRef();
  p->AddRef();
  v.vt = VT_UNKNOWN;
  v.punkVal = p;
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(g_probeAlive.load(), 1);
  EXPECT_EQ(p->Release(), 0u);
  EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

TEST(Text, Utf8AndUtf16RoundTrip) {
  const std::string samples[] = {"", "plain", "Ä ö ü ß", "日本語のパス", "🎹 piano", "a/b c\\d"};
  for (const auto &s : samples) EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(s)), s) << s;
  EXPECT_EQ(Utf8ToUtf16("€"), u"€");
  EXPECT_EQ(Utf8ToUtf16("😀").size(), 2u);
}

TEST(Text, MalformedInputBecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToUtf16("a\xff"
                        "b"),
            u"a\ufffdb");
  EXPECT_EQ(Utf8ToUtf16("\xc3"), u"\ufffd");            // cut sequence at the end
  EXPECT_EQ(Utf8ToUtf16("\xc0\xaf"), u"\ufffd\ufffd");  // overlong '/' must not become a slash
  EXPECT_EQ(Utf8ToUtf16("\xed\xa0\x80"), u"\ufffd\ufffd\ufffd");  // encoded surrogate
  const char16_t lone[] = {u'x', 0xD800, u'y', 0};
  EXPECT_EQ(Utf16ToUtf8(lone), "x\xef\xbf\xbdy");
  EXPECT_EQ(Utf16ToUtf8(static_cast<const WCHAR *>(nullptr)), "");
}

TEST(Text, CopyWideCutsAndTerminates) {
  WCHAR buf[5];
  CopyWide(buf, 5, u"abcdefgh");
  EXPECT_EQ(std::u16string(buf), u"abcd");
  CopyWide(buf, 5, u"ab");
  EXPECT_EQ(std::u16string(buf), u"ab");
  WCHAR *dup = CoTaskMemDupWide(u"In");
  ASSERT_NE(dup, nullptr);
  EXPECT_EQ(std::u16string(dup), u"In");
  CoTaskMemFree(dup);
}

}  // namespace
