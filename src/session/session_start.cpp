// Session start: brings the door kit up, shows the sign-on screen, brings the market to today,
// finds or creates the caller's record, applies the once-per-day and time-control rules, shows
// the title or new-player screens and the two start-up reports.
#include <strings.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "data/codec.h"
#include "data/config.h"
#include "data/dates.h"
#include "data/file_access.h"
#include "data/session_state.h"
#include "doorkit/opendoors.h"
#include "market/market.h"
#include "market/reports.h"
#include "screens/framework.h"
#include "session/session.h"
#include "session/shared_files.h"
#include "session/terminal.h"
#include "session/time_control.h"

namespace {

constexpr const char* kSignOn[] = {
    "\r\n\n",
    "Bullmoor\r\n",
    "Version 4.01 - 04/11/05\r\n",
    "\r\n",
    "Requires ANSI/VT100 support\r\n",
    "Remember to set your Num Lock key...\r\n",
    "\r\n",
};

constexpr const char* kUpdatingNotice = "Updating market information, please stand by...";
constexpr int kUpdatingNoticeLength = 48;
constexpr const char* kWipedOutNotice = " Notice, you are wiped out. Creating new portfolio...";
constexpr int kWipedOutNoticeLength = 53;

constexpr const char* kTradedTodayRefusal[] = {
    "        Sorry,\r\n",
    "\r\n",
    "        You have already traded stocks today.\r\n",
    "        You may only do this once per day.\r\n",
    "        Try again tomorrow.\r\n",
    "\r\n",
};

constexpr const char* kTryAgainLater = "        Try again later.\r\n";
constexpr const char* kTryAgainTomorrow = "        Try again tomorrow.\r\n";

constexpr const char* kGraphicsChoice[] = {
    "        PLAYER GRAPHICS MODE SETTINGS\r\n\r\n", "             [0] Standard ASCII\r\n",
    "             [1] IBM extended set\r\n",         "             [2] IBM exteded w/color\r\n\r\n",
    "        Please select graphics mode (0-2): ",
};

constexpr const char* kDocumentationMenu[] = {
    "  Documentation Capture/View\r\n", "\r\n",
    "   1. View Documentation\r\n",     "   2. Capture Documentation\r\n",
    "   3. Skip Documentation\r\n",     "\r\n",
};

constexpr const char* kEditorAccess[] = {
    "\r\nEditor access granted...\r\n",
    "Enter CTRL E in main menu to enter the editor.\r\n",
    "\r\n",
};

// Title screens by graphics mode.
constexpr const char* kTitleFiles[] = {"quonda.ttn", "quonda.tti", "quonda.ttc"};
constexpr const char* kNewPlayerFile = "quonda.new";
constexpr const char* kTimeControlFile = "quonda.tim";

// Text files are read in lines of up to 254 characters, and a screenful at most at a time.
constexpr int kTextLineSize = 255;
constexpr int kTextChunkLines = 24;

// Paging: the first page starts below the four rows of the title banner; a prompt closes each
// page when the counter reaches the last text row.
constexpr int kPageFirstCounter = 4;
constexpr int kPageLastCounter = 21;
constexpr const char* kPagePrompt = "                            Press [ENTER] to continue...";
constexpr int kPagePromptLength = 56;

// Gift shares of a new player: company, shares, cash given instead when they are not available.
struct Gift {
    int company;
    int32_t shares;
    int32_t cash_instead;
};
constexpr Gift kGifts[] = {{0, 10, 1500}, {7, 10, 250}};
constexpr int32_t kNewPlayerCash = 2000;
constexpr int32_t kWipedOutLimit = 99;

bool remote_session() {
    return od_control.remote != 0;
}

// Error-log display: the message row of the fixed screen.
void show_error_text(const char* text) {
    term_goto(0, 23);
    term_puts(text);
}

void install_error_display() {
    ErrorDisplay display;
    display.show = show_error_text;
    display.pause = term_sleep;
    display.is_remote = remote_session;
    set_error_display(display);
}

// Copies a text into a field of size bytes, cut to fit and always terminated.
void copy_text(char* to, size_t size, const char* from) {
    const size_t length = strnlen(from, size - 1);
    std::memcpy(to, from, length);
    to[length] = '\0';
}

bool same_date(const char* a, const char* b) {
    return std::strncmp(a, b, kDateSize) == 0;
}

bool is_ending_token(const char* buffer) {
    return std::strcmp(buffer, kTokenNoCarrier) == 0 || std::strcmp(buffer, kTokenNotActive) == 0 ||
           std::strcmp(buffer, kTokenTimeout) == 0;
}

// Carrier loss, inactivity or time-out at a start-up read: a normal end after a short pause.
[[noreturn]] void end_after_lost_input() {
    term_sleep(3);
    session_end(0);
}

// A text file read line by line under its lock. The lock can be given up while the caller is
// prompted (so other nodes are not held up by a caller who sits at a prompt) and taken again
// where reading stopped.
class TextFile {
  public:
    explicit TextFile(const char* name) { copy_text(handle_.path, sizeof handle_.path, name); }
    ~TextFile() { close_locked(handle_); }
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    bool open() { return open_locked(handle_, kModeRead, true, false) == 0; }
    // Reads the next line into line; false at the end of the file or when it is not open.
    bool next_line(char* line, int size) {
        return handle_.stream != nullptr && std::fgets(line, size, handle_.stream) != nullptr;
    }
    void suspend() {
        if (handle_.stream == nullptr) return;
        resume_at_ = std::ftell(handle_.stream);
        close_locked(handle_);
    }
    // Opens the file again at the line after the last one read; false when that fails.
    bool resume() {
        if (!open()) return false;
        return resume_at_ < 0 || std::fseek(handle_.stream, resume_at_, SEEK_SET) == 0;
    }
    // Reads up to `most` lines from where reading stopped and lets the file go again, so that
    // nothing is held while the lines go out to the caller. The lines read; 0 at the end.
    int read_chunk(char (*lines)[kTextLineSize], int most) {
        if (handle_.stream == nullptr && !resume()) return 0;
        int count = 0;
        while (count < most && next_line(lines[count], kTextLineSize)) ++count;
        suspend();
        return count;
    }

