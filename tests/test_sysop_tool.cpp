// bullmoor-sysop run as a sysop runs it, on files prepared here: the new day once and only once,
// every kind of damage that check claims to find, salvage and its backups, JSON that parses to
// the values in the files, newgame's confirmation and backups, the bulletin.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "data/codec.h"
#include "data/records.h"
#include "market/market.h"
#include "vcaller/caller.h"

extern char** environ;

namespace {

constexpr const char* kFaketimeLibrary = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";
constexpr const char* kClock = "2024-06-15 10:00:00";  // date text "Jun 15 2024"

struct ToolRun {
    int status = -1;  // exit code, -1 when it did not end in time
    std::string out;
};

// Under AddressSanitizer a process started with libfaketime preloaded must accept it ahead of the
// sanitizer's runtime; started processes inherit this process's environment.
void allow_preloaded_clock() {
    const char* current = std::getenv("ASAN_OPTIONS");
    std::string options = current != nullptr ? current : "";
    if (options.find("verify_asan_link_order") != std::string::npos) return;
    if (!options.empty()) options += ":";
    options += "verify_asan_link_order=0";
    setenv("ASAN_OPTIONS", options.c_str(), 1);
}

// Runs the tool in dir with the clock at kClock, stdin fed from input; waits at most 20 s.
ToolRun run_tool(const std::string& dir, std::vector<std::string> args,
                 const std::string& input = "") {
    allow_preloaded_clock();
    args.insert(args.begin(), std::string(BULLMOOR_BINARY_DIR) + "/tools/bullmoor-sysop");
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    env.push_back(std::string("LD_PRELOAD=") + kFaketimeLibrary);
    env.push_back(std::string("FAKETIME=@") + kClock);
    env.push_back("DONT_FAKE_MONOTONIC=1");
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    int to_tool[2], from_tool[2];
    ToolRun run;
    if (pipe(to_tool) != 0 || pipe(from_tool) != 0) return run;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(to_tool[0], 0);
        dup2(from_tool[1], 1);
        dup2(from_tool[1], 2);
        for (int fd : {to_tool[0], to_tool[1], from_tool[0], from_tool[1]}) close(fd);
        if (chdir(dir.c_str()) != 0) _exit(127);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(to_tool[0]);
    close(from_tool[1]);
    if (!input.empty()) (void)!write(to_tool[1], input.data(), input.size());
    close(to_tool[1]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    char buffer[4096];
    for (;;) {
        pollfd p{from_tool[0], POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            const ssize_t n = read(from_tool[0], buffer, sizeof buffer);
            if (n <= 0) break;
            run.out.append(buffer, static_cast<size_t>(n));
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            break;
        }
    }
    close(from_tool[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
    return run;
}

void set_text(char* field, size_t size, const char* text) {
    std::memset(field, 0, size);
    std::memcpy(field, text, strnlen(text, size - 1));
}

// The default exchange dated Jun 14 2024 with every traded trend 3 and the general trend 5: a
// market day then moves no price. One player holds 10 IGM common shares taken from the market.
MarketRecord sample_market() {
    MarketRecord market{};
    (void)build_default_market(market);
    set_text(market.date, sizeof market.date, "Jun 14 2024");
    market.general_trend = 5;
    for (CompanyRecord& company : market.companies) {
        for (int k = 0; k < kKindCount; ++k) company.trend[k] = 3;
    }
    market.companies[0].available[kCommon] -= 10;
    return market;
}

PlayerRecord sample_player(const char* name, int32_t net_worth = 1000) {
    PlayerRecord player{};
    set_text(player.name, sizeof player.name, name);
    set_text(player.last_played, sizeof player.last_played, "Jun 14 2024");
    set_text(player.last_traded, sizeof player.last_traded, "Jun 10 2024");
    player.cash = 700;
    player.net_worth = net_worth;
    player.times_played = 4;
    player.graphics_mode = kColorMode;
    return player;
}

std::string market_bytes(const MarketRecord& market) {
    std::string bytes(kMarketBytes, '\0');
    encode_market(market, reinterpret_cast<unsigned char*>(bytes.data()));
    return bytes;
}

std::string player_bytes(const std::vector<PlayerRecord>& players) {
    std::string bytes;
    for (const PlayerRecord& player : players) {
        std::string record(kPlayerBytes, '\0');
        encode_player(player, reinterpret_cast<unsigned char*>(record.data()));
        bytes += record;
    }
    return bytes;
}

class SysopTool : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = make_temp_dir("sysop");
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override { remove_tree(dir_); }

    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    std::string contents(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    bool exists(const std::string& name) const { return access(path(name).c_str(), F_OK) == 0; }
    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream out(path(name), std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    // The one backup of name (name.YYYYMMDD-HHMMSS.bak); empty when there is none or several.
    std::string backup_of(const std::string& name) const {
        std::vector<std::string> found;
        if (DIR* d = opendir(dir_.c_str())) {
            while (const dirent* entry = readdir(d)) {
                const std::string file = entry->d_name;
                if (file.rfind(name + ".2024", 0) == 0 && file.size() > 4 &&
                    file.compare(file.size() - 4, 4, ".bak") == 0) {
                    found.push_back(file);
                }
            }
            closedir(d);
        }
        return found.size() == 1 ? found[0] : "";
    }
    // A sound pair of files: the sample market and ANNE holding its 10 IGM common shares.
    void write_sound_game() const {
        write("quonda.dat", market_bytes(sample_market()));
        PlayerRecord anne = sample_player("ANNE");
        anne.holdings[0].count[kCommon] = 10;
        write("quonda.plr", player_bytes({anne, sample_player("BERT")}));
    }
    ToolRun run(std::vector<std::string> args, const std::string& input = "") const {
        return run_tool(dir_, std::move(args), input);
    }

    std::string dir_;
};

struct UsageCase {
    std::vector<std::string> args;
    int status;
    const char* shows;
};

class SysopUsage : public SysopTool, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(SysopUsage, ExitStatusAndText) {
    const ToolRun result = run(GetParam().args);
    EXPECT_EQ(result.status, GetParam().status) << result.out;
    EXPECT_NE(result.out.find(GetParam().shows), std::string::npos) << result.out;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SysopUsage,
    ::testing::Values(UsageCase{{"--help"}, 0, "  4  newgame was not confirmed"},
                      UsageCase{{}, 2, "--help lists the commands"},
                      UsageCase{{"sell"}, 2, "Usage: bullmoor-sysop"},
                      UsageCase{{"check", "--json"}, 2, "Usage: bullmoor-sysop"},
                      UsageCase{{"--dir", "/no/such/dir", "check"}, 2, "cannot change to"}));

TEST_F(SysopTool, NewDayRunsOnceAsTheFirstSessionWould) {
    MarketRecord market = sample_market();
    market.companies[0].price[kCommon][0] = 400;  // at IGM's split price: splits 2 for 1
    write("quonda.dat", market_bytes(market));
    PlayerRecord anne = sample_player("ANNE");
    anne.holdings[0].count[kCommon] = 10;
    PlayerRecord gone = sample_player("GONE");
    set_text(gone.last_played, sizeof gone.last_played, "May 15 2024");  // 31 days away
    write("quonda.plr", player_bytes({anne, gone}));

    const ToolRun first = run({"newday"});
    ASSERT_EQ(first.status, 0) << first.out;
    MarketRecord after{};
    const std::string market_after = contents("quonda.dat");
    ASSERT_EQ(market_after.size(), static_cast<size_t>(kMarketBytes));
    decode_market(reinterpret_cast<const unsigned char*>(market_after.data()), after);
    EXPECT_STREQ(after.date, "Jun 15 2024");
    EXPECT_EQ(after.companies[0].split, 1);
    EXPECT_EQ(after.companies[0].price[kCommon][0], 200);
    EXPECT_EQ(after.companies[0].total[kCommon], 4000000);
    EXPECT_EQ(after.companies[0].available[kCommon], 2 * (2000000 - 10));
    const std::string players_after = contents("quonda.plr");
    ASSERT_EQ(players_after.size(), static_cast<size_t>(kPlayerBytes)) << "GONE is dropped";
    PlayerRecord kept{};
    decode_player(reinterpret_cast<const unsigned char*>(players_after.data()), kept);
    EXPECT_STREQ(kept.name, "ANNE");
    EXPECT_EQ(kept.holdings[0].count[kCommon], 20);
    EXPECT_EQ(kept.holdings[0].split, 1);

    const ToolRun second = run({"newday"});
    EXPECT_EQ(second.status, 0) << second.out;
    EXPECT_NE(second.out.find("already"), std::string::npos) << second.out;
    EXPECT_EQ(contents("quonda.dat"), market_after);
    EXPECT_EQ(contents("quonda.plr"), players_after);
}

TEST_F(SysopTool, NewDayWithoutAMarketMakesTheFreshExchange) {
    const ToolRun result = run({"newday"});
    ASSERT_EQ(result.status, 0) << result.out;
    MarketRecord fresh{};
    (void)build_default_market(fresh);
    MarketRecord made{};
    const std::string bytes = contents("quonda.dat");
    ASSERT_EQ(bytes.size(), static_cast<size_t>(kMarketBytes)) << result.out;
    decode_market(reinterpret_cast<const unsigned char*>(bytes.data()), made);
    EXPECT_STREQ(made.date, "Jun 15 2024");
    for (int c = 0; c < kCompanyCount; ++c) {
        for (int k = 0; k < kKindCount; ++k) {
            EXPECT_EQ(made.companies[c].price[k][0], fresh.companies[c].price[k][0])
                << "on its first day only the trends move";
        }
    }
}

TEST_F(SysopTool, CheckPassesSoundFiles) {
    write_sound_game();
    const ToolRun result = run({"check"});
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_NE(result.out.find("quonda.plr: sound, 2 players."), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("No damage found."), std::string::npos) << result.out;
}

// One kind of damage: how to make it from the sound game, and the words that report it.
struct Damage {
    const char* name;
    std::function<void(std::string& market, std::string& players)> make;
    const char* report;
};

PlayerRecord decode_at(const std::string& players, size_t index) {
    PlayerRecord player{};
    decode_player(reinterpret_cast<const unsigned char*>(players.data() + index * kPlayerBytes),
                  player);
    return player;
}

void put_at(std::string& players, size_t index, const PlayerRecord& player) {
    encode_player(player, reinterpret_cast<unsigned char*>(players.data() + index * kPlayerBytes));
}

// Changes the market as a record and encodes it again.
std::function<void(std::string&, std::string&)> market_change(
    std::function<void(MarketRecord&)> change) {
    return [change](std::string& market, std::string&) {
        MarketRecord record{};
        decode_market(reinterpret_cast<const unsigned char*>(market.data()), record);
        change(record);
        market = market_bytes(record);
    };
}

// Changes BERT, the second record.
std::function<void(std::string&, std::string&)> bert_change(
    std::function<void(PlayerRecord&)> change) {
    return [change](std::string&, std::string& players) {
        PlayerRecord bert = decode_at(players, 1);
        change(bert);
        put_at(players, 1, bert);
    };
}

const Damage kDamages[] = {
    {"MarketCutShort", [](std::string& m, std::string&) { m.resize(7000); },
     "quonda.dat is 7000 bytes, but a market is 7958 bytes: it ends inside company 10."},
    {"MarketTooLong", [](std::string& m, std::string&) { m += "xyz"; }, "3 bytes follow it."},
    {"MarketDate", market_change([](MarketRecord& m) { std::memcpy(m.date, "Jun 32 2024", 12); }),
     "quonda.dat: the market date \"Jun 32 2024\" is not a date."},
    {"GeneralTrend", market_change([](MarketRecord& m) { m.general_trend = 12; }),
     "the general trend is 12, outside 0 to 9"},
    {"Symbol", market_change([](MarketRecord& m) { set_text(m.companies[2].symbol, 4, "WW"); }),
     "company 2 (WW): the symbol is not three characters"},
    {"CompanyNameWithoutNul",
     market_change([](MarketRecord& m) { std::memset(m.companies[1].name, 'A', kNameSize); }),
     "company 1 (LST): the name has no terminating NUL"},
    {"DescriptionControlCharacter",
     market_change([](MarketRecord& m) { m.companies[5].history[2][3] = '\x07'; }),
     "company 5 (FFD): description line 3 holds a control character"},
    {"CompanyType", market_change([](MarketRecord& m) { m.companies[4].type = 3; }),
     "company 4 (SBG): the company type is 3, outside 0 to 2"},
    {"IssueTrend", market_change([](MarketRecord& m) { m.companies[6].trend[kOptions] = 10; }),
     "company 6 (CCC): the options trend is 10, outside 0 to 9"},
    {"NegativePrice", market_change([](MarketRecord& m) { m.companies[7].price[kCommon][3] = -4; }),
     "company 7 (MMC): the common stock price 3 days ago is -4, below 0"},
    {"MoreAvailableThanIssued",
     market_change([](MarketRecord& m) { m.companies[9].available[kCommon] = 100001; }),
     "100001 common shares are available but only 100000 were issued"},
    {"PlayerFileFragment", [](std::string&, std::string& p) { p.append(13, '\0'); },
     "quonda.plr is 1125 bytes: 2 whole records of 556 bytes and 13 bytes of a cut-off record."},
    {"PlayerNameWithoutNul",
     bert_change([](PlayerRecord& p) { std::memset(p.name, 'B', kNameSize); }),
     "quonda.plr: record 1 at byte 556: the name has no terminating NUL"},
    {"PlayerNameControlCharacter", bert_change([](PlayerRecord& p) { p.name[1] = '\x1b'; }),
     "record 1 at byte 556: the name holds a control character"},
    {"PlayerWithoutName", bert_change([](PlayerRecord& p) { set_text(p.name, kNameSize, ""); }),
     "record 1 at byte 556: the name is empty"},
    {"LastPlayedDate",
     bert_change([](PlayerRecord& p) { set_text(p.last_played, kDateSize, "Foo 01 2024"); }),
     "record 1 (BERT): the last played date \"Foo 01 2024\" is not a date"},
    {"GraphicsMode", bert_change([](PlayerRecord& p) { p.graphics_mode = 3; }),
     "record 1 (BERT): the graphics mode is 3, outside 0 to 2"},
    {"NegativeHolding", bert_change([](PlayerRecord& p) { p.holdings[8].count[kOptions] = -5; }),
     "record 1 (BERT): holds -5 options of SSI, fewer than none"},
    {"NegativeShort", bert_change([](PlayerRecord& p) { p.holdings[3].short_count = -2; }),
     "record 1 (BERT): has -2 common shares of ALG sold short, fewer than none"},
    {"DuplicateName", bert_change([](PlayerRecord& p) { set_text(p.name, kNameSize, "anne"); }),
     "record 1 (anne) has the same name as record 0"},
    {"UnitsHeldAndAvailableBeyondIssued",
     bert_change([](PlayerRecord& p) { p.holdings[0].count[kCommon] = 11; }),
     "IGM common shares: players hold 21 and 1999990 are available, 2000011 in all, but only "
     "2000000 were issued."},
};

class SysopDamage : public SysopTool, public ::testing::WithParamInterface<Damage> {};

TEST_P(SysopDamage, IsReportedInPlainWordsWithExitOne) {
    write_sound_game();
    std::string market = contents("quonda.dat");
    std::string players = contents("quonda.plr");
    GetParam().make(market, players);
    write("quonda.dat", market);
    write("quonda.plr", players);
    const ToolRun result = run({"check"});
    EXPECT_EQ(result.status, 1) << result.out;
    EXPECT_NE(result.out.find(GetParam().report), std::string::npos) << result.out;
    EXPECT_EQ(contents("quonda.dat"), market) << "check alone changes nothing";
    EXPECT_EQ(contents("quonda.plr"), players);
}

INSTANTIATE_TEST_SUITE_P(Kinds, SysopDamage, ::testing::ValuesIn(kDamages),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SysopTool, SalvageKeepsWholeSoundRecordsAndTheOldFiles) {
    write_sound_game();
    PlayerRecord broken = sample_player("CARL");
    broken.graphics_mode = 7;
    PlayerRecord again = sample_player("Anne");
    PlayerRecord dora = sample_player("DORA");
    const std::string sound = contents("quonda.plr");
    const std::string old_players =
        sound + player_bytes({broken, again, dora}) + std::string(100, '\x55');
    write("quonda.plr", old_players);
    MarketRecord market = sample_market();
    market.companies[3].trend[kBonds] = 12;
    market.companies[3].price[kCommon][0] = 77;
    market.companies[8].price[kCommon][0] = 99;  // sound: kept as it is
    const std::string old_market = market_bytes(market);
    write("quonda.dat", old_market);

    const ToolRun result = run({"check", "--salvage"});
    EXPECT_EQ(result.status, 1) << result.out;
    EXPECT_EQ(contents("quonda.plr"), sound + player_bytes({dora}))
        << "ANNE and BERT, then DORA; CARL, the second Anne and the fragment are gone";
    const std::string player_backup = backup_of("quonda.plr");
    ASSERT_FALSE(player_backup.empty()) << result.out;
    EXPECT_EQ(contents(player_backup), old_players);

    MarketRecord salvaged{};
    const std::string market_after = contents("quonda.dat");
    ASSERT_EQ(market_after.size(), static_cast<size_t>(kMarketBytes));
    decode_market(reinterpret_cast<const unsigned char*>(market_after.data()), salvaged);
    EXPECT_STREQ(salvaged.date, "Jun 14 2024");
    EXPECT_EQ(salvaged.companies[3].price[kCommon][0], 45) << "ALG rebuilt from its default";
    EXPECT_EQ(salvaged.companies[3].trend[kBonds], 5);
    EXPECT_EQ(salvaged.companies[8].price[kCommon][0], 99);
    const std::string market_backup = backup_of("quonda.dat");
    ASSERT_FALSE(market_backup.empty()) << result.out;
    EXPECT_EQ(contents(market_backup), old_market);

    const ToolRun again_check = run({"check"});
    EXPECT_EQ(again_check.status, 0) << again_check.out;
}

TEST_F(SysopTool, ShowJsonHasTheValuesOfTheFiles) {
    write_sound_game();
    PlayerRecord anne = sample_player("ANNE");
    anne.holdings[0].count[kCommon] = 10;
    anne.holdings[6].short_count = 5;
    anne.holdings[6].short_price = 41;
    PlayerRecord rene = sample_player("REN\x90", 2500);  // CP437 0x90 is É
    write("quonda.plr", player_bytes({anne, rene}));

    const ToolRun result = run({"show", "--json"});
    ASSERT_EQ(result.status, 0) << result.out;
    const nlohmann::json doc = nlohmann::json::parse(result.out, nullptr, false);
    ASSERT_FALSE(doc.is_discarded()) << result.out;
    EXPECT_EQ(doc["market_file"], "ok");
    EXPECT_EQ(doc["market"]["date"], "Jun 14 2024");
    EXPECT_EQ(doc["market"]["general_trend"], 5);
    const auto& igm = doc["market"]["companies"][0];
    EXPECT_EQ(igm["symbol"], "IGM");
    EXPECT_EQ(igm["type_name"], "Blue Chip");
    EXPECT_EQ(igm["issues"][1]["kind"], "common");
    EXPECT_EQ(igm["issues"][1]["price"], 145);
    EXPECT_EQ(igm["issues"][1]["available"], 1999990);
    EXPECT_EQ(igm["issues"][0]["traded"], false);
    ASSERT_EQ(doc["players"].size(), 2u);
    EXPECT_EQ(doc["players"][0]["name"], "ANNE");
    EXPECT_EQ(doc["players"][0]["holdings"][0]["count"]["common"], 10);
    EXPECT_EQ(doc["players"][0]["holdings"][6]["short_count"], 5);
    EXPECT_EQ(doc["players"][0]["holdings"][6]["short_price"], 41);
    EXPECT_EQ(doc["players"][1]["name"], "REN\xC3\x89");
    EXPECT_EQ(doc["players"][1]["net_worth"], 2500);
    EXPECT_EQ(doc["players"][1]["offset"], kPlayerBytes);
    EXPECT_EQ(doc["players"][1]["last_played"], "Jun 14 2024");

    const ToolRun text = run({"show"});
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("Market of Jun 14 2024, general trend 5"), std::string::npos);
    EXPECT_NE(text.out.find("IGM common 10  CCC short 5 at $41"), std::string::npos) << text.out;
}

TEST_F(SysopTool, NewGameOnlyAfterConfirmationAndKeepsBackups) {
    write_sound_game();
    const std::string old_market = contents("quonda.dat");
    const std::string old_players = contents("quonda.plr");
    for (const char* answer : {"", "no\n", "y\n"}) {
        const ToolRun refused = run({"newgame"}, answer);
        EXPECT_EQ(refused.status, 4) << "answer \"" << answer << "\": " << refused.out;
        EXPECT_EQ(contents("quonda.dat"), old_market);
        EXPECT_EQ(contents("quonda.plr"), old_players);
        EXPECT_TRUE(backup_of("quonda.dat").empty());
    }

    const ToolRun done = run({"newgame"}, "yes\n");
    ASSERT_EQ(done.status, 0) << done.out;
    EXPECT_FALSE(exists("quonda.dat")) << "the next session builds a fresh market";
    EXPECT_TRUE(exists("quonda.plr"));
    EXPECT_EQ(contents("quonda.plr"), "");
    EXPECT_EQ(contents(backup_of("quonda.dat")), old_market);
    EXPECT_EQ(contents(backup_of("quonda.plr")), old_players);
    const std::string bulletin = contents("quonda.bul");
    EXPECT_NE(bulletin.find("T O P   1 0"), std::string::npos);
    EXPECT_EQ(bulletin.find("ANNE"), std::string::npos);
}

TEST_F(SysopTool, NewGameWithYesAsksNothing) {
    write_sound_game();
    const std::string old_players = contents("quonda.plr");
    const ToolRun done = run({"newgame", "--yes"});
    ASSERT_EQ(done.status, 0) << done.out;
    EXPECT_EQ(done.out.find("Type yes"), std::string::npos);
    EXPECT_EQ(contents(backup_of("quonda.plr")), old_players);
}

TEST_F(SysopTool, BulletinGoesToTheConfiguredFileInRankOrder) {
    write("quonda.cfg", "Test BBS\nquonda.doc\ntycoons.txt\nSYSOP\nPASS\n");
    write("quonda.dat", market_bytes(sample_market()));
    write("quonda.plr", player_bytes({sample_player("LOW", 300), sample_player("HIGH", 9000),
                                      sample_player("MIDDLE", 4000)}));
    const ToolRun result = run({"bulletin"});
    ASSERT_EQ(result.status, 0) << result.out;
    EXPECT_FALSE(exists("quonda.bul"));
    const std::string bulletin = contents("tycoons.txt");
    const size_t high = bulletin.find("       HIGH            9000\n");
    const size_t middle = bulletin.find("       MIDDLE            4000\n");
    const size_t low = bulletin.find("       LOW             300\n");
    ASSERT_NE(high, std::string::npos) << bulletin;
    ASSERT_NE(middle, std::string::npos) << bulletin;
    ASSERT_NE(low, std::string::npos) << bulletin;
    EXPECT_LT(high, middle);
    EXPECT_LT(middle, low);
}

}  // namespace
