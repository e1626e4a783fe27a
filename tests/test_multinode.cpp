// Several nodes on one working directory: sessions that overlap each other's ends, a session
// across another node's market day, the caller's record after another node's pass, the day
// rollover raced by several processes, and the merge rules on plain records.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "data/codec.h"
#include "data/dates.h"
#include "market/market.h"
#include "session/session.h"
#include "session/shared_files.h"

namespace {

constexpr int kIgm = 0;  // blue chip: common 2,000,000 at 145, split price 400
constexpr int kLst = 1;  // blue chip: common 1,000,000, preferred 100,000
constexpr int kAlg = 3;  // blue chip: bonds 1000 at 900, guaranteed 1000
constexpr int kBbm = 9;  // speculative: common 100,000 at 10

std::time_t g_now = 0;
std::time_t fixed_clock() {
    return g_now;
}
// Noon UTC of a day in 2024.
void set_day(int month, int day) {
    std::tm tm{};
    tm.tm_year = 124;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = 12;
    g_now = timegm(&tm);
}

void set_text(char* field, size_t size, const char* text) {
    std::memset(field, 0, size);
    std::memcpy(field, text, strnlen(text, size - 1));
}

// The default exchange dated `date` with the trends at which a day moves no price.
MarketRecord market_dated(const char* date) {
    MarketRecord market{};
    (void)build_default_market(market);
    set_text(market.date, sizeof market.date, date);
    market.general_trend = 5;
    for (CompanyRecord& company : market.companies) {
        for (int k = 0; k < kKindCount; ++k) company.trend[k] = 3;
    }
    return market;
}

PlayerRecord player_named(const char* name, const char* last_played, int32_t cash) {
    PlayerRecord p{};
    set_text(p.name, sizeof p.name, name);
    set_text(p.last_played, sizeof p.last_played, last_played);
    set_text(p.last_traded, sizeof p.last_traded, last_played);
    p.cash = cash;
    return p;
}

class MultiNode : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/bullmoor-multinode-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        ASSERT_NE(getcwd(old_cwd_, sizeof old_cwd_), nullptr);
        ASSERT_EQ(chdir(dir_.c_str()), 0);
        setenv("TZ", "UTC", 1);
        tzset();
        set_day(6, 14);
        set_clock_source(fixed_clock);
        forget_session_baselines();
    }
    void TearDown() override {
        forget_session_baselines();
        set_clock_source(nullptr);
        ASSERT_EQ(chdir(old_cwd_), 0);
        std::system(("rm -rf " + dir_).c_str());
    }

    static void write_market(const MarketRecord& market) { ASSERT_EQ(save_market(market), 0); }
    static MarketRecord stored_market() {
        MarketRecord market{};
        EXPECT_EQ(load_market(market), 0);
        return market;
    }
    static void write_players(const std::vector<PlayerRecord>& players) {
        std::string bytes;
        for (const PlayerRecord& p : players) {
            std::string record(kPlayerBytes, '\0');
            encode_player(p, reinterpret_cast<unsigned char*>(record.data()));
            bytes += record;
        }
        std::ofstream("quonda.plr", std::ios::binary) << bytes;
    }
    static std::vector<PlayerRecord> stored_players() {
        std::ifstream in("quonda.plr", std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>()};
        EXPECT_EQ(bytes.size() % kPlayerBytes, 0u);
        std::vector<PlayerRecord> players;
        for (size_t at = 0; at + kPlayerBytes <= bytes.size(); at += kPlayerBytes) {
            PlayerRecord p{};
            decode_player(reinterpret_cast<const unsigned char*>(bytes.data() + at), p);
            players.push_back(p);
        }
        return players;
    }
    // One session's end as session start would have set it up: the market it began from and the
    // caller's record as stored then (nullptr: a new player).
    static ScoreFigures end_session(const MarketRecord& began_with, const PlayerRecord* stored,
                                    MarketRecord& market, PlayerRecord& player, int32_t& offset) {
        note_market_baseline(began_with);
        note_player_baseline(stored);
        return commit_session(market, player, offset, player.cash);
    }

    std::string dir_;
    char old_cwd_[4096] = "";
};