  private:
    FileHandle handle_;
    long resume_at_ = -1;
};

// Sends a text file a page at a time: 17 lines below the banner, then 20 lines per page, each
// page closed by an Enter prompt. Returns false when the file cannot be opened.
bool page_text_file(const char* name) {
    TextFile file(name);
    if (!file.open()) return false;
    char lines[kPageLastCounter][kTextLineSize];
    int counter = kPageFirstCounter;
    for (;;) {
        // The rest of the page is read first and sent with the file let go.
        const int count = file.read_chunk(lines, kPageLastCounter - counter);
        if (count == 0) break;
        for (int i = 0; i < count; ++i) term_puts(lines[i]);
        counter += count;
        if (counter < kPageLastCounter) continue;
        term_puts(kPagePrompt);
        term_input_line(line_buffer, kLineBufferSize);
        if (check_line_condition(line_buffer) == -1) end_after_lost_input();
        term_erase(kPagePromptLength + static_cast<int>(std::strlen(line_buffer)));
        counter = 1;
    }
    return true;
}

// Reads a line at a start-up prompt; lost input ends the session normally.
void read_start_line() {
    term_input_line(line_buffer, kLineBufferSize);
    if (is_ending_token(line_buffer)) end_after_lost_input();
}

void view_documentation() {
    const char* name = g_session.config.doc_file;
    if (page_text_file(name)) return;
    log_error(true, "Error [40] - Can't locate documentation file (%s).", name);
    term_sleep(5);
}

// Sends the whole documentation file unpaged for the caller's capture buffer.
void capture_documentation() {
    const char* name = g_session.config.doc_file;
    TextFile file(name);
    if (!file.open()) {
        log_error(true, "Error [41] - Can't locate documentation file (%s).", name);
        term_sleep(5);
        return;
    }
    file.suspend();
    term_puts("  Setup your capture, then press ENTER...");
    read_start_line();
    char lines[kTextChunkLines][kTextLineSize];
    for (int count; (count = file.read_chunk(lines, kTextChunkLines)) > 0;) {
        for (int i = 0; i < count; ++i) term_puts(lines[i]);
    }
    term_puts("  Documentation complete, terminate capture then press ENTER...");
    read_start_line();
}

void documentation_menu() {
    draw_title_banner();
    for (const char* text : kDocumentationMenu) term_puts(text);
    char answer[81];
    int choice = 0;
    while (choice < 1 || choice > 3) {
        term_puts("  Enter desired function (1-3): ");
        term_input_string(answer);
        if (is_ending_token(answer)) end_after_lost_input();
        choice = std::atoi(answer);
    }
    if (choice == 1) view_documentation();
    if (choice == 2) capture_documentation();
}

// The graphics-mode choice of a new player. Only 0, 1 and 2 are taken; carrier loss, inactivity
// and time-out end the session normally, as the documentation menu does (the new record, gift
// shares included, is saved in graphics mode 0). The time warning is passed over.
int16_t choose_graphics_mode() {
    draw_title_banner();
    for (const char* text : kGraphicsChoice) term_puts(text);
    for (;;) {
        const int key = term_get_key();
        if (key == kKeyNoCarrier || key == kKeyInactive || key == kKeyTimeUp) {
            end_after_lost_input();
        }
        if (key >= '0' && key <= '2') return static_cast<int16_t>(key - '0');
    }
}

void new_player_screens() {
    g_session.player.graphics_mode = choose_graphics_mode();
    draw_title_banner();
    if (!page_text_file(kNewPlayerFile)) {
        log_error(false, "Error [39] - Can't locate new player file (quonda.new).");
    }
    press_enter();
    documentation_menu();
}

// The title screen of a returning player; a key pressed during it cuts it short.
void show_title_screen() {
    term_clear_screen();
    const int mode = g_session.player.graphics_mode;
    const char* name = kTitleFiles[mode == kIbmMode || mode == kColorMode ? mode : kAsciiMode];
    TextFile file(name);
    if (!file.open()) {
        log_error(false, "Error [42] - Can't locate title screen file (%s).", name);
        return;
    }
    char lines[kTextChunkLines][kTextLineSize];
    for (int count; (count = file.read_chunk(lines, kTextChunkLines)) > 0;) {
        for (int i = 0; i < count; ++i) {
            term_puts(lines[i]);
            if (term_key_waiting()) {
                term_get_key();
                return;
            }
        }
    }
}

// The market brought to today: default companies, quonda.dat over them, and the daily update
// with its save and player-file pass when the market date is not today.
void show_updating_notice() {
    term_puts(kUpdatingNotice);
}

// The whole rollover runs under quonda.dat's lock (shared_files.h), so that nodes starting at once
// run a new day once; session end merges this session's changes against the market noted here.
void bring_market_to_today() {
    bool updated = false;
    const int loaded =
        ::bring_market_to_today(g_session.market, g_session.today, g_session.previous_market_date,
                                g_session.prices_move, updated, show_updating_notice);
    if (loaded == -1) {
        log_error(false, "Error [41] - Can't read market info file (quonda.dat)\n\n");
        session_end(1);
    }
    if (updated) term_erase(kUpdatingNoticeLength);
    note_market_baseline(g_session.market);
    g_session.market_ready = true;
}

// Finds the caller in quonda.plr, or creates the record; sets new_player for a new caller.
// A player file that cannot be opened ends the session with exit code 1: going on with an empty
// record would save it over whatever record sits at offset 0, and nothing could be saved safely.
void look_up_caller(bool& new_player) {
    PlayerRecord& player = g_session.player;
    str_upper(g_session.user_name);
    const int found = find_player(g_session.user_name, player, g_session.player_offset);
    if (found < 0) {
        log_error(true, "Error [43] - Can't open player file (quonda.plr).");
        session_end(1);
    }
    note_player_baseline(found == 1 ? &player : nullptr);
    new_player = found == 0;
    const bool wiped_out = !new_player && is_wiped_out(player);
    if (new_player) {
        player = PlayerRecord{};
        build_new_player(player, g_session.market, g_session.user_name);
    } else if (wiped_out) {
        term_puts(kWipedOutNotice);
        return_holdings(player, g_session.market);
        build_new_player(player, g_session.market, g_session.user_name);
    }
    g_session.start_cash = player.cash;
    g_session.player_ready = true;
    // The wiped-out record is rebuilt before the caller is asked for Enter, so that a hang-up at
    // the notice saves a market and a record that agree.
    if (wiped_out) {
        press_enter();
        term_erase(kWipedOutNoticeLength);
    }
}

[[noreturn]] void refuse(const char* const* lines, int count) {
    for (int i = 0; i < count; ++i) term_puts(lines[i]);
    session_end(1);
}

// Once-per-day rule and time-control rules for a remote caller.
void apply_remote_rules() {
    const PlayerRecord& player = g_session.player;
    if (same_date(player.last_traded, g_session.today)) {
        for (const char* text : kTradedTodayRefusal) term_puts(text);
        // Refused: a hang-up at this prompt must not count as a played session either, nor
        // write back a market this caller never changed over newer saves of other nodes.
        g_session.player_ready = false;
        g_session.market_ready = false;
        press_enter();
        session_end(1);
    }
    take_player_counters(player);
    switch (load_time_control(kTimeControlFile)) {
        case -3: {
            const char* lines[] = {
                "        You do not have the access level to play during this time period.\r\n",
                kTryAgainLater};
            refuse(lines, 2);
        }
        case -2: {
            const char* lines[] = {
                "        You do not have the access level to play this game.\r\n"};
            refuse(lines, 1);
        }
        case -1:
            log_error(true, "Error [42] - Error in time control file (quonda.tim).");
            session_end(1);
        default:
            break;
    }
    switch (check_daily_limits()) {
        case -2: {
            const char* lines[] = {"        You have exceeded your daily game limit.\r\n",
                                   kTryAgainTomorrow};
            refuse(lines, 2);
        }
        case -3: {
            const char* lines[] = {"        You have exceeded your daily time limit.\r\n",
                                   kTryAgainTomorrow};
            refuse(lines, 2);
        }
        case -1: {
            const char* lines[] = {"        You have not waited sufficient time between games.\r\n",
                                   kTryAgainLater};
            refuse(lines, 2);
        }
        default:
            break;
    }
}

}  // namespace

