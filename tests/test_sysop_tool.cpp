// bullmoor-sysop run as a sysop runs it on files made here: newday once only, each kind of damage
// check finds, salvage and its backups, show's JSON, newgame's confirmation and backups.
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

void set_text(char* field, size_t size, const char* text) {
    std::memset(field, 0, size);
    std::memcpy(field, text, strnlen(text, size - 1));
}

// The default exchange dated Jun 14 2024 with every traded trend 3 and the general trend 5: a
// market day then moves no price. 10 IGM common shares are held by a player.
MarketRecord sample_market() {
    MarketRecord market{};
    (void)build_default_market(market);
    set_text(market.date, kDateSize, "Jun 14 2024");
    market.general_trend = 5;
    for (CompanyRecord& company : market.companies) {
        for (int k = 0; k < kKindCount; ++k) company.trend[k] = 3;
    }
    market.companies[0].available[kCommon] -= 10;
    return market;
}

PlayerRecord sample_player(const char* name, int32_t net_worth = 1000) {
    PlayerRecord player{};
    set_text(player.name, kNameSize, name);
    set_text(player.last_played, kDateSize, "Jun 14 2024");
    set_text(player.last_traded, kDateSize, "Jun 10 2024");
    player.net_worth = net_worth;
    return player;
}

// ANNE holding the market's 10 IGM common shares, and BERT.
std::vector<PlayerRecord> sample_players() {
    std::vector<PlayerRecord> players = {sample_player("ANNE"), sample_player("BERT")};
    players[0].holdings[0].count[kCommon] = 10;
    return players;
}

std::string bytes_of(const MarketRecord& market) {
    std::string bytes(kMarketBytes, '\0');
    encode_market(market, reinterpret_cast<unsigned char*>(bytes.data()));
    return bytes;
}

std::string bytes_of(const std::vector<PlayerRecord>& players) {
    std::string bytes(players.size() * kPlayerBytes, '\0');
    for (size_t i = 0; i < players.size(); ++i) {
        encode_player(players[i], reinterpret_cast<unsigned char*>(&bytes[i * kPlayerBytes]));
    }
    return bytes;
}

// A game directory holding the sample market and players.
class SysopTool : public ::testing::Test {
  protected:
    void SetUp() override {
        // libfaketime is preloaded into the tool, ahead of AddressSanitizer's runtime in a
        // sanitizer build; started processes inherit this environment.
        const char* asan = std::getenv("ASAN_OPTIONS");
        if (!asan || !std::strstr(asan, "verify_asan_link_order")) {
            setenv("ASAN_OPTIONS",
                   (std::string(asan ? asan : "") + ":verify_asan_link_order=0").c_str(), 1);
        }
        dir_ = make_temp_dir("sysop");
        ASSERT_FALSE(dir_.empty());
        write("quonda.dat", bytes_of(sample_market()));
        write("quonda.plr", bytes_of(sample_players()));
    }
    void TearDown() override { remove_tree(dir_); }

