// Everything of the media graph that the program uses. Includes no
// GStreamer header.
#pragma once

#include "platform/com/com.h"
#include "platform/dshow/capture.h"
#include "platform/dshow/control.h"
#include "platform/dshow/devenum.h"
#include "platform/dshow/dshow_types.h"
#include "platform/dshow/evcode.h"
#include "platform/dshow/file_source.h"
#include "platform/dshow/filter.h"
#include "platform/dshow/uuids.h"
