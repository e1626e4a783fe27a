// bullmoor-sysop as a sysop runs it on files made here: show, newday, check, salvage, newgame.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "data/codec.h"
#include "data/records.h"
#include "market/market.h"
#include "vcaller/caller.h"

namespace {

// The default exchange of Jun 14 2024, trends 3 and general trend 5 (a day moves no price).
MarketRecord sample_market() {
    MarketRecord market{};
    (void)build_default_market(market);
    std::snprintf(market.date, kDateSize, "%s", "Jun 14 2024");
    market.general_trend = 5;
    for (CompanyRecord& company : market.companies)
        for (int16_t& trend : company.trend) trend = 3;
    market.companies[0].available[kCommon] -= 10;
    return market;
}

PlayerRecord sample_player(const char* name, int32_t igm_common = 0) {
    PlayerRecord player{};
    player.holdings[0].count[kCommon] = igm_common;
    std::snprintf(player.name, kNameSize, "%s", name);
    std::snprintf(player.last_played, kDateSize, "%s", "Jun 14 2024");
    std::snprintf(player.last_traded, kDateSize, "%s", "Jun 10 2024");
    return player;
}

// ANNE holds the market's 10 IGM common shares.
const std::vector<PlayerRecord> kPlayers = {sample_player("ANNE", 10), sample_player("BERT")};

std::string bytes_of(const MarketRecord& market) {
    std::string bytes(kMarketBytes, '\0');
    encode_market(market, reinterpret_cast<unsigned char*>(bytes.data()));
    return bytes;
}

std::string bytes_of(const std::vector<PlayerRecord>& players) {
    std::string bytes(players.size() * kPlayerBytes, '\0');
    for (size_t i = 0; i < players.size(); ++i)
        encode_player(players[i], reinterpret_cast<unsigned char*>(&bytes[i * kPlayerBytes]));
    return bytes;
}

class SysopTool : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string asan = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
        if (asan.find("verify_asan_link_order") == std::string::npos)  // faketime is loaded first
            setenv("ASAN_OPTIONS", (asan + ":verify_asan_link_order=0").c_str(), 1);
        write_game(bytes_of(sample_market()), bytes_of(kPlayers));
    }
    void TearDown() override { remove_tree(dir_); }

    std::string contents(const std::string& name) const {
        std::ifstream in(dir_ + "/" + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void write_game(const std::string& market, const std::string& players) const {
        std::ofstream(dir_ + "/quonda.dat", std::ios::binary) << market;
        std::ofstream(dir_ + "/quonda.plr", std::ios::binary) << players;
    }
    // The contents of the one backup of name made today (name.20240615-HHMMSS.bak).
    std::string backup_of(const std::string& name) const {
        std::string found;
        for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
            const std::string file = entry.path().filename();
            if (file.starts_with(name + ".20240615-") && file.ends_with(".bak")) found += file;
        }
        return found.empty() ? "(none)" : contents(found);
    }
    // Runs the tool here on Jun 15 2024: its exit status, its output and standard error.
    std::pair<int, std::string> run(std::vector<std::string> args, const char* input = "") const {
        VirtualCaller tool({.door = BULLMOOR_BINARY_DIR "/tools/bullmoor-sysop",
                            .work_dir = dir_,
                            .link = Link::kStdPipes,
                            .faketime = "2024-06-15 10:00:00",
                            .use_args = true,
                            .args = std::move(args),
                            .env = {}});
        if (!tool.start()) return {-1, ""};
        tool.type(input);
        return {tool.wait_exit(20000), tool.raw_output() + tool.stderr_text()};  // in this order
    }

    const std::string dir_ = make_temp_dir("sysop");
};

// Damage in the records (market, BERT) or the bytes: plain words, exit code 1, nothing changed.
TEST_F(SysopTool, CheckReportsEachKindOfDamage) {
    const struct {
        const char* name;
        void (*change)(MarketRecord& market, PlayerRecord& bert);
        void (*cut)(std::string& market, std::string& players);
        const char* report;
    } damages[] = {
        {"MarketCutShort", nullptr, [](std::string& m, std::string&) { m.resize(7000); },
         "quonda.dat is 7000 bytes, but a market is 7958 bytes: it ends inside company 10."},
        {"PlayerFileFragment", nullptr, [](std::string&, std::string& p) { p.append(13, '\0'); },
         "1125 bytes: 2 whole records of 556 bytes and 13 bytes of a cut-off record."},
        {"MarketDate", [](MarketRecord& m, PlayerRecord&) { std::strcpy(m.date, "Jun 32 2024"); },
         nullptr, "quonda.dat: the market date \"Jun 32 2024\" is not a date."},
        {"Negative", [](MarketRecord&, PlayerRecord& p) { p.holdings[8].count[kOptions] = -5; },
         nullptr, "record 1 (BERT): holds -5 options of SSI, fewer than none"},
        {"BeyondIssue", [](MarketRecord&, PlayerRecord& p) { p.holdings[0].count[kCommon] = 11; },
         nullptr, "IGM common shares: players hold 21 and 1999990 are available, 2000011 in all"},
    };
    for (const auto& d : damages) {
        SCOPED_TRACE(d.name);
        MarketRecord market = sample_market();
        std::vector<PlayerRecord> players = kPlayers;
        if (d.change != nullptr) d.change(market, players[1]);
        std::string dat = bytes_of(market), plr = bytes_of(players);
        if (d.cut != nullptr) d.cut(dat, plr);
        write_game(dat, plr);
        const auto [status, out] = run({"check"});
        EXPECT_EQ(status, 1) << out;
        EXPECT_NE(out.find(d.report), std::string::npos) << out;
        EXPECT_TRUE(contents("quonda.dat") == dat && contents("quonda.plr") == plr);
    }
}

