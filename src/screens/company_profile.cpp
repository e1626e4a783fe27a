// Company profile.
#include "screens/company_profile.h"

const char TrendLabel[10][10] = {"0 - Bear ", "1 - Bear ", "2 - Bear ", "3 - Mixed", "4 - Mixed",
                                 "5 - Mixed", "6 - Mixed", "7 - Bull ", "8 - Bull ", "9 - Bull "};
int show_company_profile() {
    return 0;
}
int draw_company_profile(int) {
    return 0;
}
int draw_company_description(int) {
    return 0;
}
int draw_price_graph(int, const int16_t*) {
    return 0;
}
int draw_start_split_trend(int) {
    return 0;
}
