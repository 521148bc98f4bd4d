// Leak checking for test programs that load GLib (GStreamer, the toolkit,
// libpulse). GLib allocates in its library constructors and never frees those
// blocks on purpose: its first quark table, for one, is dropped once
// GStreamer has made more than 2048 quarks. Only allocations made by library
// constructors are exempt, which needs stacks that reach the loader's
// _dl_init: the frame-pointer unwinder stops in the system libraries, so
// every allocation is unwound the slow way. That unwinding was most of the
// sanitizer pass's CPU; 16 frames instead of 30 still reach _dl_init (8
// did, in every program tried) for about a third less. These hooks are read
// only by the address and leak sanitizers.
extern "C" const char *__lsan_default_suppressions() { return "leak:_dl_init\n"; }
extern "C" const char *__asan_default_options() {
  return "fast_unwind_on_malloc=0:malloc_context_size=16";
}
