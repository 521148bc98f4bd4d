// Classes served by modules loaded from the program's folders.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/com/com.h"
#include "tests/com/test_interface.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    unsetenv("QUAVIX_MODULE_DIR");
  }
  void TearDown() override {
    unsetenv("QUAVIX_MODULE_DIR");
    UnregisterModuleClass(CLSID_QxTestModuleAdder);
    CoUninitialize();
  }
};

TEST_F(ModuleTest, ModuleBesideTheExecutableServesItsClass) {
  // The test program and its modules are built into one folder, as the
  // program and the writer module are installed.
  RegisterModuleClass(CLSID_QxTestModuleAdder, "qx_test_module.so");
  IQxTestAdder *a = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_QxTestModuleAdder, nullptr, CLSCTX_INPROC_SERVER,
                             IID_IQxTestAdder, reinterpret_cast<void **>(&a)),
            S_OK);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->Add(40, 2), 42);
  EXPECT_EQ(a->LiveInModule(), 1);

  IQxTestAdder *b = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_QxTestModuleAdder, nullptr, CLSCTX_INPROC_SERVER,
                             IID_IQxTestAdder, reinterpret_cast<void **>(&b)),
            S_OK);
  EXPECT_EQ(b->LiveInModule(), 2);
  EXPECT_EQ(a->Release(), 0u);
  EXPECT_EQ(b->LiveInModule(), 1);  // released exactly once, in the module
  EXPECT_EQ(b->Release(), 0u);
}

TEST_F(ModuleTest, OverrideFolderIsSearched) {
  quavix::test::TempDir modules("qx-modules");
  fs::path dir(modules.path());
  // Only the copy in the override folder has this name.
  fs::copy_file(fs::path(QX_TEST_MODULE_PATH), dir / "qx_test_module_copy.so");
  setenv("QUAVIX_MODULE_DIR", dir.c_str(), 1);
  RegisterModuleClass(CLSID_QxTestModuleAdder, "qx_test_module_copy.so");
  IQxTestAdder *a = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_QxTestModuleAdder, nullptr, CLSCTX_INPROC_SERVER,
                             IID_IQxTestAdder, reinterpret_cast<void **>(&a)),
            S_OK);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->Add(1, 1), 2);
  a->Release();
}

// Run only inside the copy of this program made by the next test.
TEST_F(ModuleTest, ChildFindsTheModuleOfTheInstalledLayout) {
  if (!std::getenv("QX_INSTALLED_LAYOUT_CHILD"))
    GTEST_SKIP() << "runs as a child of InstalledLayout";
  RegisterModuleClass(CLSID_QxTestModuleAdder, "qx_test_module_installed.so");
  IQxTestAdder *a = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_QxTestModuleAdder, nullptr, CLSCTX_INPROC_SERVER,
                             IID_IQxTestAdder, reinterpret_cast<void **>(&a)),
            S_OK);
  EXPECT_EQ(a->Add(2, 3), 5);
  a->Release();
}

TEST_F(ModuleTest, InstalledLayoutFindsModulesInLibVorlinta) {
  // <prefix>/bin/program and <prefix>/lib/vorlinta/module, as installed.
  quavix::test::TempDir installed("qx-prefix");
  fs::path prefix(installed.path());
  fs::create_directories(prefix / "bin");
  fs::create_directories(prefix / "lib" / "vorlinta");
  fs::copy_file(fs::read_symlink("/proc/self/exe"), prefix / "bin" / "com_test");
  fs::copy_file(fs::path(QX_TEST_MODULE_PATH),
                prefix / "lib" / "vorlinta" / "qx_test_module_installed.so");
  std::string program = (prefix / "bin" / "com_test").string();
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    setenv("QX_INSTALLED_LAYOUT_CHILD", "1", 1);
    unsetenv("QUAVIX_MODULE_DIR");
    execl(program.c_str(), program.c_str(),
          "--gtest_filter=ModuleTest.ChildFindsTheModuleOfTheInstalledLayout",
          static_cast<char *>(nullptr));
    _exit(127);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the installed program did not find its module";
}

TEST_F(ModuleTest, MissingModuleMeansClassNotRegistered) {
  RegisterModuleClass(CLSID_QxTestMissingModule, "qx_no_such_module.so");
  void *p = reinterpret_cast<void *>(1);
  EXPECT_EQ(
      CoCreateInstance(CLSID_QxTestMissingModule, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p),
      REGDB_E_CLASSNOTREG);
  EXPECT_EQ(p, nullptr);
  UnregisterModuleClass(CLSID_QxTestMissingModule);
}

TEST_F(ModuleTest, ModuleNamesCannotReachOutsideTheProgramFolders) {
  // Even a real module, named by a path, is not loaded.
  RegisterModuleClass(CLSID_QxTestModuleAdder, QX_TEST_MODULE_PATH);
  void *p = reinterpret_cast<void *>(1);
  EXPECT_EQ(CoCreateInstance(CLSID_QxTestModuleAdder, nullptr, CLSCTX_INPROC_SERVER,
                             IID_IQxTestAdder, &p),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(p, nullptr);
  RegisterModuleClass(CLSID_QxTestModuleAdder, "../qx_test_module.so");
  EXPECT_EQ(CoCreateInstance(CLSID_QxTestModuleAdder, nullptr, CLSCTX_INPROC_SERVER,
                             IID_IQxTestAdder, &p),
            REGDB_E_CLASSNOTREG);
}

TEST_F(ModuleTest, LibraryWithoutEntryPointFailsCleanly) {
  RegisterModuleClass(CLSID_QxTestBrokenModule, "qx_broken_module.so");
  void *p = reinterpret_cast<void *>(1);
  HRESULT hr =
      CoCreateInstance(CLSID_QxTestBrokenModule, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p);
  EXPECT_TRUE(FAILED(hr));
  EXPECT_EQ(hr, CO_E_ERRORINDLL);
  EXPECT_EQ(p, nullptr);
  UnregisterModuleClass(CLSID_QxTestBrokenModule);
}

TEST_F(ModuleTest, WriterClassIsLookedUpAsAModule) {
  // The writer's class is in the module table from the start; with a module
  // folder that holds no writer and the program folder holding none either,
  // creation fails as "not registered", which the program reports as a
  // missing writer.
  quavix::test::TempDir empty("qx-empty");
  setenv("QUAVIX_MODULE_DIR", empty.path().c_str(), 1);
  const CLSID writer = MakeGuid("3c78b8e2-6c4d-11d1-ade2-0000f875a888");
  void *p = nullptr;
  HRESULT hr = CoCreateInstance(writer, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                IID_IUnknown, &p);
  if (fs::exists(fs::path(QX_TEST_MODULE_PATH).parent_path() / "vorlinta-wmawriter.so")) {
    // A full build puts the real writer beside the test program.
    EXPECT_EQ(hr, S_OK);
    if (p) static_cast<IUnknown *>(p)->Release();
  } else {
    EXPECT_EQ(hr, REGDB_E_CLASSNOTREG);
    EXPECT_EQ(p, nullptr);
  }
}

}  // namespace
