// Record codec: byte layouts against hand-written offsets, short transfers, the market file and
// the player lookup and rewrite.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "data/codec.h"

namespace {

// Runs each test in a fresh temporary directory.
class CodecTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(getcwd(saved_, sizeof saved_), nullptr);
        char tmpl[] = "/tmp/bm_codec_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        ASSERT_EQ(chdir(dir_.c_str()), 0);
    }
    void TearDown() override {
        ASSERT_EQ(chdir(saved_), 0);
        std::string command = "rm -rf " + dir_;
        ASSERT_EQ(std::system(command.c_str()), 0);
    }
    char saved_[4096];
    std::string dir_;
};

void set_text(char* field, size_t width, const char* text) {
    std::memset(field, '#', width);  // stale bytes after the NUL must not reach the file
    std::strcpy(field, text);
}

long le(const std::vector<unsigned char>& bytes, size_t offset, int size) {
    unsigned long value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes.at(offset + i);
    if (size == 2) return static_cast<int16_t>(value);
    return static_cast<int32_t>(value);
}

CompanyRecord sample_company(int seed) {
    CompanyRecord c{};
    set_text(c.symbol, sizeof c.symbol, "QRS");
    set_text(c.name, sizeof c.name, "Quarry Rock & Sand");
    for (int line = 0; line < kHistoryLines; ++line) {
        std::string text = "line " + std::to_string(line) + " of company " + std::to_string(seed);
        set_text(c.history[line], sizeof c.history[line], text.c_str());
    }
    c.type = kBlueChip;
    for (int k = 0; k < kKindCount; ++k) {
        c.crashed[k] = static_cast<int16_t>(k);
        c.total[k] = 100000 * (k + 1) + seed;
        c.available[k] = -7 - k;
        c.initial_price[k] = static_cast<int16_t>(10 + k);
        for (int d = 0; d < kHistoryDays; ++d) c.price[k][d] = static_cast<int16_t>(k * 100 + d);
        c.trend[k] = static_cast<int16_t>(9 - k);
    }
    c.split = 1;
    c.option_conversion_price = 321;
    c.split_price = -2;
    c.bond_guaranteed_value = static_cast<int16_t>(1000 + seed);
    return c;
}

MarketRecord sample_market() {
    MarketRecord m{};
    set_text(m.date, sizeof m.date, "Feb 29 2024");
    m.general_trend = 7;
    for (int i = 0; i < kCompanyCount; ++i) m.companies[i] = sample_company(i);
    return m;
}

PlayerRecord sample_player(const char* name) {
    PlayerRecord p{};
    set_text(p.name, sizeof p.name, name);
    set_text(p.last_played, sizeof p.last_played, "Jan 31 2024");
    p.reserved = 0x01020304;
    p.seconds_played = 86399;
    p.times_played = -3;
    set_text(p.last_traded, sizeof p.last_traded, "Dec 25 2023");
    p.graphics_mode = kColorMode;
    p.net_worth = -123456;
    p.cash = 2000;
    for (int i = 0; i < kCompanyCount; ++i) {
        Holding& h = p.holdings[i];
        for (int k = 0; k < kKindCount; ++k) {
            h.crashed[k] = static_cast<int16_t>(k + 1);
            h.last_price[k] = static_cast<int16_t>(40 + k);
            h.count[k] = 70000 + i * 10 + k;
        }
        h.split = 2;
        h.short_count = 500 + i;
        h.short_price = static_cast<int16_t>(-41 - i);
    }
    return p;
}

std::vector<unsigned char> file_bytes(const char* path) {
    std::vector<unsigned char> bytes;
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return bytes;
    int c;
    while ((c = std::fgetc(f)) != EOF) bytes.push_back(static_cast<unsigned char>(c));
    std::fclose(f);
    return bytes;
}

void write_file(const char* path, const std::vector<unsigned char>& bytes) {
    FILE* f = std::fopen(path, "wb");
    ASSERT_NE(f, nullptr);
    if (!bytes.empty()) {
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    }
    std::fclose(f);
}

std::string text_at(const std::vector<unsigned char>& bytes, size_t offset, size_t width) {
    return std::string(reinterpret_cast<const char*>(bytes.data() + offset), width);
}

std::string padded(const char* text, size_t width) {
    std::string s(text);
    s.resize(width, '\0');
    return s;
}

struct IntField {
    size_t offset;
    int size;
    long value;
};