// Two sessions begin on the same market; BERT's ends first. ANNE's end writes her own trades
// into the market as BERT's end left it instead of her whole stale copy.
TEST_F(MultiNode, TheEarlierEndsTradesSurviveTheLaterEnd) {
    MarketRecord day = market_dated("Jun 14 2024");
    day.companies[kLst].available[kPreferred] -= 5;
    write_market(day);
    PlayerRecord anne = player_named("ANNE", "Jun 13 2024", 1000);
    anne.holdings[kLst].count[kPreferred] = 5;
    const PlayerRecord bert = player_named("BERT", "Jun 13 2024", 2000);
    write_players({anne, bert});
    const int32_t lst_common = day.companies[kLst].available[kCommon];
    const int32_t lst_preferred = day.companies[kLst].available[kPreferred];

    // BERT buys 10 LST common; ANNE buys 7 of them and sells 5 LST preferred she had.
    MarketRecord bert_market = day;
    PlayerRecord bert_now = bert;
    bert_market.companies[kLst].available[kCommon] -= 10;
    bert_now.holdings[kLst].count[kCommon] = 10;
    MarketRecord anne_market = day;
    PlayerRecord anne_now = anne;
    anne_market.companies[kLst].available[kCommon] -= 7;
    anne_market.companies[kLst].available[kPreferred] += 5;
    anne_now.holdings[kLst].count[kCommon] = 7;
    anne_now.holdings[kLst].count[kPreferred] = 0;

    int32_t bert_offset = kPlayerBytes;
    end_session(day, &bert, bert_market, bert_now, bert_offset);
    int32_t anne_offset = 0;
    end_session(day, &anne, anne_market, anne_now, anne_offset);

    const MarketRecord after = stored_market();
    EXPECT_EQ(after.companies[kLst].available[kCommon], lst_common - 17);
    EXPECT_EQ(after.companies[kLst].available[kPreferred], lst_preferred + 5);
    const std::vector<PlayerRecord> players = stored_players();
    ASSERT_EQ(players.size(), 2u);
    EXPECT_EQ(players[0].holdings[kLst].count[kCommon], 7);
    EXPECT_EQ(players[1].holdings[kLst].count[kCommon], 10);
}

// ANNE began on May 31 with 100 IGM (stored), bought 20 more, 30 BBM and 2 ALG bonds. Meanwhile
// another node ran June 1: IGM split (400 -> 200), BBM went under and came back, and the month
// changed. Her end keeps June 1's market and gives her the day's effects once: 240 IGM, no BBM,
// the bonds paid at the guaranteed $1000, the IGM dividend 200 x 240 / 50 = 960.
TEST_F(MultiNode, ASessionAcrossAnotherNodesDayGetsTheDayOnceAndKeepsTheNewMarket) {
    set_day(5, 31);
    MarketRecord day = market_dated("May 31 2024");
    day.companies[kIgm].price[kCommon][0] = 400;
    day.companies[kBbm].price[kCommon][0] = -5;
    day.companies[kIgm].available[kCommon] -= 150;  // ANNE 100, BERT 50
    write_market(day);
    PlayerRecord anne = player_named("ANNE", "May 30 2024", 5000);
    anne.holdings[kIgm].count[kCommon] = 100;
    PlayerRecord bert = player_named("BERT", "May 30 2024", 100);
    bert.holdings[kIgm].count[kCommon] = 50;
    write_players({anne, bert});

    MarketRecord mine = day;
    PlayerRecord anne_now = anne;
    set_text(anne_now.last_played, kDateSize, "May 31 2024");
    anne_now.holdings[kIgm].count[kCommon] = 120;
    mine.companies[kIgm].available[kCommon] -= 20;
    anne_now.holdings[kBbm].count[kCommon] = 30;
    mine.companies[kBbm].available[kCommon] -= 30;
    anne_now.holdings[kAlg].count[kBonds] = 2;
    mine.companies[kAlg].available[kBonds] -= 2;
    anne_now.cash = 1000;

    // The other node: June 1 under the lock, with its pass over the stored records.
    set_day(6, 1);
    MarketRecord other{};
    char today[kDateSize] = "Jun 01 2024";
    char previous[kDateSize] = "";
    bool prices_move = true;
    bool updated = false;
    ASSERT_EQ(bring_market_to_today(other, today, previous, prices_move, updated), 0);
    ASSERT_TRUE(updated);
    ASSERT_EQ(stored_players()[0].holdings[kIgm].count[kCommon], 200);

    int32_t offset = 0;
    end_session(day, &anne, mine, anne_now, offset);

    const MarketRecord after = stored_market();
    EXPECT_STREQ(after.date, "Jun 01 2024") << "yesterday's market was written back";
    EXPECT_EQ(after.companies[kIgm].price[kCommon][0], 200);
    EXPECT_EQ(after.companies[kIgm].price[kCommon][1], 400);
    EXPECT_EQ(after.companies[kIgm].total[kCommon], 4000000);
    EXPECT_EQ(after.companies[kIgm].available[kCommon], 4000000 - 240 - 100);
    EXPECT_EQ(after.companies[kBbm].available[kCommon], 100000) << "reborn: every unit back";
    EXPECT_EQ(after.companies[kAlg].available[kBonds], 998) << "paid bonds leave circulation";
    const std::vector<PlayerRecord> players = stored_players();
    ASSERT_EQ(players.size(), 2u);
    EXPECT_EQ(players[0].holdings[kIgm].count[kCommon], 240);
    EXPECT_EQ(players[0].holdings[kBbm].count[kCommon], 0);
    EXPECT_EQ(players[0].holdings[kAlg].count[kBonds], 0);
    EXPECT_EQ(players[0].cash, 1000 + 2000 + 960);
    EXPECT_STREQ(players[0].last_played, "May 31 2024");
    EXPECT_EQ(players[1].holdings[kIgm].count[kCommon], 100);
    EXPECT_EQ(anne_now.holdings[kIgm].count[kCommon], 240) << "the summary's record";
}

