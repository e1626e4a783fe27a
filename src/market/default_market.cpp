// The twelve default companies of the exchange and the operations that write them into a market.
#include <cstring>

#include "market/market.h"

namespace {

// One default company. Per-kind arrays are indexed options, common, preferred, bonds; a kind with
// total 0 is not traded and has price 0.
struct DefaultCompany {
    const char* symbol;
    const char* name;
    CompanyType type;
    int32_t total[kKindCount];
    int16_t price[kKindCount];
    int16_t option_conversion_price;
    int16_t split_price;
    int16_t bond_guaranteed_value;
};

// Totals and prices per kind (options, common, preferred, bonds); then conversion price, split
// price and bond guaranteed value.
// clang-format off
constexpr DefaultCompany kDefaultCompanies[kCompanyCount] = {
    {"IGM", "International Gumball Machines", kBlueChip,
     {0, 2000000, 200000, 0},    {0, 145, 165, 0},  0, 400, 0},
    {"LST", "Lunar Shuttle Technologies",     kBlueChip,
     {0, 1000000, 100000, 0},    {0, 75, 82, 0},    0, 200, 0},
    {"WWI", "World Wide Insurance Corp.",     kBlueChip,
     {0, 1000000, 50000, 0},     {0, 70, 78, 0},    0, 200, 0},
    {"ALG", "Alaska Geothermal Systems",      kBlueChip,
     {0, 500000, 0, 1000},       {0, 45, 0, 900},   0, 150, 1000},
    {"SBG", "Silicon Valley Business Group",  kMutualFund,
     {0, 0, 0, 5000},            {0, 0, 0, 400},    0, 0, 450},
    {"FFD", "The Farkle Fund of America",     kMutualFund,
     {0, 0, 0, 8000},            {0, 0, 0, 1000},   0, 0, 1200},
    {"CCC", "Clone Computer Corp.",           kSpeculative,
     {10000, 100000, 1000, 0},   {6, 23, 27, 0},    40, 120, 0},
    {"MMC", "Megabyte Memory Corp.",          kSpeculative,
     {20000, 150000, 0, 0},      {8, 26, 0, 0},     50, 120, 0},
    {"SSI", "Simple Software Inc.",           kSpeculative,
     {20000, 100000, 0, 0},      {7, 15, 0, 0},     40, 100, 0},
    {"BBM", "Bulletin Board Magazine, Inc.",  kSpeculative,
     {20000, 100000, 0, 0},      {4, 10, 0, 0},     35, 100, 0},
    {"SXC", "Software Exchange Corp.",        kSpeculative,
     {1000, 50000, 0, 0},        {12, 30, 0, 0},    60, 150, 0},
    {"WHS", "The WarHouse Sporting Goods",    kSpeculative,
     {0, 50000, 0, 0},           {0, 26, 0, 0},     0, 100, 0},
};
// clang-format on

// Six profile lines per company, at most 69 characters each, no line ends.
// clang-format off
constexpr const char* kDefaultDescriptions[kCompanyCount][kHistoryLines] = {
    {"International Gumball Machines is one of the oldest and most",
     "respected companies on the exchange. Founded in 1868, it has become",
     "the largest maker of candy and gumball machines in the world.",
     "Its earnings are steady rather than spectacular, and it has a long",
     "record of slow, dependable growth. IGM offers both common and",
     "preferred shares to investors."},
    {"Lunar Shuttle Technologies is a newcomer to the exchange. Three",
     "engineers started the firm in 1969, and since then it has grown at",
     "a remarkable pace into one of the largest makers of equipment for",
     "space flight.",
     "Investors who believe in the future of travel beyond the Earth may",
     "buy either common or preferred shares."},
    {"World Wide Insurance Corp. is known as the most inventive insurer in",
     "the country. Since its founding in 1960 it has made its name by",
     "covering what no one else will touch, from racing camels to the",
     "voices of opera singers and the legs of famous dancers.",
     "Careful underwriting keeps it profitable. WWI offers common and",
     "preferred stock."},
    {"Alaska Geothermal Systems built a new device that draws power from",
     "the heat under the ground, and in only five years its sales have",
     "climbed to more than $130 million a year.",
     "The company's stated goal is to become the largest power utility in",
     "the nation. ALG offers common stock as well as bonds whose value at",
     "maturity is guaranteed."},
    {"Silicon Valley Business Group is the newest mutual fund on the",
     "exchange. It was founded in 1978 and remains small and exclusive,",
     "putting its money into young high-technology companies.",
     "The fund sells no shares. Its only offering is a bond with a",
     "guaranteed value at maturity, which gives investors a part in the",
     "growth of the technology business at a limited risk."},
    {"The Farkle Fund of America, founded in 1768, is the oldest mutual",
     "fund in the country and has weathered every market since.",
     "Many brokers call its bonds the best bond investment on the exchange.",
     "For now the fund offers only bonds with a guaranteed value at",
     "maturity, though its directors have said they may one day put common",
     "stock on the market as well."},
    {"Clone Computer Corp. has been building low-cost personal computers",
     "for only three years, and most analysts still count it as a risky",
     "investment. Several large brokerage houses stand behind it, though,",
     "and their backing has kept it growing.",
     "CCC offers options, common shares and preferred shares to those",
     "willing to take a chance on it."},
    {"Megabyte Memory Corp. makes disk drives, memory boards and other",
     "storage products for small computers. Its quick rise has drawn a",
     "good deal of attention from the press in recent months.",
     "The company still sells options on its stock. Its common shares have",
     "a five-year record of good performance, which many investors find",
     "reassuring in so young an industry."},
    {"Simple Software Inc. was the first software house to devote itself",
     "entirely to programs for bulletin board systems. Sysops across the",
     "country run its products, and it is now the fastest growing company",
     "on the exchange.",
     "SSI offers options and common stock to investors who want a piece",
     "of that growth."},
    {"Bulletin Board Magazine, Inc. publishes a monthly magazine that",
     "reviews bulletin board systems and the software that runs them.",
     "Two hobbyists started it at a kitchen table, and its readership has",
     "grown with every issue since.",
     "BBM offers common stock, and options for those who like a bigger",
     "gamble."},
    {"Software Exchange Corp. sells public-domain and freeware programs",
     "written by computer users themselves, gathered from across the",
     "country and sold on disk at low prices.",
     "The company has turned a steady profit every year since 1982, and it",
     "has been listed on this exchange since March of '87. SXC offers",
     "options and common stock."},
    {"The WarHouse Sporting Goods runs a chain of 18 stores that sell",
     "sporting goods and hunting gear. The company is eleven years old and",
     "still small by the standards of this exchange.",
     "Its owners do not want to dilute their stock, so WarHouse offers no",
     "options, preferred shares or bonds.",
     "Only common stock is for sale."},
};
// clang-format on

constexpr int kDescriptionWidth = 69;

constexpr bool descriptions_fit() {
    for (const auto& company : kDefaultDescriptions) {
        for (const char* line : company) {
            int length = 0;
            while (line[length] != '\0') {
                if (line[length] == '\r' || line[length] == '\n') return false;
                ++length;
            }
            if (length > kDescriptionWidth) return false;
        }
    }
    return true;
}
static_assert(descriptions_fit(), "description lines: at most 69 characters, no line ends");

// Copies text into a fixed field, zero-filling the rest so no stale bytes reach the file.
void copy_text(char* field, size_t size, const char* text) {
    std::memset(field, 0, size);
    std::memcpy(field, text, strnlen(text, size - 1));
}

}  // namespace

