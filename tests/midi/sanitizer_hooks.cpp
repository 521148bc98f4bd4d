// Leak checking for test programs that load GLib.
//
// GLib's start-up code (a library constructor, run before main) allocates
// its first quark table, and GLib drops that table on purpose once more
// than 2048 quarks exist, so lock-free lookups stay valid; GStreamer always
// creates that many. Only allocations made by library constructors are
// exempted here, and finding them needs a full stack at each allocation,
// so the sanitizer run is told to unwind slowly (these hooks are only read
// by the address and leak sanitizers).
extern "C" const char *__lsan_default_suppressions() { return "leak:_dl_init\n"; }
extern "C" const char *__asan_default_options() { return "fast_unwind_on_malloc=0"; }
