// The door kit's pure parts: telnet filter, key decoder, drop files, CP437 to UTF-8.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "doorkit/console.h"
#include "doorkit/dropfile.h"
#include "doorkit/keys.h"
#include "doorkit/telnet.h"
#include "vcaller/caller.h"
#include "vcaller/screen.h"

namespace {

std::string filter_all(bool telnet, const std::string& in) {
    InputFilter filter(telnet);
    std::string out;
    for (char c : in) {
        int b = filter.feed(static_cast<unsigned char>(c));
        if (b >= 0) out.push_back(static_cast<char>(b));
    }
    return out;
}

struct FilterCase {
    const char* what;
    bool telnet;
    std::string in;
    std::string out;
};

TEST(InputFilter, TelnetAndLineEnds) {
    const FilterCase cases[] = {
        {"plain bytes", true, "abc", "abc"},
        {"IAC IAC is 0xFF", true,
         "a\xFF\xFF"
         "b",
         "a\xFF"
         "b"},
        {"option commands vanish", true, "\xFF\xFB\x01x\xFF\xFD\x03y\xFF\xFC\x18\xFF\xFE\x1fz",
         "xyz"},
        {"an option byte of 0xFF is no data", true, "\xFF\xFB\xFFq", "q"},
        {"two-byte commands vanish", true,
         "\xFF\xF1"
         "a\xFF\xF9"
         "b\xFF\xF6",
         "ab"},
        {"subnegotiation vanishes", true, std::string("\xFF\xFA\x18\x00VT100\xFF\xF0ok", 13), "ok"},
        {"IAC IAC inside subnegotiation", true,
         "\xFF\xFA\x18\xFF\xFF\xFF\xF0"
         "k",
         "k"},
        {"IAC x inside subnegotiation does not end it", true,
         "\xFF\xFA\x18\xFF\x01z\xFF\xF0"
         "k",
         "k"},
        {"endless subnegotiation gives up after 512 bytes", true,
         "\xFF\xFA\x18" + std::string(600, 'x') + "ok", std::string(89, 'x') + "ok"},
        {"CR LF is one CR", true, "a\r\nb", "a\rb"},
        {"CR NUL is one CR", true, std::string("a\r\0b", 4), "a\rb"},
        {"CR CR LF", true, "\r\r\n", "\r\r"},
        {"lone LF stays", true, "a\nb", "a\nb"},
        {"NUL dropped", true, std::string("a\0\0b", 4), "ab"},
        {"CR then IAC command then LF", true, "\r\xFF\xF1\n", "\r\n"},
        {"no telnet: 0xFF is data", false, "\xFF\xFB\x01", "\xFF\xFB\x01"},
        {"no telnet: CR LF still one CR", false, "x\r\ny", "x\ry"},
    };
    for (const auto& c : cases) EXPECT_EQ(filter_all(c.telnet, c.in), c.out) << c.what;
}

TEST(InputFilter, OutputDoublesIac) {
    std::string out;
    telnet_escape(std::string_view("a\xFF"
                                   "b\xFF\xFF",
                                   5),
                  out);
    EXPECT_EQ(out,
              "a\xFF\xFF"
              "b\xFF\xFF\xFF\xFF");
}

// Expected events written as text: "c:<n>" for a character, "x:<scan>" for an extended key.
std::string describe(const std::vector<OdInputEvent>& events) {
    std::string out;
    for (const auto& e : events) {
        out +=
            (e.event_type == kEventExtendedKey ? "x:" : "c:") + std::to_string(e.key_press) + " ";
    }
    return out;
}

std::string decode(const std::string& bytes, bool flush_at_end) {
    KeyDecoder decoder;
    std::vector<OdInputEvent> events;
    for (char c : bytes) decoder.feed(static_cast<unsigned char>(c), events);
    if (flush_at_end) decoder.flush(events);
    return describe(events);
}

struct KeyCase {
    std::string bytes;
    std::string events;
};

TEST(KeyDecoder, SequencesToScanCodes) {
    const KeyCase cases[] = {
        {"\x1b[A", "x:72 "},
        {"\x1bOA", "x:72 "},
        {"\x1b"
         "A",
         "x:72 "},
        {"\x1b[B", "x:80 "},
        {"\x1bOB", "x:80 "},
        {"\x1b"
         "B",
         "x:80 "},
        {"\x1b[C", "x:77 "},
        {"\x1bOC", "x:77 "},
        {"\x1b"
         "C",
         "x:77 "},
        {"\x1b[D", "x:75 "},
        {"\x1bOD", "x:75 "},
        {"\x1b"
         "D",
         "x:75 "},
        {"\x1b[H", "x:71 "},
        {"\x1bOH", "x:71 "},
        {"\x1b[1~", "x:71 "},
        {"\x1b[7~", "x:71 "},
        {"\x1b[F", "x:79 "},
        {"\x1bOF", "x:79 "},
        {"\x1b[4~", "x:79 "},
        {"\x1b[8~", "x:79 "},
        {"\x1b[K", "x:79 "},
        {"\x1b[5~", "x:73 "},
        {"\x1b[6~", "x:81 "},
        {"\x1b[2~", "x:82 "},
        {"\x1b[@", "x:82 "},
        {"\x1b[3~", "x:83 "},
        {"\x1b[1;5A", "x:72 "},
        {"8", "c:56 "},
        {"a\x1b[Bb", "c:97 x:80 c:98 "},
        {"\x1b[11~", ""},  // F1: no key of ours, swallowed whole
        {"\x1bOP", ""},
        {"\x1b[[A", ""},
        {"\x1b\x1b[A", "c:27 x:72 "},  // Escape typed, then Up
        {"\x1bx", "c:27 c:120 "},      // Escape typed, then x
        {"\x1b[12\r", "c:13 "},        // a broken sequence does not eat the Enter
    };
    for (const auto& c : cases) EXPECT_EQ(decode(c.bytes, false), c.events) << c.bytes.substr(1);
}

TEST(KeyDecoder, UnfinishedSequenceComesOutAsTypedOnFlush) {
    const KeyCase cases[] = {
        {"\x1b", "c:27 "},
        {"\x1b[", "c:27 c:91 "},
        {"\x1bO", "c:27 c:79 "},
        {"\x1b[1", "c:27 c:91 c:49 "},
    };
    for (const auto& c : cases) EXPECT_EQ(decode(c.bytes, true), c.events) << c.bytes.substr(1);
    KeyDecoder decoder;
    std::vector<OdInputEvent> events;
    decoder.feed(27, events);
    EXPECT_TRUE(decoder.pending());
    decoder.feed('[', events);
    decoder.feed('A', events);
    EXPECT_FALSE(decoder.pending());
}

// Drop files --------------------------------------------------------------------------------

std::string lines(const std::vector<std::string>& text, const char* end) {
    std::string out;
    for (const auto& l : text) out += l + end;
    return out;
}

std::vector<std::string> door32(const std::string& real, const std::string& alias) {
    return {"2", "5", "38400", "BBS", "3", real, alias, "42", "37", "1", "4"};
}

std::vector<std::string> doorsys(const std::string& name, const std::string& alias, size_t n) {
    std::vector<std::string> t(52, "0");
    t[3] = "3";
    t[9] = name;
    t[14] = "110";
    t[18] = "25";
    t[19] = "GR";
    t[35] = alias;
    t.resize(n);
    return t;
}

std::vector<std::string> dorinfo(const std::string& first, const std::string& last) {
    return {"BBS", "Sys", "Op", "COM0", "38400 BAUD,N,8,1", "0", first, last, "Town",
            "1",   "30",  "59", "-1"};
}

struct DropCase {
    const char* what;
    DropFormat format;
    std::vector<std::string> text;
    int result;
    std::string name;
    int security, minutes, node;
    bool ansi;
};

TEST(DropFile, ParsesEachFormatWithEitherLineEnd) {
    const DropCase cases[] = {
        {"door32 alias", DropFormat::kDoor32, door32("Jane Roe", "Trader"), 0, "Trader", 42, 37, 4,
         true},
        {"door32 no alias", DropFormat::kDoor32, door32("Jane Roe", ""), 0, "Jane Roe", 42, 37, 4,
         true},
        {"door32 short",
         DropFormat::kDoor32,
         {"2", "5", "38400", "BBS", "3", "Jane", "J", "42", "37", "1"},
         -1,
         "",
         0,
         0,
         0,
         false},
        {"door32 no name", DropFormat::kDoor32, door32("", ""), -1, "", 0, 0, 0, false},
        {"door.sys alias", DropFormat::kDoorSys, doorsys("John Doe", "Bull", 52), 0, "Bull", 110,
         25, 3, true},
        {"door.sys no alias", DropFormat::kDoorSys, doorsys("John Doe", "", 52), 0, "John Doe", 110,
         25, 3, true},
        {"door.sys of 20 lines", DropFormat::kDoorSys, doorsys("John Doe", "", 20), 0, "John Doe",
         110, 25, 3, true},
        {"door.sys short", DropFormat::kDoorSys, doorsys("John Doe", "", 19), -1, "", 0, 0, 0,
         false},
        {"dorinfo", DropFormat::kDorinfo, dorinfo("MARY", "ANN"), 0, "MARY ANN", 30, 59, 0, true},
        {"dorinfo no last name", DropFormat::kDorinfo, dorinfo("MARY", ""), 0, "MARY", 30, 59, 0,
         true},
        {"dorinfo padded", DropFormat::kDorinfo, dorinfo(" MARY ", "ANN  "), 0, "MARY ANN", 30, 59,
         0, true},
    };
    for (const char* end : {"\r\n", "\n"}) {
        for (const auto& c : cases) {
            DropInfo info;
            std::string error;
            SCOPED_TRACE(std::string(c.what) + (end[0] == '\r' ? " CR LF" : " LF"));
            ASSERT_EQ(parse_drop_file(c.format, lines(c.text, end), &info, &error), c.result);
            if (c.result != 0) {
                EXPECT_FALSE(error.empty());
                EXPECT_EQ(error.find('\n'), std::string::npos);
                continue;
            }
            EXPECT_EQ(info.name, c.name);
            EXPECT_EQ(info.security, c.security);
            EXPECT_EQ(info.minutes, c.minutes);
            EXPECT_EQ(info.node, c.node);
            EXPECT_EQ(info.ansi, c.ansi);
        }
    }
    DropInfo info;
    std::string error;
    auto plain = doorsys("John Doe", "", 52);
    plain[19] = "NG";
    ASSERT_EQ(parse_drop_file(DropFormat::kDoorSys, lines(plain, "\r\n"), &info, &error), 0);
    EXPECT_FALSE(info.ansi);
}

class DropDirectory : public ::testing::Test {
  protected:
    void SetUp() override { dir_ = make_temp_dir("drop"); }
    void TearDown() override { remove_tree(dir_); }
    void write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ + "/" + name, std::ios::binary) << text;
    }
    std::string dir_;
};

