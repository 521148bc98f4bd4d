// Leak checking for test programs that load GLib (GStreamer, the toolkit,
// libpulse). GLib allocates in its library constructors and never frees those
// blocks on purpose: its first quark table, for one, is dropped once
// GStreamer has made more than 2048 quarks. Only allocations made by library
// constructors are exempt, which needs full stacks at each allocation. These
// hooks are read only by the address and leak sanitizers.
extern "C" const char *__lsan_default_suppressions() { return "leak:_dl_init\n"; }
extern "C" const char *__asan_default_options() { return "fast_unwind_on_malloc=0"; }
