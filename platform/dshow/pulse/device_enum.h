// The system device enumerator (CLSID_SystemDeviceEnum): the category of
// audio input devices lists the sound server's capture devices as monikers.
// A moniker's property bag answers "FriendlyName" (VT_BSTR, the device's
// description) and "DeviceId" (VT_BSTR, its stable identity); binding it to
// IID_IBaseFilter gives a new audio capture filter for the device.
#pragma once

#include "platform/dshow/devenum.h"

namespace quavix::pulse {

// Creates the system device enumerator (the class factory function of the
// built-in class table).
HRESULT CreateSystemDeviceEnum(IUnknown *pUnkOuter, REFIID riid, void **ppv);

}  // namespace quavix::pulse

// Puts the system device enumerator into the built-in class table. Linking
// quavix_pulse does this before main(); calling it again is harmless.
void RegisterCaptureDeviceClasses();