// The sysop edits his own record after another node's day (the editor writes it whole, without
// the day): his end still applies the day once, 120 IGM -> 240, and does not merge the edit in
// a second time.
TEST_F(MultiNode, TheEditorsOwnRecordWriteCountsAsTheSessionsOwn) {
    set_day(6, 13);
    MarketRecord day = market_dated("Jun 13 2024");
    day.companies[kIgm].price[kCommon][0] = 400;
    day.companies[kIgm].available[kCommon] -= 100;
    write_market(day);
    PlayerRecord anne = player_named("ANNE", "Jun 12 2024", 500);
    anne.holdings[kIgm].count[kCommon] = 100;
    write_players({anne});
    note_market_baseline(day);
    note_player_baseline(&anne);

    set_day(6, 14);
    MarketRecord other{};
    char today[kDateSize] = "Jun 14 2024";
    char previous[kDateSize] = "";
    bool prices_move = true;
    bool updated = false;
    ASSERT_EQ(bring_market_to_today(other, today, previous, prices_move, updated), 0);

    MarketRecord mine = day;
    mine.companies[kIgm].available[kCommon] -= 20;
    PlayerRecord anne_now = anne;
    anne_now.holdings[kIgm].count[kCommon] = 120;
    anne_now.cash = 777;  // the sysop's edit
    int32_t offset = 0;
    ASSERT_EQ(write_session_player(anne_now, "ANNE", offset), 0);
    ASSERT_EQ(stored_players()[0].cash, 777);
    (void)commit_session(mine, anne_now, offset, anne_now.cash);

    const std::vector<PlayerRecord> players = stored_players();
    ASSERT_EQ(players.size(), 1u);
    EXPECT_EQ(players[0].holdings[kIgm].count[kCommon], 240);
    EXPECT_EQ(players[0].cash, 777);
    EXPECT_EQ(stored_market().companies[kIgm].available[kCommon], 4000000 - 240);
}

