// Read by the leak checker of sanitizer builds only. The desktop tests end
// korvane with SIGTERM, often with a popup or menu open and bus messages in
// flight; what Qt's windowing and libdbus (under Qt's bus connections and its
// accessibility bridge) still hold at that moment is theirs, and whether any
// is held depends on timing. Korvane's own allocations stay checked: their
// stacks start in Korvane, and the unit tests check the same code.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n"
           "leak:libQt6Gui.so\n";
}
