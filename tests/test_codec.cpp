// Record codec: byte layouts, short transfers, the market file, the player lookup and rewrite.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>

#include "data/codec.h"
#include "vcaller/caller.h"

namespace {

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
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The little-endian signed integer of size bytes at offset.
long le(const std::string& bytes, size_t offset, int size) {
    unsigned long value = 0;
    for (int i = size; i-- > 0;)
        value = value << 8 | static_cast<unsigned char>(bytes.at(offset + i));
    return size == 2 ? static_cast<int16_t>(value) : static_cast<int32_t>(value);
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
            set_text(c.history[line], kHistoryLineSize, "line " + std::to_string(10 * i + line));
        c.type = kBlueChip;
        for (int k = 0; k < kKindCount; ++k) c.total[k] = 100000 * (k + 1) + i;
        for (int d = 0; d < 40; ++d) c.price[d / 10][d % 10] = 100 * (d / 10) + d % 10;
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

std::string bytes_of(const MarketRecord& market) {
    std::string bytes(kMarketBytes, '\0');
    encode_market(market, reinterpret_cast<unsigned char*>(bytes.data()));
    return bytes;
}

std::string bytes_of(const PlayerRecord& player) {
    std::string bytes(kPlayerBytes, '\0');
    encode_player(player, reinterpret_cast<unsigned char*>(bytes.data()));
    return bytes;
}

// Companies start at 14 + 662 * i, holdings at 76 + 40 * i; the last rows of each record are
// its last bytes. Numbers are (in the market?, offset, size, value); texts are NUL-padded.
TEST(CodecLayout, FieldsSitAtTheirOffsetsLowByteFirst) {
    const std::string market = bytes_of(sample_market()), player = bytes_of(sample_player("ALICE"));
    const std::tuple<bool, size_t, int, long> numbers[] = {
        {true, 12, 2, 7},     {true, 2516, 2, kBlueChip}, {true, 2540, 4, 400003},
        {true, 2596, 2, 104}, {true, 7956, 2, 1011},      {false, 44, 4, 0x01020304},
        {false, 52, 2, -3},   {false, 66, 2, kColorMode}, {false, 68, 4, -123456},
        {false, 72, 4, 2000}, {false, 306, 4, 70053},     {false, 554, 2, -52},
    };
    for (const auto& [in_market, offset, size, value] : numbers)
        EXPECT_EQ(value, le(in_market ? market : player, offset, size)) << offset;
    const auto padded = [](std::string s, size_t n) { return s.append(n - s.size(), '\0'); };
    EXPECT_EQ(padded("Feb 29 2024", 12), market.substr(0, 12));
    EXPECT_EQ(padded("QRS", 4) + padded("Quarry Rock & Sand", 32), market.substr(2000, 36));
    EXPECT_EQ(padded("line 112", 80), market.substr(7296 + 36 + 160, 80));
    EXPECT_EQ(padded("ALICE", 32) + padded("Jan 31 2024", 12), player.substr(0, 44));
    EXPECT_EQ(padded("Dec 25 2023", 12), player.substr(54, 12));
}

// quonda.dat: missing -2, a wrong length -1; 79-character and empty lines survive a save.
TEST_F(Codec, MarketFileResults) {
    MarketRecord market = sample_market(), loaded{};
    EXPECT_EQ(-2, load_market(loaded));
    set_text(market.companies[0].history[0], kHistoryLineSize, std::string(79, 'x'));
    market.companies[2].history[4][0] = '\0';
    ASSERT_EQ(0, save_market(market));
    ASSERT_EQ(0, load_market(loaded));
    EXPECT_EQ(bytes_of(market), bytes_of(loaded));
    for (size_t length : {0, 13, 14 + 3 * 662, 7957}) {
        std::ofstream("quonda.dat", std::ios::binary) << bytes_of(market).substr(0, length);
        EXPECT_EQ(-1, load_market(loaded)) << length;
    }
}

// One record of a kind ('c'ompany, 'm'arket, 'h'olding, 'p'layer) read from or written to fd.
int transfer(char record, int fd, bool write) {
    static const MarketRecord m = sample_market();
    static const PlayerRecord p = sample_player("DAVE");
    static MarketRecord m_in;  // reads never touch what the writes send
    static PlayerRecord p_in;
    if (record == 'c')
        return write ? write_company(fd, m.companies[0]) : read_company(fd, m_in.companies[0]);
    if (record == 'm') return write ? write_market(fd, m) : read_market(fd, m_in);
    if (record == 'h')
        return write ? write_holding(fd, p.holdings[0]) : read_holding(fd, p_in.holdings[0]);
    return write ? write_player(fd, p) : read_player(fd, p_in);
}

// A short transfer returns what a field-by-field one would: the bytes moved, inside a field its
// own count; a failure before any byte is -1 (0 for a holding). Rows: the record, write?, bytes
// in the file (read) or the file-size limit (write), the result.
TEST_F(Codec, TransfersStopWhereFieldByFieldOnesWould) {
    const std::tuple<char, bool, size_t, int> cases[] = {
        {'c', false, 0, 0},     {'c', false, 3, 3},       {'c', false, 517, 517},
        {'m', false, 675, 675}, {'m', false, 7957, 7957}, {'h', false, 1, 1},
        {'h', false, 20, 20},   {'p', false, 201, 201},   {'c', true, 0, -1},
        {'c', true, 36, 36},    {'m', true, 700, 700},    {'h', true, 0, 0},
        {'h', true, 34, 34},    {'p', true, 0, -1},       {'p', true, 555, 555},
    };
    signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &saved));
    for (const auto& [record, write, bytes, expected] : cases) {
        SCOPED_TRACE(::testing::Message() << record << (write ? " write " : " read ") << bytes);
        std::ofstream("file", std::ios::binary) << std::string(write ? 0 : bytes, 'Z');
        const int fd = open("file", O_RDWR);
        const rlimit limit{write ? bytes : saved.rlim_cur, saved.rlim_max};
        ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &limit));
        const int result = transfer(record, fd, write);
        ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &saved));
        close(fd);
        EXPECT_EQ(expected, result);
    }
}