// BERT's session noted his record at 556. Another node's pass dropped ANNE (away 31 days), so
// CORA's record sits at 556 now; BERT's end finds his own record at 0.
TEST_F(MultiNode, TheRecordAtTheNotedOffsetBelongingToSomeoneElseIsLeftAlone) {
    set_day(6, 14);
    const MarketRecord day = market_dated("Jun 14 2024");
    const PlayerRecord anne = player_named("ANNE", "May 13 2024", 10);
    const PlayerRecord bert = player_named("BERT", "Jun 13 2024", 2000);
    const PlayerRecord cora = player_named("CORA", "Jun 13 2024", 3000);
    MarketRecord before = day;
    set_text(before.date, kDateSize, "Jun 13 2024");
    write_market(before);
    write_players({anne, bert, cora});
    MarketRecord other{};
    char today[kDateSize] = "Jun 14 2024";
    char previous[kDateSize] = "";
    bool prices_move = true;
    bool updated = false;
    ASSERT_EQ(bring_market_to_today(other, today, previous, prices_move, updated), 0);
    ASSERT_EQ(stored_players().size(), 2u);

    MarketRecord mine = before;
    PlayerRecord bert_now = bert;
    bert_now.cash = 1234;
    int32_t offset = kPlayerBytes;
    end_session(before, &bert, mine, bert_now, offset);

    const std::vector<PlayerRecord> players = stored_players();
    ASSERT_EQ(players.size(), 2u);
    EXPECT_STREQ(players[0].name, "BERT");
    EXPECT_EQ(players[0].cash, 1234);
    EXPECT_STREQ(players[1].name, "CORA");
    EXPECT_EQ(players[1].cash, 3000);
    EXPECT_EQ(offset, 0);
}

// Two new players looked up at the same end of the file: the second end does not overwrite the
// first's appended record.
TEST_F(MultiNode, NewPlayersOfTwoNodesAreBothAppended) {
    const MarketRecord day = market_dated("Jun 14 2024");
    write_market(day);
    write_players({player_named("ANNE", "Jun 13 2024", 10)});
    MarketRecord market = day;
    PlayerRecord dora = player_named("DORA", "Jun 14 2024", 2000);
    PlayerRecord emil = player_named("EMIL", "Jun 14 2024", 2000);
    int32_t dora_offset = kPlayerBytes;
    int32_t emil_offset = kPlayerBytes;
    end_session(day, nullptr, market, dora, dora_offset);
    end_session(day, nullptr, market, emil, emil_offset);
    const std::vector<PlayerRecord> players = stored_players();
    ASSERT_EQ(players.size(), 3u);
    EXPECT_STREQ(players[1].name, "DORA");
    EXPECT_STREQ(players[2].name, "EMIL");
    EXPECT_EQ(emil_offset, 2 * kPlayerBytes);
}

// Four processes start on a new day at once: the day, its log entry and its pass happen once
// (BERT's 50 IGM split to 100, not 200).
TEST_F(MultiNode, NodesStartingTogetherRunTheDayOnce) {
    MarketRecord before = market_dated("Jun 13 2024");
    before.companies[kIgm].price[kCommon][0] = 400;
    write_market(before);
    PlayerRecord bert = player_named("BERT", "Jun 13 2024", 100);
    bert.holdings[kIgm].count[kCommon] = 50;
    write_players({bert});

    std::vector<pid_t> children;
    for (int i = 0; i < 4; ++i) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            MarketRecord market{};
            char today[kDateSize] = "Jun 14 2024";
            char previous[kDateSize] = "";
            bool prices_move = true;
            bool updated = false;
            const int loaded = bring_market_to_today(market, today, previous, prices_move, updated);
            _exit(loaded != 0 ? 2 : updated ? 1 : 0);
        }
        children.push_back(pid);
    }
    int updates = 0;
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_NE(WEXITSTATUS(status), 2);
        updates += WEXITSTATUS(status);
    }
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(stored_market().companies[kIgm].total[kCommon], 4000000);
    EXPECT_EQ(stored_players()[0].holdings[kIgm].count[kCommon], 100);
    std::vector<MarketDay> days;
    ASSERT_TRUE(read_market_days("Jun 13 2024", "Jun 14 2024", days));
    EXPECT_EQ(days.size(), 1u);
}

