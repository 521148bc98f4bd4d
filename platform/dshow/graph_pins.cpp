#include "platform/dshow/graph_pins.h"

#include "platform/com/olestr.h"

std::string PinPadName(IPin *pin) {
  PIN_INFO info{};
  if (FAILED(pin->QueryPinInfo(&info))) return {};
  if (info.pFilter) info.pFilter->Release();
  info.achName[MAX_PIN_NAME - 1] = 0;
  return Utf16ToUtf8(info.achName);
}

ComPtr<IBaseFilter> PinOwner(IPin *pin) {
  PIN_INFO info{};
  if (FAILED(pin->QueryPinInfo(&info))) return {};
  return ComPtr<IBaseFilter>::Attach(info.pFilter);
}

PIN_DIRECTION DirectionOf(IPin *pin) {
  PIN_DIRECTION d = static_cast<PIN_DIRECTION>(3);
  pin->QueryDirection(&d);
  return d;
}

std::vector<ComPtr<IPin>> PinsOf(IBaseFilter *f) {
  std::vector<ComPtr<IPin>> pins;
  ComPtr<IEnumPins> e;
  if (FAILED(f->EnumPins(e.Out())) || !e) return pins;
  IPin *p = nullptr;
  while (e->Next(1, &p, nullptr) == S_OK && p) pins.push_back(ComPtr<IPin>::Attach(p));
  return pins;
}

bool IsConnected(IPin *pin) {
  IPin *peer = nullptr;
  if (SUCCEEDED(pin->ConnectedTo(&peer)) && peer) {
    peer->Release();
    return true;
  }
  return false;
}
