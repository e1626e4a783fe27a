// The door kit's pure parts: telnet filter, key decoder, drop files, CP437 to UTF-8.
#include <gtest/gtest.h>

#include <fstream>
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
        {true, "\xFF\xFB\x01x\xFF\xFD\x03y\xFF\xFC\x18\xFF\xFE\x1fz", "xyz"},  // options vanish
        {true, "\xFF\xFB\xFFq", "q"},                                     // option 0xFF is no data
        {true, "\xFF\xFA\x18\xFF\xFF\xFF\xF0k", "k"},                     // IAC IAC inside it
        {true, "\xFF\xFA\x18\xFF\x01z\xFF\xF0k", "k"},                    // IAC x does not end it
        {true, "\xFF\xFA\x18"s + std::string(600, 'x') + "ok", std::string(89, 'x') + "ok"},  // 512
        {true, "a\r\nb", "a\rb"},  {true, "a\r\0b"s, "a\rb"},  {true, "\r\r\n", "\r\r"},
        {true, "a\nb", "a\nb"},    {true, "a\0\0b"s, "ab"},    {true, "\r\xFF\xF1\n", "\r\n"},
        {false, "\xFF\xFB\x01", "\xFF\xFB\x01"},  {false, "x\r\ny", "x\ry"},
    };
    // clang-format on
    for (const auto& [telnet, in, expected] : cases) {
        InputFilter filter(telnet);
        std::string out;
        for (char c : in)
            if (int b = filter.feed(static_cast<unsigned char>(c)); b >= 0) out += char(b);
        EXPECT_EQ(out, expected) << ::testing::PrintToString(in);
    }
}

// Events as "c<n>" for a character, "x<scan>" for an extended key, after the decoder gave up on
// any sequence still pending (as the kit does after its wait): no stray Escape after a key.
std::string decode(const std::string& bytes) {
    KeyDecoder decoder;
    std::vector<OdInputEvent> events;
    for (char c : bytes) decoder.feed(static_cast<unsigned char>(c), events);
    decoder.flush(events);
    std::string out;
    for (const auto& e : events)
        out += (e.event_type == kEventExtendedKey ? "x" : "c") + std::to_string(e.key_press) + " ";
    return out;
}

TEST(KeyDecoder, SequencesToScanCodes) {
    // clang-format off
    const std::pair<int, std::vector<std::string>> keys[] = {
        {72, {"\033[A", "\033OA", "\033A", "\033[1;5A"}}, {80, {"\033[B", "\033OB", "\033B"}},
        {77, {"\033[C", "\033OC", "\033C"}}, {75, {"\033[D", "\033OD", "\033D"}},
        {71, {"\033[H", "\033OH", "\033[1~", "\033[7~"}}, {73, {"\033[5~"}}, {81, {"\033[6~"}},
        {79, {"\033[F", "\033OF", "\033[4~", "\033[8~", "\033[K"}}, {82, {"\033[2~", "\033[@"}},
        {83, {"\033[3~"}}};
    const std::pair<std::string, std::string> others[] = {
        {"8", "c56 "}, {"a\033[Bb", "c97 x80 c98 "}, {"\033x", "c27 c120 "},  // Escape, then x
        {"\033\033[A", "c27 x72 "}, {"\033[12\r", "c13 "},  // a broken sequence keeps the Enter
        {"\033[11~", ""}, {"\033OP", ""}, {"\033[[A", ""},  // keys of no use to us, swallowed whole
        {"\033[1", "c27 c91 c49 "},  // unfinished sequences come out as typed
        {"\033", "c27 "}, {"\033[", "c27 c91 "}, {"\033O", "c27 c79 "}};
    // clang-format on
    for (const auto& [scan, sequences] : keys) {
        for (const auto& s : sequences) EXPECT_EQ(decode(s), "x" + std::to_string(scan) + " ") << s;
    }
    for (const auto& [bytes, events] : others) EXPECT_EQ(decode(bytes), events) << bytes.substr(1);
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
    if (parse_drop_file(format, text, &i, &error) != 0)
        return error.empty() || error.find('\n') != std::string::npos ? "bad reason: " + error : "";
    return i.name + "/" + std::to_string(i.security) + "/" + std::to_string(i.minutes) + "/" +
           std::to_string(i.node) + (i.ansi ? "" : "/plain");
}

