// Sanitizer defaults of the program in the sanitized build (ORVEL_SANITIZE), under whatever
// ASAN_OPTIONS and LSAN_OPTIONS a run sets besides.
//
// Allocations are unwound the slow way, by the unwind tables, not by frame pointers: Debian's
// fontconfig and Qt keep none, so the fast way stops at the first frame inside fontconfig, and a
// leak report of a fontconfig object could not tell the patterns Qt's font engines keep (which
// fontconfig reaches through offsets, so they look lost at exit) from a pattern our code lost.
// The suppression in scripts/lsan-suppressions.txt names Qt's frame; this makes it visible. The slow
// way costs time at every allocation, in proportion to the frames kept: with 30 (the default) the
// program took so much longer to build its windows that desktop tests which act on them as soon
// as they are shown failed; 8 frames reach Qt's (the 6th) and were measured to keep them passing.
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0:malloc_context_size=8"; }
