// Read by the leak checker of sanitizer builds (and unused otherwise): the
// font configuration library keeps caches for the life of the process.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
