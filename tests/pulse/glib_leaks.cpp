// GLib allocates in its library constructors and never frees those blocks.
// Only allocations made there are exempt from the leak check, which needs
// full stacks to tell them apart.
extern "C" const char *__lsan_default_suppressions() { return "leak:_dl_init\n"; }
extern "C" const char *__asan_default_options() { return "fast_unwind_on_malloc=0"; }
