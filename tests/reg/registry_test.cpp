#include "platform/reg/registry.h"
#include "platform/reg/registry_text.h"
#include "tests/support/file_contents.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>

namespace fs = std::filesystem;
using quavix::reg::ParseRegistryText;
using quavix::reg::RegKey;
using quavix::reg::SerializeRegistryText;

namespace {

// Every test gets its own XDG_CONFIG_HOME, so no person's settings are touched.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    config_.emplace("XDG_CONFIG_HOME", dir_.path());
    handlesAtStart_ = quavix::reg::OpenKeyHandleCount();
  }
  void TearDown() override {
    EXPECT_EQ(quavix::reg::OpenKeyHandleCount(), handlesAtStart_) << "a key handle was not closed";
    config_.reset();
  }

  std::string File() const { return dir_.File("quavix/registry"); }
  std::string ReadFileText() const { return quavix::test::ReadWholeFile(File()); }
  void WriteFileText(const std::string &text) const {
    fs::create_directories(dir_.File("quavix"));
    quavix::test::WriteWholeFile(File(), text);
  }
  int DamagedCopies() const {
    int n = 0;
    if (!fs::exists(dir_.File("quavix"))) return 0;
    for (const auto &e : fs::directory_iterator(dir_.File("quavix")))
      if (e.path().filename().string().starts_with("registry.damaged-")) ++n;
    return n;
  }

  // Stores one DWORD under Software\T; returns the status of the set.
  LONG PutDword(const char *name, DWORD v) {
    HKEY k;
    LONG rc = RegCreateKeyA(HKEY_CURRENT_USER, "Software\\T", &k);
    if (rc != ERROR_SUCCESS) return rc;
    rc = RegSetValueExA(k, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&v), sizeof v);
    RegCloseKey(k);
    return rc;
  }
  // Reads it back; -1 when absent.
  long long GetDword(const char *name) {
    HKEY k;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\T", 0, KEY_READ, &k) != ERROR_SUCCESS)
      return -1;
    DWORD v = 0, cb = sizeof v, type = 0;
    LONG rc = RegQueryValueExA(k, name, nullptr, &type, reinterpret_cast<BYTE *>(&v), &cb);
    RegCloseKey(k);
    return rc == ERROR_SUCCESS && type == REG_DWORD ? static_cast<long long>(v) : -1;
  }

  quavix::test::TempDir dir_{"quavix-reg-test"};
  std::optional<quavix::test::ScopedEnv> config_;
  size_t handlesAtStart_ = 0;
};

