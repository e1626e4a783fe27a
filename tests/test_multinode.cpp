// Several nodes on one working directory: sessions that overlap each other's ends, a session
// across another node's market day, the day rollover raced by several processes, the player
// editor's writes, and the merge rules on plain records.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "data/codec.h"
#include "data/dates.h"
#include "data/file_access.h"
#include "market/market.h"
#include "session/shared_files.h"
#include "vcaller/caller.h"

namespace {

constexpr int kIgm = 0;  // common 2,000,000 at 145, split price 400
constexpr int kLst = 1;  // common 1,000,000, preferred 100,000
constexpr int kAlg = 3;  // bonds 1000 at 900, guaranteed 1000
constexpr int kBbm = 9;  // speculative: common 100,000 at 10

std::time_t g_now = 0;
void set_day(const char* date) {  // noon UTC
    g_now = std::time_t{day_number(date) - day_number("Jan 01 1970")} * 86400 + 12 * 3600;
}

// The default exchange dated `date` with the trends at which a day moves no price.
MarketRecord market_dated(const char* date) {
    MarketRecord market{};
    (void)build_default_market(market);
    std::snprintf(market.date, kDateSize, "%s", date);
    market.general_trend = 5;
    for (CompanyRecord& company : market.companies) std::fill_n(company.trend, kKindCount, 3);
    return market;
}

PlayerRecord player_named(const char* name, const char* last_played, int32_t cash) {
    PlayerRecord p{};
    std::snprintf(p.name, sizeof p.name, "%s", name);
    std::snprintf(p.last_played, kDateSize, "%s", last_played);
    p.cash = cash;
    return p;
}

// A trade as a session keeps it: units leave the market's available and join the holding.
void trade(MarketRecord& market, PlayerRecord& player, int company, int kind, int32_t units) {
    market.companies[company].available[kind] -= units;
    player.holdings[company].count[kind] += units;
}

void write_files(const MarketRecord& market, const std::vector<PlayerRecord>& players) {
    ASSERT_EQ(save_market(market), 0);
    std::ofstream("quonda.plr", std::ios::trunc);
    int32_t at = 0;
    for (const PlayerRecord& p : players) ASSERT_EQ(rewrite_player(p, kPlayerBytes * at++), 0);
}

MarketRecord stored_market() {
    MarketRecord market{};
    EXPECT_EQ(load_market(market), 0);
    return market;
}

std::vector<PlayerRecord> stored_players() {
    std::ifstream in("quonda.plr", std::ios::binary);
    std::vector<PlayerRecord> out;
    unsigned char b[kPlayerBytes];
    while (in.read(reinterpret_cast<char*>(b), kPlayerBytes)) decode_player(b, out.emplace_back());
    EXPECT_EQ(in.gcount(), 0) << "a part record";
    return out;
}

// A node's rollover with `date` taken as today at its start: 1 when it ran a day, 0 when not, -1
// when it failed; today_out receives the day it took.
int rollover(const char* date, std::string* today_out = nullptr) {
    MarketRecord market{};
    char today[kDateSize], previous[kDateSize] = "";
    std::snprintf(today, kDateSize, "%s", date);
    bool prices_move = true, updated = false;
    const int loaded = bring_market_to_today(market, today, previous, prices_move, updated);
    if (today_out != nullptr) *today_out = today;
    return loaded != 0 ? -1 : updated;
}

// One session's end as session start set it up: the market it began from and the caller's
// record as stored then (nullptr: a new player). Returns where the record was written.
int32_t end_session(const MarketRecord& began_with, const PlayerRecord* stored, MarketRecord market,
                    PlayerRecord player, int32_t offset) {
    note_market_baseline(began_with);
    note_player_baseline(stored);
    (void)commit_session(market, player, offset, player.cash);
    return offset;
}

class MultiNode : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::current_path(dir_);
        setenv("TZ", "UTC", 1);
        tzset();
        set_day("Jun 14 2024");
        set_clock_source([] { return g_now; });
    }
    void TearDown() override {
        std::filesystem::current_path(old_cwd_);
        remove_tree(dir_);
    }
    const std::filesystem::path old_cwd_ = std::filesystem::current_path();
    const std::string dir_ = make_temp_dir("multinode");
};

