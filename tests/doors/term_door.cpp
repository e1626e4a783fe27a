// A small door on the terminal layer for the virtual caller's tests: started as Bullmoor is (no
// arguments, or node, drop-file path and socket), it shows the caller and echoes what it reads.
//   any key    row 2: "KEY <code>" (term_menu_key's code, decimal)
//   l          line input at row 5, then row 6: "LINE [text] END <code>"
//   s          string input at row 7, then row 8: "STRING [text]"
//   w          row 9: "WAITING <0|1>" from term_key_waiting
//   p          pages the sysop at row 15, column 6, then row 22: "PAGED"
//   c          row 12: every CP437 byte from 128 to 255 in the first 64 and row 13 the rest
//   d          row 11: "DATE yyyy-mm-dd" from the local clock
//   q          "BYE", exit 0
// Conditions: -3 shows "WARNING" on row 3 and goes on; -1, -2, -4 show "CONDITION <code>" and
// exit with 10 minus the code (11, 12, 14). Pauses are off; TERM_DOOR_INACTIVITY sets the
// inactivity time-out in seconds.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "doorkit/opendoors.h"
#include "session/session.h"
#include "session/terminal.h"

namespace {

void show_at(int row, const char* text) {
    term_goto(0, row);
    term_clear_line();
    term_puts(text);
}

}  // namespace

int main(int argc, char** argv) {
    term_set_force_local(true);
    od_set_skip_pauses(true);
    if (const char* seconds = std::getenv("TERM_DOOR_INACTIVITY")) {
        od_control.od_inactivity = std::atoi(seconds);
    }
    if (argc < 2) {
        od_control.remote = 0;
        od_init();
    } else {
        door_init(std::atoi(argv[1]), argc > 2 ? argv[2] : "", argc > 3 ? argv[3] : "");
    }
    char line[100];
    term_clear_screen();
    std::snprintf(line, sizeof line, "TERM DOOR node %d user %s sec %d min %d remote %d",
                  od_control.od_node, od_control.user_name, od_control.user_security,
                  od_control.user_timelimit, od_control.remote);
    show_at(0, line);
    for (;;) {
        int key = term_menu_key();
        std::snprintf(line, sizeof line, "KEY %d", key);
        show_at(2, line);
        if (key == kKeyTimeWarning) {
            show_at(3, "WARNING");
            continue;
        }
        if (key == kKeyNoCarrier || key == kKeyInactive || key == kKeyTimeUp) {
            std::snprintf(line, sizeof line, "CONDITION %d", key);
            show_at(3, line);
            od_exit(10 - key);
        }
        switch (key) {
            case 'l': {
                char buffer[20];
                show_at(5, "Line: ");
                int end = term_input_line(buffer, sizeof buffer);
                std::snprintf(line, sizeof line, "LINE [%s] END %d", buffer, end);
                show_at(6, line);
                break;
            }
            case 's': {
                char buffer[81];
                show_at(7, "String: ");
                term_input_string(buffer);
                std::snprintf(line, sizeof line, "STRING [%s]", buffer);
                show_at(8, line);
                break;
            }
            case 'w':
                std::snprintf(line, sizeof line, "WAITING %d", term_key_waiting());
                show_at(9, line);
                break;
            case 'p':
                term_goto(6, 15);
                term_page_sysop();
                show_at(22, "PAGED");
                break;
            case 'c':
                for (int half = 0; half < 2; ++half) {
                    char glyphs[65];
                    for (int i = 0; i < 64; ++i) glyphs[i] = static_cast<char>(128 + half * 64 + i);
                    glyphs[64] = '\0';
                    show_at(12 + half, glyphs);
                }
                break;
            case 'd': {
                time_t now = std::time(nullptr);
                char date[16];
                std::strftime(date, sizeof date, "%Y-%m-%d", std::localtime(&now));
                std::snprintf(line, sizeof line, "DATE %s", date);
                show_at(11, line);
                break;
            }
            case 'q':
                show_at(4, "BYE");
                od_exit(0);
            default:
                break;
        }
    }
}
