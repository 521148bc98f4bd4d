// Small GStreamer helpers shared by the graph's own filters (not installed
// for other folders; the writer module must not depend on them).
#pragma once

#include <gst/gst.h>

#include "platform/win/windef.h"

// gst_init once per process, from any thread.
void EnsureGstInit();

constexpr REFERENCE_TIME GstToRefTime(GstClockTime t) {
  return static_cast<REFERENCE_TIME>(t / 100);
}
constexpr GstClockTime RefTimeToGst(REFERENCE_TIME t) {
  return t <= 0 ? 0 : static_cast<GstClockTime>(t) * 100;
}

// Makes an element or returns null, logging which plugin is missing.
GstElement *MakeElement(const char *factory, const char *name = nullptr);