TEST_F(CodecTest, MarketBytesSitAtTheirOffsets) {
    const MarketRecord market = sample_market();
    std::vector<unsigned char> bytes(kMarketBytes);
    encode_market(market, bytes.data());

    EXPECT_EQ(text_at(bytes, 0, 12), padded("Feb 29 2024", 12));
    // Company 3 starts at 14 + 662 * 3 = 2000; company 11 at 14 + 662 * 11 = 7296.
    EXPECT_EQ(text_at(bytes, 2000, 4), padded("QRS", 4));
    EXPECT_EQ(text_at(bytes, 2004, 32), padded("Quarry Rock & Sand", 32));
    EXPECT_EQ(text_at(bytes, 2036, 80), padded("line 0 of company 3", 80));
    EXPECT_EQ(text_at(bytes, 2036 + 400, 80), padded("line 5 of company 3", 80));
    EXPECT_EQ(text_at(bytes, 7296 + 36 + 160, 80), padded("line 2 of company 11", 80));

    const IntField fields[] = {
        {12, 2, 7},                    // general_trend
        {2000 + 516, 2, kBlueChip},    // type
        {2000 + 518 + 6, 2, 3},        // crashed[3]
        {2000 + 526, 2, 1},            // split
        {2000 + 528, 4, 100003},       // total[0]
        {2000 + 540, 4, 400003},       // total[3]
        {2000 + 544 + 8, 4, -9},       // available[2]
        {2000 + 560 + 2, 2, 11},       // initial_price[1]
        {2000 + 568, 2, 0},            // price[0][0]
        {2000 + 588 + 2 * 4, 2, 104},  // price[1][4]
        {2000 + 608 + 2 * 9, 2, 209},  // price[2][9]
        {2000 + 628 + 2 * 7, 2, 307},  // price[3][7]
        {2000 + 648 + 2, 2, 8},        // trend[1]
        {2000 + 656, 2, 321},          // option_conversion_price
        {2000 + 658, 2, -2},           // split_price
        {2000 + 660, 2, 1003},         // bond_guaranteed_value
        {7956, 2, 1011},               // company 11's bond_guaranteed_value, the last bytes
    };
    for (const IntField& f : fields) {
        EXPECT_EQ(le(bytes, f.offset, f.size), f.value) << "offset " << f.offset;
    }
    // Little-endian: the low byte first.
    EXPECT_EQ(bytes[2000 + 528], 100003 & 0xFF);
    EXPECT_EQ(bytes[2000 + 658], 0xFE);
    EXPECT_EQ(bytes[2000 + 659], 0xFF);
}

TEST_F(CodecTest, PlayerBytesSitAtTheirOffsets) {
    const PlayerRecord player = sample_player("ALICE");
    std::vector<unsigned char> bytes(kPlayerBytes);
    encode_player(player, bytes.data());

    EXPECT_EQ(text_at(bytes, 0, 32), padded("ALICE", 32));
    EXPECT_EQ(text_at(bytes, 32, 12), padded("Jan 31 2024", 12));
    EXPECT_EQ(text_at(bytes, 54, 12), padded("Dec 25 2023", 12));
    const IntField fields[] = {
        {44, 4, 0x01020304},             // reserved
        {48, 4, 86399},                  // seconds_played
        {52, 2, -3},                     // times_played
        {66, 2, kColorMode},             // graphics_mode
        {68, 4, -123456},                // net_worth
        {72, 4, 2000},                   // cash
        {76, 2, 1},                      // holdings[0].crashed[0]
        {76 + 8, 2, 2},                  // holdings[0].split
        {76 + 10 + 6, 2, 43},            // holdings[0].last_price[3]
        {76 + 18 + 4, 4, 70001},         // holdings[0].count[1]
        {76 + 34, 4, 500},               // holdings[0].short_count
        {76 + 38, 2, -41},               // holdings[0].short_price
        {76 + 200 + 18 + 12, 4, 70053},  // holdings[5].count[3]
        {554, 2, -52},                   // holdings[11].short_price, the last bytes
    };
    for (const IntField& f : fields) {
        EXPECT_EQ(le(bytes, f.offset, f.size), f.value) << "offset " << f.offset;
    }
    EXPECT_EQ(bytes[44], 0x04);
    EXPECT_EQ(bytes[47], 0x01);
}