TEST_F(DropDirectory, FindsTheFileInAnyLetterCaseAndPrefersDoor32) {
    struct Case {
        std::vector<std::pair<std::string, std::string>> files;
        std::string expect_name;
    };
    const Case cases[] = {
        {{{"door32.sys", lines(door32("A", "Lower"), "\n")}}, "Lower"},
        {{{"Door.Sys", lines(doorsys("Mixed", "", 52), "\r\n")}}, "Mixed"},
        {{{"DORINFO1.DEF", lines(dorinfo("UP", "PER"), "\r\n")}}, "UP PER"},
        {{{"DOOR.SYS", lines(doorsys("Second", "", 52), "\n")},
          {"DOOR32.SYS", lines(door32("A", "First"), "\n")}},
         "First"},
    };
    for (const auto& c : cases) {
        remove_tree(dir_);
        mkdir(dir_.c_str(), 0755);
        for (const auto& [name, text] : c.files) write(name, text);
        DropInfo info;
        std::string error;
        for (const std::string& path : {dir_, dir_ + "/"}) {
            ASSERT_EQ(read_drop_file(path, &info, &error), 0) << error;
            EXPECT_EQ(info.name, c.expect_name);
        }
        // The file itself named directly gives the same.
        ASSERT_EQ(read_drop_file(info.path, &info, &error), 0) << error;
        EXPECT_EQ(info.name, c.expect_name);
    }
}

