// The records of the exchange and its players, their enumerations and the sizes they take on disk.
// Plain structs of fixed-width fields in declared order; the byte layout lives in codec.h.
#pragma once

#include <cstdint>

constexpr int kCompanyCount = 12;  // companies on the exchange, always in this order
constexpr int kKindCount = 4;      // stock kinds per company
constexpr int kHistoryDays = 10;   // price history entries, entry 0 is today
constexpr int kHistoryLines = 6;   // description lines per company
constexpr int kHistoryLineSize = 80;
constexpr int kDateSize = 12;      // "%b %d %Y" text with its NUL
constexpr int kNameSize = 32;      // player and company names, NUL included
constexpr int kSymbolSize = 4;

constexpr const char* kNeverDate = "Jan 01 1900";

// Stock kinds index every per-kind array.
enum StockKind : int16_t { kOptions = 0, kCommon = 1, kPreferred = 2, kBonds = 3 };
enum CompanyType : int16_t { kSpeculative = 0, kMutualFund = 1, kBlueChip = 2 };
enum GraphicsMode : int16_t { kAsciiMode = 0, kIbmMode = 1, kColorMode = 2 };

struct CompanyRecord {
    char symbol[kSymbolSize];                        // three upper-case letters and NUL
    char name[kNameSize];                            // NUL-terminated, at most 31 characters
    char history[kHistoryLines][kHistoryLineSize];   // description lines, NUL-terminated
    int16_t type;                                    // CompanyType
    int16_t crashed[kKindCount];                     // 1 when the kind crashed in the latest update
    int16_t split;                                   // 1 when common split in the latest update
    int32_t total[kKindCount];                       // units issued; 0 means not traded
    int32_t available[kKindCount];                   // units not held by any player
    int16_t initial_price[kKindCount];               // issue price, restored after a crash
    int16_t price[kKindCount][kHistoryDays];         // [k][0] current, [k][1..9] older days
    int16_t trend[kKindCount];                       // 0 bear .. 9 bull
    int16_t option_conversion_price;                 // dollars per common share on exercise
    int16_t split_price;                             // common price that triggers a 2:1 split
    int16_t bond_guaranteed_value;                   // least a bond pays at maturity
};

struct MarketRecord {
    char date[kDateSize];                 // date text of the latest update
    int16_t general_trend;                // 0..9
    CompanyRecord companies[kCompanyCount];
};

struct Holding {
    int16_t crashed[kKindCount];    // crash events not yet reported to the player
    int16_t split;                  // split events not yet reported
    int16_t last_price[kKindCount]; // prices when the player last left
    int32_t count[kKindCount];      // units held
    int32_t short_count;            // common shares sold short
    int16_t short_price;            // price per share when the short position was opened
};

struct PlayerRecord {
    char name[kNameSize];           // upper case, NUL-terminated
    char last_played[kDateSize];    // date text of the latest session
    int32_t reserved;               // carried, never interpreted
    int32_t seconds_played;         // total seconds of completed sessions
    int16_t times_played;           // completed sessions
    char last_traded[kDateSize];    // date of the latest trade
    int16_t graphics_mode;          // GraphicsMode
    int32_t net_worth;              // cash plus holdings at the latest session end
    int32_t cash;                   // dollars in hand
    Holding holdings[kCompanyCount];
};

// Sizes of the records on disk (not of the structs in memory).
constexpr int kCompanyBytes = 662;
constexpr int kMarketBytes = 7958;
constexpr int kHoldingBytes = 40;
constexpr int kPlayerBytes = 556;
