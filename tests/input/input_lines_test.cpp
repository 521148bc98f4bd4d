// Listing input lines, the search for the loop-back line, enabling exactly
// the chosen line and the slider's scale, on the main window's real input
// list and slider with lines a test defines.
#include <gtest/gtest.h>

#include "app/converter_app.h"
#include "tests/input/fake_lines_filter_for_test.h"
#include "tests/input/input_test_support.h"
#include "tests/ui/ui_test_env.h"

namespace {

using inputtest::Entries;
using inputtest::RunWithInputControls;

FakeLineSpecForTest Line(std::u16string name) { return FakeLineSpecForTest{std::move(name)}; }

class InputLinesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.emplace();
    g_nSearchFlag = 0;
    g_nCapturePinIndex = 0;
  }
  void TearDown() override {
    if (filter_) filter_->Release();
    env_.reset();
  }

  // Lists the lines as a device change does: fill, select the stored line,
  // enable it.
  HRESULT ListAndSelect(CConverterDlg &dlg) {
    HRESULT hr = dlg.FillInputLineList(filter_->AsFilter(), PINDIR_INPUT, dlg.m_cbInputList);
    if (SUCCEEDED(hr)) {
      dlg.m_cbInputList.SetCurSel(g_nCapturePinIndex);
      dlg.OnSelchangeInputList();
    }
    return hr;
  }

  void Use(std::vector<FakeLineSpecForTest> lines) { filter_ = FakeLinesFilterForTest::Create(lines); }

  std::optional<UiTestEnvironment> env_;
  FakeLinesFilterForTest *filter_ = nullptr;
};

TEST_F(InputLinesTest, SearchFindsTheLoopbackLineAndEnablesOnlyIt) {
  Use({Line(u"Mic Volume"), Line(u"Line In"), Line(u"Stereo Mix")});
  filter_->Line(2)->spec.level = 0.5;
  RunWithInputControls([&](CConverterDlg &dlg) {
    dlg.m_pCaptureFilter = filter_->AsFilter();
    EXPECT_EQ(ListAndSelect(dlg), S_FALSE) << "the enumerator's end";
    EXPECT_EQ(Entries(dlg.m_cbInputList), "Mic Volume|Line In|Stereo Mix");
    EXPECT_EQ(g_nSearchFlag, 1);
    EXPECT_EQ(g_nCapturePinIndex, 2);
    EXPECT_EQ(dlg.m_cbInputList.GetCurSel(), 2);
    EXPECT_EQ(filter_->EnabledLines(), std::vector<int>{2});
    EXPECT_EQ(dlg.m_sliderVolume.GetPos(), 100) << "the chosen line's level";
    EXPECT_EQ(filter_->Line(0)->levelReads, 0) << "only the chosen line's level is shown";
  });
}

TEST_F(InputLinesTest, KeywordsMatchAnywhereInAnyCaseAndTheFirstMatchWins) {
  struct Case {
    std::vector<std::u16string> names;
    int expected;  // -1: no match
  } cases[] = {
      {{u"Wave Out Mix", u"Stereo Mixer"}, 0},
      {{u"Microphone", u"WHAT U HEAR"}, 1},
      {{u"Mic", u"Monitor of Test Output A"}, 1},
      {{u"CD Audio", u"Line In", u"Phone"}, -1},
      {{u"Mi x", u"What you hear", u"W\u00c1VE"}, -1},
      {{u"Front Mic", u"Sum MIX\u00e9"}, 1},
  };
  for (const Case &c : cases) {
    std::vector<FakeLineSpecForTest> specs;
    for (const auto &n : c.names) specs.push_back(Line(n));
    FakeLinesFilterForTest *f = FakeLinesFilterForTest::Create(specs);
    g_nSearchFlag = 0;
    g_nCapturePinIndex = 0;
    RunWithInputControls([&](CConverterDlg &dlg) {
      EXPECT_EQ(dlg.FillInputLineList(f->AsFilter(), PINDIR_INPUT, dlg.m_cbInputList), S_FALSE);
      EXPECT_EQ(dlg.m_cbInputList.GetCount(), static_cast<int>(c.names.size()));
    });
    EXPECT_EQ(g_nSearchFlag, c.expected >= 0 ? 1 : 0) << c.expected;
    EXPECT_EQ(g_nCapturePinIndex, c.expected >= 0 ? c.expected : 0);
    f->Release();
  }
}