// Each end writes only its own changes into the files as earlier ends left them. BERT buys 10 LST;
// ANNE, on two nodes at once, buys 7 and sells her 5 LST preferred on both: no count below 0, no
// more available than the total. Two new players are both appended; the editor's write of
// another player reaches the record where it is now with only the sysop's fields.
TEST_F(MultiNode, OverlappingEndsKeepEachOthersTradesAndRecords) {
    MarketRecord day = market_dated("Jun 14 2024");
    PlayerRecord anne = player_named("ANNE", "Jun 13 2024", 1000);
    trade(day, anne, kLst, kPreferred, 5);
    const PlayerRecord bert = player_named("BERT", "Jun 13 2024", 2000);
    write_files(day, {anne, bert});
    MarketRecord bert_market = day, anne_market = day, anne_market_again = day;
    PlayerRecord bert_now = bert, anne_now = anne, anne_again = anne;
    trade(bert_market, bert_now, kLst, kCommon, 10);
    trade(anne_market, anne_now, kLst, kCommon, 7);
    trade(anne_market, anne_now, kLst, kPreferred, -5);
    trade(anne_market_again, anne_again, kLst, kPreferred, -5);
    anne_now.cash = 1100;
    anne_again.cash = 1050;
    end_session(day, &bert, bert_market, bert_now, kPlayerBytes);
    end_session(day, &anne, anne_market, anne_now, 0);
    end_session(day, &anne, anne_market_again, anne_again, 0);
    for (const char* name : {"DORA", "EMIL"}) {
        end_session(day, nullptr, day, player_named(name, "Jun 14 2024", 2000), 2 * kPlayerBytes);
    }
    // A sysop's edit of BERT, read when he was at 1112 (DORA's place now), reaches him at 556.
    PlayerRecord edited = bert;
    edited.graphics_mode = 2;
    int32_t position = 2 * kPlayerBytes;
    ASSERT_EQ(write_edited_player(bert, edited, position), 0);
    EXPECT_EQ(position, kPlayerBytes);

    const MarketRecord after = stored_market();
    EXPECT_EQ(after.companies[kLst].available[kCommon], 1000000 - 17);
    EXPECT_EQ(after.companies[kLst].available[kPreferred], 100000);
    const std::vector<PlayerRecord> players = stored_players();
    ASSERT_EQ(players.size(), 4u);
    EXPECT_EQ(players[0].holdings[kLst].count[kCommon], 7);
    EXPECT_EQ(players[0].holdings[kLst].count[kPreferred], 0);
    EXPECT_EQ(players[0].cash, 1150);
    EXPECT_EQ(players[1].holdings[kLst].count[kCommon], 10);
    EXPECT_EQ(players[1].graphics_mode, 2);
    EXPECT_EQ(std::string(players[2].name) + players[3].name, "DORAEMIL");
}

