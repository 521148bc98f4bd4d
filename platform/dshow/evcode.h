// Event codes delivered through IMediaEvent::GetEvent. No event carries a
// reference or an allocation in its parameters, so FreeEventParams has
// nothing to free (callers still call it, as they always have).
#pragma once

constexpr long EC_COMPLETE = 0x01;  // all streams ended; param1 HRESULT
constexpr long EC_USERABORT = 0x02;
constexpr long EC_ERRORABORT = 0x03;  // param1 HRESULT of the error
constexpr long EC_TIME = 0x04;
constexpr long EC_REPAINT = 0x05;
constexpr long EC_STREAM_ERROR_STOPPED = 0x06;
constexpr long EC_STREAM_ERROR_STILLPLAYING = 0x07;
constexpr long EC_ERROR_STILLPLAYING = 0x08;
constexpr long EC_PALETTE_CHANGED = 0x09;
constexpr long EC_VIDEO_SIZE_CHANGED = 0x0A;
constexpr long EC_QUALITY_CHANGE = 0x0B;
constexpr long EC_SHUTTING_DOWN = 0x0C;
constexpr long EC_CLOCK_CHANGED = 0x0D;
constexpr long EC_PAUSED = 0x0E;
constexpr long EC_OPENING_FILE = 0x10;
constexpr long EC_BUFFERING_DATA = 0x11;
constexpr long EC_FULLSCREEN_LOST = 0x12;
constexpr long EC_ACTIVATE = 0x13;
constexpr long EC_NEED_RESTART = 0x14;
constexpr long EC_WINDOW_DESTROYED = 0x15;
constexpr long EC_DISPLAY_CHANGED = 0x16;
constexpr long EC_STARVATION = 0x17;
constexpr long EC_OLE_EVENT = 0x18;
constexpr long EC_NOTIFY_WINDOW = 0x19;
constexpr long EC_STREAM_CONTROL_STOPPED = 0x1A;
constexpr long EC_STREAM_CONTROL_STARTED = 0x1B;
constexpr long EC_END_OF_SEGMENT = 0x1C;
constexpr long EC_SEGMENT_STARTED = 0x1D;
constexpr long EC_LENGTH_CHANGED = 0x1E;
constexpr long EC_DEVICE_LOST = 0x1F;  // param1 0, param2 0 lost / 1 back
constexpr long EC_USER = 0x8000;

// Reports of this system's capture filter beyond DirectShow's own.
// Another capture device appeared or went (the filter's own device is
// EC_DEVICE_LOST); params 0.
constexpr long EC_CAPTURE_DEVICES_CHANGED = EC_USER + 0x10;
// The run that just stopped recorded a second or more and nothing of it
// above -60 dBFS; params 0.
constexpr long EC_CAPTURE_SILENT = EC_USER + 0x11;