// Names match in any case; a miss ends after the whole records, where a new player replaces a
// trailing fragment. A lookup creates a missing quonda.plr, a rewrite never does.
TEST_F(Codec, PlayerLookupAndRewrite) {
    PlayerRecord found{};
    int32_t offset = -1;
    EXPECT_EQ(-2, rewrite_player(sample_player("ALICE"), 0));
    EXPECT_NE(0, access("quonda.plr", F_OK));
    EXPECT_EQ(0, find_player("ALICE", found, offset));
    EXPECT_EQ(0, offset);
    EXPECT_EQ("", contents("quonda.plr"));
    const std::string alice = bytes_of(sample_player("ALICE")),
                      carol = bytes_of(sample_player("CAROL"));
    std::ofstream("quonda.plr", std::ios::binary)
        << alice + bytes_of(sample_player("BOB SMITH", 777)) + carol + std::string(100, 'A');
    EXPECT_EQ(1, find_player("bOb SmItH", found, offset));
    EXPECT_EQ(556, offset);
    EXPECT_EQ(777, found.cash);
    EXPECT_EQ(0, find_player("BOB SMITHS", found, offset));
    EXPECT_EQ(3 * 556, offset);
    ASSERT_EQ(0, rewrite_player(sample_player("ERIN"), offset));
    ASSERT_EQ(0, rewrite_player(sample_player("BOB SMITH", 99), 556));
    EXPECT_TRUE(contents("quonda.plr") == alice + bytes_of(sample_player("BOB SMITH", 99)) + carol +
                                              bytes_of(sample_player("ERIN")));
}

}  // namespace
