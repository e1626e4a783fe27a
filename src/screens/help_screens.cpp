// Help subjects.
#include "screens/help_screens.h"

int show_main_help_subject(int) {
    return 0;
}
int show_trading_help_subject(int) {
    return 0;
}