TEST(DropFile, ParsesEachFormatWithEitherLineEnd) {
    const auto k32 = DropFormat::kDoor32, kSys = DropFormat::kDoorSys, kInfo = DropFormat::kDorinfo;
    // clang-format off
    const std::tuple<DropFormat, std::vector<std::string>, std::string> cases[] = {
        {k32, door32("Jane Roe", "Trader"), "Trader/42/37/4"},
        {k32, door32("Jane Roe", ""), "Jane Roe/42/37/4"}, {k32, door32("", ""), ""},
        {k32, {"2", "5", "38400", "BBS", "3", "Jane", "J", "42", "37", "1"}, ""},
        {kSys, doorsys("Bull", 52), "Bull/110/25/3"}, {kSys, doorsys("", 52), "John Doe/110/25/3"},
        {kSys, doorsys("", 20), "John Doe/110/25/3"}, {kSys, doorsys("", 19), ""},
        {kSys, doorsys("", 52, "NG"), "John Doe/110/25/3/plain"},
        {kInfo, dorinfo("MARY", "ANN"), "MARY ANN/30/59/0"},
        {kInfo, dorinfo("MARY", ""), "MARY/30/59/0"},
        {kInfo, dorinfo(" MARY ", "ANN  "), "MARY ANN/30/59/0"},
    };
    // clang-format on
    for (const char* end : {"\r\n", "\n"})
        for (const auto& [format, text, expected] : cases)
            EXPECT_EQ(parsed(format, lines(text, end)), expected) << (end[1] ? "CR LF" : "LF");
}

// A directory is searched in any letter case, DOOR32.SYS first; a file of another name is known
// by its length; failures give reasons naming what was looked for.
TEST(DropFile, FoundInADirectoryOrNamedDirectly) {
    const std::string dir = make_temp_dir("drop");
    auto write = [&](const std::string& name, const std::vector<std::string>& text) {
        std::ofstream(dir + "/" + name, std::ios::binary) << lines(text, "\r\n");
    };
    auto read = [](const std::string& path) {  // the name read, or "!" and the reason
        DropInfo info;
        std::string error;
        return read_drop_file(path, &info, &error) == 0 ? info.name : "!" + error;
    };
    write("odd.txt", {"1", "2", "3"});  // the directory holds no drop file, only this one
    for (const std::string& path : {dir, dir + "/missing.sys", dir + "/odd.txt"}) {
        const std::string reason = read(path);
        EXPECT_EQ(reason.substr(0, 1), "!");
        EXPECT_NE(reason.find(path == dir ? dir : path.substr(dir.size() + 1)), std::string::npos);
    }
    write("Door.Sys", doorsys("Second", 52));
    EXPECT_EQ(read(dir), "Second");
    write("DOOR32.SYS", door32("A", "First"));
    EXPECT_EQ(read(dir + "/"), "First");
    write("node1.drop", door32("Real", "Alias"));
    EXPECT_EQ(read(dir + "/node1.drop"), "Alias");
    remove_tree(dir);
}

// The kit's CP437 table against iconv's (which the virtual screen uses); controls stay controls.
TEST(Cp437, KitTableAgreesWithTheCLibrary) {
    for (int b = 128; b < 256; ++b) EXPECT_EQ(cp437_utf8(uint8_t(b)), cp437_glyph(uint8_t(b))) << b;
    std::string out;
    cp437_to_utf8("\x1b[1;31m\x04\x10\r\n\a\b\tA\xCD", out);
    EXPECT_EQ(out, "\x1b[1;31m♦►\r\n\a\b\tA═");
}

}  // namespace
