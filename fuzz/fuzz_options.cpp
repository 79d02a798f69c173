// Sanitizer settings of every fuzz target. A quarantine of 16 MiB still
// holds everything one execution frees (use after free is found within an
// input) but lets freed memory be reused across inputs: the default 256 MiB
// makes every allocation touch fresh pages and costs two thirds of the
// time.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=16"; }
