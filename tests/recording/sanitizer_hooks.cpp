// GLib allocates in library constructors and never frees those blocks;
// only allocations made there are exempt, which needs full stacks.
extern "C" const char *__lsan_default_suppressions() { return "leak:_dl_init\n"; }
extern "C" const char *__asan_default_options() { return "fast_unwind_on_malloc=0"; }
