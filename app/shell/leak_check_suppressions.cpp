// Read by the leak checker of sanitizer builds only. libdbus, under Qt's bus
// connections and its accessibility bridge, still holds messages that arrived
// as the program exits; those allocations are libdbus's own, and whether any
// is in flight at exit depends on timing.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}
