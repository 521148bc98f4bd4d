// An interface shared by the COM tests and the test modules they load.
#pragma once

#include "platform/com/unknown.h"

QX_DEFINE_GUID(IID_IQxTestAdder, "5e0f7a41-2c1b-4d9e-8a63-0b7c9d2e1f30");
// Served by test_module.so.
QX_DEFINE_GUID(CLSID_QxTestModuleAdder, "5e0f7a42-2c1b-4d9e-8a63-0b7c9d2e1f30");
// Registered to a module that exports no entry point.
QX_DEFINE_GUID(CLSID_QxTestBrokenModule, "5e0f7a43-2c1b-4d9e-8a63-0b7c9d2e1f30");
// Registered to a module file that does not exist.
QX_DEFINE_GUID(CLSID_QxTestMissingModule, "5e0f7a44-2c1b-4d9e-8a63-0b7c9d2e1f30");

class IQxTestAdder : public IUnknown {
 public:
  virtual int Add(int a, int b) = 0;
  // Objects of the module's class alive right now.
  virtual long LiveInModule() = 0;

 protected:
  ~IQxTestAdder() = default;
};
