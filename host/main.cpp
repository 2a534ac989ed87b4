// The entry point of both programs: start-up, then the overlay's message pump for
// ever. The command line and the show mode are ignored.
#include "host/overlay.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    start_up(instance);
    for (;;) {
        pump_message();
    }
}
