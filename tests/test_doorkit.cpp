// The door kit's pure parts: telnet filter, key decoder, drop files, CP437 to UTF-8.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "doorkit/console.h"
#include "doorkit/dropfile.h"
#include "doorkit/keys.h"
#include "doorkit/telnet.h"
#include "vcaller/caller.h"
#include "vcaller/screen.h"

namespace {

using namespace std::string_literals;

TEST(InputFilter, TelnetAndLineEnds) {
    // {telnet, received, data}
    // clang-format off
    const std::tuple<bool, std::string, std::string> cases[] = {
        {true, "abc", "abc"},
        {true, "a\xFF\377b", "a\377b"},                                   // IAC IAC is 0xFF
        {true, "\xFF\xFB\x01x\xFF\xFD\x03y\xFF\xFC\x18\xFF\xFE\x1fz", "xyz"},  // options vanish
        {true, "\xFF\xFB\xFFq", "q"},                                     // option 0xFF is no data
        {true, "\xFF\361a\xFF\371b\xFF\xF6", "ab"},                       // two-byte commands
        {true, "\xFF\xFA\x18\x00VT100\xFF\xF0ok"s, "ok"},                 // subnegotiation
        {true, "\xFF\xFA\x18\xFF\xFF\xFF\xF0k", "k"},                     // IAC IAC inside it
        {true, "\xFF\xFA\x18\xFF\x01z\xFF\xF0k", "k"},                    // IAC x does not end it
        {true, "\xFF\xFA\x18"s + std::string(600, 'x') + "ok", std::string(89, 'x') + "ok"},  // 512
        {true, "a\r\nb", "a\rb"},  {true, "a\r\0b"s, "a\rb"},  {true, "\r\r\n", "\r\r"},
        {true, "a\nb", "a\nb"},    {true, "a\0\0b"s, "ab"},    {true, "\r\xFF\xF1\n", "\r\n"},
        {false, "\xFF\xFB\x01", "\xFF\xFB\x01"},  {false, "x\r\ny", "x\ry"},
    };
    // clang-format on
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& [telnet, in, expected] = cases[i];
        InputFilter filter(telnet);
        std::string out;
        for (char c : in) {
            int b = filter.feed(static_cast<unsigned char>(c));
            if (b >= 0) out.push_back(static_cast<char>(b));
        }
        EXPECT_EQ(out, expected) << "case " << i;
    }
    std::string out;
    telnet_escape("a\377b\377\377", out);
    EXPECT_EQ(out, "a\377\377b\377\377\377\377");
}

// Events as text, "c:<n>" for a character and "x:<scan>" for an extended key, once the decoder
// has given up on a sequence still pending (as the kit does after its wait).
std::string decode(const std::string& bytes) {
    KeyDecoder decoder;
    std::vector<OdInputEvent> events;
    for (char c : bytes) decoder.feed(static_cast<unsigned char>(c), events);
    if (decoder.pending()) decoder.flush(events);
    std::string out;
    for (const auto& e : events) {
        out +=
            (e.event_type == kEventExtendedKey ? "x:" : "c:") + std::to_string(e.key_press) + " ";
    }
    return out;
}

TEST(KeyDecoder, SequencesToScanCodes) {
    // clang-format off
    const std::pair<std::string, std::string> cases[] = {
        {"\033[A", "x:72 "},  {"\033OA", "x:72 "},  {"\033A", "x:72 "},  {"\033[1;5A", "x:72 "},
        {"\033[B", "x:80 "},  {"\033OB", "x:80 "},  {"\033B", "x:80 "},  {"\033[C", "x:77 "},
        {"\033OC", "x:77 "},  {"\033C", "x:77 "},   {"\033[D", "x:75 "},  {"\033OD", "x:75 "},
        {"\033D", "x:75 "},   {"\033[H", "x:71 "},  {"\033OH", "x:71 "},  {"\033[1~", "x:71 "},
        {"\033[7~", "x:71 "}, {"\033[F", "x:79 "},  {"\033OF", "x:79 "},  {"\033[4~", "x:79 "},
        {"\033[8~", "x:79 "}, {"\033[K", "x:79 "},  {"\033[5~", "x:73 "}, {"\033[6~", "x:81 "},
        {"\033[2~", "x:82 "}, {"\033[@", "x:82 "},  {"\033[3~", "x:83 "}, {"8", "c:56 "},
        {"a\033[Bb", "c:97 x:80 c:98 "},
        {"\033[11~", ""}, {"\033OP", ""}, {"\033[[A", ""},  // keys of no use to us, swallowed whole
        {"\033\033[A", "c:27 x:72 "},  // Escape typed, then Up
        {"\033x", "c:27 c:120 "},      // Escape typed, then x
        {"\033[12\r", "c:13 "},        // a broken sequence does not eat the Enter
        // unfinished sequences come out as typed
        {"\033", "c:27 "}, {"\033[", "c:27 c:91 "}, {"\033O", "c:27 c:79 "},
        {"\033[1", "c:27 c:91 c:49 "},
    };
    // clang-format on
    for (const auto& [bytes, events] : cases) EXPECT_EQ(decode(bytes), events) << bytes.substr(1);
}