// A bad graphics mode (CARL), a second ANNE in other letters, a fragment and ALG's trend out of
// range: salvage drops or rebuilds them, keeps the rest and backs the old files up.
TEST_F(SysopTool, SalvageKeepsWholeSoundRecordsAndTheOldFiles) {
    PlayerRecord carl = sample_player("CARL");
    carl.graphics_mode = 7;
    std::string old_players = bytes_of({carl, sample_player("Anne"), sample_player("DORA")});
    old_players = bytes_of(kPlayers) + old_players + std::string(100, '\x55');
    MarketRecord market = sample_market();
    market.companies[3].trend[kBonds] = 12;
    const std::string old_market = bytes_of(market);
    write_game(old_market, old_players);

    EXPECT_EQ(run({"check", "--salvage"}).first, 1);
    EXPECT_EQ(contents("quonda.plr"), bytes_of(kPlayers) + bytes_of({sample_player("DORA")}));
    EXPECT_EQ(backup_of("quonda.plr"), old_players);
    MarketRecord fresh{};
    (void)build_default_market(fresh);
    market.companies[3] = fresh.companies[3];
    EXPECT_EQ(contents("quonda.dat"), bytes_of(market)) << "ALG rebuilt from its default";
    EXPECT_EQ(backup_of("quonda.dat"), old_market);
    const auto [status, out] = run({"check"});
    EXPECT_TRUE(status == 0 && out.find("No damage found.") != std::string::npos) << out;
}

// Show's JSON (names from CP437 into UTF-8); newday once only (its arithmetic is the daily
// update's own); newgame only after exactly "yes", with backups.
TEST_F(SysopTool, ShowNewDayOnceThenNewGameOnlyAfterConfirmationWithBackups) {
    std::vector<PlayerRecord> players = kPlayers;
    players[1] = sample_player("REN\x90");                                  // CP437 0x90 is É
    std::snprintf(players[1].last_played, kDateSize, "%s", "May 15 2024");  // 31 days: dropped
    write_game(bytes_of(sample_market()), bytes_of(players));
    const auto [status, out] = run({"show", "--json"});
    const nlohmann::json doc = nlohmann::json::parse(out, nullptr, false);
    ASSERT_TRUE(status == 0 && !doc.is_discarded() && doc["players"].size() == 2) << out;
    EXPECT_EQ(doc["market"]["date"], "Jun 14 2024");
    EXPECT_EQ(doc["players"][1]["name"], "REN\xC3\x89");

    ASSERT_EQ(run({"newday"}).first, 0);
    const std::string day = contents("quonda.dat"), anne = bytes_of({players[0]});
    EXPECT_EQ(day.substr(0, 12), std::string("Jun 15 2024\0", 12));
    EXPECT_EQ(contents("quonda.plr"), anne) << "REN is gone";
    const auto [again, again_out] = run({"newday"});
    EXPECT_NE(again_out.find("already"), std::string::npos) << again_out;
    EXPECT_TRUE(again == 0 && contents("quonda.dat") == day && contents("quonda.plr") == anne);

    EXPECT_EQ(run({"newgame"}, "y\n").first, 4);
    EXPECT_TRUE(contents("quonda.dat") == day && contents("quonda.plr") == anne);
    EXPECT_EQ(backup_of("quonda.dat"), "(none)");
    ASSERT_EQ(run({"newgame"}, "yes\n").first, 0);
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/quonda.dat")) << "the next caller gets a new one";
    EXPECT_EQ(std::filesystem::file_size(dir_ + "/quonda.plr"), 0u);
    EXPECT_EQ(backup_of("quonda.dat"), day);
    EXPECT_EQ(backup_of("quonda.plr"), anne);
    EXPECT_NE(contents("quonda.bul").find("T O P   1 0"), std::string::npos);
    EXPECT_EQ(contents("quonda.bul").find("ANNE"), std::string::npos);
}

}  // namespace
