// Record codec: byte layouts against hand-written offsets, short transfers, the market file and
// the player lookup and rewrite.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "data/codec.h"
#include "vcaller/caller.h"

namespace {

// Each test works in a fresh directory.
class Codec : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(0, chdir(dir_.c_str())); }
    void TearDown() override {
        ASSERT_EQ(0, chdir(BULLMOOR_BINARY_DIR));
        remove_tree(dir_);
    }
    const std::string dir_ = make_temp_dir("codec");
};

// Stale bytes after the NUL must not reach the file.
void set_text(char* field, size_t width, const std::string& text) {
    std::memset(field, '#', width);
    std::strcpy(field, text.c_str());
}

std::string contents(const char* path) {
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

void put(const char* path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The little-endian signed integer of size bytes at offset.
long le(const std::string& bytes, size_t offset, int size) {
    unsigned long value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes.at(offset + i));
    return size == 2 ? static_cast<int16_t>(value) : static_cast<int32_t>(value);
}

// text NUL-padded to width: a text field as it must sit in the file.
std::string padded(const char* text, size_t width) {
    std::string s(text);
    s.resize(width, '\0');
    return s;
}

// Every company differs from the others, and the fields checked by offset hold distinct values.
MarketRecord sample_market() {
    MarketRecord m{};
    set_text(m.date, sizeof m.date, "Feb 29 2024");
    m.general_trend = 7;
    for (int i = 0; i < kCompanyCount; ++i) {
        CompanyRecord& c = m.companies[i];
        set_text(c.symbol, sizeof c.symbol, "QRS");
        set_text(c.name, sizeof c.name, "Quarry Rock & Sand");
        for (int line = 0; line < kHistoryLines; ++line)
            set_text(c.history[line], kHistoryLineSize,
                     "line " + std::to_string(line) + " of " + std::to_string(i));
        c.type = kBlueChip;
        for (int k = 0; k < kKindCount; ++k) {
            c.total[k] = 100000 * (k + 1) + i;
            for (int d = 0; d < kHistoryDays; ++d)
                c.price[k][d] = static_cast<int16_t>(k * 100 + d);
        }
        c.bond_guaranteed_value = static_cast<int16_t>(1000 + i);
    }
    return m;
}

PlayerRecord sample_player(const char* name, int32_t cash = 2000) {
    PlayerRecord p{};
    set_text(p.name, sizeof p.name, name);
    set_text(p.last_played, sizeof p.last_played, "Jan 31 2024");
    set_text(p.last_traded, sizeof p.last_traded, "Dec 25 2023");
    p.reserved = 0x01020304;
    p.times_played = -3;
    p.graphics_mode = kColorMode;
    p.net_worth = -123456;
    p.cash = cash;
    for (int i = 0; i < kCompanyCount; ++i) {
        for (int k = 0; k < kKindCount; ++k) p.holdings[i].count[k] = 70000 + i * 10 + k;
        p.holdings[i].short_price = static_cast<int16_t>(-41 - i);
    }
    return p;
}

std::string market_bytes(const MarketRecord& market) {
    std::string bytes(kMarketBytes, '\0');
    encode_market(market, reinterpret_cast<unsigned char*>(bytes.data()));
    return bytes;
}

std::string player_bytes(const PlayerRecord& player) {
    std::string bytes(kPlayerBytes, '\0');
    encode_player(player, reinterpret_cast<unsigned char*>(bytes.data()));
    return bytes;
}

// Companies start at 14 + 662 * i (company 3 at 2000, company 11 at 7296); holdings at
// 76 + 40 * i (holding 5 at 276).
TEST(CodecLayout, FieldsSitAtTheirOffsetsLowByteFirst) {
    const std::string market = market_bytes(sample_market());
    const std::string player = player_bytes(sample_player("ALICE"));
    EXPECT_EQ(padded("Feb 29 2024", 12), market.substr(0, 12));
    EXPECT_EQ(padded("QRS", 4), market.substr(2000, 4));
    EXPECT_EQ(padded("Quarry Rock & Sand", 32), market.substr(2004, 32));
    EXPECT_EQ(padded("line 5 of 3", 80), market.substr(2036 + 400, 80));
    EXPECT_EQ(padded("line 2 of 11", 80), market.substr(7296 + 36 + 160, 80));
    EXPECT_EQ(padded("ALICE", 32), player.substr(0, 32));
    EXPECT_EQ(padded("Jan 31 2024", 12), player.substr(32, 12));
    EXPECT_EQ(padded("Dec 25 2023", 12), player.substr(54, 12));
    const struct {
        const std::string& bytes;
        size_t offset;
        int size;
        long value;
        const char* field;
    } fields[] = {
        {market, 12, 2, 7, "general_trend"},
        {market, 2000 + 516, 2, kBlueChip, "type"},
        {market, 2000 + 540, 4, 400003, "total[3]"},
        {market, 2000 + 588 + 2 * 4, 2, 104, "price[1][4]"},
        {market, 7956, 2, 1011, "company 11's bond_guaranteed_value, the last bytes"},
        {player, 44, 4, 0x01020304, "reserved"},
        {player, 52, 2, -3, "times_played"},
        {player, 66, 2, kColorMode, "graphics_mode"},
        {player, 68, 4, -123456, "net_worth"},
        {player, 72, 4, 2000, "cash"},
        {player, 276 + 18 + 12, 4, 70053, "holdings[5].count[3]"},
        {player, 554, 2, -52, "holdings[11].short_price, the last bytes"},
    };
    for (const auto& f : fields) EXPECT_EQ(f.value, le(f.bytes, f.offset, f.size)) << f.field;
    EXPECT_EQ('\x04', player[44]);
    EXPECT_EQ('\x01', player[47]);
}

// quonda.dat: missing is -2, any length but 7958 is -1 (whole companies too), a directory in
// its place -1 on load and -2 on save; a save and load keep 79-character and empty lines.
TEST_F(Codec, MarketFileResults) {
    EXPECT_EQ(-2, load_market(*std::make_unique<MarketRecord>()));
    MarketRecord market = sample_market();
    set_text(market.companies[0].history[0], kHistoryLineSize, std::string(79, 'x'));
    market.companies[2].history[4][0] = '\0';
    ASSERT_EQ(0, save_market(market));
    MarketRecord loaded{};
    ASSERT_EQ(0, load_market(loaded));
    EXPECT_EQ(market_bytes(market), market_bytes(loaded));
    const std::string bytes = contents("quonda.dat");
    for (size_t length : {0, 13, 14 + 3 * 662, 7957}) {
        put("quonda.dat", bytes.substr(0, length));
        EXPECT_EQ(-1, load_market(loaded)) << length;
    }
    ASSERT_EQ(0, std::remove("quonda.dat"));
    ASSERT_EQ(0, mkdir("quonda.dat", 0700));
    EXPECT_EQ(-1, load_market(loaded));
    EXPECT_EQ(-2, save_market(market));
}

// One record of each kind, read from or written to fd; the holding's codec reports errors as 0.
int transfer(const std::string& record, int fd, bool write) {
    static const MarketRecord market = sample_market();
    static const PlayerRecord player = sample_player("DAVE");
    static MarketRecord market_in;
    PlayerRecord player_in{};
    if (record == "company")
        return write ? write_company(fd, market.companies[0])
                     : read_company(fd, market_in.companies[0]);
    if (record == "market") return write ? write_market(fd, market) : read_market(fd, market_in);
    if (record == "holding")
        return write ? write_holding(fd, player.holdings[0])
                     : read_holding(fd, player_in.holdings[0]);
    return write ? write_player(fd, player) : read_player(fd, player_in);
}

// Each record moves in one transfer; a short one returns what a field-by-field transfer would
// have: the bytes moved at a field boundary, and inside a field its own count; a failure before
// any byte is -1 (0 for a holding). A read meets the end of a file of that many bytes; a write
// meets a file-size limit there (write() moves the bytes below it, then fails with EFBIG). The
// position ends after the bytes moved.
TEST_F(Codec, TransfersStopWhereFieldByFieldOnesWould) {
    const struct {
        const char* record;
        bool write;
        size_t bytes;  // in the file, or the size limit
        int expected;
    } cases[] = {
        {"company", false, 0, 0},      {"company", false, 3, 3},     {"company", false, 4, 4},
        {"company", false, 517, 517},  {"company", false, 661, 661}, {"market", false, 675, 675},
        {"market", false, 7957, 7957}, {"holding", false, 1, 1},     {"holding", false, 20, 20},
        {"player", false, 201, 201},   {"company", true, 0, -1},     {"company", true, 36, 36},
        {"market", true, 700, 700},    {"holding", true, 0, 0},      {"holding", true, 34, 34},
        {"player", true, 0, -1},       {"player", true, 555, 555},   {"player", true, 556, 556},
        {"company", false, 662, 662},  {"holding", true, 40, 40},
    };
    signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &saved));
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.record << (c.write ? " write " : " read ") << c.bytes);
        put("file", std::string(c.write ? 0 : c.bytes, 'Z'));
        const int fd = open("file", O_RDWR);
        rlimit limit = saved;
        if (c.write) limit.rlim_cur = c.bytes;
        ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &limit));
        const int result = transfer(c.record, fd, c.write);
        const off_t position = lseek(fd, 0, SEEK_CUR);
        ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &saved));
        close(fd);
        EXPECT_EQ(c.expected, result);
        EXPECT_EQ(static_cast<off_t>(c.bytes), position);
    }
    signal(SIGXFSZ, SIG_DFL);
    const int fd = open("file", O_WRONLY);  // reading it fails with EBADF
    for (const char* record : {"company", "market", "player"})
        EXPECT_EQ(-1, transfer(record, fd, false));
    EXPECT_EQ(0, transfer("holding", fd, false));
    close(fd);
}