// A finished key leaves nothing behind: giving up afterwards yields no stray Escape.
TEST(KeyDecoder, NothingLeftAfterAKey) {
    for (const std::string bytes : {"\033A", "\033[A", "\033OA", "\033x"}) {
        KeyDecoder decoder;
        std::vector<OdInputEvent> events;
        for (char c : bytes) decoder.feed(static_cast<unsigned char>(c), events);
        const size_t decoded = events.size();
        decoder.flush(events);
        EXPECT_EQ(events.size(), decoded) << bytes.substr(1);
    }
}

std::string lines(const std::vector<std::string>& text, const char* end) {
    std::string out;
    for (const auto& l : text) out += l + end;
    return out;
}

std::vector<std::string> door32(const std::string& real, const std::string& alias) {
    return {"2", "5", "38400", "BBS", "3", real, alias, "42", "37", "1", "4"};
}

// DOOR.SYS: node on line 4, name 10, security 15, minutes 19, graphics 20, alias 36.
std::vector<std::string> doorsys(const std::string& alias, size_t count, const char* mode = "GR") {
    std::vector<std::string> t(52, "0");
    t[3] = "3", t[9] = "John Doe", t[14] = "110", t[18] = "25", t[19] = mode, t[35] = alias;
    t.resize(count);
    return t;
}

std::vector<std::string> dorinfo(const std::string& first, const std::string& last) {
    return {"BBS", "Sys", "Op", "COM0", "38400 BAUD,N,8,1", "0", first, last, "Town",
            "1",   "30",  "59", "-1"};
}

// What a parse gives, as "name/security/minutes/node" and "/plain" without ANSI; "" for a refusal.
std::string parsed(DropFormat format, const std::string& text) {
    DropInfo i;
    std::string error;
    if (parse_drop_file(format, text, &i, &error) != 0) {
        return error.empty() || error.find('\n') != std::string::npos ? "bad reason: " + error : "";
    }
    return i.name + "/" + std::to_string(i.security) + "/" + std::to_string(i.minutes) + "/" +
           std::to_string(i.node) + (i.ansi ? "" : "/plain");
}

TEST(DropFile, ParsesEachFormatWithEitherLineEnd) {
    const auto k32 = DropFormat::kDoor32, kSys = DropFormat::kDoorSys, kInfo = DropFormat::kDorinfo;
    // clang-format off
    const std::tuple<DropFormat, std::vector<std::string>, std::string> cases[] = {
        {k32, door32("Jane Roe", "Trader"), "Trader/42/37/4"},
        {k32, door32("Jane Roe", ""), "Jane Roe/42/37/4"},
        {k32, {"2", "5", "38400", "BBS", "3", "Jane", "J", "42", "37", "1"}, ""},
        {k32, door32("", ""), ""},
        {kSys, doorsys("Bull", 52), "Bull/110/25/3"},
        {kSys, doorsys("", 52), "John Doe/110/25/3"},
        {kSys, doorsys("", 20), "John Doe/110/25/3"},
        {kSys, doorsys("", 52, "NG"), "John Doe/110/25/3/plain"},
        {kSys, doorsys("", 19), ""},
        {kInfo, dorinfo("MARY", "ANN"), "MARY ANN/30/59/0"},
        {kInfo, dorinfo("MARY", ""), "MARY/30/59/0"},
        {kInfo, dorinfo(" MARY ", "ANN  "), "MARY ANN/30/59/0"},
    };
    // clang-format on
    for (const char* end : {"\r\n", "\n"}) {
        for (const auto& [format, text, expected] : cases) {
            EXPECT_EQ(parsed(format, lines(text, end)), expected) << (end[1] ? "CR LF" : "LF");
        }
    }
}