TEST_F(RegistryTest, TypedValuesAndSizes) {
  HKEY key;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\ZORVEKA\\VORLINTA\\Option", 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE,
                            nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  int negative = -7;
  ASSERT_EQ(RegSetValueExA(key, "nSoundCaptureIndex", 0, REG_DWORD,
                           reinterpret_cast<const BYTE *>(&negative), 4),
            ERROR_SUCCESS);
  const char *folder = "/home/me/Music/";
  ASSERT_EQ(
      RegSetValueExA(key, "last_output_folder", 0, REG_SZ, reinterpret_cast<const BYTE *>(folder),
                     static_cast<DWORD>(std::strlen(folder) + 1)),
      ERROR_SUCCESS);

  DWORD type = 0, cb = 0;
  // Size query with a null buffer; REG_SZ sizes count the zero.
  ASSERT_EQ(RegQueryValueExA(key, "last_output_folder", nullptr, &type, nullptr, &cb),
            ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(cb, std::strlen(folder) + 1);

  char small[4];
  cb = sizeof small;
  EXPECT_EQ(RegQueryValueExA(key, "last_output_folder", nullptr, &type,
                             reinterpret_cast<BYTE *>(small), &cb),
            ERROR_MORE_DATA);
  EXPECT_EQ(cb, std::strlen(folder) + 1);

  std::string buf(cb, 'x');
  ASSERT_EQ(RegQueryValueExA(key, "last_output_folder", nullptr, &type,
                             reinterpret_cast<BYTE *>(buf.data()), &cb),
            ERROR_SUCCESS);
  EXPECT_STREQ(buf.c_str(), folder);

  int back = 0;
  cb = sizeof back;
  ASSERT_EQ(RegQueryValueExA(key, "nSoundCaptureIndex", nullptr, &type,
                             reinterpret_cast<BYTE *>(&back), &cb),
            ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(cb, 4u);
  EXPECT_EQ(back, -7);

  EXPECT_EQ(RegQueryValueExA(key, "missing", nullptr, &type, nullptr, &cb), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExA(key, "nSoundCaptureIndex", nullptr, &type,
                             reinterpret_cast<BYTE *>(&back), nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

  // The file is readable text with the value in it.
  std::string text = ReadFileText();
  EXPECT_NE(text.find("[Software\\ZORVEKA\\VORLINTA\\Option]"), std::string::npos) << text;
  EXPECT_NE(text.find("\"last_output_folder\"=sz:\"/home/me/Music/\""), std::string::npos) << text;
}

TEST_F(RegistryTest, NamesIgnoreCaseButKeepIt) {
  HKEY a, b;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\ZORVEKA\\vorlinta", &a), ERROR_SUCCESS);
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\zorveka\\VORLINTA", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &b, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  DWORD one = 1;
  ASSERT_EQ(RegSetValueExA(a, "nSearchFlag", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&one), 4),
            ERROR_SUCCESS);
  DWORD two = 2;
  // Same value under another case: replaced, not added.
  ASSERT_EQ(RegSetValueExA(b, "NSEARCHFLAG", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&two), 4),
            ERROR_SUCCESS);
  DWORD v = 0, cb = 4;
  ASSERT_EQ(RegQueryValueExA(a, "nsearchflag", nullptr, nullptr, reinterpret_cast<BYTE *>(&v), &cb),
            ERROR_SUCCESS);
  EXPECT_EQ(v, 2u);
  RegCloseKey(a);
  RegCloseKey(b);
  std::string text = ReadFileText();
  EXPECT_NE(text.find("[Software\\ZORVEKA\\vorlinta]"), std::string::npos) << text;
  EXPECT_EQ(text.find("VORLINTA"), std::string::npos) << text;
  EXPECT_NE(text.find("\"nSearchFlag\""), std::string::npos) << text;
}

TEST_F(RegistryTest, DefaultValuesOfSubkeys) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\ZORVEKA\\VORLINTA", &key), ERROR_SUCCESS);
  // cbData is ignored: the whole string and its zero are stored.
  ASSERT_EQ(RegSetValueA(key, "OutputWMAName", REG_SZ, "/out/My Song.wma", 3), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueA(key, "OUTPUTWAVE", REG_SZ, "0", 2), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueA(key, "X", REG_DWORD, "0", 2), ERROR_INVALID_PARAMETER);

  LONG cb = 0;
  ASSERT_EQ(RegQueryValueA(key, "outputwmaname", nullptr, &cb), ERROR_SUCCESS);
  EXPECT_EQ(cb, static_cast<LONG>(std::strlen("/out/My Song.wma") + 1));
  char buf[64];
  LONG tiny = 5;
  EXPECT_EQ(RegQueryValueA(key, "OutputWMAName", buf, &tiny), ERROR_MORE_DATA);
  EXPECT_EQ(tiny, cb);
  cb = sizeof buf;
  ASSERT_EQ(RegQueryValueA(key, "OutputWMAName", buf, &cb), ERROR_SUCCESS);
  EXPECT_STREQ(buf, "/out/My Song.wma");

  // The value is the subkey's default value, not a named value of the key.
  DWORD dcb = 0;
  EXPECT_EQ(RegQueryValueExA(key, "OutputWMAName", nullptr, nullptr, nullptr, &dcb),
            ERROR_FILE_NOT_FOUND);
  HKEY sub;
  ASSERT_EQ(RegOpenKeyExA(key, "OUTPUTWAVE", 0, KEY_READ, &sub), ERROR_SUCCESS);
  DWORD type = 0;
  dcb = sizeof buf;
  ASSERT_EQ(RegQueryValueExA(sub, nullptr, nullptr, &type, reinterpret_cast<BYTE *>(buf), &dcb),
            ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_STREQ(buf, "0");
  RegCloseKey(sub);

  // A subkey without a default value reads as "", a missing one fails.
  HKEY empty;
  ASSERT_EQ(RegCreateKeyA(key, "Empty", &empty), ERROR_SUCCESS);
  RegCloseKey(empty);
  cb = sizeof buf;
  ASSERT_EQ(RegQueryValueA(key, "Empty", buf, &cb), ERROR_SUCCESS);
  EXPECT_EQ(cb, 1);
  EXPECT_STREQ(buf, "");
  cb = sizeof buf;
  EXPECT_EQ(RegQueryValueA(key, "Nope", buf, &cb), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

TEST_F(RegistryTest, AnyBytesRoundTripThroughTheFile) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  const std::string names[] = {"quote\"back\\slash", "new\nline\ttab", "Grüße \xF0\x9F\x8E\xB5",
                               "bad\xFF\xC0utf8", "=@[]%"};
  HKEY key;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\We%ird [key] ü\\x", &key), ERROR_SUCCESS);
  for (const std::string &n : names) {
    ASSERT_EQ(RegSetValueExA(key, n.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE *>(all.data()),
                             static_cast<DWORD>(all.size())),
              ERROR_SUCCESS)
        << n;
  }
  std::string sz = std::string("a\0b\"c\\d\xE2\x82\xAC", 9) + '\0';
  ASSERT_EQ(RegSetValueExA(key, "sz", 0, REG_SZ, reinterpret_cast<const BYTE *>(sz.data()),
                           static_cast<DWORD>(sz.size())),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  ASSERT_EQ(
      RegSetValueExA(key, "odd type", 0, 0xFFFFFFFFu, reinterpret_cast<const BYTE *>("xy"), 2),
      ERROR_SUCCESS);
  RegCloseKey(key);

  // Read through a new handle, i.e. from the file.
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software\\WE%IRD [KEY] ü\\X", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  for (const std::string &n : names) {
    std::string back(300, '\0');
    DWORD cb = static_cast<DWORD>(back.size()), type = 0;
    ASSERT_EQ(RegQueryValueExA(key, n.c_str(), nullptr, &type,
                               reinterpret_cast<BYTE *>(back.data()), &cb),
              ERROR_SUCCESS)
        << n;
    back.resize(cb);
    EXPECT_EQ(back, all) << n;
  }
  std::string back(32, '\0');
  DWORD cb = 32, type = 0;
  ASSERT_EQ(RegQueryValueExA(key, "sz", nullptr, &type, reinterpret_cast<BYTE *>(back.data()), &cb),
            ERROR_SUCCESS);
  back.resize(cb);
  EXPECT_EQ(back, sz);
  cb = 32;
  ASSERT_EQ(
      RegQueryValueExA(key, "empty", nullptr, &type, reinterpret_cast<BYTE *>(back.data()), &cb),
      ERROR_SUCCESS);
  EXPECT_EQ(cb, 0u);
  EXPECT_EQ(type, REG_BINARY);
  cb = 32;
  ASSERT_EQ(
      RegQueryValueExA(key, "odd type", nullptr, &type, reinterpret_cast<BYTE *>(back.data()), &cb),
      ERROR_SUCCESS);
  EXPECT_EQ(type, 0xFFFFFFFFu);
  EXPECT_EQ(cb, 2u);
  RegCloseKey(key);
  EXPECT_EQ(DamagedCopies(), 0);
}

TEST_F(RegistryTest, HandlesAccessAndDeletion) {
  EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(0x1234)), ERROR_INVALID_HANDLE);
  HKEY missing = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Nothing", 0, KEY_READ, &missing),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(missing, nullptr);
  EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "a\\\\b", &missing), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, std::string(256, 'k').c_str(), &missing),
            ERROR_INVALID_PARAMETER);

  HKEY parent, child;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\P", &parent), ERROR_SUCCESS);
  ASSERT_EQ(RegCreateKeyA(parent, "C", &child), ERROR_SUCCESS);
  DWORD v = 5;
  ASSERT_EQ(RegSetValueExA(child, "v", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&v), 4),
            ERROR_SUCCESS);

  // A read-only handle cannot write or create.
  HKEY ro, tmp;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\P", 0, KEY_READ, &ro), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(ro, "v", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&v), 4),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCreateKeyExA(ro, "New", 0, nullptr, 0, KEY_READ, nullptr, &tmp, nullptr),
            ERROR_ACCESS_DENIED);
  RegCloseKey(ro);

  // A key with subkeys is not deleted; an empty one is, and its handles then fail.
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\P"), ERROR_ACCESS_DENIED);
  ASSERT_EQ(RegDeleteValueA(child, "V"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(child, "v"), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(RegDeleteKeyA(parent, "c"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(parent, "c"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegSetValueExA(child, "v", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&v), 4),
            ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(child), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(parent), ERROR_SUCCESS);
}

TEST_F(RegistryTest, FileLivesUnderTheConfigFolderWhichIsMadeWhenMissing) {
  std::string nested = dir_.File("not/yet");
  setenv("XDG_CONFIG_HOME", nested.c_str(), 1);
  EXPECT_EQ(quavix::reg::RegistryFilePath(), nested + "/quavix/registry");
  EXPECT_EQ(GetDword("a"), -1);
  EXPECT_FALSE(fs::exists(nested));  // reading creates nothing
  ASSERT_EQ(PutDword("a", 1), ERROR_SUCCESS);
  EXPECT_TRUE(fs::is_regular_file(nested + "/quavix/registry"));
  EXPECT_EQ(fs::status(nested + "/quavix/registry").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
  EXPECT_EQ(GetDword("a"), -1);
}

// Two processes write 200 different values each, at the same time.
TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int kPerProcess = 200;
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  pid_t kids[2];
  for (int p = 0; p < 2; ++p) {
    kids[p] = fork();
    ASSERT_GE(kids[p], 0);
    if (kids[p] == 0) {
      close(go[1]);
      char c;
      if (read(go[0], &c, 1) != 0) _exit(3);  // wait for the start (EOF)
      for (int i = 0; i < kPerProcess; ++i) {
        std::string name = "p" + std::to_string(p) + "_" + std::to_string(i);
        if (PutDword(name.c_str(), static_cast<DWORD>(p * 1000 + i)) != ERROR_SUCCESS) _exit(1);
      }
      _exit(0);
    }
  }
  close(go[0]);
  close(go[1]);  // both start now
  for (pid_t kid : kids) {
    int status = 0;
    ASSERT_EQ(waitpid(kid, &status, 0), kid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  int found = 0;
  for (int p = 0; p < 2; ++p)
    for (int i = 0; i < kPerProcess; ++i) {
      std::string name = "p" + std::to_string(p) + "_" + std::to_string(i);
      if (GetDword(name.c_str()) == p * 1000 + i) ++found;
    }
  EXPECT_EQ(found, 2 * kPerProcess);
  // No reader ever saw a half-written file, and no temporary file is left.
  EXPECT_EQ(DamagedCopies(), 0);
  for (const auto &e : fs::directory_iterator(dir_.File("quavix")))
    EXPECT_FALSE(e.path().filename().string().starts_with(".registry.tmp")) << e.path();
}

// A writer killed at any moment leaves the last complete file behind.
TEST_F(RegistryTest, WriterKilledMidWayLeavesACompleteFile) {
  ASSERT_EQ(PutDword("before", 1), ERROR_SUCCESS);
  pid_t kid = fork();
  ASSERT_GE(kid, 0);
  if (kid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlives a failed test
    for (DWORD i = 0; i < 100000; ++i) PutDword(("v" + std::to_string(i % 300)).c_str(), i);
    _exit(0);
  }
  // Let it write a while (until some values are there), then kill it.
  for (int i = 0; i < 100000 && GetDword("v20") < 0; ++i) usleep(1000);
  ASSERT_EQ(kill(kid, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(waitpid(kid, &status, 0), kid);
  EXPECT_EQ(GetDword("before"), 1);
  EXPECT_GE(GetDword("v20"), 20);
  EXPECT_EQ(DamagedCopies(), 0);

  // A temporary file it may have left is cleared by the next write.
  std::ofstream(dir_.File("quavix/.registry.tmp-99999-0")) << "QUAVIX-REGISTRY 1\n[half";
  ASSERT_EQ(PutDword("after", 2), ERROR_SUCCESS);
  for (const auto &e : fs::directory_iterator(dir_.File("quavix")))
    EXPECT_FALSE(e.path().filename().string().starts_with(".registry.tmp")) << e.path();
}

TEST_F(RegistryTest, DamagedFilesAreSetAsideAndReadAsEmpty) {
  ASSERT_EQ(PutDword("keep", 42), ERROR_SUCCESS);
  for (int i = 0; i < 50; ++i)
    ASSERT_EQ(PutDword(("filler" + std::to_string(i)).c_str(), 1), ERROR_SUCCESS);
  const std::string good = ReadFileText();
  ASSERT_EQ(GetDword("keep"), 42);

  std::mt19937 rng(7);
  std::string random(4096, '\0');
  for (char &c : random) c = static_cast<char>(rng());
  std::string invalidUtf8 = good;
  invalidUtf8.insert(invalidUtf8.find("keep"), "\xC3\x28");
  const std::string damaged[] = {
      good.substr(0, good.size() / 2),    // cut in half
      good.substr(0, good.rfind("END")),  // cut at a line end
      random,
      invalidUtf8,
      "QUAVIX-REGISTRY 1\n[Software\\T]\n\"keep\"=dword:0000002A\n\"x\"=hex(4294967296):00\nEND\n",
      "QUAVIX-REGISTRY 1\n\"outside\"=dword:00000001\nEND\n",
  };
  int expectedAside = 0;
  for (const std::string &text : damaged) {
    WriteFileText(text);
    EXPECT_EQ(GetDword("keep"), -1) << text.substr(0, 80);
    EXPECT_EQ(DamagedCopies(), ++expectedAside);
    EXPECT_FALSE(fs::exists(File()));
  }
  // The damaged text is kept intact aside.
  bool keptRandom = false;
  for (const auto &e : fs::directory_iterator(dir_.File("quavix"))) {
    if (quavix::test::ReadWholeFile(e.path()) == random) keptRandom = true;
  }
  EXPECT_TRUE(keptRandom);

  // An absurdly large file is damaged too, and a write starts afresh.
  WriteFileText("QUAVIX-REGISTRY 1\n; " + std::string(quavix::reg::kMaxRegistryFileSize, 'x') +
                "\nEND\n");
  ASSERT_EQ(PutDword("fresh", 9), ERROR_SUCCESS);
  EXPECT_EQ(GetDword("fresh"), 9);
  EXPECT_EQ(GetDword("keep"), -1);
  EXPECT_EQ(DamagedCopies(), expectedAside + 1);
}

TEST_F(RegistryTest, SymbolicLinkIsNeverWrittenThrough) {
  ASSERT_EQ(PutDword("a", 1), ERROR_SUCCESS);
  std::string target = dir_.File("elsewhere");
  fs::rename(File(), target);
  fs::create_symlink(target, File());
  const std::string before = quavix::test::ReadWholeFile(target);
  EXPECT_NE(PutDword("b", 2), ERROR_SUCCESS);
  EXPECT_EQ(GetDword("a"), -1);  // not followed for reading either
  EXPECT_EQ(quavix::test::ReadWholeFile(target), before);
  EXPECT_TRUE(fs::is_symlink(File()));
}

TEST_F(RegistryTest, ReadOnlyOrUnreadableFilesAreLeftAlone) {
  ASSERT_EQ(PutDword("a", 1), ERROR_SUCCESS);
  const std::string before = ReadFileText();
  fs::permissions(File(), fs::perms::owner_read | fs::perms::group_read);
  EXPECT_EQ(PutDword("b", 2), ERROR_ACCESS_DENIED);
  EXPECT_EQ(GetDword("a"), 1);
  EXPECT_EQ(ReadFileText(), before);

  // Something that is not a regular file where the registry should be.
  fs::permissions(File(), fs::perms::owner_all);
  fs::remove(File());
  fs::create_directory(File());
  EXPECT_EQ(GetDword("a"), -1);
  EXPECT_EQ(PutDword("b", 2), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(fs::is_directory(File()));
  fs::remove(File());

  // A folder we may not write into: the write fails, nothing half-written.
  fs::permissions(dir_.File("quavix"), fs::perms::owner_read | fs::perms::owner_exec);
  if (geteuid() != 0) {
    EXPECT_NE(PutDword("c", 3), ERROR_SUCCESS);
    EXPECT_FALSE(fs::exists(File()));
  }
}

TEST(RegistryTextTest, ParserAcceptsCommentsAndRejectsMalformedLines) {
  RegKey root;
  std::string error;
  ASSERT_TRUE(ParseRegistryText(
      "; note\r\nQUAVIX-REGISTRY 1\r\n\r\n[A\\b%5D]\n@=sz:\"x\"\n# c\nEND\n", &root, &error))
      << error;
  ASSERT_EQ(root.subkeys.size(), 1u);
  ASSERT_NE(root.FindSubkey("a"), nullptr);
  const RegKey *b = root.FindSubkey("A")->FindSubkey("B]");
  ASSERT_NE(b, nullptr);
  ASSERT_NE(b->FindValue(""), nullptr);
  EXPECT_EQ(b->FindValue("")->data, std::string("x\0", 2));

  EXPECT_TRUE(ParseRegistryText("", &root));
  const char *bad[] = {
      "QUAVIX-REGISTRY 2\nEND\n",
      "QUAVIX-REGISTRY 1\n[a]\n",
      "QUAVIX-REGISTRY 1\nEND\n[a]\n",
      "QUAVIX-REGISTRY 1\n[a\\\\b]\nEND\n",
      "QUAVIX-REGISTRY 1\n[a%5Cb]\nEND\n",
      "QUAVIX-REGISTRY 1\n[a%5]\nEND\n",
      "QUAVIX-REGISTRY 1\n[a]\n\"v\"=dword:123\nEND\n",
      "QUAVIX-REGISTRY 1\n[a]\n\"v\"=sz:\"abc\nEND\n",
      "QUAVIX-REGISTRY 1\n[a]\n\"v\"=sz:\"a\\q\"\nEND\n",
      "QUAVIX-REGISTRY 1\n[a]\n\"v\"=sz:\"a\"x\nEND\n",
      "QUAVIX-REGISTRY 1\n[a]\n\"v\"=hex(1):4\nEND\n",
      "QUAVIX-REGISTRY 1\n[a]\n\"v\"=hex(1):41,,42\nEND\n",
      "QUAVIX-REGISTRY 1\n[a]\n\"\"=sz:\"\"\nEND\n",
      "QUAVIX-REGISTRY 1\n[a]\nv=sz:\"\"\nEND\n",
  };
  for (const char *text : bad) EXPECT_FALSE(ParseRegistryText(text, &root)) << text;

  std::string deep = "QUAVIX-REGISTRY 1\n[k";
  for (size_t i = 0; i < quavix::reg::kMaxKeyDepth; ++i) deep += "\\k";
  EXPECT_FALSE(ParseRegistryText(deep + "]\nEND\n", &root));
  std::string big = "QUAVIX-REGISTRY 1\n[a]\n\"v\"=sz:\"" +
                    std::string(quavix::reg::kMaxValueDataSize, 'x') + "\"\nEND\n";
  EXPECT_FALSE(ParseRegistryText(big, &root));
}

TEST(RegistryTextTest, SerializedTreeParsesBackTheSame) {
  RegKey root;
  root.SetValue("", 1, std::string("root\0", 5));
  RegKey &k = root.SubkeyFor("Sóftware");
  k.SetValue("d", 4, std::string("\x01\x02\x03\x04", 4));
  k.SetValue("d3", 4, std::string("\x01\x02\x03", 3));
  k.SetValue("sz-no-zero", 1, "abc");
  k.SetValue("\x85 c1 control", 1, std::string("\xC2\x85\x7F\0", 4));
  k.SubkeyFor("%[]\x01\xFE").SetValue("x", 3, "");
  std::string text = SerializeRegistryText(root);
  RegKey back;
  std::string error;
  ASSERT_TRUE(ParseRegistryText(text, &back, &error)) << error << "\n" << text;
  EXPECT_TRUE(back == root) << text;
  EXPECT_NE(text.find("\"d\"=dword:04030201"), std::string::npos) << text;
}

}  // namespace
