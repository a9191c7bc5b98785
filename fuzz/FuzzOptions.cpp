// Sanitizer defaults of every fuzz target (the environment still overrides
// them).

// Undefined behaviour is a finding like a crash: the run stops and keeps the
// input, instead of printing a line that nobody reads.
extern "C" const char* __ubsan_default_options() { return "halt_on_error=1:print_stacktrace=1"; }

// Freed memory waits in a quarantine before it is used again, so that a late
// use is caught. The default of 256 MB makes nearly every allocation of a
// run land on fresh pages, and the page faults cost a third of the time of
// the targets that allocate per input; 16 MB still outlasts every input.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=16"; }