bool is_wiped_out(const PlayerRecord& player) {
    int32_t worth = player.net_worth;
    for (const Holding& holding : player.holdings) {
        worth += (holding.short_price * holding.short_count) / 2;
    }
    return worth <= kWipedOutLimit;
}

void return_holdings(const PlayerRecord& player, MarketRecord& market) {
    for (int c = 0; c < kCompanyCount; ++c) {
        const Holding& holding = player.holdings[c];
        int32_t* available = market.companies[c].available;
        for (int k = 0; k < kKindCount; ++k) available[k] += holding.count[k];
        available[kCommon] += holding.short_count;
    }
}

void build_new_player(PlayerRecord& player, MarketRecord& market, const char* name) {
    std::memset(player.name, 0, sizeof player.name);
    copy_text(player.name, sizeof player.name, name);
    copy_text(player.last_played, kDateSize, kNeverDate);
    copy_text(player.last_traded, kDateSize, kNeverDate);
    player.net_worth = 0;
    player.seconds_played = 0;
    player.times_played = 0;
    player.cash = kNewPlayerCash;
    for (int c = 0; c < kCompanyCount; ++c) {
        Holding& holding = player.holdings[c];
        holding = Holding{};
        for (int k = 0; k < kKindCount; ++k) {
            holding.last_price[k] = market.companies[c].price[k][0];
        }
    }
    for (const Gift& gift : kGifts) {
        int32_t& available = market.companies[gift.company].available[kCommon];
        if (available <= gift.shares) {
            player.cash += gift.cash_instead;
        } else {
            available -= gift.shares;
            player.holdings[gift.company].count[kCommon] = gift.shares;
        }
    }
}

