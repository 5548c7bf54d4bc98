// Waits for ever. Linked statically, so it runs alone inside a chroot that
// holds nothing else; its arguments show in its /proc/PID/cmdline.
#include <unistd.h>

int main() {
    for (;;) ::pause();
}
