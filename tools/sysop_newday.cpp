// newday: the market day that the first session of a day would run, run ahead of the first caller
// (for the BBS's nightly event), through the very same locked rollover.
#include <cstdio>

#include "data/records.h"
#include "data/session_state.h"
#include "session/shared_files.h"
#include "sysop.h"

int run_newday() {
    MarketRecord market{};
    char previous[kDateSize] = "";
    bool prices_move = true;
    bool updated = false;
    const int loaded =
        bring_market_to_today(market, g_session.today, previous, prices_move, updated);
    if (loaded == -1) {
        std::printf(
            "%s: cannot be read (cut short, no permission, or held by another process); "
            "no market day was run. \"bullmoor-sysop check\" tells more.\n",
            kMarketFile);
        return kExitFileError;
    }
    if (!updated) {
        std::printf("The market is already today's (%s); nothing to do.\n", g_session.today);
        return kExitOk;
    }
    if (loaded == -2) {
        std::printf(
            "No market yet: a fresh exchange was made for %s (on its first day only the "
            "trends move).\n",
            g_session.today);
    } else {
        std::printf("Market day run: the market of %s is now the market of %s.\n", previous,
                    g_session.today);
    }
    const FileBytes players = read_locked(kPlayerFile);
    if (players.readable) {
        std::printf("%s: %zu players after the player-file pass.\n", kPlayerFile,
                    players.bytes.size() / kPlayerBytes);
    }
    return kExitOk;
}