TEST_F(InputLinesTest, NoMatchKeepsTheStoredLineAndSearchesAgainNextTime) {
  Use({Line(u"Mic"), Line(u"Line In"), Line(u"CD")});
  g_nCapturePinIndex = 1;
  RunWithInputControls([&](CConverterDlg &dlg) {
    dlg.m_pCaptureFilter = filter_->AsFilter();
    ListAndSelect(dlg);
    EXPECT_EQ(g_nSearchFlag, 0);
    EXPECT_EQ(g_nCapturePinIndex, 1);
    EXPECT_EQ(filter_->EnabledLines(), std::vector<int>{1});
    const int queries = filter_->nameQueries;
    ListAndSelect(dlg);
    EXPECT_EQ(filter_->nameQueries, queries + 3) << "every name is looked at again";
  });
}

TEST_F(InputLinesTest, OnceFoundTheStoredLineAloneDecides) {
  Use({Line(u"Stereo Mix"), Line(u"Mic"), Line(u"Line In"), Line(u"CD")});
  g_nSearchFlag = 1;
  g_nCapturePinIndex = 3;
  RunWithInputControls([&](CConverterDlg &dlg) {
    dlg.m_pCaptureFilter = filter_->AsFilter();
    ListAndSelect(dlg);
    EXPECT_EQ(g_nSearchFlag, 1);
    EXPECT_EQ(g_nCapturePinIndex, 3);
    EXPECT_EQ(dlg.m_cbInputList.GetCurSel(), 3);
    EXPECT_EQ(filter_->EnabledLines(), std::vector<int>{3});
    // A person's choice moves it; the next listing keeps that choice.
    dlg.m_cbInputList.SetCurSel(1);
    dlg.SelectInputLine();
    EXPECT_EQ(g_nCapturePinIndex, 1);
    EXPECT_EQ(filter_->EnabledLines(), std::vector<int>{1});
    ListAndSelect(dlg);
    EXPECT_EQ(dlg.m_cbInputList.GetCurSel(), 1);
  });
}

TEST_F(InputLinesTest, DeviceWithoutInputLinesSelectsNothing) {
  FakeLineSpecForTest out = Line(u"Capture");
  out.dir = PINDIR_OUTPUT;
  Use({out});
  RunWithInputControls([&](CConverterDlg &dlg) {
    dlg.m_pCaptureFilter = filter_->AsFilter();
    EXPECT_EQ(ListAndSelect(dlg), S_FALSE);
    EXPECT_EQ(dlg.m_cbInputList.GetCount(), 0);
    EXPECT_EQ(g_nCapturePinIndex, -1) << "what is saved at close";
    EXPECT_EQ(g_nSearchFlag, 0);
    EXPECT_TRUE(filter_->EnabledLines().empty());
    EXPECT_EQ(filter_->Line(0)->enableCalls, 0) << "an output is never switched";
    EXPECT_EQ(dlg.m_sliderVolume.GetPos(), 200);
  });
}

TEST_F(InputLinesTest, NoFilterOrFailingEnumerationEmptiesTheList) {
  Use({Line(u"Stereo Mix")});
  RunWithInputControls([&](CConverterDlg &dlg) {
    dlg.FillInputLineList(filter_->AsFilter(), PINDIR_INPUT, dlg.m_cbInputList);
    EXPECT_EQ(dlg.FillInputLineList(nullptr, PINDIR_INPUT, dlg.m_cbInputList), E_NOINTERFACE);
    EXPECT_EQ(dlg.m_cbInputList.GetCount(), 0);
    g_nSearchFlag = 0;
    filter_->enumFails = true;
    EXPECT_EQ(dlg.FillInputLineList(filter_->AsFilter(), PINDIR_INPUT, dlg.m_cbInputList), E_OUTOFMEMORY);
    EXPECT_EQ(Entries(dlg.m_cbInputList), "<ERROR>");
    EXPECT_EQ(g_nSearchFlag, 0);
    // Choosing that entry switches nothing on.
    dlg.m_pCaptureFilter = filter_->AsFilter();
    filter_->enumFails = false;
    dlg.m_cbInputList.SetCurSel(0);
    dlg.SelectInputLine();
    EXPECT_TRUE(filter_->EnabledLines().empty());
  });
}

