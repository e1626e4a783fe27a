// The broker report: its $30 charge, the draw that picks a phrase table, its lines on screen.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "data/session_state.h"
#include "market/market.h"
#include "screens/broker_report.h"
#include "screens/framework.h"
#include "session/terminal.h"
#include "vcaller/harness.h"

TEST(BrokerReport, ChargeAndTheLinesOfEachDraw) {
    static int drawn = 0;  // what the draw source returns
    DoorHarness door;
    g_session = SessionState{};
    CompanyRecord& acme = g_session.market.companies[0];
    std::strcpy(acme.name, "Acme Widgets");
    set_draw_source([] { return drawn; });
    const auto start = [](int32_t cash) {  // leftovers in the menu block: every row is rewritten
        g_session.player.cash = cash;
        term_goto(0, 15);
        for (int r = 15; r <= 21; ++r) term_puts("left over\r\n");
    };
    const auto row = [&door](int r) {  // without trailing blanks
        door.sync();
        std::string s = door.screen().row(r);
        return s.erase(s.find_last_not_of(' ') + 1);
    };

    start(29);
    EXPECT_EQ(buy_broker_report(), 0);
    EXPECT_EQ(row(23), "  Sorry, insufficient funds for broker report!");
    start(30);
    door.type("n\r");
    EXPECT_EQ(buy_broker_report(), 0);
    EXPECT_EQ(g_session.player.cash, 30);
    EXPECT_EQ(row(15), "left over") << "declined: nothing shown";

    const std::string lead[4] = {"  Options", "  Common shares", "  Preferred shares", "  Bonds"};
    // Kinds traded (bit k), trends, draw, phrases. Draw 1 reads trend 0 wrongly; 133 is masked to
    // 5; trends 8 and 9 read as 7; 6 begins the third table; 39 is the last and 40 finds nothing.
    using Case = std::tuple<int, std::array<int16_t, 4>, int, std::array<const char*, 4>>;
    const Case cases[] = {
        {0xF, {3, 0, 6, 4}, 1, {"sold", "heavily bought", "traded lightly", "heavily sold"}},
        {0x8, {0, 0, 0, 1}, 133, {nullptr, nullptr, nullptr, "moderately bought"}},
        {0xE, {0, 1, 8, 9}, 18, {nullptr, "traded moderately", "traded heavily", "traded heavily"}},
        {0x2, {0, 3, 0, 0}, 6, {nullptr, "unchanged"}},
        {0x2, {0, 2, 0, 0}, 39, {nullptr, "lightly sold"}},
        {0xF, {0, 0, 0, 0}, 40, {}},
    };
    for (const auto& [traded, trend, draw, phrases] : cases) {
        SCOPED_TRACE(testing::Message() << "draw " << draw);
        std::vector<std::string> expected = {"  Brokers Report on Acme Widgets...", ""}, shown;
        for (int k = 0; k < kKindCount; ++k) {
            acme.total[k] = (traded >> k) & 1 ? 100 : 0;
            acme.trend[k] = trend[k];
            if (phrases[k]) expected.push_back(lead[k] + " are expected to be " + phrases[k]);
        }
        if (expected.size() == 2) expected.push_back("  No information available");
        expected.resize(7);
        drawn = draw;
        start(30);
        door.type("\r\r\r");  // default yes, company 0, Enter after the report
        EXPECT_EQ(buy_broker_report(), 1);
        EXPECT_EQ(g_session.player.cash, 0);
        for (int r = 15; r <= 21; ++r) shown.push_back(row(r));
        EXPECT_EQ(shown, expected);
    }
    set_draw_source(nullptr);
}
