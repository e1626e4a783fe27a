// The game's one source of random draws: std::rand(), never seeded, unless a test substitutes one.
#include <cstdlib>

#include "market/market.h"

namespace {

int standard_draw() {
    return std::rand();
}

DrawSource g_draw_source = standard_draw;

}  // namespace

void set_draw_source(DrawSource source) {
    g_draw_source = source ? source : standard_draw;
}

int draw_random() {
    return g_draw_source();
}
