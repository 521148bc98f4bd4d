#include "tests/robustness/robust_support.h"

#include "bench/gst_decode.h"
#include "platform/reg/registry_text.h"
#include "platform/win/window.h"
#include "platform/win/window_internal.h"
#include "tests/support/file_contents.h"
#include "tests/support/test_main.h"

#include <QTest>
#include <QWidget>

#include <gst/gst.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace robust {

namespace {
bool g_privateMounts = false;

// The robustness tests run in a mount namespace of their own when they can,
// so the full and read-only disks and the hidden SoundFont they make are
// seen by no other process on the machine. Before any thread exists.
void EnterPrivateMounts() {
  g_privateMounts = ::unshare(CLONE_NEWNS) == 0 &&
                    ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}
[[maybe_unused]] const bool kPrivateMountsAtStart =
    quavix::test::AtProcessStart(&EnterPrivateMounts);
}  // namespace

bool HavePrivateMounts() { return g_privateMounts; }

ScopedTmpfs::ScopedTmpfs(const std::string &path, const std::string &options) : path_(path) {
  if (!g_privateMounts) return;
  std::filesystem::create_directories(path);
  ok_ = ::mount("tmpfs", path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
}

ScopedTmpfs::~ScopedTmpfs() {
  if (ok_) ::umount2(path_.c_str(), MNT_DETACH);
}

bool ScopedTmpfs::MakeReadOnly() {
  return ok_ && ::mount(nullptr, path_.c_str(), nullptr,
                        MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr) == 0;
}

double DecodedSeconds(const std::string &path, std::string *error) {
  gst_init(nullptr, nullptr);
  quavix::bench::DecodedAudio audio;
  if (!quavix::bench::DecodeToMono(path, 8000, &audio, error)) return -1;
  return audio.Seconds();
}

bool RegistryFileIsWhole(const std::string &path, std::string *error) {
  quavix::reg::RegKey root;
  return quavix::reg::ParseRegistryText(quavix::test::ReadWholeFile(path), &root, error);
}

void TypeInto(HWND dlg, int id, const std::string &text) {
  QWidget *w = quavix::win::WidgetOf(GetDlgItem(dlg, id));
  w->setFocus();
  QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(w, Qt::Key_Delete);
  QTest::keyClicks(w, QString::fromStdString(text));
}

}  // namespace robust
