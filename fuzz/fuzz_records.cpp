// quonda.dat and quonda.plr: any bytes loaded with load_market, read record by record with
// read_player and searched with find_player, and what was loaded drawn on the screens that show
// stored text and numbers (holdings table, company profile, description, graphs).
//
// Input: byte 0 picks the file (even: market, odd: players) and the graphics mode; bytes 1-40
// are the name looked for (up to its first NUL); the rest is the file.
#include <fcntl.h>
#include <strings.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

#include "data/codec.h"
#include "data/session_state.h"
#include "doorkit/opendoors.h"
#include "fuzz_common.h"
#include "market/market.h"
#include "screens/company_profile.h"
#include "screens/framework.h"

namespace {

constexpr size_t kNameBytes = 40;

// Screen output goes to /dev/null through the kit, as to a caller.
void draw_screens(int graphics_mode) {
    static const int null_fd = open("/dev/null", O_RDWR);
    od_set_skip_pauses(true);
    od_attach(null_fd, null_fd, (graphics_mode & 1) != 0);
    g_session.player.graphics_mode = static_cast<int16_t>(graphics_mode);
    draw_holdings_table();
    for (int c = 0; c < kCompanyCount; ++c) {
        draw_company_profile(c);
        draw_company_description(c);
        draw_start_split_trend(c);
        for (int k = 0; k < kKindCount; ++k) {
            draw_price_graph(k + 1, g_session.market.companies[c].price[k]);
        }
    }
    od_detach();
}

void fuzz_market(const uint8_t* file, size_t size, int graphics_mode) {
    const std::string path = fuzz_write_file("quonda.dat", file, size);
    MarketRecord market{};
    (void)build_default_market(market);
    static unsigned char before[kMarketBytes], after[kMarketBytes];
    encode_market(market, before);
    const int loaded = load_market(market, path.c_str());
    FUZZ_CHECK(loaded == (size >= static_cast<size_t>(kMarketBytes) ? 0 : -1));
    if (loaded != 0) {
        // A failed load leaves the record as it was.
        encode_market(market, after);
        FUZZ_CHECK(std::memcmp(before, after, kMarketBytes) == 0);
        return;
    }
    g_session.market = market;
    g_session.player = PlayerRecord{};
    draw_screens(graphics_mode);
}

void fuzz_players(const char* name, const uint8_t* file, size_t size, int graphics_mode) {
    // Record by record from a descriptor: whole records, then one short read (or none).
    const int fd = memfd_create("quonda.plr", 0);
    if (fd < 0) return;
    if (size > 0 && write(fd, file, size) != static_cast<ssize_t>(size)) {
        close(fd);
        return;
    }
    lseek(fd, 0, SEEK_SET);
    size_t whole = 0;
    PlayerRecord player{};
    int moved = 0;
    while ((moved = read_player(fd, player)) == kPlayerBytes) ++whole;
    close(fd);
    FUZZ_CHECK(whole == size / kPlayerBytes);
    FUZZ_CHECK(moved == static_cast<int>(size % kPlayerBytes));

    const std::string path = fuzz_write_file("quonda.plr", file, size);
    PlayerRecord found{};
    int32_t offset = -1;
    const int result = find_player(name, found, offset, path.c_str());
    FUZZ_CHECK(result == 0 || result == 1);
    FUZZ_CHECK(offset >= 0 && offset % kPlayerBytes == 0);
    if (result == 0) {
        FUZZ_CHECK(static_cast<size_t>(offset) == whole * kPlayerBytes);
        return;
    }
    FUZZ_CHECK(static_cast<size_t>(offset) < whole * kPlayerBytes);
    FUZZ_CHECK(strncasecmp(found.name, name, kNameSize - 1) == 0 ||
               std::strlen(name) >= static_cast<size_t>(kNameSize));
    (void)build_default_market(g_session.market);
    g_session.player = found;
    draw_screens(graphics_mode);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 + kNameBytes) return 0;
    char name[kNameBytes + 1] = "";
    std::memcpy(name, data + 1, kNameBytes);
    const uint8_t* file = data + 1 + kNameBytes;
    const size_t file_size = size - 1 - kNameBytes;
    const int graphics_mode = (data[0] >> 1) % 4;  // 3: a damaged record's mode
    if ((data[0] & 1) == 0) {
        fuzz_market(file, file_size, graphics_mode);
    } else {
        fuzz_players(name, file, file_size, graphics_mode);
    }
    return 0;
}
