// quonda.cfg: five settings read in 79-character pieces, with defaults for what is missing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "data/config.h"

namespace {

// The sysop name as stored: blank-padded to 31 characters.
std::string pad31(const std::string& name) {
    return name + std::string(31 - name.size(), ' ');
}

TEST(Config, ReadsFiveSettingsWithDefaultsForWhatIsMissing) {
    const std::string a79(79, 'a'), m78(78, 'M'), s31(31, 'S'), s40(40, 'S'), s85(85, 'S');
    const struct {
        const char* label;
        std::string file;
        int result;
        std::string bbs, doc, bulletin, sysop, password;
    } cases[] = {
        {"unix, sixth line ignored", "Moor\nbm.doc\nbm.bul\nJane Sysop\nsecret\nf\n", 0, "Moor",
         "bm.doc", "bm.bul", pad31("Jane Sysop"), "secret"},
        {"windows, empty line: no bulletin", "Moor\r\nbm.doc\r\n\r\nJane\r\nx\r\n", 0, "Moor",
         "bm.doc", "", pad31("Jane"), "x"},
        {"no final line end", "a\nb\nc\nd\ne", 0, "a", "b", "c", pad31("d"), "e"},
        {"nothing trimmed", "  # h\n\tx \nc\n d\n\"q\"\n", 0, "  # h", "\tx ", "c", pad31(" d"),
         "\"q\""},
        {"three lines", "a\nb\nc\n", -1, "a", "b", "c", "SYSOP", "GATEKEEP"},
        {"empty", "", -1, "BBS", "quonda.doc", "quonda.bul", "SYSOP", "GATEKEEP"},
        {"sysop cut to 31", "a\nb\nc\n" + s40 + "\ne\n", 0, "a", "b", "c", s31, "e"},
        {"long line spills", a79 + "bbb\nx\ny\nz\nw\n", 0, a79, "bbb", "x", pad31("y"), "z"},
        {"long sysop spills", "a\nb\nc\n" + s85 + "\ne\n", 0, "a", "b", "c", s31, "SSSSSS"},
        {"exactly 79 is one setting whatever the line end",
         a79 + "\n" + a79 + "\r\n" + m78 + "\r\nd\ne\n", 0, a79, a79, m78, pad31("d"), "e"},
    };
    char path[] = "/tmp/bm_config_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        FILE* f = std::fopen(path, "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(c.file.data(), 1, c.file.size(), f);
        std::fclose(f);
        Config config;
        EXPECT_EQ(c.result, read_config(config, path));
        EXPECT_EQ(c.bbs, config.bbs_name);
        EXPECT_EQ(c.doc, config.doc_file);
        EXPECT_EQ(c.bulletin, config.bulletin_file);
        EXPECT_EQ(c.sysop, config.sysop_name);
        EXPECT_EQ(c.password, config.editor_password);
    }
    unlink(path);
}

TEST(Config, MissingFileKeepsTheDefaults) {
    Config config;
    EXPECT_EQ(-2, read_config(config, "/nonexistent/quonda.cfg"));
    EXPECT_STREQ("BBS", config.bbs_name);
    EXPECT_STREQ("GATEKEEP", config.editor_password);
}

}  // namespace