TEST_F(CodecTest, RecordWritersProduceTheEncodedBytes) {
    const MarketRecord market = sample_market();
    const PlayerRecord player = sample_player("BOB");
    std::vector<unsigned char> market_bytes(kMarketBytes), player_bytes(kPlayerBytes);
    encode_market(market, market_bytes.data());
    encode_player(player, player_bytes.data());

    int fd = open("records", O_RDWR | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(write_company(fd, market.companies[4]), 662);
    EXPECT_EQ(write_holding(fd, player.holdings[9]), 40);
    EXPECT_EQ(write_int16(fd, -2), 2);
    EXPECT_EQ(write_int32(fd, 0x7F000001), 4);
    close(fd);

    const std::vector<unsigned char> bytes = file_bytes("records");
    ASSERT_EQ(bytes.size(), 708u);
    const size_t company4 = 14 + 662 * 4, holding9 = 76 + 40 * 9;
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 662, market_bytes.begin() + company4));
    EXPECT_TRUE(
        std::equal(bytes.begin() + 662, bytes.begin() + 702, player_bytes.begin() + holding9));
    EXPECT_EQ(le(bytes, 702, 2), -2);
    EXPECT_EQ(le(bytes, 704, 4), 0x7F000001);

    fd = open("records", O_RDONLY);
    CompanyRecord company{};
    Holding holding{};
    int16_t small = 0;
    int32_t large = 0;
    EXPECT_EQ(read_company(fd, company), 662);
    EXPECT_EQ(read_holding(fd, holding), 40);
    EXPECT_EQ(read_int16(fd, small), 2);
    EXPECT_EQ(read_int32(fd, large), 4);
    close(fd);
    EXPECT_STREQ(company.history[5], "line 5 of company 4");
    EXPECT_EQ(company.bond_guaranteed_value, 1004);
    EXPECT_EQ(holding.short_price, -50);
    EXPECT_EQ(small, -2);
    EXPECT_EQ(large, 0x7F000001);
}

TEST_F(CodecTest, EveryHistoryLineSurvivesSaveAndLoad) {
    MarketRecord market = sample_market();
    const std::string full(79, 'x');
    for (int i = 0; i < kCompanyCount; ++i) {
        for (int line = 0; line < kHistoryLines; ++line) {
            std::string text = std::to_string(i) + "/" + std::to_string(line) + " ";
            text += (i + line) % 3 == 0 ? full.substr(text.size()) : std::string("short");
            set_text(market.companies[i].history[line], kHistoryLineSize, text.c_str());
        }
    }
    market.companies[2].history[4][0] = '\0';  // an empty line stays empty
    ASSERT_EQ(save_market(market), 0);
    EXPECT_EQ(file_bytes("quonda.dat").size(), 7958u);

    MarketRecord loaded = sample_market();
    ASSERT_EQ(load_market(loaded), 0);
    for (int i = 0; i < kCompanyCount; ++i) {
        for (int line = 0; line < kHistoryLines; ++line) {
            EXPECT_STREQ(loaded.companies[i].history[line], market.companies[i].history[line])
                << "company " << i << " line " << line;
        }
    }
    EXPECT_EQ(std::strlen(loaded.companies[0].history[0]), 79u);
    EXPECT_STREQ(loaded.date, "Feb 29 2024");
}

TEST_F(CodecTest, MarketFileResults) {
    EXPECT_EQ(load_market(*std::make_unique<MarketRecord>()), -2);  // no quonda.dat yet

    const MarketRecord market = sample_market();
    std::vector<unsigned char> bytes(kMarketBytes);
    encode_market(market, bytes.data());
    struct Case {
        size_t length;
        int expected;
    };
    // 14 + 3 * 662 holds whole companies and is still short.
    const Case cases[] = {{0, -1}, {13, -1}, {14 + 3 * 662, -1}, {7957, -1}, {7958, 0}};
    for (const Case& c : cases) {
        write_file("quonda.dat",
                   std::vector<unsigned char>(bytes.begin(), bytes.begin() + c.length));
        MarketRecord loaded{};
        EXPECT_EQ(load_market(loaded), c.expected) << "length " << c.length;
    }
    // A quonda.dat that exists but cannot be opened is not "no market".
    ASSERT_EQ(std::remove("quonda.dat"), 0);
    ASSERT_EQ(mkdir("quonda.dat", 0700), 0);
    MarketRecord loaded{};
    EXPECT_EQ(load_market(loaded), -1);
    EXPECT_EQ(save_market(market), -2);
}

// Short transfers: a read from a file of the given length.
struct ShortRead {
    const char* record;
    size_t length;  // bytes in the file
    int expected;   // result; the position afterwards equals the bytes moved
};

