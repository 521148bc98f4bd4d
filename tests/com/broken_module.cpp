// A shared library that is no module: it exports no DllGetClassObject.
extern "C" __attribute__((visibility("default"))) int QxTestNotAnEntryPoint() { return 42; }