    std::string contents(const std::string& name) const {
        std::ifstream in(dir_ + "/" + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(dir_ + "/" + name, std::ios::binary | std::ios::trunc) << bytes;
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
    // Runs the tool in the game's directory on Jun 15 2024; its exit status, and its output
    // followed by its standard error.
    std::pair<int, std::string> run(std::vector<std::string> args, const char* input = "") const {
        CallerOptions o;
        o.door = BULLMOOR_BINARY_DIR "/tools/bullmoor-sysop";
        o.work_dir = dir_;
        o.link = Link::kStdPipes;
        o.faketime = "2024-06-15 10:00:00";
        o.use_args = true;
        o.args = std::move(args);
        VirtualCaller tool(o);
        if (!tool.start()) return {-1, ""};
        tool.type(input);
        const int status = tool.wait_exit(20000);
        return {status, tool.raw_output() + tool.stderr_text()};
    }

    std::string dir_;
};

TEST_F(SysopTool, NewDayRunsOnceAsTheFirstSessionWould) {
    MarketRecord market = sample_market();
    market.companies[0].price[kCommon][0] = 400;  // at IGM's split price: splits 2 for 1
    write("quonda.dat", bytes_of(market));
    std::vector<PlayerRecord> players = sample_players();
    set_text(players[1].last_played, kDateSize, "May 15 2024");  // 31 days away: dropped
    write("quonda.plr", bytes_of(players));

    const auto [status, out] = run({"newday"});
    ASSERT_EQ(status, 0) << out;
    const std::string market_after = contents("quonda.dat");
    ASSERT_EQ(market_after.size(), static_cast<size_t>(kMarketBytes));
    MarketRecord after{};
    decode_market(reinterpret_cast<const unsigned char*>(market_after.data()), after);
    EXPECT_STREQ(after.date, "Jun 15 2024");
    EXPECT_EQ(after.companies[0].price[kCommon][0], 200);
    EXPECT_EQ(after.companies[0].available[kCommon], 2 * (2000000 - 10));
    players[0].holdings[0].count[kCommon] = 20;
    players[0].holdings[0].split = 1;
    EXPECT_EQ(contents("quonda.plr"), bytes_of({players[0]})) << "ANNE's shares split, BERT gone";

    const auto [again, again_out] = run({"newday"});
    EXPECT_EQ(again, 0);
    EXPECT_NE(again_out.find("already"), std::string::npos) << again_out;
    EXPECT_EQ(contents("quonda.dat"), market_after);
    EXPECT_EQ(contents("quonda.plr"), bytes_of({players[0]}));
}

// One kind of damage made in the sample game (in the market record and BERT, then in the bytes
// of both files) and the words that report it; the first row is the sample game itself.
struct Damage {
    const char* name;
    void (*change)(MarketRecord& market, PlayerRecord& bert);
    void (*cut)(std::string& market, std::string& players);
    const char* report;
};

void PrintTo(const Damage& damage, std::ostream* out) {
    *out << damage.name;
}

const Damage kDamages[] = {
    {"None", nullptr, nullptr, "No damage found."},
    {"MarketCutShort", nullptr, [](std::string& m, std::string&) { m.resize(7000); },
     "quonda.dat is 7000 bytes, but a market is 7958 bytes: it ends inside company 10."},
    {"PlayerFileFragment", nullptr, [](std::string&, std::string& p) { p.append(13, '\0'); },
     "quonda.plr is 1125 bytes: 2 whole records of 556 bytes and 13 bytes of a cut-off record."},
    {"MarketDate",
     [](MarketRecord& m, PlayerRecord&) { set_text(m.date, kDateSize, "Jun 32 2024"); }, nullptr,
     "quonda.dat: the market date \"Jun 32 2024\" is not a date."},
    {"PlayerNameControlCharacter", [](MarketRecord&, PlayerRecord& p) { p.name[1] = '\x1b'; },
     nullptr, "quonda.plr: record 1 at byte 556: the name holds a control character"},
    {"DuplicateName", [](MarketRecord&, PlayerRecord& p) { set_text(p.name, kNameSize, "anne"); },
     nullptr, "record 1 (anne) has the same name as record 0"},
    {"IssueTrend", [](MarketRecord& m, PlayerRecord&) { m.companies[6].trend[kOptions] = 10; },
     nullptr, "company 6 (CCC): the options trend is 10, outside 0 to 9"},
    {"NegativeHolding", [](MarketRecord&, PlayerRecord& p) { p.holdings[8].count[kOptions] = -5; },
     nullptr, "record 1 (BERT): holds -5 options of SSI, fewer than none"},
    {"HeldAndAvailableBeyondIssued",
     [](MarketRecord&, PlayerRecord& p) { p.holdings[0].count[kCommon] = 11; }, nullptr,
     "IGM common shares: players hold 21 and 1999990 are available, 2000011 in all, but only "
     "2000000 were issued."},
};

class SysopDamage : public SysopTool, public ::testing::WithParamInterface<Damage> {};

TEST_P(SysopDamage, IsReportedInPlainWordsWithExitOne) {
    MarketRecord market = sample_market();
    std::vector<PlayerRecord> players = sample_players();
    if (GetParam().change != nullptr) GetParam().change(market, players[1]);
    std::string market_bytes = bytes_of(market), player_bytes = bytes_of(players);
    if (GetParam().cut != nullptr) GetParam().cut(market_bytes, player_bytes);
    write("quonda.dat", market_bytes);
    write("quonda.plr", player_bytes);
    const auto [status, out] = run({"check"});
    EXPECT_EQ(status, GetParam().change || GetParam().cut ? 1 : 0) << out;
    EXPECT_NE(out.find(GetParam().report), std::string::npos) << out;
    EXPECT_EQ(contents("quonda.dat"), market_bytes) << "check alone changes nothing";
    EXPECT_EQ(contents("quonda.plr"), player_bytes);
}

INSTANTIATE_TEST_SUITE_P(Kinds, SysopDamage, ::testing::ValuesIn(kDamages),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SysopTool, SalvageKeepsWholeSoundRecordsAndTheOldFiles) {
    PlayerRecord carl = sample_player("CARL");
    carl.graphics_mode = 7;
    const std::string sound = contents("quonda.plr");
    const std::string old_players = sound +
                                    bytes_of({carl, sample_player("Anne"), sample_player("DORA")}) +
                                    std::string(100, '\x55');
    write("quonda.plr", old_players);
    MarketRecord market = sample_market();
    market.companies[3].trend[kBonds] = 12;  // ALG is damaged; the rest is kept as it is
    market.companies[8].price[kCommon][0] = 99;
    const std::string old_market = bytes_of(market);
    write("quonda.dat", old_market);

    const auto [status, out] = run({"check", "--salvage"});
    EXPECT_EQ(status, 1) << out;
    EXPECT_EQ(contents("quonda.plr"), sound + bytes_of({sample_player("DORA")}))
        << "CARL, the second Anne and the fragment are gone";
    EXPECT_EQ(backup_of("quonda.plr"), old_players);
    MarketRecord fresh{};
    (void)build_default_market(fresh);
    market.companies[3] = fresh.companies[3];
    EXPECT_EQ(contents("quonda.dat"), bytes_of(market)) << "ALG rebuilt from its default";
    EXPECT_EQ(backup_of("quonda.dat"), old_market);
    EXPECT_EQ(run({"check"}).first, 0);
}

TEST_F(SysopTool, ShowJsonHasTheValuesOfTheFiles) {
    std::vector<PlayerRecord> players = sample_players();
    players[1] = sample_player("REN\x90", 2500);  // CP437 0x90 is É
    write("quonda.plr", bytes_of(players));

    const auto [status, out] = run({"show", "--json"});
    ASSERT_EQ(status, 0) << out;
    const nlohmann::json doc = nlohmann::json::parse(out, nullptr, false);
    ASSERT_FALSE(doc.is_discarded()) << out;
    EXPECT_EQ(doc["market"]["date"], "Jun 14 2024");
    const auto& igm = doc["market"]["companies"][0];
    EXPECT_EQ(igm["symbol"], "IGM");
    EXPECT_EQ(igm["issues"][1]["price"], 145);
    EXPECT_EQ(igm["issues"][1]["available"], 1999990);
    ASSERT_EQ(doc["players"].size(), 2u);
    EXPECT_EQ(doc["players"][0]["holdings"][0]["count"]["common"], 10);
    EXPECT_EQ(doc["players"][1]["name"], "REN\xC3\x89");
    EXPECT_EQ(doc["players"][1]["net_worth"], 2500);
}

TEST_F(SysopTool, NewGameOnlyAfterConfirmationAndKeepsBackups) {
    const std::string old_market = contents("quonda.dat");
    const std::string old_players = contents("quonda.plr");
    for (const char* answer : {"no\n", "y\n"}) {
        EXPECT_EQ(run({"newgame"}, answer).first, 4) << answer;
        EXPECT_EQ(contents("quonda.dat"), old_market);
        EXPECT_EQ(contents("quonda.plr"), old_players);
        EXPECT_EQ(backup_of("quonda.dat"), "(none)");
    }
    const auto [status, out] = run({"newgame"}, "yes\n");
    ASSERT_EQ(status, 0) << out;
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/quonda.dat")) << "the next caller gets a new one";
    EXPECT_EQ(std::filesystem::file_size(dir_ + "/quonda.plr"), 0u);
    EXPECT_EQ(backup_of("quonda.dat"), old_market);
    EXPECT_EQ(backup_of("quonda.plr"), old_players);
    EXPECT_NE(contents("quonda.bul").find("T O P   1 0"), std::string::npos);
    EXPECT_EQ(contents("quonda.bul").find("ANNE"), std::string::npos);
}

}  // namespace
