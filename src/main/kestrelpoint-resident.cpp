// The resident launcher, which the command kestrelpoint becomes on a first start (installed in the
// package's libexec directory, not run by users).

#include "main/ResidentProgram.h"

#include <sys/prctl.h>

int main(int argc, char** argv)
{
    // The process keeps the name users know it by (ps, top, pgrep).
    ::prctl(PR_SET_NAME, "kestrelpoint", 0, 0, 0);
    return kestrel::ResidentProgram(argc, argv).run();
}