// A process that took today before midnight reaches the rollover after another node ran the new
// day: the new day becomes its day; nothing runs again and no day is undone.
TEST_F(MultiNode, AStaleTodayTakesTheDayAnotherNodeRanAtTheClocksDate) {
    write_market(market_dated("Jun 15 2024"));
    set_day(6, 15);
    MarketRecord market{};
    char today[kDateSize] = "Jun 14 2024";
    char previous[kDateSize] = "";
    bool prices_move = true;
    bool updated = false;
    ASSERT_EQ(bring_market_to_today(market, today, previous, prices_move, updated), 0);
    EXPECT_FALSE(updated);
    EXPECT_STREQ(today, "Jun 15 2024");
    EXPECT_STREQ(stored_market().date, "Jun 15 2024");

    // A market dated ahead of the clock is still brought back to today, as on a single node.
    write_market(market_dated("Jun 20 2024"));
    ASSERT_EQ(bring_market_to_today(market, today, previous, prices_move, updated), 0);
    EXPECT_TRUE(updated);
    EXPECT_STREQ(stored_market().date, "Jun 15 2024");
}

TEST_F(MultiNode, NoMarketYetIsCreatedOnceWithTrendsOnly) {
    MarketRecord market{};
    char today[kDateSize] = "Jun 14 2024";
    char previous[kDateSize] = "";
    bool prices_move = true;
    bool updated = false;
    EXPECT_EQ(bring_market_to_today(market, today, previous, prices_move, updated), -2);
    EXPECT_FALSE(prices_move);
    EXPECT_TRUE(updated);
    EXPECT_STREQ(previous, "Jan 01 1900");
    prices_move = true;
    EXPECT_EQ(bring_market_to_today(market, today, previous, prices_move, updated), 0);
    EXPECT_FALSE(updated);
    EXPECT_TRUE(prices_move);
}

// The merge on plain records: what this session changed against what it began with, put into
// what the disk holds now. Trend 3 -> 6 and LST's name are the sysop's edits of this session.
TEST(MergeMarket, EditsAndUnitsOnTheSameDayAndAcrossDays) {
    MarketRecord base = market_dated("Jun 14 2024");
    MarketRecord mine = base;
    mine.general_trend = 8;
    mine.companies[kLst].trend[kCommon] = 6;
    set_text(mine.companies[kLst].name, kNameSize, "Lunar Shuttles");
    mine.companies[kLst].total[kPreferred] = 300000;
    mine.companies[kLst].available[kCommon] -= 40;
    mine.companies[kBbm].total[kCommon] = 5000;
    mine.companies[kBbm].available[kCommon] -= 10;

    MarketRecord disk = base;  // another node sold 25 LST and edited nothing
    disk.companies[kLst].available[kCommon] += 25;
    MarketRecord same_day = disk;
    merge_market(base, mine, {}, same_day);
    EXPECT_EQ(same_day.general_trend, 8);
    EXPECT_EQ(same_day.companies[kLst].trend[kCommon], 6);
    EXPECT_STREQ(same_day.companies[kLst].name, "Lunar Shuttles");
    EXPECT_EQ(same_day.companies[kLst].available[kCommon], 1000000 - 15);
    EXPECT_EQ(same_day.companies[kBbm].total[kCommon], 5000);

    // A day ran since: LST split, BBM was reborn. LST's 40 count twice, its preferred total
    // doubles, the name stays edited and the trends are the day's; BBM keeps none of this
    // session's edits or units.
    MarketDay next{};
    set_text(next.previous, kDateSize, "Jun 14 2024");
    next.market = disk;
    set_text(next.market.date, kDateSize, "Jun 15 2024");
    next.market.companies[kLst].split = 1;
    for (int32_t& total : next.market.companies[kLst].total) total *= 2;
    for (int k = 0; k < kKindCount; ++k) {
        next.market.companies[kBbm].crashed[k] = next.market.companies[kBbm].total[k] != 0;
    }
    MarketRecord newer = next.market;
    newer.general_trend = 2;
    newer.companies[kLst].available[kCommon] = 2 * (1000000 + 25);
    merge_market(base, mine, {next}, newer);
    EXPECT_EQ(newer.general_trend, 2);
    EXPECT_EQ(newer.companies[kLst].trend[kCommon], 3);
    EXPECT_STREQ(newer.companies[kLst].name, "Lunar Shuttles");
    EXPECT_EQ(newer.companies[kLst].total[kPreferred], 600000);
    EXPECT_EQ(newer.companies[kLst].available[kCommon], 2 * (1000000 + 25) - 80);
    EXPECT_EQ(newer.companies[kBbm].total[kCommon], 100000);
    EXPECT_EQ(newer.companies[kBbm].available[kCommon], 100000);
}