int read_record(const char* record, int fd) {
    if (std::strcmp(record, "company") == 0) {
        CompanyRecord r{};
        return read_company(fd, r);
    }
    if (std::strcmp(record, "market") == 0) {
        auto r = std::make_unique<MarketRecord>();
        return read_market(fd, *r);
    }
    if (std::strcmp(record, "holding") == 0) {
        Holding r{};
        return read_holding(fd, r);
    }
    PlayerRecord r{};
    return read_player(fd, r);
}

int write_record(const char* record, int fd) {
    static const MarketRecord market = sample_market();
    static const PlayerRecord player = sample_player("DAVE");
    if (std::strcmp(record, "company") == 0) return write_company(fd, market.companies[0]);
    if (std::strcmp(record, "market") == 0) return write_market(fd, market);
    if (std::strcmp(record, "holding") == 0) return write_holding(fd, player.holdings[0]);
    return write_player(fd, player);
}

TEST_F(CodecTest, ShortReadsStopWhereTheFieldByFieldReadWould) {
    const ShortRead cases[] = {
        {"company", 0, 0},      // end of file at the first field
        {"company", 3, 3},      // first field short: its own count
        {"company", 4, 4},      // at a field boundary: the next field reads 0
        {"company", 50, 50},    // inside history line 0
        {"company", 517, 517},  // inside type
        {"company", 661, 661},  // inside the last field
        {"market", 5, 5},       {"market", 14, 14}, {"market", 13 + 662, 13 + 662},
        {"market", 7957, 7957}, {"holding", 0, 0},  {"holding", 1, 1},
        {"holding", 20, 20},  // inside count[0]
        {"player", 31, 31},     {"player", 76, 76}, {"player", 76 + 40 * 3 + 5, 76 + 40 * 3 + 5},
    };
    std::vector<unsigned char> bytes(kMarketBytes, 0x5A);
    for (const ShortRead& c : cases) {
        write_file("short", std::vector<unsigned char>(bytes.begin(), bytes.begin() + c.length));
        const int fd = open("short", O_RDONLY);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(read_record(c.record, fd), c.expected) << c.record << " " << c.length;
        EXPECT_EQ(lseek(fd, 0, SEEK_CUR), static_cast<off_t>(c.length));
        close(fd);
    }
}

TEST_F(CodecTest, ReadErrorsGiveMinusOneExceptForHoldings) {
    const int fd = open("w", O_WRONLY | O_CREAT, 0600);  // reading it fails with EBADF
    ASSERT_GE(fd, 0);
    EXPECT_EQ(read_record("company", fd), -1);
    EXPECT_EQ(read_record("market", fd), -1);
    EXPECT_EQ(read_record("player", fd), -1);
    EXPECT_EQ(read_record("holding", fd), 0);
    close(fd);
}

TEST_F(CodecTest, ShortWritesStopWhereTheFieldByFieldWriteWould) {
    // A file size limit makes write() move only the bytes below it, then fail with EFBIG.
    struct Case {
        const char* record;
        rlim_t limit;
        int expected;
    };
    const Case cases[] = {
        {"company", 0, -1}, {"company", 2, 2},    {"company", 36, 36}, {"company", 600, 600},
        {"market", 12, 12}, {"market", 700, 700}, {"holding", 0, 0},   {"holding", 34, 34},
        {"player", 0, -1},  {"player", 555, 555}, {"player", 76, 76},
    };
    signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    for (const Case& c : cases) {
        const int fd = open("limited", O_RDWR | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        rlimit limit = saved;
        limit.rlim_cur = c.limit;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        const int result = write_record(c.record, fd);
        const off_t position = lseek(fd, 0, SEEK_CUR);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
        close(fd);
        EXPECT_EQ(result, c.expected) << c.record << " limit " << c.limit;
        EXPECT_EQ(position, static_cast<off_t>(c.limit));
    }
    signal(SIGXFSZ, SIG_DFL);
}

TEST_F(CodecTest, PipeReadGoesOnAtAFieldBoundaryAndStopsInsideAField) {
    const MarketRecord market = sample_market();
    std::vector<unsigned char> bytes(kMarketBytes);
    encode_market(market, bytes.data());
    const unsigned char* company = bytes.data() + 14;

    // Inside a field: the record ends with the bytes that were there.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], company, 50), 50);
    CompanyRecord read_back{};
    EXPECT_EQ(read_company(fds[0], read_back), 50);
    close(fds[0]);
    close(fds[1]);

    // At a field boundary: the reader waits for the next field, as its own read would.
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], company, 36), 36);
    int result = 0;
    std::thread reader([&] { result = read_company(fds[0], read_back); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int pending = 36;
    while (pending > 0 && std::chrono::steady_clock::now() < deadline) {
        ASSERT_EQ(ioctl(fds[0], FIONREAD, &pending), 0);
        std::this_thread::yield();
    }
    EXPECT_EQ(pending, 0);
    ASSERT_EQ(write(fds[1], company + 36, 662 - 36), 662 - 36);
    reader.join();
    EXPECT_EQ(result, 662);
    EXPECT_STREQ(read_back.history[3], "line 3 of company 0");
    close(fds[0]);
    close(fds[1]);
}

void append_raw(const char* path, const PlayerRecord& player) {
    const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write_player(fd, player), 556);
    close(fd);
}