TEST_F(DropDirectory, FailuresGiveOneLineReasons) {
    DropInfo info;
    std::string error;
    EXPECT_EQ(read_drop_file(dir_, &info, &error), -1);  // empty directory
    EXPECT_NE(error.find(dir_), std::string::npos);
    EXPECT_EQ(read_drop_file(dir_ + "/missing.sys", &info, &error), -1);
    EXPECT_NE(error.find("missing.sys"), std::string::npos);
    write("odd.txt", "1\n2\n3\n");
    EXPECT_EQ(read_drop_file(dir_ + "/odd.txt", &info, &error), -1);
    // A file of another name is recognised by its length.
    write("node1.drop", lines(door32("Real", "Alias"), "\r\n"));
    ASSERT_EQ(read_drop_file(dir_ + "/node1.drop", &info, &error), 0) << error;
    EXPECT_EQ(info.name, "Alias");
}

// CP437 ---------------------------------------------------------------------------------------

TEST(Cp437, KitTableAgreesWithTheCLibrary) {
    // The virtual screen takes 128-255 from iconv, an independent table.
    for (int b = 128; b < 256; ++b) {
        EXPECT_EQ(std::string(cp437_utf8(static_cast<unsigned char>(b))),
                  cp437_glyph(static_cast<unsigned char>(b)))
            << "byte " << b;
    }
    std::string out;
    cp437_to_utf8("\x1b[1;31m\x04\x10\r\n\a\b\tA\xCD", out);
    EXPECT_EQ(out, "\x1b[1;31m♦►\r\n\a\b\tA═");
}

TEST(VirtualScreen, ShowsGlyphsAndAttributes) {
    VirtualScreen screen;
    screen.feed("\x1b[3;5H\x1b[1;33;44mA\x04\x10\x1b[0m\xC9\xCD\xBB");
    EXPECT_EQ(screen.text(2, 4, 6), "A♦►╔═╗");
    EXPECT_TRUE(screen.bold(2, 4));
    EXPECT_EQ(screen.fg(2, 4), 3);
    EXPECT_EQ(screen.bg(2, 5), 4);
    EXPECT_FALSE(screen.bold(2, 7));
    EXPECT_EQ(screen.fg(2, 7), -1);
    EXPECT_EQ(screen.cursor_row(), 2);
    EXPECT_EQ(screen.cursor_col(), 10);
    EXPECT_TRUE(screen.contains("♦►╔"));
}

}  // namespace
