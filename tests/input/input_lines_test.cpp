// Listing input lines, the search for the loop-back line, enabling exactly
// the chosen line and the slider's scale, on the main window's real input
// list and slider with lines a test defines.
#include <gtest/gtest.h>

#include "app/converter_app.h"
#include "tests/input/fake_lines_filter_for_test.h"
#include "tests/input/input_test_support.h"

namespace {

using inputtest::Entries;

FakeLineSetupForTest Line(std::u16string name) { return FakeLineSetupForTest{std::move(name)}; }

// Lines a test defines: no sound server.
class InputLinesTest : public inputtest::InputControlsTest {
 protected:
  bool WantServer() const override { return false; }
  void TearDown() override {
    if (filter_) filter_->Release();
    InputControlsTest::TearDown();
  }
  void Use(const std::vector<FakeLineSetupForTest> &lines) {
    filter_ = FakeLinesFilterForTest::Create(lines);
  }
  // Lists the lines and enables the stored one, as a device change does.
  HRESULT ListAndSelect(CConverterDlg &dlg) {
    dlg.m_pCaptureFilter = filter_->AsFilter();
    HRESULT hr = dlg.FillInputLineList(filter_->AsFilter(), PINDIR_INPUT, dlg.m_cbInputList);
    if (SUCCEEDED(hr)) {
      dlg.m_cbInputList.SetCurSel(g_nCapturePinIndex);
      dlg.OnSelchangeInputList();
    }
    return hr;
  }
  void Choose(CConverterDlg &dlg, int entry) {
    dlg.m_cbInputList.SetCurSel(entry);
    dlg.SelectInputLine();
  }
  std::vector<int> Enabled() const { return filter_->EnabledLines(); }