TEST(MergeMarket, AvailableStaysWithinZeroAndTotal) {
    const MarketRecord base = market_dated("Jun 14 2024");
    struct Case {
        const char* what;
        int32_t disk, mine_delta, expected;
    };
    const Case cases[] = {
        {"the last 10 sold twice", 10, -15, 0},
        {"given back beyond the total", 999990, +20, 1000000},
        {"a sysop's negative value is not moved further", -5, -3, -5},
        {"a sysop's value above total is not moved further", 1000050, +7, 1000050},
        {"in range", 500, -20, 480},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MarketRecord mine = base;
        mine.companies[kLst].available[kCommon] += c.mine_delta;
        MarketRecord disk = base;
        disk.companies[kLst].available[kCommon] = c.disk;
        merge_market(base, mine, {}, disk);
        EXPECT_EQ(disk.companies[kLst].available[kCommon], c.expected);
    }
}

// The caller's record was changed by another node meanwhile (the sysop set cash to 7777 and gave
// 5 LST): both that change and this session's (spent 300, bought 10 LST, left at 9 BBM short
// closed) stay.
TEST(MergePlayer, ChangesFromElsewhereAndFromThisSessionBothStay) {
    MarketRecord market = market_dated("Jun 14 2024");
    market.companies[kLst].price[kCommon][0] = 80;
    PlayerRecord base = player_named("ANNE", "Jun 13 2024", 1000);
    base.holdings[kBbm].short_count = 9;
    base.holdings[kBbm].short_price = 12;
    base.times_played = 3;
    PlayerRecord disk = base;
    disk.cash = 7777;
    disk.holdings[kLst].count[kCommon] = 5;
    PlayerRecord mine = base;
    mine.cash = 700;
    mine.holdings[kLst].count[kCommon] = 10;
    mine.holdings[kBbm].short_count = 0;
    mine.times_played = 4;
    set_text(mine.last_played, kDateSize, "Jun 14 2024");

    const PlayerRecord out = merge_player(disk, mine, base, market);
    EXPECT_EQ(out.cash, 7477);
    EXPECT_EQ(out.holdings[kLst].count[kCommon], 15);
    EXPECT_EQ(out.holdings[kBbm].short_count, 0);
    EXPECT_EQ(out.holdings[kBbm].short_price, 12);
    EXPECT_EQ(out.times_played, 4);
    EXPECT_STREQ(out.last_played, "Jun 14 2024");
    EXPECT_EQ(out.net_worth, 7477 + 15 * 80);

    // The same units handed back twice never leave a count below zero.
    PlayerRecord sold = base;
    sold.holdings[kLst].count[kCommon] = 0;
    PlayerRecord held = base;
    held.holdings[kLst].count[kCommon] = 4;
    PlayerRecord also_sold = base;
    also_sold.holdings[kLst].count[kCommon] = 0;
    EXPECT_EQ(merge_player(sold, also_sold, held, market).holdings[kLst].count[kCommon], 0);
}

// The player editor's write: only the sysop's fields, into the record where it is now.
TEST_F(MultiNode, AnEditReachesARecordThatAnotherNodeMoved) {
    const PlayerRecord anne = player_named("ANNE", "Jun 13 2024", 100);
    PlayerRecord bert = player_named("BERT", "Jun 13 2024", 200);
    write_players({anne, bert});
    PlayerRecord edited = bert;
    edited.graphics_mode = 2;
    // Meanwhile ANNE's record went and BERT's session ended with 250 cash.
    PlayerRecord bert_later = bert;
    bert_later.cash = 250;
    write_players({bert_later});

    int32_t position = kPlayerBytes;
    ASSERT_EQ(write_edited_player(bert, edited, position), 0);
    EXPECT_EQ(position, 0);
    const std::vector<PlayerRecord> players = stored_players();
    ASSERT_EQ(players.size(), 1u);
    EXPECT_EQ(players[0].graphics_mode, 2);
    EXPECT_EQ(players[0].cash, 250);

    PlayerRecord gone = anne;
    gone.cash = 1;
    EXPECT_EQ(write_edited_player(anne, gone, position), -3);
}

}  // namespace
