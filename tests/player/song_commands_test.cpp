// The main window's song commands, driven through its real buttons on the
// headless toolkit: Open with the open dialog, the caption with the song's
// length, refusals that keep the previous song, Close, Browse, and Play and
// Help handing their files to the desktop's opener (a stand-in script).
#include "tests/support/main_window_fixture.h"
#include "platform/win/gui.h"
#include "platform/win/window_internal.h"
#include "player/preview_player.h"
#include "tests/player/player_test_support.h"

#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <QWidget>
#include <QApplication>
#include <QTest>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

using namespace player_test;
using quavix::test::MainWindowFixture;
namespace fs = std::filesystem;

namespace {

constexpr const char *kCannotPlay =
    "Cannot play the file.  The file is either corrupt or\nthe player does not support the format "
    "you are trying to play.\nIf you want more decoders, please visit our website.";
constexpr const char *kCannotMeasure =
    "Cannot open the file and get the total time. \nOr the file May be corrupt.";
const std::string kOpenMsx = "/usr/share/games/openttd/baseset/openmsx/";

std::string Caption(const std::string &name, int seconds) {
  char buffer[512];
  snprintf(buffer, sizeof buffer, "%s   %02d:%02d:%02d", name.c_str(), seconds / 3600,
           (seconds % 3600) / 60, seconds % 60);
  return buffer;
}

class SongCommandsTest : public MainWindowFixture {
 protected:
  // The question before an existing file is replaced: its text, this
  // caption, and Yes or No to answer.
  static void ExpectReplaceQuestion(const UiRequest &box, const std::string &path,
                                    const std::string &caption) {
    EXPECT_EQ(box.text, path + " already exists.\nDo you want to replace it?");
    EXPECT_EQ(box.caption, caption);
    EXPECT_EQ(box.type & 0xF, MB_YESNO);
  }

  void CopyFile(const std::string &from, const std::string &to) {
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  }