  FakeLinesFilterForTest *filter_ = nullptr;
};

TEST_F(InputLinesTest, SearchFindsTheLoopbackLineAndEnablesOnlyIt) {
  Use({Line(u"Mic Volume"), Line(u"Line In"), Line(u"Stereo Mix")});
  filter_->Line(2)->setup.level = 0.5;
  RunWithInputControls([&](CConverterDlg &dlg) {
    EXPECT_EQ(ListAndSelect(dlg), S_FALSE) << "the enumerator's end";
    EXPECT_EQ(Entries(dlg.m_cbInputList), "Mic Volume|Line In|Stereo Mix");
    EXPECT_EQ(g_nSearchFlag, 1);
    EXPECT_EQ(g_nCapturePinIndex, 2);
    EXPECT_EQ(Enabled(), std::vector<int>{2});
    EXPECT_EQ(dlg.m_sliderVolume.GetPos(), 100) << "the chosen line's level";
  });
}

TEST_F(InputLinesTest, KeywordsMatchAnywhereInAnyCaseAndTheFirstMatchWins) {
  const std::pair<std::vector<std::u16string>, int> cases[] = {
      {{u"Wave Out Mix", u"Stereo Mixer"}, 0},
      {{u"Microphone", u"WHAT U HEAR"}, 1},
      {{u"Mic", u"Monitor of Test Output A"}, 1},
      {{u"Front Mic", u"Sum MIX\u00e9"}, 1},
      {{u"CD Audio", u"Mi x", u"What you hear", u"W\u00c1VE"}, -1},  // -1: no match
  };
  for (const auto &[names, expected] : cases) {
    std::vector<FakeLineSetupForTest> setups;
    for (const auto &n : names) setups.push_back(Line(n));
    FakeLinesFilterForTest *f = FakeLinesFilterForTest::Create(setups);
    g_nSearchFlag = 0;
    g_nCapturePinIndex = 0;
    RunWithInputControls([&](CConverterDlg &dlg) {
      EXPECT_EQ(dlg.FillInputLineList(f->AsFilter(), PINDIR_INPUT, dlg.m_cbInputList), S_FALSE);
      EXPECT_EQ(dlg.m_cbInputList.GetCount(), static_cast<int>(names.size()));
    });
    EXPECT_EQ(g_nSearchFlag, expected >= 0 ? 1 : 0) << expected;
    EXPECT_EQ(g_nCapturePinIndex, expected >= 0 ? expected : 0);
    f->Release();
  }
}

TEST_F(InputLinesTest, NoMatchKeepsTheStoredLineAndOnceFoundTheStoredLineDecides) {
  Use({Line(u"Mic"), Line(u"Line In"), Line(u"CD"), Line(u"Aux")});
  g_nCapturePinIndex = 1;
  RunWithInputControls([&](CConverterDlg &dlg) {
    ListAndSelect(dlg);
    EXPECT_EQ(g_nSearchFlag, 0);
    EXPECT_EQ(Enabled(), std::vector<int>{1});
    const int queries = filter_->nameQueries;
    ListAndSelect(dlg);
    EXPECT_EQ(filter_->nameQueries, queries + 4) << "searched again";
  });
  filter_->Release();
  Use({Line(u"Stereo Mix"), Line(u"Mic"), Line(u"Line In"), Line(u"CD")});
  g_nSearchFlag = 1;
  g_nCapturePinIndex = 3;
  RunWithInputControls([&](CConverterDlg &dlg) {
    ListAndSelect(dlg);
    EXPECT_EQ(g_nCapturePinIndex, 3) << "no name is tested";
    EXPECT_EQ(Enabled(), std::vector<int>{3});
    Choose(dlg, 1);
    EXPECT_EQ(g_nCapturePinIndex, 1);
    EXPECT_EQ(Enabled(), std::vector<int>{1});
    ListAndSelect(dlg);
    EXPECT_EQ(dlg.m_cbInputList.GetCurSel(), 1) << "the person's choice stays";
  });
}

TEST_F(InputLinesTest, NoLinesNoFilterOrNoEnumeration) {
  FakeLineSetupForTest out = Line(u"Stereo Mix Out");
  out.dir = PINDIR_OUTPUT;
  Use({out});
  RunWithInputControls([&](CConverterDlg &dlg) {
    EXPECT_EQ(ListAndSelect(dlg), S_FALSE);
    EXPECT_EQ(dlg.m_cbInputList.GetCount(), 0) << "outputs are no lines";
    EXPECT_EQ(g_nCapturePinIndex, -1) << "what is saved at close";
    EXPECT_EQ(g_nSearchFlag, 0);
    EXPECT_EQ(filter_->Line(0)->enableCalls, 0);
    EXPECT_EQ(dlg.m_sliderVolume.GetPos(), 200);

    dlg.m_cbInputList.AddString("stale");
    EXPECT_EQ(dlg.FillInputLineList(nullptr, PINDIR_INPUT, dlg.m_cbInputList), E_NOINTERFACE);
    EXPECT_EQ(dlg.m_cbInputList.GetCount(), 0);
    filter_->enumFails = true;
    EXPECT_EQ(dlg.FillInputLineList(filter_->AsFilter(), PINDIR_INPUT, dlg.m_cbInputList),
              E_OUTOFMEMORY);
    EXPECT_EQ(Entries(dlg.m_cbInputList), "<ERROR>");
  });
}

// A pin that cannot tell its direction gets an "<ERROR>" entry and one whose
// name cannot be read is left out; every other entry must still act on its
// own line.
TEST_F(InputLinesTest, EntriesKeepToTheirOwnLinesWhenPinsFailToAnswer) {
  FakeLineSetupForTest noDirection = Line(u"Broken"), noName = Line(u"Wave");
  noDirection.directionFails = true;
  noName.infoFails = true;
  Use({noDirection, Line(u"Mic"), noName, Line(u"Stereo Mix"), Line(u"Line In")});
  RunWithInputControls([&](CConverterDlg &dlg) {
    ListAndSelect(dlg);
    EXPECT_EQ(Entries(dlg.m_cbInputList), "<ERROR>|Mic|Stereo Mix|Line In");
    EXPECT_EQ(g_nCapturePinIndex, 2) << "the entry that shows Stereo Mix";
    EXPECT_EQ(Enabled(), std::vector<int>{3});
    Choose(dlg, 3);
    EXPECT_EQ(Enabled(), std::vector<int>{4}) << "Line In";
    dlg.m_cbInputList.SetCurSel(1);
    dlg.m_sliderVolume.SetPos(40);
    LRESULT result = 7;
    dlg.OnReleasedcaptureVolume(nullptr, &result);
    EXPECT_EQ(Enabled(), std::vector<int>{1}) << "Mic";
    EXPECT_EQ(filter_->Line(1)->levelsSet, std::vector<double>{0.2});
    Choose(dlg, 0);
    EXPECT_TRUE(Enabled().empty()) << "the error entry stands for no line";
    EXPECT_EQ(filter_->Line(0)->enableCalls + filter_->Line(2)->enableCalls, 0);
  });
}

TEST_F(InputLinesTest, SliderStepsAreLevelsBothWays) {
  FakeLineSetupForTest third = Line(u"Stereo Mix"), failing = Line(u"Line In"), mute = Line(u"CD");
  third.level = 0.333;
  failing.levelFails = true;
  mute.hasMixer = false;
  Use({third, failing, mute, Line(u"Aux")});
  filter_->Line(3)->setup.level = 0.999;
  RunWithInputControls([&](CConverterDlg &dlg) {
    ListAndSelect(dlg);
    EXPECT_EQ(dlg.m_sliderVolume.GetPos(), 66);
    Choose(dlg, 3);
    EXPECT_EQ(dlg.m_sliderVolume.GetPos(), 199) << "truncated, not rounded";
    Choose(dlg, 1);
    EXPECT_EQ(dlg.m_sliderVolume.GetPos(), 0) << "an unreadable level shows as 0";
    dlg.m_sliderVolume.SetPos(120);
    Choose(dlg, 2);
    EXPECT_EQ(dlg.m_sliderVolume.GetPos(), 120) << "a line without a mixer leaves the slider";
    EXPECT_TRUE(Enabled().empty());

    Choose(dlg, 0);
    for (int pos : {200, 1, 0, 150}) {
      dlg.m_sliderVolume.SetPos(pos);
      LRESULT result = 7;
      dlg.OnReleasedcaptureVolume(nullptr, &result);
      EXPECT_EQ(result, 0);
    }
    EXPECT_EQ(filter_->Line(0)->levelsSet, (std::vector<double>{1.0, 0.005, 0.0, 0.75}));
    EXPECT_EQ(Enabled(), std::vector<int>{0});
    EXPECT_TRUE(filter_->Line(3)->levelsSet.empty());
  });
}

}  // namespace