// Names match whatever their case; a miss ends at the end of the whole records, so a new
// player written there replaces a trailing fragment. A missing quonda.plr is created empty;
// a rewrite never creates it and changes only its own record.
TEST_F(Codec, PlayerLookupAndRewrite) {
    PlayerRecord found{};
    int32_t offset = -1;
    EXPECT_EQ(-2, rewrite_player(sample_player("ALICE"), 0));
    EXPECT_NE(0, access("quonda.plr", F_OK));
    EXPECT_EQ(0, find_player("ALICE", found, offset));
    EXPECT_EQ(0, offset);
    EXPECT_EQ("", contents("quonda.plr"));
    put("quonda.plr", player_bytes(sample_player("ALICE")) +
                          player_bytes(sample_player("BOB SMITH", 777)) +
                          player_bytes(sample_player("CAROL")) + std::string(100, 'A'));
    for (const char* name : {"BOB SMITH", "bob smith", "bOb SmItH"}) {
        EXPECT_EQ(1, find_player(name, found, offset)) << name;
        EXPECT_EQ(556, offset);
        EXPECT_EQ(777, found.cash);
        EXPECT_STREQ("BOB SMITH", found.name);
    }
    EXPECT_EQ(0, find_player("BOB SMITHS", found, offset));
    EXPECT_EQ(3 * 556, offset);
    ASSERT_EQ(0, rewrite_player(sample_player("ERIN"), offset));
    ASSERT_EQ(0, rewrite_player(sample_player("BOB SMITH", 99), 556));
    const std::string bytes = contents("quonda.plr");
    ASSERT_EQ(4u * 556, bytes.size());
    EXPECT_EQ(player_bytes(sample_player("ALICE")), bytes.substr(0, 556));
    EXPECT_EQ(99, le(bytes, 556 + 72, 4));
    EXPECT_EQ(1, find_player("Erin", found, offset));
    EXPECT_EQ(3 * 556, offset);
}

}  // namespace