// A pin that cannot tell its direction gets an "<ERROR>" entry; the entries
// after it must still act on their own lines.
TEST_F(InputLinesTest, ErrorEntryDoesNotShiftTheLaterLines) {
  FakeLineSpecForTest broken = Line(u"Broken");
  broken.directionFails = true;
  Use({broken, Line(u"Mic"), Line(u"Stereo Mix"), Line(u"Line In")});
  RunWithInputControls([&](CConverterDlg &dlg) {
    dlg.m_pCaptureFilter = filter_->AsFilter();
    ListAndSelect(dlg);
    EXPECT_EQ(Entries(dlg.m_cbInputList), "<ERROR>|Mic|Stereo Mix|Line In");
    EXPECT_EQ(g_nCapturePinIndex, 2) << "the entry that shows Stereo Mix";
    EXPECT_EQ(dlg.m_cbInputList.GetCurSel(), 2);
    EXPECT_EQ(filter_->EnabledLines(), std::vector<int>{2});
    dlg.m_cbInputList.SetCurSel(3);
    dlg.SelectInputLine();
    EXPECT_EQ(filter_->EnabledLines(), std::vector<int>{3}) << "Line In, not the line after it";
    dlg.m_cbInputList.SetCurSel(1);
    dlg.m_sliderVolume.SetPos(40);
    LRESULT result = 7;
    dlg.OnReleasedcaptureVolume(nullptr, &result);
    EXPECT_EQ(filter_->EnabledLines(), std::vector<int>{1});
    ASSERT_EQ(filter_->Line(1)->levelsSet.size(), 1u);
    EXPECT_DOUBLE_EQ(filter_->Line(1)->levelsSet[0], 0.2);
    dlg.m_cbInputList.SetCurSel(0);
    dlg.SelectInputLine();
    EXPECT_TRUE(filter_->EnabledLines().empty()) << "the error entry stands for no line";
    EXPECT_EQ(filter_->Line(0)->enableCalls, 0);
  });
}

TEST_F(InputLinesTest, LineWhoseNameCannotBeReadIsLeftOutWithoutShiftingTheOthers) {
  FakeLineSpecForTest hidden = Line(u"Wave");
  hidden.infoFails = true;
  Use({Line(u"Mic"), hidden, Line(u"Stereo Mix")});
  RunWithInputControls([&](CConverterDlg &dlg) {
    dlg.m_pCaptureFilter = filter_->AsFilter();
    ListAndSelect(dlg);
    EXPECT_EQ(Entries(dlg.m_cbInputList), "Mic|Stereo Mix");
    EXPECT_EQ(g_nCapturePinIndex, 1);
    EXPECT_EQ(filter_->EnabledLines(), std::vector<int>{2}) << "Stereo Mix itself";
    EXPECT_EQ(filter_->Line(1)->enableCalls, 0);
  });
}

TEST_F(InputLinesTest, SliderPositionIsTheLevelInSteps) {
  Use({Line(u"Mic"), Line(u"Stereo Mix")});
  RunWithInputControls([&](CConverterDlg &dlg) {
    dlg.m_pCaptureFilter = filter_->AsFilter();
    ListAndSelect(dlg);
    filter_->Line(0)->enabled = true;
    for (int pos : {200, 1, 0, 150}) {
      dlg.m_sliderVolume.SetPos(pos);
      LRESULT result = 7;
      dlg.OnReleasedcaptureVolume(nullptr, &result);
      EXPECT_EQ(result, 0);
      EXPECT_EQ(filter_->EnabledLines(), std::vector<int>{1});
    }
    const std::vector<double> expected{1.0, 0.005, 0.0, 0.75};
    ASSERT_EQ(filter_->Line(1)->levelsSet.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_DOUBLE_EQ(filter_->Line(1)->levelsSet[i], expected[i]);
    EXPECT_TRUE(filter_->Line(0)->levelsSet.empty());
  });
}

TEST_F(InputLinesTest, LevelIsShownTruncatedAndMissingLevelsAreHandled) {
  FakeLineSpecForTest third = Line(u"Stereo Mix");
  third.level = 0.333;
  FakeLineSpecForTest failing = Line(u"Line In");
  failing.levelFails = true;
  FakeLineSpecForTest mute = Line(u"CD");
  mute.hasMixer = false;
  Use({third, failing, mute, Line(u"Aux")});
  filter_->Line(3)->spec.level = 0.999;
  RunWithInputControls([&](CConverterDlg &dlg) {
    dlg.m_pCaptureFilter = filter_->AsFilter();
    ListAndSelect(dlg);
    EXPECT_EQ(dlg.m_sliderVolume.GetPos(), 66);
    dlg.m_cbInputList.SetCurSel(3);
    dlg.SelectInputLine();
    EXPECT_EQ(dlg.m_sliderVolume.GetPos(), 199) << "truncated, not rounded";
    dlg.m_cbInputList.SetCurSel(1);
    dlg.SelectInputLine();
    EXPECT_EQ(dlg.m_sliderVolume.GetPos(), 0) << "an unreadable level shows as 0";
    EXPECT_EQ(filter_->EnabledLines(), std::vector<int>{1});
    dlg.m_sliderVolume.SetPos(120);
    dlg.m_cbInputList.SetCurSel(2);
    dlg.SelectInputLine();
    EXPECT_EQ(dlg.m_sliderVolume.GetPos(), 120) << "a line without a mixer leaves the slider";
    EXPECT_TRUE(filter_->EnabledLines().empty()) << "and cannot be switched on";
  });
}

}  // namespace
