// Test runner of the writer tests. The same executable doubles as the child
// process that some tests kill or starve: "--encode-child <mode> <wma path>".
#include <gst/gst.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/writer/gst_helpers.h"
#include "writer/encoder_bin.h"

namespace {

// live: encodes a live tone until killed, telling the parent when it runs.
// fsize: encodes 5 s with the file size limited to 16 KiB, as on a full disk;
//        exits 3 when the run failed with an error, 0 when it claimed success.
int EncodeChild(const std::string& mode, const char* path) {
  const bool live = mode == "live";
  if (mode == "fsize") {
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = {16384, 16384};
    if (setrlimit(RLIMIT_FSIZE, &lim) != 0) return 2;
  }
  GstElement* bin = quavix::writer::CreateEncoderBin("wav-dest");
  if (!bin) return 2;
  if (quavix::writer::AttachOutputFile(bin, path) != 0) return 2;
  GstElement* pipeline =
      writer_test::MakePipeline(writer_test::ToneSource(1000, 5, live), bin, "fakesink");
  if (!pipeline) return 2;
  if (live) {
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    gst_element_get_state(pipeline, nullptr, nullptr, GST_CLOCK_TIME_NONE);
    std::printf("PLAYING\n");
    std::fflush(stdout);
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    g_main_loop_run(loop);  // until the parent kills us
    return 0;
  }
  const writer_test::RunOutcome out = writer_test::RunToEnd(pipeline);
  gst_object_unref(pipeline);
  std::printf("%s|%s\n", out.errorSource.c_str(), out.error.c_str());
  return out.eos ? 0 : 3;
}

}  // namespace

int main(int argc, char** argv) {
  gst_init(&argc, &argv);
  if (argc == 4 && std::strcmp(argv[1], "--encode-child") == 0) {
    // The child's result is its exit code alone; leak checks belong to the
    // test process, so it leaves without the exit handlers.
    const int rc = EncodeChild(argv[2], argv[3]);
    std::fflush(stdout);
    _exit(rc);
  }

  // Keep every test away from the person's own settings and sound server.
  char tmpl[] = "/tmp/quavix-writer-test-XXXXXX";
  const char* root = mkdtemp(tmpl);
  if (!root) return 2;
  const std::string config = std::string(root) + "/config";
  const std::string runtime = std::string(root) + "/runtime";
  g_mkdir_with_parents(config.c_str(), 0700);
  g_mkdir_with_parents(runtime.c_str(), 0700);
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  unsetenv("PULSE_SERVER");

  testing::InitGoogleTest(&argc, argv);
  const int rc = RUN_ALL_TESTS();
  gchar* argvRm[] = {const_cast<gchar*>("rm"), const_cast<gchar*>("-rf"),
                     const_cast<gchar*>(root), nullptr};
  g_spawn_sync(nullptr, argvRm, nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr, nullptr,
               nullptr, nullptr);
  gst_deinit();
  return rc;
}