// The configured sysop name is blank-padded to 31 characters and player names are not, so
// trailing blanks are ignored on both sides; an all-blank sysop name matches nobody.
bool is_sysop_name(const char* name, const char* sysop_name) {
    size_t name_length = std::strlen(name);
    size_t sysop_length = std::strlen(sysop_name);
    while (name_length > 0 && name[name_length - 1] == ' ') --name_length;
    while (sysop_length > 0 && sysop_name[sysop_length - 1] == ' ') --sysop_length;
    return sysop_length > 0 && name_length == sysop_length &&
           strncasecmp(name, sysop_name, name_length) == 0;
}

bool is_directory(const char* path) {
    char copy[kOdPathSize];
    copy_text(copy, sizeof copy, path);
    const size_t length = std::strlen(copy);
    if (length > 1 && copy[length - 1] == '/') copy[length - 1] = '\0';
    struct stat info {};
    return stat(copy, &info) == 0 && S_ISDIR(info.st_mode);
}

// Prepares the door kit for a caller handed over by the BBS. The connection method 2 tells the
// kit that the BBS has already opened the caller's connection and passes it on (a socket
// descriptor, or standard input and output), so the kit neither dials nor opens a port.
int door_init(int node, const char* drop_path, const char* socket_text) {
    od_control.od_node = node;
    od_control.od_com_method = 2;
    term_set_force_local(false);
    if (drop_path != nullptr && drop_path[0] != '\0') {
        copy_text(od_control.info_path, sizeof od_control.info_path, drop_path);
        const size_t length = std::strlen(od_control.info_path);
        // A directory gets its trailing "/" (one only, when the BBS gave it already).
        if (is_directory(drop_path) && od_control.info_path[length - 1] != '/' &&
            length + 1 < sizeof od_control.info_path) {
            od_control.info_path[length] = '/';
            od_control.info_path[length + 1] = '\0';
        }
    }
    if (socket_text != nullptr && socket_text[0] != '\0') {
        // Only a plain decimal descriptor is taken; anything else is a bad descriptor, which the
        // door kit refuses (exit code 1) rather than falling back to standard input.
        char* end = nullptr;
        const long fd = std::strtol(socket_text, &end, 10);
        const bool decimal = *end == '\0' && socket_text[0] >= '0' && socket_text[0] <= '9';
        od_control.od_open_handle = decimal && fd <= 65535 ? static_cast<int32_t>(fd) : -2;
        int type = 0;
        socklen_t length = sizeof type;
        if (getsockopt(od_control.od_open_handle, SOL_SOCKET, SO_TYPE, &type, &length) == 0 &&
            type == SOCK_STREAM) {
            od_control.od_use_socket = 1;
        }
    }
    od_init();
    return 0;
}