int build_default_market(MarketRecord& market) {
    copy_text(market.date, sizeof market.date, kNeverDate);
    market.general_trend = 5;
    for (int index = 0; index < kCompanyCount; ++index) reset_company_to_default(market, index);
    return 0;
}

int reset_company_to_default(MarketRecord& market, int index) {
    if (index < 0 || index >= kCompanyCount) return -1;
    const DefaultCompany& source = kDefaultCompanies[index];
    CompanyRecord& company = market.companies[index];
    copy_text(company.symbol, sizeof company.symbol, source.symbol);
    copy_text(company.name, sizeof company.name, source.name);
    for (int line = 0; line < kHistoryLines; ++line) {
        copy_text(company.history[line], sizeof company.history[line],
                  kDefaultDescriptions[index][line]);
    }
    company.type = source.type;
    for (int kind = 0; kind < kKindCount; ++kind) company.crashed[kind] = 0;
    company.split = 0;
    for (int kind = 0; kind < kKindCount; ++kind) {
        company.total[kind] = source.total[kind];
        company.available[kind] = source.total[kind];
        company.initial_price[kind] = source.price[kind];
        for (int day = 0; day < kHistoryDays; ++day) company.price[kind][day] = source.price[kind];
        company.trend[kind] = 5;
    }
    company.option_conversion_price = source.option_conversion_price;
    company.split_price = source.split_price;
    company.bond_guaranteed_value = source.bond_guaranteed_value;
    return 0;
}
