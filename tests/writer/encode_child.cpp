// The child that some encoder tests kill or starve: the test program itself,
// started again (see EncodeChildEntry).
#include <gst/gst.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "tests/support/test_main.h"
#include "tests/writer/gst_helpers.h"
#include "writer/encoder_bin.h"

namespace {

// live: a live tone until killed; prints PLAYING once it runs.
// fsize: 5 s with files limited to 16 KiB, as on a full disk; prints the
// failing element and exits 3 on error, 0 when the run claimed success.
int EncodeChild(const std::string &mode, const char *path) {
  const bool live = mode == "live";
  if (!live) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit lim = {16384, 16384};
    setrlimit(RLIMIT_FSIZE, &lim);
  }
  GstElement *bin = quavix::writer::CreateEncoderBin("wav-dest");
  if (!bin || quavix::writer::AttachOutputFile(bin, path) != 0) return 2;
  GstElement *pipeline =
      writer_test::MakePipeline(writer_test::ToneSource(1000, 5, live), bin, "fakesink");
  if (!live) {
    const writer_test::RunOutcome out = writer_test::RunToEnd(pipeline);
    std::printf("%s|%s\n", out.errorSource.c_str(), out.error.c_str());
    return out.eos ? 0 : 3;
  }
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  gst_element_get_state(pipeline, nullptr, nullptr, GST_CLOCK_TIME_NONE);
  std::printf("PLAYING\n");
  std::fflush(stdout);
  g_main_loop_run(g_main_loop_new(nullptr, FALSE));
  return 0;
}

// The encoder tests start this program again with QUAVIX_TEST_CHILD set and
// "--encode-child live|fsize <wma path>" on its command line.
int EncodeChildEntry(int argc, char **argv) {
  if (argc != 4 || std::strcmp(argv[1], "--encode-child") != 0) return 2;
  const int rc = EncodeChild(argv[2], argv[3]);
  std::fflush(stdout);
  _exit(rc);  // leak checks belong to the test process, not the child
}

[[maybe_unused]] const bool kRegistered = quavix::test::RegisterChildEntry(&EncodeChildEntry);

}  // namespace