int session_start(int argc, char** argv) {
    install_error_display();

    // 1-2: the door kit, today and the caller's name.
    if (argc < 2) {
        od_control.remote = 0;
        od_init();
        od_control.user_name[kNameSize - 1] = '\0';
        today_text(g_session.today);
    } else {
        copy_text(od_control.user_name, sizeof od_control.user_name, "BMR Initialization");
        today_text(g_session.today);
        door_init(std::atoi(argv[1]), argc > 2 ? argv[2] : "", argc > 3 ? argv[3] : "");
    }
    copy_text(g_session.user_name, kNameSize, od_control.user_name);

    // 3: sign-on.
    term_clear_screen();
    for (const char* text : kSignOn) term_puts(text);
    press_enter();

    // 4-6: configuration and the market.
    if (read_config(g_session.config) != 0) {
        log_error(false, "Warning [40] - Cant't read config file (quonda.cfg).");
    }
    bring_market_to_today();

    // 7-10: the caller's record.
    bool new_player = false;
    look_up_caller(new_player);

    // 11-12: the rules for remote callers.
    if (remote_session()) apply_remote_rules();

    // 13-15: title or new-player screens.
    if (new_player) {
        g_session.player.graphics_mode = kAsciiMode;
        new_player_screens();
    } else {
        show_title_screen();
    }

    // 16: editor access.
    if (is_sysop_name(g_session.player.name, g_session.config.sysop_name) || !remote_session()) {
        g_session.editor_allowed = true;
        for (const char* text : kEditorAccess) term_puts(text);
    }

    // 17: the start-up reports.
    press_enter();
    show_price_changes();
    if (run_margin_call() == 1) session_end(0);
    return 0;
}