// Sessions of May 31 end after another node ran June 1 (IGM split 400 -> 200, BBM reborn, the
// month's bonds and dividends; GONE dropped, so ANNE moved 556 -> 0 and BERT 1112 -> 556). BERT,
// the sysop, set his cash in the editor, which writes his record whole. Each end keeps June 1's
// market and its own record and applies the day once: 240 and 140 IGM, no BBM, the bonds paid at
// $1000, dividends 200 x 240 / 50 = 960 and 200 x 140 / 50 = 560.
TEST_F(MultiNode, SessionsAcrossAnotherNodesDayGetTheDayOnceAndFindTheirMovedRecords) {
    set_day("May 31 2024");
    MarketRecord day = market_dated("May 31 2024");
    day.companies[kIgm].price[kCommon][0] = 400;
    day.companies[kBbm].price[kCommon][0] = -5;
    PlayerRecord anne = player_named("ANNE", "May 30 2024", 5000);
    PlayerRecord bert = player_named("BERT", "May 30 2024", 100);
    trade(day, anne, kIgm, kCommon, 100);
    trade(day, bert, kIgm, kCommon, 50);
    const PlayerRecord gone = player_named("GONE", "Apr 30 2024", 10);
    write_files(day, {gone, anne, bert});
    MarketRecord anne_market = day, bert_market = day;
    PlayerRecord anne_now = anne, bert_now = bert;
    std::snprintf(anne_now.last_played, kDateSize, "%s", "May 31 2024");
    anne_now.cash = 1000;
    trade(anne_market, anne_now, kIgm, kCommon, 20);
    trade(anne_market, anne_now, kBbm, kCommon, 30);
    trade(anne_market, anne_now, kAlg, kBonds, 2);
    trade(bert_market, bert_now, kIgm, kCommon, 20);
    bert_now.cash = 777;
    int32_t offset = 2 * kPlayerBytes;

    set_day("Jun 01 2024");
    ASSERT_EQ(rollover("Jun 01 2024"), 1);
    PlayerRecord gone_edited = gone;
    EXPECT_EQ(write_edited_player(gone, gone_edited, offset), -3) << "GONE was dropped";
    EXPECT_EQ(end_session(day, &anne, anne_market, anne_now, kPlayerBytes), 0);
    note_market_baseline(day);
    note_player_baseline(&bert);
    ASSERT_EQ(write_session_player(bert_now, "BERT", offset), 0);
    (void)commit_session(bert_market, bert_now, offset, bert_now.cash);

    const MarketRecord after = stored_market();
    EXPECT_STREQ(after.date, "Jun 01 2024") << "yesterday's market was written back";
    EXPECT_EQ(after.companies[kIgm].available[kCommon], 4000000 - 240 - 140);
    EXPECT_EQ(after.companies[kBbm].available[kCommon], 100000) << "reborn: every unit back";
    EXPECT_EQ(after.companies[kAlg].available[kBonds], 998) << "paid bonds leave circulation";
    const std::vector<PlayerRecord> players = stored_players();
    ASSERT_EQ(players.size(), 2u);
    const Holding* held = players[0].holdings;
    EXPECT_EQ(std::string(players[0].name) + " " + players[0].last_played, "ANNE May 31 2024");
    EXPECT_EQ(held[kIgm].count[kCommon], 240);
    EXPECT_EQ(held[kBbm].count[kCommon] + held[kAlg].count[kBonds], 0);
    EXPECT_EQ(players[0].cash, 1000 + 2000 + 960);
    EXPECT_EQ(players[1].holdings[kIgm].count[kCommon], 140);
    EXPECT_EQ(players[1].cash, 777 + 560);
}

// Four processes start on a new day at once: the day and its pass run once (50 IGM split to 100,
// not 200). One that took today before midnight takes that day as its own and runs nothing; a
// market dated ahead of the clock is still brought back to today, as on a single node.
TEST_F(MultiNode, NodesStartingTogetherRunTheDayOnce) {
    MarketRecord before = market_dated("Jun 13 2024");
    before.companies[kIgm].price[kCommon][0] = 400;
    PlayerRecord bert = player_named("BERT", "Jun 13 2024", 100);
    bert.holdings[kIgm].count[kCommon] = 50;
    write_files(before, {bert});
    for (int i = 0; i < 4; ++i) {
        if (fork() == 0) _exit(rollover("Jun 14 2024") + 1);
    }
    int updates = 0, status = 0;
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(wait(&status) > 0 && WIFEXITED(status) && WEXITSTATUS(status) > 0);
        updates += WEXITSTATUS(status) - 1;
    }
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(stored_players()[0].holdings[kIgm].count[kCommon], 100);

    std::string today;
    EXPECT_EQ(rollover("Jun 13 2024", &today), 0);
    EXPECT_EQ(today, "Jun 14 2024");
    write_files(market_dated("Jun 20 2024"), {});
    EXPECT_EQ(rollover("Jun 14 2024"), 1);
    EXPECT_STREQ(stored_market().date, "Jun 14 2024");
}

