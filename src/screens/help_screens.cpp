// The player help subjects: fixed pages of prose drawn inside the menu block (rows 15-21), each
// closed by the Enter prompt.
#include "screens/help_screens.h"

#include <cstddef>

#include "data/session_state.h"
#include "screens/framework.h"
#include "session/terminal.h"

namespace {

// A page holds up to six text lines; "" is a blank line and nullptr ends a shorter page. The
// lines go out as formats after a five-blank indent, so a percent sign is written "%%".
constexpr int kPageLines = 6;
struct HelpPage {
    const char* lines[kPageLines];
};
struct HelpSubject {
    const char* heading;
    const HelpPage* pages;
    int page_count;
};

constexpr int kHeadingRow = 15;
constexpr int kFirstTextRow = 17;  // below the heading and its blank line
constexpr int kLastRow = 21;
constexpr int kIndent = 5;
constexpr int kScreenWidth = 80;

// ---- Main help subjects ----

constexpr HelpPage kGeneralPages[] = {
    {{"Bullmoor is less a game than a simple simulation of a stock market.",
      "Companies issue options, stocks and bonds whose prices rise and fall",
      "from one day to the next. No one plays against you but the market:",
      "every trade is your own decision."}},
    {{"Here is your chance to build a fortune. Buy stocks and bonds while",
      "they are cheap and sell them when they are dear. And when the market",
      "turns bad you need not sit and watch: sell short, and profit as the", "prices fall."}},
    {{"Time runs faster on this exchange than in the world outside. One day",
      "of play stands for a week of real time, and one month of play stands",
      "for a whole year. Prices move once every calendar day, so come back",
      "often to follow your investments."}},
    {{"Every player trades on the same exchange under the same conditions.",
      "The prices you see are the prices everyone sees, and shares that",
      "another player holds are not for sale to you until they are sold."}},
    {{"Each new player starts with $2000.00 in cash and 20 common shares.", "",
      "For the full rules of Bullmoor, download the documentation file",
      "quonda.doc from this BBS."}},
};

constexpr HelpPage kBrokerPages[] = {
    {{"A broker's report predicts the day's stock trends for one company:",
      "whether each kind of its stock is expected to be bought, sold,",
      "traded or left unchanged."}},
    {{"Brokers do not always find something. There is only about a one in",
      "three chance that the analysis turns up any information at all.", "",
      "Each company analysis costs $30.00, whatever it finds."}},
    {{"Even a good broker is sometimes wrong: there is about a 3%% chance",
      "that the information in a report is false. Use it wisely."}},
};

constexpr HelpPage kProfilePages[] = {
    {{"A company profile shows seven facts about a company:",
      "  1. Full company name             5. Current shares available",
      "  2. Exchange symbol               6. Option conversion price",
      "  3. Class of company              7. Guaranteed bond value",
      "  4. Total shares information"}},
    {{"The class of company tells you how its prices behave. There are",
      "three classes: blue chip, mutual fund and speculative.", "",
      "A blue chip company is large and stable. Its prices move slowly and",
      "seldom far in either direction."}},
    {{"A mutual fund deals mainly in bonds. Its bonds mature on the first",
      "of every month, when they pay their value to the players who hold", "them."}},
    {{"A speculative company is a high risk. Its prices can climb quickly",
      "and fall even faster: the chance of a high gain comes together with",
      "the chance of a heavy loss."}},
    {{"Total shares tells you how many units of each kind of stock the",
      "company has issued in all: options, common shares, preferred shares", "and bonds."}},
    {{"Current shares available tells you how many of those units are still",
      "for sale, that is, not owned by other players. When none are left",
      "you must wait until someone sells."}},
    {{"The option conversion price is what you pay for each common share",
      "when you exercise your options. Every share bought this way also", "uses up one option."}},
    {{"The guaranteed bond value is the least a bond is worth when it",
      "matures at the end of the month, however low its price has fallen", "in the meantime."}},
    {{"Last come the performance graphs: one for each type of stock the",
      "company trades, showing its price over the past 10 days. Day 9 is",
      "at the left and today (day 0) at the right. Press ENTER to go from",
      "one graph to the next."}},
};

// One page whose text stands on rows 17-19 and 21, row 20 left blank.
constexpr HelpPage kTradeStocksPages[] = {
    {{"The trade command opens the stock trading menu, where you buy and",
      "sell common and preferred stocks, bonds and options in any company", "on the exchange.", "",
      "Remember: stocks may be traded only once per day."}},
};

constexpr HelpPage kPageSysopPages[] = {
    {{"Paging the sysop calls the system operator to the keyboard. It works",
      "only during the sysop's hours, and is meant for when you are stuck",
      "and need a hand with the game."}},
};

constexpr HelpPage kGraphicsPages[] = {
    {{"Bullmoor can draw its screens in three graphics modes:", "",
      "  No graphics     - plain characters that every terminal can show",
      "  IBM graphics    - the IBM extended character set of lines and boxes",
      "  IBM color       - the IBM extended set with ANSI colour"}},
};

// ---- Trading help subjects ----

constexpr HelpPage kGeneralTradingPages[] = {
    {{"You may trade once per day. After a day's trading session you cannot",
      "re-enter Bullmoor until the next day, so make every trade count", "before you leave."}},
    {{"Companies on the exchange come in three types.", "",
      "Speculative companies are new or volatile. Their prices change fast,",
      "and a fortune can be made or lost in a few days."}},
    {{"Blue chip companies are large and stable. Their prices hold steady,",
      "so there is little to gain in a short time, but little to lose as", "well."}},
    {{"Mutual funds offer only secured bonds: a safe place for your money",
      "while the rest of the market is uncertain."}},
    {{"Each company trades up to four types of stock:", "", "  Options (or warrants)",
      "  Common shares", "  Preferred shares", "  Bonds"}},
    {{"An option, or warrant, is the right to buy common shares later at the",
      "convert price shown in the company profile. Options never expire,",
      "so you may hold them as long as you like and exercise them when the",
      "common shares are worth more than the convert price."}},
    {{"A common share is a part ownership of the company. Its price follows",
      "the company's fortunes up and down."}},
    {{"A preferred share is also a part ownership of the company, but its",
      "price is never below the price of the company's common stock."}},
    {{"A bond is a secured loan to the company. At the end of each month it",
      "matures and is worth its maturity price."}},
    {{"Stocks can crash. When the price of a stock falls to nothing, all",
      "holdings of that stock become worthless and are removed from every",
      "player. The stock is then reborn at a new price."}},
    {{"Common stock splits 2 for 1 when its price climbs high enough: the",
      "price is halved and the number of shares each player holds is",
      "doubled, so nothing is lost."}},
    {{"The remaining help subjects explain each way of trading: buying,",
      "selling, buying back short shares, selling short and exercising", "options.", "",
      "There are no broker fees on this exchange."}},
};

constexpr HelpPage kBuyPages[] = {
    {{"To buy, choose Buy Stocks, pick the company with the arrow keys and",
      "then the type of stock: options, common, preferred or bonds. You are",
      "offered the most you can buy; press ENTER to take it all, or type a", "smaller quantity."}},
};

constexpr HelpPage kSellPages[] = {
    {{"To sell, choose Sell Stocks, pick the company with the arrow keys and",
      "then the type of stock you want to sell. You may sell any part of",
      "your holding; press ENTER to sell all of it. The money goes straight", "into your cash."}},
};

constexpr HelpPage kBuyShortPages[] = {
    {{"Buy Short buys back shares that you sold short. Once you pick the",
      "company, the holdings table shows your short shares where the common",
      "shares normally stand. Your deposit comes back to you together with",
      "the difference between the price you sold at and today's price."}},
};

constexpr HelpPage kSellShortPages[] = {
    {{"Selling short lets you profit in a falling market. You sell shares",
      "you do not own at today's price and buy them back later; if the",
      "price has dropped by then, you keep the difference."}},
    {{"A short sale needs a deposit of 50%% of the current price for each",
      "share you sell. Only common stock can be sold short.", "",
      "Watch a short position closely: when the stock has risen a",
      "significant percentage, a margin call forces you to buy it back, and",
      "if your cash is short, your other assets are sold to pay for it."}},
    {{"You may hold only one short sale per company at a time. All of its",
      "shares must be bought back before you can sell that company short", "again."}},
};

constexpr HelpPage kOptionPages[] = {
    {{"Option Stocks exercises your options. Each common share costs the",
      "convert price shown in the company profile plus one option. Only",
      "common shares can be bought this way."}},
};

template <std::size_t N>
constexpr HelpSubject subject(const char* heading, const HelpPage (&pages)[N]) {
    return {heading, pages, static_cast<int>(N)};
}

constexpr HelpSubject kMainSubjects[] = {
    subject("     General Help...\r\n", kGeneralPages),
    subject("     Brokers Reports...\r\n", kBrokerPages),
    subject("     Company Profile...\r\n", kProfilePages),
    subject("     Trade Stocks...\r\n", kTradeStocksPages),
    subject("     Page SysOp...\r\n", kPageSysopPages),
    subject("     Change Graphics...\r\n", kGraphicsPages),
};

constexpr HelpSubject kTradingSubjects[] = {
    subject("     Trading Stocks...\r\n", kGeneralTradingPages),
    subject("     Buy Stocks...\r\n", kBuyPages),
    subject("     Sell Stocks...\r\n", kSellPages),
    subject("     Buy Back Short Stocks...\r\n", kBuyShortPages),
    subject("     Sell Stocks Short...\r\n", kSellShortPages),
    subject("     Option Stocks...\r\n", kOptionPages),
};

// Text lines a page may hold: the first page of every subject and all pages of a main help
// subject start on row 17; later trading pages start on row 15 with a blank line, so their
// text may begin on row 16.
constexpr int page_room(bool trading, int page) {
    return (trading && page > 0) ? kLastRow - kHeadingRow : kLastRow - kFirstTextRow + 1;
}

// Checks a line's printf text: every percent sign doubled, and the shown width with its indent
// inside the screen.
constexpr bool line_fits(const char* line) {
    int width = 0;
    for (const char* p = line; *p; ++p, ++width) {
        if (*p == '%') {
            if (p[1] != '%') return false;
            ++p;
        }
    }
    return kIndent + width <= kScreenWidth;
}

constexpr bool subjects_fit(const HelpSubject* subjects, int count, bool trading) {
    for (int s = 0; s < count; ++s) {
        for (int p = 0; p < subjects[s].page_count; ++p) {
            const HelpPage& page = subjects[s].pages[p];
            int used = 0;
            while (used < kPageLines && page.lines[used] != nullptr) {
                if (!line_fits(page.lines[used])) return false;
                ++used;
            }
            for (int rest = used; rest < kPageLines; ++rest) {
                if (page.lines[rest] != nullptr) return false;
            }
            if (used == 0 || used > page_room(trading, p)) return false;
        }
    }
    return true;
}

static_assert(subjects_fit(kMainSubjects, 6, false), "a main help page does not fit its rows");
static_assert(subjects_fit(kTradingSubjects, 6, true), "a trading help page does not fit its rows");

// Clears the row at the cursor and moves down one.
void blank_row() {
    term_clear_line();
    term_printf("\r\n");
}

// Draws one page from the cursor's row down, then clears the rows left through row 21 so that
// nothing of the page before remains.
void draw_page(const HelpPage& page, int row) {
    for (const char* line : page.lines) {
        if (line == nullptr) break;
        if (line[0] == '\0') {
            blank_row();
        } else {
            term_clear_line();
            term_printf("     ");
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-security"
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
            term_printf(line);  // the program's own text, "%%" for a percent sign
#pragma GCC diagnostic pop
            term_printf("\r\n");
        }
        ++row;
    }
    for (; row <= kLastRow; ++row) blank_row();
}

int show_subject(const HelpSubject& subject, bool trading) {
    term_goto(0, kHeadingRow);
    term_clear_line();
    term_printf(g_session.player.graphics_mode == kColorMode ? "\e[1;37;40m" : "\e[1m");
    term_printf("%s", subject.heading);
    term_printf("\e[0m");
    blank_row();
    for (int p = 0; p < subject.page_count; ++p) {
        int row = kFirstTextRow;
        if (p > 0 && trading) {
            // Later trading pages take the whole block, opening with a blank line.
            term_goto(0, kHeadingRow);
            blank_row();
            row = kHeadingRow + 1;
        } else if (p > 0) {
            // Later main help pages keep the heading and its blank line.
            term_goto(0, kFirstTextRow);
        }
        draw_page(subject.pages[p], row);
        press_enter();
    }
    return 0;
}

}  // namespace

int show_main_help_subject(int item) {
    if (item < 0 || item >= 6) return 0;
    return show_subject(kMainSubjects[item], false);
}

int show_trading_help_subject(int item) {
    if (item < 0 || item >= 6) return 0;
    return show_subject(kTradingSubjects[item], true);
}