  // A stand-in for the desktop's opener, first on PATH: it writes its
  // arguments, one per line, after a count, into a file named by the run.
  std::string InstallOpener() {
    std::string bin = env_->root + "/bin";
    fs::create_directories(bin);
    std::string record = env_->root + "/opened";
    std::string script = bin + "/xdg-open";
    std::ofstream out(script);
    out << "#!/bin/sh\n"
        << "n=$(ls '" << record << "'* 2>/dev/null | wc -l)\n"
        << "f='" << record << "'.$n.tmp\n"
        << "echo $# > \"$f\"\n"
        << "for a in \"$@\"; do printf '%s\\n' \"$a\" >> \"$f\"; done\n"
        << "mv \"$f\" '" << record << "'.$n\n";
    out.close();
    ::chmod(script.c_str(), 0755);
    env_->Set("PATH", bin + ":" + std::string(getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin"));
    return record;
  }

  // The arguments of the opener's run number n, once it has finished.
  std::vector<std::string> OpenerRun(const std::string &record, int n) {
    std::string path = record + "." + std::to_string(n);
    PumpUntil([&] { return fs::exists(path); }, 15000);
    std::vector<std::string> lines;
    std::istringstream in(ReadWholeFile(path));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

TEST_F(SongCommandsTest, OpenShowsTheSongsNameAndLengthAndPreparesItsPlayer) {
  std::vector<std::string> songs = {kOpenMsx + "chemistry_lab.mid",
                                    kOpenMsx + "city_blues_redfarn.mid",
                                    kOpenMsx + "5432gone_redfarn.mid"};
  auto lengths = MidoLengths(songs);
  ASSERT_EQ(lengths.size(), songs.size());
  RunProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    for (size_t i = 0; i < songs.size(); ++i) {
      SCOPED_TRACE(songs[i]);
      ASSERT_TRUE(lengths[i].has_value());
      OpenSong(dlg, songs[i]);
      ASSERT_TRUE(boxes_.empty()) << boxes_.front().text;
      std::string name = fs::path(songs[i]).filename().string();
      // Our length and mido's agree within 1 ms; the whole seconds shown may
      // then fall on either side of a second's boundary.
      std::string caption = WindowText(h);
      EXPECT_TRUE(caption == Caption(name, static_cast<int>(*lengths[i] - 0.001)) ||
                  caption == Caption(name, static_cast<int>(*lengths[i] + 0.001)))
          << caption << " for " << *lengths[i] << " s";
      EXPECT_NEAR(dlg.m_llDuration / 1e7, *lengths[i], 0.001);
      EXPECT_EQ(ItemText(h, IDC_OUTPUT_PATH), music_ + fs::path(songs[i]).stem().string() + ".wma");
      EXPECT_STREQ(dlg.m_szMidiPath, songs[i].c_str());
      ASSERT_NE(g_pPlayer, nullptr);
      EXPECT_STREQ(g_pPlayer->m_szFile, songs[i].c_str())
          << "the previous song's player was replaced";
      EXPECT_EQ(g_pPlayer->m_state, Stopped);
      EXPECT_EQ(g_pPlayer->m_bAudioOnly, 1);
      EXPECT_FALSE(IsWindowVisible(g_pPlayer->m_hWnd));
      EXPECT_NE(GetFocus(), g_pPlayer->m_hWnd) << "the keys stay with the main window";
      for (int id : {IDC_CONVERT, IDC_STOP, IDC_PLAY, IDC_OPEN, IDC_OUTPUT_PATH, IDC_BROWSE})
        EXPECT_TRUE(Enabled(h, id)) << id;
      EXPECT_STREQ(app_->GetSettingString("Option", "LastPhotoFolder", "?"), kOpenMsx.c_str());
    }
    ASSERT_EQ(fileDialogs_.size(), songs.size());
    const UiRequest &first = fileDialogs_[0];
    EXPECT_EQ(first.kind, UiRequestKind::OpenFile);
    EXPECT_EQ(first.caption, "Select an MIDI file");
    EXPECT_EQ(first.flags, OFN_HIDEREADONLY);
    EXPECT_EQ(first.filterIndex, 1);
    EXPECT_EQ(first.owner, h);
    std::vector<std::pair<std::string, std::string>> filters = {
        {"MIDI files (*.midi;*.mid;*.rmi)", "*.midi;*.mid;*.rmi"}, {"Any Files (*.*)", "*.*;"}};
    EXPECT_EQ(first.filters, filters);
    EXPECT_EQ(first.initialDir, "") << "nothing remembered at the first start";
    EXPECT_EQ(first.initialFile, "");
    EXPECT_EQ(fileDialogs_[1].initialDir, kOpenMsx) << "the next Open starts in the song's folder";

    // A tick of the player that arrives with a song open leaves the caption.
    PumpFor(1300);
    EXPECT_EQ(WindowText(h).substr(0, 17), "5432gone_redfarn.");
    ExitProgram(dlg);
  });
  EXPECT_EQ(g_pPlayer, nullptr) << "closing the window discards the player";
}

TEST_F(SongCommandsTest, FilesThatCannotBeMeasuredAreRefusedAndThePreviousSongStays) {
  std::string dir = env_->root + "/bad";
  fs::create_directories(dir);
  std::string good = env_->root + "/good.mid";
  CopyFile(kOpenMsx + "chemistry_lab.mid", good);
  std::string song = ReadWholeFile(good);
  WriteWholeFile(dir + "/truncated.mid", song.substr(0, song.size() / 3));
  WriteWholeFile(dir + "/empty.mid", "");
  std::string damaged = song;
  damaged[9] = 7;                  // a track count the file does not hold
  damaged.replace(14, 4, "XXXX");  // and no track where the first should be
  WriteWholeFile(dir + "/damaged.mid", damaged);
  std::string random;
  srand(11);
  for (int i = 0; i < 5000; ++i) random.push_back(static_cast<char>(rand() & 0xFF));
  WriteWholeFile(dir + "/random.mid", random);
  WriteWholeFile(dir + "/letter.txt", "Dear reader,\n");

  RunProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    OpenSong(dlg, good);
    ASSERT_TRUE(boxes_.empty()) << boxes_.front().text;
    ASSERT_NE(g_pPlayer, nullptr);
    CPreviewPlayer *player = g_pPlayer;
    std::string caption = WindowText(h), output = ItemText(h, IDC_OUTPUT_PATH);
    LONGLONG duration = dlg.m_llDuration;
    for (const std::string &bad :
         {dir + "/truncated.mid", dir + "/empty.mid", dir + "/damaged.mid", dir + "/random.mid",
          dir + "/letter.txt", dir, dir + "/does not exist.mid"}) {
      SCOPED_TRACE(bad);
      boxes_.clear();
      OpenSong(dlg, bad);
      ASSERT_EQ(boxes_.size(), 1u);
      EXPECT_EQ(boxes_[0].text, kCannotMeasure);
      EXPECT_EQ(boxes_[0].caption, "Error");
      EXPECT_EQ(boxes_[0].owner, h);
      EXPECT_EQ(boxes_[0].type & 0xF, MB_OK);
      EXPECT_EQ(WindowText(h), caption);
      EXPECT_EQ(ItemText(h, IDC_OUTPUT_PATH), output);
      EXPECT_EQ(g_pPlayer, player);
      EXPECT_EQ(g_pPlayer->m_state, Stopped);
      EXPECT_STREQ(dlg.m_szMidiPath, good.c_str()) << "the opened song is still the one converted";
      EXPECT_EQ(dlg.m_llDuration, duration);
      EXPECT_STREQ(app_->GetSettingString("Option", "LastPhotoFolder", "?"),
                   (env_->root + "/").c_str());
    }
    // A cancelled dialog changes nothing and shows nothing.
    boxes_.clear();
    Click(h, IDC_OPEN);
    EXPECT_TRUE(boxes_.empty());
    EXPECT_EQ(WindowText(h), caption);
    ExitProgram(dlg);
  });
}

TEST_F(SongCommandsTest, AnRmidFileAndAPathWithBlanksAndAccentsOpenNormally) {
  std::string dir = env_->root + "/Mes chansons préférées";
  fs::create_directories(dir);
  std::string rmi = dir + "/Frère Jacques.rmi";
  CopyFile(std::string(QUAVIX_SOURCE_DIR) + "/tests/midi/corpus/hand_rmid.rmi", rmi);
  std::string mid = dir + "/Ça va.mid";
  CopyFile(kOpenMsx + "chemistry_lab.mid", mid);
  RunProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    for (const std::string &path : {rmi, mid}) {
      SCOPED_TRACE(path);
      boxes_.clear();
      OpenSong(dlg, path);
      ASSERT_TRUE(boxes_.empty()) << boxes_.front().text;
      ASSERT_NE(g_pPlayer, nullptr);
      EXPECT_EQ(g_pPlayer->m_state, Stopped);
      std::string name = fs::path(path).filename().string();
      EXPECT_EQ(WindowText(h).substr(0, name.size() + 3), name + "   ");
      EXPECT_EQ(WindowText(g_pPlayer->m_hWnd), name + "  ");
      EXPECT_EQ(ItemText(h, IDC_OUTPUT_PATH), music_ + fs::path(path).stem().string() + ".wma");
    }
    ExitProgram(dlg);
  });
}