// While a node runs the day, quonda.dat stays locked: another node trying to read the market from
// inside the update (the hook runs just before it) waits and gives up at its wait limit.
int g_reader_open = 1;
TEST_F(MultiNode, MarketStaysLockedThroughTheDay) {
    write_files(market_dated("Jun 13 2024"), {});
    MarketRecord market{};
    char today[kDateSize] = "Jun 14 2024", previous[kDateSize] = "";
    bool prices_move = true, updated = false;
    const int loaded = bring_market_to_today(market, today, previous, prices_move, updated, [] {
        const pid_t child = fork();
        if (child == 0) {
            set_lock_wait_limit(200);
            FileHandle file;
            std::snprintf(file.path, sizeof file.path, "%s", "quonda.dat");
            _exit(-open_locked(file, kModeRead, true, false));
        }
        int status = 0;
        if (waitpid(child, &status, 0) == child && WIFEXITED(status)) {
            g_reader_open = -WEXITSTATUS(status);
        }
    });
    EXPECT_EQ(loaded, 0);
    EXPECT_TRUE(updated);
    EXPECT_EQ(g_reader_open, kOpenLockTimeout);
}

// The sysop's edits go into another node's market whole on the same day; available moves, never
// below 0 nor further out of 0..total. After a day in which LST split and BBM was reborn, LST
// keeps its standing edits (the total doubled), the trends are the day's, and BBM keeps none.
TEST(MergeMarket, EditsAndUnitsOnTheSameDayAndAcrossADay) {
    const MarketRecord base = market_dated("Jun 14 2024");
    MarketRecord mine = base, same_day = base;
    mine.general_trend = 8;
    mine.companies[kLst].trend[kCommon] = 6;
    std::snprintf(mine.companies[kLst].name, kNameSize, "%s", "Lunar Shuttles");
    mine.companies[kLst].total[kPreferred] = 300000;
    mine.companies[kBbm].total[kCommon] = 5000;
    const int32_t disk[] = {10, -5, 9999999}, change[] = {-15, -3, 7};  // CCC, MMC, SSI common
    for (int i = 0; i < 3; ++i) {
        same_day.companies[6 + i].available[kCommon] = disk[i];
        mine.companies[6 + i].available[kCommon] += change[i];
    }
    MarketDay next{"Jun 14 2024", same_day};
    merge_market(base, mine, {}, same_day);
    EXPECT_EQ(same_day.general_trend, 8);
    EXPECT_EQ(same_day.companies[kLst].trend[kCommon], 6);
    EXPECT_STREQ(same_day.companies[kLst].name, "Lunar Shuttles");
    EXPECT_EQ(same_day.companies[kBbm].total[kCommon], 5000);
    for (int i : {0, 1, 2})
        EXPECT_EQ(same_day.companies[6 + i].available[kCommon], i ? disk[i] : 0);

    std::snprintf(next.market.date, kDateSize, "%s", "Jun 15 2024");
    next.market.companies[kLst].split = 1;
    for (int32_t& total : next.market.companies[kLst].total) total *= 2;
    std::fill_n(next.market.companies[kBbm].crashed, kKindCount, 1);
    MarketRecord newer = next.market;
    newer.general_trend = 2;
    merge_market(base, mine, {next}, newer);
    EXPECT_EQ(newer.general_trend, 2);
    EXPECT_EQ(newer.companies[kLst].trend[kCommon], 3);
    EXPECT_STREQ(newer.companies[kLst].name, "Lunar Shuttles");
    EXPECT_EQ(newer.companies[kLst].total[kPreferred], 600000);
    EXPECT_EQ(newer.companies[kBbm].total[kCommon], 100000);
}

}  // namespace
