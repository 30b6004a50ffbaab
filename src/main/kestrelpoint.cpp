// The command users run and bind: toggles the running launcher, or becomes the launcher. Links no Qt,
// ICU or GLib, so a second start costs about as much as starting any small program.

#include "main/EntryProgram.h"

int main(int, char** argv)
{
    return kestrel::EntryProgram(argv).run();
}