TEST_F(SongCommandsTest, CloseForgetsTheSongAndItsPlayer) {
  RunProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    OpenSong(dlg, kOpenMsx + "chemistry_lab.mid");
    ASSERT_NE(g_pPlayer, nullptr);
    HWND playerWindow = g_pPlayer->m_hWnd;
    // The player window's close box asks the main window to close the song.
    SendMessageA(playerWindow, WM_CLOSE, 0, 0);
    ASSERT_TRUE(PumpUntil([] { return g_pPlayer == nullptr; }, 5000));
    EXPECT_FALSE(IsWindow(playerWindow));
    EXPECT_EQ(WindowText(h), "Quavix");
    EXPECT_EQ(ItemText(h, IDC_OUTPUT_PATH), music_);
    EXPECT_EQ(dlg.m_szMidiPath[0], '\0');
    EXPECT_EQ(dlg.m_llDuration, 0);
    for (int id : {IDC_CONVERT, IDC_STOP, IDC_OUTPUT_PATH, IDC_BROWSE, IDC_PLAY})
      EXPECT_FALSE(Enabled(h, id)) << id;
    for (int id : {IDC_OPEN, IDC_DEVICE_LIST, IDC_INPUT_LIST}) EXPECT_TRUE(Enabled(h, id)) << id;
    PumpFor(1300);
    EXPECT_EQ(WindowText(h), "Quavix") << "no tick of the closed song arrives";
    EXPECT_TRUE(boxes_.empty());
    ExitProgram(dlg);
  });
}

