// The end-to-end probe: a Windows console program that the e2e scripts run under
// Wine beside the real light programs. This file holds its command line; each
// concern has a file of its own (probe.h lists them). Every check prints what it
// saw. Exit status: 0 passed, 1 a check failed, 2 bad command line.

#include "probe.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int usage()
{
    std::fputs("usage: probe COMMAND ...\n"
               "  selftest [X Y]                  present a known image on a layered window of\n"
               "                                  another process and read it back exactly\n"
               "  list-windows                    print every top-level window\n"
               "  find-overlay [WAIT_MS]          wait for the overlay to show over the screen,\n"
               "                                  check its styles and rectangle\n"
               "  capture [--region X Y W H] [--out FILE.pam] [--expect-all AARRGGBB [--wait MS]]\n"
               "                                  read the screen (default: the virtual screen)\n"
               "  expect-transparent WAIT_MS HOLD_MS  the screen reads 0 within WAIT_MS and\n"
               "                                  stays so for HOLD_MS\n"
               "  open-window X Y W H [TITLE [MS]] open and activate a framed window, serve it\n"
               "  backing X Y W H [MS]            open a white unframed window, serve it\n"
               "  terminate-overlay               end the overlay's process\n"
               "  light-first [WITHIN_MS]         light appears after an activation, soundly\n"
               "  light-two-fans                  two activations in turn light two fans\n"
               "  light-fades [WITHIN_MS]         the overlay is transparent again in time\n"
               "  survive-foreground desktop|overlay  the program outlives that foreground\n"
               "  record FOLDER FRAMES INTERVAL_MS (X Y W H AT_MS)...  (two windows or more)\n"
               "                                  open sample windows, capture the desktop, wait\n"
               "                                  for the overlay, record it while activating\n"
               "                                  the windows, write the frames into FOLDER\n"
               "  version-info EXE [NAME=VALUE]...  print the version resource and check values\n"
               "                                  (a string's name, FILEVERSION, PRODUCTVERSION)\n"
               "  open-dialog X Y W H [TITLE [MS]] as open-window, with a fixed dialog frame\n"
               "  memory                          print the overlay process's memory counters\n"
               "  soak SECONDS WINDOWS PERIOD_MS REOPEN_EVERY CHECK_MS\n"
               "                                  activate windows in turn, reopening some, and\n"
               "                                  check the light now and then\n"
               "  monitor-layout [EXPECTED]       print (and check) the virtual screen, the\n"
               "                                  desktop's client size and the monitors\n"
               "  monitor-overlay WAIT_MS         the overlay moves onto the virtual screen\n"
               "  monitor-light STYLE X Y W H LIT_ON NAME  a window of STYLE (framed, popup,\n"
               "                                  tool) gets light on the monitors LIT_ON\n"
               "                                  (0 the primary, e.g. 0,1) or none at all\n"
               "  clicks                          open two windows, then ask for real clicks on\n"
               "                                  them while the program runs and check them\n"
               "Exit status: 0 passed, 1 a check failed, 2 bad command line.\n",
               stderr);
    return EXIT_USAGE;
}

bool parse_int(const char *text, int32_t &value)
{
    char *end = nullptr;
    long parsed = std::strtol(text, &end, 10);
    if (!*text || *end) return false;
    value = int32_t(parsed);
    return true;
}

bool parse_region(char *const *argv, Region &region)
{
    return parse_int(argv[0], region.x) && parse_int(argv[1], region.y) && parse_int(argv[2], region.width) &&
           parse_int(argv[3], region.height) && region.width > 0 && region.height > 0;
}

int main(int argc, char **argv)
{
    if (argc < 2) return usage();
    std::string command = argv[1];
    int32_t n[5] = {0, 0, 0, 0, 0};
    int given = 0;
    for (int i = 2; i < argc && given < 5 && parse_int(argv[i], n[given]); i++) given++;
    RECT rect{n[0], n[1], n[0] + n[2], n[1] + n[3]};

    if (command == "selftest" && (argc == 2 || (argc == 4 && given == 2)))
        return command_selftest(given ? n[0] : 37, given ? n[1] : 23);
    if (command == "present-pattern" && argc == 6 && given == 2)
        return command_present_pattern(n[0], n[1], argv[4], argv[5]);
    if (command == "list-windows" && argc == 2) return command_list_windows();
    if (command == "find-overlay" && argc <= 3 && given == argc - 2) return command_find_overlay(given ? n[0] : 10000);
    if (command == "capture") return command_capture(argc - 2, argv + 2);
    if (command == "expect-transparent" && argc == 4 && given == 2) return command_expect_transparent(n[0], n[1]);
    bool dialog = command == "open-dialog";
    if ((dialog || command == "open-window") && argc >= 6 && argc <= 8 && given >= 4) {
        int32_t lifetime = -1;
        if (argc == 8 && !parse_int(argv[7], lifetime)) return usage();
        const char *title = argc >= 7 ? argv[6] : dialog ? "probe dialog" : "probe window";
        return (dialog ? command_open_dialog : command_open_window)(rect, title, lifetime);
    }
    if (command == "backing" && (argc == 6 || argc == 7) && given == argc - 2)
        return command_backing(rect, argc == 7 ? n[4] : -1);
    if (command == "terminate-overlay" && argc == 2) return command_terminate_overlay();
    if (command == "light-first" && argc <= 3 && given == argc - 2) return command_light_first(given ? n[0] : 1000);
    if (command == "light-two-fans" && argc == 2) return command_light_two_fans();
    if (command == "light-fades" && argc <= 3 && given == argc - 2) return command_light_fades(given ? n[0] : 3000);
    if (command == "survive-foreground" && argc == 3 &&
        (std::string(argv[2]) == "desktop" || std::string(argv[2]) == "overlay"))
        return command_survive_foreground(argv[2]);
    if (command == "record") return command_record(argc - 2, argv + 2);
    if (command == "version-info" && argc >= 3) return command_version_info(argc - 2, argv + 2);
    if (command == "memory" && argc == 2) return command_memory();
    if (command == "soak" && argc == 7 && given == 5) return command_soak(n[0], n[1], n[2], n[3], n[4]);
    if (command == "clicks" && argc == 2) return command_clicks();
    if (command == "monitor-layout" && argc <= 3) return command_monitor_layout(argc == 3 ? argv[2] : nullptr);
    if (command == "monitor-overlay" && argc == 3 && given == 1) return command_monitor_overlay(n[0]);
    Region region;
    if (command == "monitor-light" && argc == 9 && parse_region(argv + 3, region))
        return command_monitor_light(argv[2], rect_of(region), argv[7], argv[8]);
    return usage();
}