TEST_F(CodecTest, MissingPlayerFileIsCreatedAndMissesAtZero) {
    PlayerRecord found{};
    int32_t offset = -1;
    EXPECT_EQ(find_player("ALICE", found, offset), 0);
    EXPECT_EQ(offset, 0);
    struct stat info {};
    ASSERT_EQ(stat("quonda.plr", &info), 0);
    EXPECT_EQ(info.st_size, 0);

    ASSERT_EQ(rewrite_player(sample_player("ALICE"), offset), 0);
    EXPECT_EQ(file_bytes("quonda.plr").size(), 556u);
    EXPECT_EQ(find_player("alice", found, offset), 1);
    EXPECT_EQ(offset, 0);
    EXPECT_EQ(found.cash, 2000);
}

TEST_F(CodecTest, NamesDifferingInCaseAreOnePlayer) {
    append_raw("quonda.plr", sample_player("ALICE"));
    PlayerRecord mixed = sample_player("Bob Smith");
    mixed.cash = 777;
    append_raw("quonda.plr", mixed);
    append_raw("quonda.plr", sample_player("CAROL"));

    for (const char* name : {"BOB SMITH", "bob smith", "bOb SmItH"}) {
        PlayerRecord found{};
        int32_t offset = -1;
        EXPECT_EQ(find_player(name, found, offset), 1) << name;
        EXPECT_EQ(offset, 556);
        EXPECT_EQ(found.cash, 777);
        EXPECT_STREQ(found.name, "BOB SMITH");
    }
    PlayerRecord found{};
    int32_t offset = -1;
    EXPECT_EQ(find_player("BOB SMITHS", found, offset), 0);
    EXPECT_EQ(offset, 3 * 556);
}

TEST_F(CodecTest, TrailingFragmentIsAMissAndTheNewPlayerOverwritesIt) {
    append_raw("quonda.plr", sample_player("ALICE"));
    append_raw("quonda.plr", sample_player("BOB"));
    std::vector<unsigned char> bytes = file_bytes("quonda.plr");
    bytes.insert(bytes.end(), 100, 0x41);  // a fragment that starts like a name
    write_file("quonda.plr", bytes);

    PlayerRecord found{};
    int32_t offset = -1;
    EXPECT_EQ(find_player("ERIN", found, offset), 0);
    EXPECT_EQ(offset, 1112);
    ASSERT_EQ(rewrite_player(sample_player("ERIN"), offset), 0);
    EXPECT_EQ(file_bytes("quonda.plr").size(), 1668u);
    EXPECT_EQ(find_player("Erin", found, offset), 1);
    EXPECT_EQ(offset, 1112);
    EXPECT_EQ(find_player("bob", found, offset), 1);
    EXPECT_EQ(offset, 556);
}

TEST_F(CodecTest, RewriteInPlaceKeepsTheOthersAndNeverCreates) {
    EXPECT_EQ(rewrite_player(sample_player("ALICE"), 0), -2);
    EXPECT_NE(access("quonda.plr", F_OK), 0);

    append_raw("quonda.plr", sample_player("ALICE"));
    append_raw("quonda.plr", sample_player("BOB"));
    PlayerRecord bob = sample_player("BOB");
    bob.cash = 99;
    ASSERT_EQ(rewrite_player(bob, 556), 0);
    const std::vector<unsigned char> bytes = file_bytes("quonda.plr");
    ASSERT_EQ(bytes.size(), 1112u);
    EXPECT_EQ(text_at(bytes, 0, 32), padded("ALICE", 32));
    EXPECT_EQ(le(bytes, 556 + 72, 4), 99);
}

}  // namespace