TEST_F(SongCommandsTest, BrowseTurnsTheChosenNameIntoAWmaPathAndRemembersItsFolder) {
  RunProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    OpenSong(dlg, kOpenMsx + "chemistry_lab.mid");
    std::string out = env_->root + "/My.Out/track.mp3";
    fileAnswers_.push_back(out);
    Click(h, IDC_BROWSE);
    ASSERT_EQ(fileDialogs_.size(), 2u);
    const UiRequest &r = fileDialogs_[1];
    EXPECT_EQ(r.kind, UiRequestKind::SaveFile);
    EXPECT_EQ(r.caption, "Select Output");
    EXPECT_EQ(r.flags, OFN_HIDEREADONLY);
    EXPECT_EQ(r.filterIndex, 1);
    std::vector<std::pair<std::string, std::string>> filters = {
        {"Windows Media Audio file(*.wma)", "*.wma"}};
    EXPECT_EQ(r.filters, filters);
    EXPECT_EQ(r.initialFile, "*.*");
    EXPECT_EQ(r.initialDir, env_->home + "/Music");
    EXPECT_EQ(ItemText(h, IDC_OUTPUT_PATH), env_->root + "/My.Out/track.wma");
    EXPECT_STREQ(dlg.m_strOutputFolder, (env_->root + "/My.Out/").c_str());
    EXPECT_STREQ(app_->GetSettingString("Option", "last_output_folder", "?"),
                 (env_->root + "/My.Out/").c_str());
    // Cancelled: nothing changes.
    Click(h, IDC_BROWSE);
    EXPECT_EQ(ItemText(h, IDC_OUTPUT_PATH), env_->root + "/My.Out/track.wma");
    ExitProgram(dlg);
  });
}

// An output file that exists is replaced only when the person says so, in
// the save dialog (about the .wma the run will write) or at Convert; No keeps
// the file and starts nothing.
TEST_F(SongCommandsTest, BrowseAndConvertAskBeforeAnExistingFileIsReplaced) {
  const std::string folder = env_->root + "/out/";
  fs::create_directories(folder);
  const std::string existing = folder + "old.wma";
  WriteWholeFile(existing, "an earlier conversion");
  RunProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    OpenSong(dlg, kOpenMsx + "chemistry_lab.mid");
    const std::string proposed = ItemText(h, IDC_OUTPUT_PATH);

    // No in the save dialog's question: the dialog comes back; cancelled there,
    // nothing changes.
    fileAnswers_.push_back(folder + "old.mid");
    boxAnswers_.push_back(IDNO);
    boxes_.clear();
    Click(h, IDC_BROWSE);
    ASSERT_EQ(boxes_.size(), 1u);
    ExpectReplaceQuestion(boxes_[0], existing, "Select Output");
    EXPECT_EQ(boxes_[0].owner, h);
    EXPECT_EQ(fileDialogs_.size(), 3u) << "open, save, and the save dialog again";
    EXPECT_EQ(ItemText(h, IDC_OUTPUT_PATH), proposed);

    // Yes there: the path is taken, and Convert does not ask a second time.
    fileAnswers_.push_back(folder + "old.wma");
    boxAnswers_.push_back(IDYES);
    boxes_.clear();
    Click(h, IDC_BROWSE);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(ItemText(h, IDC_OUTPUT_PATH), existing);
    Click(h, IDC_CONVERT);
    EXPECT_EQ(boxes_.size(), 1u) << (boxes_.size() > 1 ? boxes_[1].text : "");
    EXPECT_EQ(dlg.m_bConverting, 1) << "the run started";
    PumpFor(300);
    Click(h, IDC_STOP);
    ASSERT_EQ(dlg.m_bConverting, 0);
    const std::string written = ReadWholeFile(existing);
    EXPECT_NE(written, "an earlier conversion") << "replaced, as agreed";

    // Convert again onto that file: asked, and No keeps the file and starts nothing.
    boxAnswers_.push_back(IDNO);
    boxes_.clear();
    Click(h, IDC_CONVERT);
    ASSERT_EQ(boxes_.size(), 1u);
    ExpectReplaceQuestion(boxes_[0], existing, "Quavix");
    EXPECT_EQ(dlg.m_bConverting, 0);
    EXPECT_EQ(ItemText(h, IDC_STATUS), "Status : Ready");
    EXPECT_EQ(ReadWholeFile(existing), written) << "the file is left as it was";

    // A path typed into the box is asked about the same way.
    const std::string typed = folder + "typed.wma";
    WriteWholeFile(typed, "typed before");
    SetWindowTextA(GetDlgItem(h, IDC_OUTPUT_PATH), typed.c_str());
    boxAnswers_.push_back(IDNO);
    boxes_.clear();
    Click(h, IDC_CONVERT);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, typed + " already exists.\nDo you want to replace it?");
    EXPECT_EQ(dlg.m_bConverting, 0);
    EXPECT_EQ(ReadWholeFile(typed), "typed before");
    ExitProgram(dlg);
  });
}

