// Message boxes and file dialogs through the test seam: what the program
// asked is seen exactly, and the answer comes back as the program reads it.
#include "tests/win/gui_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

class SeamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = SetUiSeamForTest([this](const UiRequest &r) {
      requests_.push_back(r);
      return answer_;
    });
  }
  void TearDown() override { SetUiSeamForTest(previous_); }

  std::vector<UiRequest> requests_;
  UiAnswer answer_;
  UiSeamHandler previous_;
};

TEST_F(SeamTest, MessageBoxIsRecordedAndAnswered) {
  answer_.button = IDOK;
  EXPECT_EQ(MessageBoxA(nullptr, "/out/song.wma does not exist!", "Error", MB_OK), IDOK);
  answer_.button = IDNO;
  EXPECT_EQ(MessageBoxA(nullptr, "Replace?", nullptr, MB_YESNO | MB_ICONQUESTION), IDNO);
  ASSERT_EQ(requests_.size(), 2u);
  EXPECT_EQ(requests_[0].kind, UiRequestKind::MessageBox);
  EXPECT_EQ(requests_[0].text, "/out/song.wma does not exist!");
  EXPECT_EQ(requests_[0].caption, "Error");
  EXPECT_EQ(requests_[0].type, MB_OK);
  EXPECT_EQ(requests_[0].owner, nullptr);
  EXPECT_EQ(requests_[1].caption, "Error");  // no caption given: Windows says "Error"
  EXPECT_EQ(requests_[1].type, MB_YESNO | MB_ICONQUESTION);
}

OPENFILENAMEA OpenRequest(char *file, DWORD nFile, char *title, DWORD nTitle, const char *folder) {
  OPENFILENAMEA ofn;
  std::memset(&ofn, 0, sizeof ofn);
  ofn.lStructSize = 76;
  ofn.lpstrFilter = "MIDI files (*.midi;*.mid;*.rmi)\0*.midi;*.mid;*.rmi\0Any Files (*.*)\0*.*;\0";
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file;
  ofn.nMaxFile = nFile;
  ofn.lpstrFileTitle = title;
  ofn.nMaxFileTitle = nTitle;
  ofn.lpstrInitialDir = folder;
  ofn.lpstrTitle = "Select an MIDI file";
  ofn.Flags = OFN_HIDEREADONLY;
  return ofn;
}

TEST_F(SeamTest, OpenDialogSeesTheRequestAndFillsTheAnswer) {
  char file[512] = "";
  char title[512] = "";
  OPENFILENAMEA ofn = OpenRequest(file, sizeof file, title, sizeof title, "/home/u/Music/");
  answer_.path = "/home/u/Music/My Song.mid";
  answer_.filterIndex = 2;
  ASSERT_TRUE(GetOpenFileNameA(&ofn));
  ASSERT_EQ(requests_.size(), 1u);
  const UiRequest &r = requests_[0];
  EXPECT_EQ(r.kind, UiRequestKind::OpenFile);
  EXPECT_EQ(r.caption, "Select an MIDI file");
  EXPECT_EQ(r.flags, OFN_HIDEREADONLY);
  EXPECT_EQ(r.filterIndex, 1);
  EXPECT_EQ(r.initialDir, "/home/u/Music/");
  EXPECT_EQ(r.initialFile, "");
  ASSERT_EQ(r.filters.size(), 2u);
  EXPECT_EQ(r.filters[0], (std::pair<std::string, std::string>{"MIDI files (*.midi;*.mid;*.rmi)",
                                                               "*.midi;*.mid;*.rmi"}));
  EXPECT_EQ(r.filters[1], (std::pair<std::string, std::string>{"Any Files (*.*)", "*.*;"}));

  EXPECT_STREQ(file, "/home/u/Music/My Song.mid");
  EXPECT_STREQ(title, "My Song.mid");
  EXPECT_EQ(ofn.nFileOffset, 14);
  EXPECT_EQ(ofn.nFileExtension, 22);
  EXPECT_EQ(ofn.nFilterIndex, 2u);
}

TEST_F(SeamTest, SaveDialogStartsFromTheGivenName) {
  char file[512] = "*.*";
  OPENFILENAMEA ofn = OpenRequest(file, sizeof file, nullptr, 0, "/out");
  ofn.lpstrFilter = "Windows Media Audio file(*.wma)\0*.wma\0";
  ofn.lpstrTitle = "Select Output";
  answer_.path = "/out/track";
  ASSERT_TRUE(GetSaveFileNameA(&ofn));
  EXPECT_EQ(requests_[0].kind, UiRequestKind::SaveFile);
  EXPECT_EQ(requests_[0].initialFile, "*.*");
  ASSERT_EQ(requests_[0].filters.size(), 1u);
  EXPECT_EQ(requests_[0].filters[0].second, "*.wma");
  EXPECT_STREQ(file, "/out/track");
  EXPECT_EQ(ofn.nFileExtension, 10);  // no extension: the terminator's offset
  EXPECT_EQ(ofn.nFilterIndex, 1u);
}

TEST_F(SeamTest, CancelLeavesTheBufferAlone) {
  char file[512] = "keep";
  OPENFILENAMEA ofn = OpenRequest(file, sizeof file, nullptr, 0, nullptr);
  answer_.cancel = true;
  EXPECT_FALSE(GetOpenFileNameA(&ofn));
  EXPECT_EQ(CommDlgExtendedError(), 0u);
  EXPECT_STREQ(file, "keep");
}

TEST_F(SeamTest, APathTooLongForTheBufferIsRefusedNotCut) {
  char file[16] = "";
  OPENFILENAMEA ofn = OpenRequest(file, sizeof file, nullptr, 0, nullptr);
  answer_.path = "/a/very/long/folder/song.mid";
  answer_.button = IDOK;
  EXPECT_FALSE(GetOpenFileNameA(&ofn));
  EXPECT_EQ(CommDlgExtendedError(), FNERR_BUFFERTOOSMALL);
  EXPECT_STREQ(file, "");
  // The person is told why, with the path.
  ASSERT_EQ(requests_.size(), 2u);
  EXPECT_EQ(requests_[1].kind, UiRequestKind::MessageBox);
  EXPECT_NE(requests_[1].text.find("/a/very/long/folder/song.mid"), std::string::npos);
}

TEST_F(SeamTest, UnknownLayoutIsRejected) {
  char file[64] = "";
  OPENFILENAMEA ofn = OpenRequest(file, sizeof file, nullptr, 0, nullptr);
  ofn.lStructSize = 12;
  EXPECT_FALSE(GetOpenFileNameA(&ofn));
  EXPECT_EQ(CommDlgExtendedError(), CDERR_STRUCTSIZE);
  EXPECT_TRUE(requests_.empty());
  ofn.lStructSize = sizeof(OPENFILENAMEA);
  answer_.path = "/x.mid";
  EXPECT_TRUE(GetOpenFileNameA(&ofn));
}

}  // namespace
