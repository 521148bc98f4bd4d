#include "platform/dshow/gst_util.h"

#include <cstdio>
#include <mutex>

void EnsureGstInit() {
  static std::once_flag once;
  std::call_once(once, [] { gst_init(nullptr, nullptr); });
}

GstElement *MakeElement(const char *factory, const char *name) {
  GstElement *e = gst_element_factory_make(factory, name);
  if (!e) std::fprintf(stderr, "quavix: GStreamer element \"%s\" is not installed\n", factory);
  return e;
}