// The player cannot load a song whose length was measured (the file changed
// in between): the window is left with no song, so nothing can start a run
// that would record silence.
TEST_F(SongCommandsTest, ASongThePlayerCannotLoadLeavesNothingToConvert) {
  const std::string song = env_->root + "/changing.mid";
  CopyFile(kOpenMsx + "chemistry_lab.mid", song);
  RunProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    // Between the measuring and the player's load the caption is set: the
    // file is spoilt at that moment, as another program rewriting it would.
    QMetaObject::Connection spoil = QObject::connect(
        quavix::win::WidgetOf(h), &QWidget::windowTitleChanged, [&](const QString &title) {
          if (title.startsWith("changing.mid")) WriteWholeFile(song, "no longer a song");
        });
    OpenSong(dlg, song);
    QObject::disconnect(spoil);
    ASSERT_FALSE(boxes_.empty());
    EXPECT_EQ(boxes_.back().text, kCannotPlay);
    EXPECT_EQ(g_pPlayer, nullptr);
    EXPECT_EQ(dlg.m_szMidiPath[0], '\0');
    EXPECT_EQ(WindowText(h), "Quavix");
    for (int id : {IDC_CONVERT, IDC_STOP, IDC_OUTPUT_PATH, IDC_BROWSE, IDC_PLAY})
      EXPECT_FALSE(Enabled(h, id)) << id;
    EXPECT_TRUE(Enabled(h, IDC_OPEN));
    EXPECT_EQ(ItemText(h, IDC_OUTPUT_PATH), music_);
    ExitProgram(dlg);
  });
}

TEST_F(SongCommandsTest, PlayAndHelpHandTheirFilesToTheDesktopsOpenerAsOneArgument) {
  std::string record = InstallOpener();
  std::string dir = env_->root + "/out dir";
  fs::create_directories(dir);
  std::string tricky = dir + "/a b;$(touch pwned)'\"&|`x` *.wma";
  RunProgram([&](CConverterDlg &dlg) {
    HWND h = dlg.m_hWnd;
    OpenSong(dlg, kOpenMsx + "chemistry_lab.mid");

    // No file yet: refused, with the path in the message.
    std::string proposed = ItemText(h, IDC_OUTPUT_PATH);
    Click(h, IDC_PLAY);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, proposed + " does not exist!");
    EXPECT_EQ(boxes_[0].caption, "Error");
    EXPECT_EQ(boxes_[0].owner, nullptr);

    // A typed path full of shell characters reaches the opener whole.
    WriteWholeFile(tricky, "wma");
    HWND edit = GetDlgItem(h, IDC_OUTPUT_PATH);
    QWidget *w = quavix::win::WidgetOf(edit);
    w->setFocus();
    QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(w, QString::fromStdString(tricky));
    ASSERT_EQ(WindowText(edit), tricky);
    Click(h, IDC_PLAY);
    std::vector<std::string> args = OpenerRun(record, 0);
    ASSERT_EQ(args.size(), 2u);
    EXPECT_EQ(args[0], "1");
    EXPECT_EQ(args[1], tricky);

    Click(h, IDC_HELP_BTN);
    args = OpenerRun(record, 1);
    ASSERT_EQ(args.size(), 2u);
    EXPECT_EQ(args[0], "1");
    EXPECT_EQ(fs::path(args[1]).filename(), "Introduction.htm");
    EXPECT_NE(args[1].find("help/"), std::string::npos) << args[1];
    EXPECT_EQ(boxes_.size(), 1u);
    ExitProgram(dlg);
  });
  EXPECT_FALSE(fs::exists(env_->home + "/pwned"));
  EXPECT_FALSE(fs::exists("pwned"));
}

}  // namespace