// A directory is searched in any letter case, DOOR32.SYS first; a file of another name is known
// by its length; failures give one-line reasons naming what was looked for.
TEST(DropFile, FoundInADirectoryOrNamedDirectly) {
    const std::string dir = make_temp_dir("drop");
    auto write = [&](const std::string& name, const std::string& text) {
        std::ofstream(dir + "/" + name, std::ios::binary) << text;
    };
    // The name read from path (and the file it came from), or "!" and the reason.
    auto read = [](const std::string& path, std::string* file = nullptr) {
        DropInfo info;
        std::string error;
        if (read_drop_file(path, &info, &error) != 0) return "!" + error;
        if (file != nullptr) *file = info.path;
        return info.name;
    };
    const std::vector<std::pair<std::string, std::string>> cases[] = {
        {{"door32.sys", lines(door32("A", "Lower"), "\n")}},
        {{"Door.Sys", lines(doorsys("Mixed", 52), "\r\n")}},
        {{"DORINFO1.DEF", lines(dorinfo("UP", "PER"), "\r\n")}},
        {{"DOOR.SYS", lines(doorsys("Second", 52), "\n")},
         {"DOOR32.SYS", lines(door32("A", "First"), "\n")}},
    };
    const char* expected[] = {"Lower", "Mixed", "UP PER", "First"};
    for (int i = 0; i < 4; ++i) {
        remove_tree(dir);
        mkdir(dir.c_str(), 0755);
        for (const auto& [name, text] : cases[i]) write(name, text);
        std::string file;
        EXPECT_EQ(read(dir, &file), expected[i]);
        EXPECT_EQ(read(dir + "/"), expected[i]);
        EXPECT_EQ(read(file), expected[i]);  // the file itself
    }
    remove_tree(dir);
    mkdir(dir.c_str(), 0755);
    write("odd.txt", "1\n2\n3\n");  // the directory holds no drop file, only this one
    for (const std::string& path : {dir, dir + "/missing.sys", dir + "/odd.txt"}) {
        const std::string reason = read(path);
        EXPECT_EQ(reason.substr(0, 1), "!");
        EXPECT_NE(reason.find(path == dir ? dir : path.substr(dir.size() + 1)), std::string::npos);
    }
    write("node1.drop", lines(door32("Real", "Alias"), "\r\n"));
    EXPECT_EQ(read(dir + "/node1.drop"), "Alias");
    remove_tree(dir);
}

// The kit's CP437 table against iconv's (which the virtual screen uses), and the screen itself.
TEST(Cp437, KitTableAgreesWithTheCLibraryAndTheScreenShowsIt) {
    for (int b = 128; b < 256; ++b) {
        const auto byte = static_cast<unsigned char>(b);
        EXPECT_EQ(std::string(cp437_utf8(byte)), cp437_glyph(byte)) << "byte " << b;
    }
    std::string out;
    cp437_to_utf8("\x1b[1;31m\x04\x10\r\n\a\b\tA\xCD", out);
    EXPECT_EQ(out, "\x1b[1;31m♦►\r\n\a\b\tA═");
    VirtualScreen screen;
    screen.feed("\x1b[3;5H\x1b[1;33;44mA\x04\x10\x1b[0m\xC9\xCD\xBB");
    EXPECT_EQ(screen.text(2, 4, 6), "A♦►╔═╗");
    EXPECT_TRUE(screen.bold(2, 4) && !screen.bold(2, 7));
    EXPECT_EQ(std::make_tuple(screen.fg(2, 4), screen.bg(2, 5), screen.fg(2, 7)),
              std::make_tuple(3, 4, -1));
    EXPECT_EQ(std::make_pair(screen.cursor_row(), screen.cursor_col()), std::make_pair(2, 10));
}

}  // namespace
