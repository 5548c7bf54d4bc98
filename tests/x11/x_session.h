#pragma once
// The X11 desktop moved into the shared harness; this name stays for the
// tests that still include it.
#include "tests/desktops/x11_session.h"
