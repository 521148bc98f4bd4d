// Leak checking for the measures' tests, which load GLib through GStreamer.
// GLib's library constructor allocates its first quark table and drops it on
// purpose once GStreamer has made more than 2048 quarks; only allocations
// made by library constructors are exempted, which needs full stacks at each
// allocation (these hooks are read only by the address and leak sanitizers).
extern "C" const char *__lsan_default_suppressions() { return "leak:_dl_init\n"; }
extern "C" const char *__asan_default_options() { return "fast_unwind_on_malloc=0"; }
