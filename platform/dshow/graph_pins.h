// Pin and filter queries the graph manager asks while it connects, renders
// and starts a graph (shared by its source files, not for other folders).
#pragma once

#include <string>
#include <vector>

#include "platform/com/refcounted.h"
#include "platform/dshow/filter.h"

// The pin's name, which is also the name of its element's pad.
std::string PinPadName(IPin *pin);
ComPtr<IBaseFilter> PinOwner(IPin *pin);
PIN_DIRECTION DirectionOf(IPin *pin);
std::vector<ComPtr<IPin>> PinsOf(IBaseFilter *f);
bool IsConnected(IPin *pin);
