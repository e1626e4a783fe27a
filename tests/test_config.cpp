// quonda.cfg: five settings read in 79-character pieces, with defaults for what is missing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "data/config.h"

namespace {

class ConfigTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(getcwd(saved_, sizeof saved_), nullptr);
        char tmpl[] = "/tmp/bm_config_XXXXXX";
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

struct ConfigCase {
    const char* label;
    std::string file;
    int result;
    std::string bbs, doc, bulletin, sysop, password;
};

// The sysop name as stored: blank-padded to 31 characters.
std::string pad31(const std::string& name) {
    return name + std::string(31 - name.size(), ' ');
}

const std::string k79(79, 'L');
const std::string k78(78, 'M');
const std::string k100 = std::string(79, 'a') + std::string(21, 'b');

class ConfigFileTest : public ConfigTest, public ::testing::WithParamInterface<ConfigCase> {};
void PrintTo(const ConfigCase& c, std::ostream* os) {
    *os << c.label;
}

TEST_P(ConfigFileTest, ReadsTheSettings) {
    const ConfigCase& c = GetParam();
    FILE* f = std::fopen("quonda.cfg", "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(c.file.data(), 1, c.file.size(), f);
    std::fclose(f);

    Config config;
    EXPECT_EQ(read_config(config), c.result);
    EXPECT_EQ(config.bbs_name, c.bbs);
    EXPECT_EQ(config.doc_file, c.doc);
    EXPECT_EQ(config.bulletin_file, c.bulletin);
    EXPECT_EQ(config.sysop_name, c.sysop);
    EXPECT_EQ(config.editor_password, c.password);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ConfigFileTest,
    ::testing::Values(
        ConfigCase{"Unix", "Moor BBS\nbm.doc\nbm.bul\nJane Sysop\nsecret\n", 0, "Moor BBS",
                   "bm.doc", "bm.bul", pad31("Jane Sysop"), "secret"},
        ConfigCase{"Windows", "Moor BBS\r\nbm.doc\r\nbm.bul\r\nJane Sysop\r\nsecret\r\n", 0,
                   "Moor BBS", "bm.doc", "bm.bul", pad31("Jane Sysop"), "secret"},
        ConfigCase{"NoFinalLineEnd", "a\nb\nc\nd\ne", 0, "a", "b", "c", pad31("d"), "e"},
        ConfigCase{"LinesAfterTheFifthIgnored", "a\nb\nc\nd\ne\nf\ng\n", 0, "a", "b", "c",
                   pad31("d"), "e"},
        ConfigCase{"NothingTrimmed", "  # hash\n\tx \nc\n d\n\"q\"\n", 0, "  # hash", "\tx ", "c",
                   pad31(" d"), "\"q\""},
        ConfigCase{"ThreeLines", "Moor BBS\nbm.doc\nbm.bul\n", -1, "Moor BBS", "bm.doc", "bm.bul",
                   "SYSOP", "GATEKEEP"},
        ConfigCase{"FourLines", "a\nb\nc\nd\n", -1, "a", "b", "c", pad31("d"), "GATEKEEP"},
        ConfigCase{"Empty", "", -1, "BBS", "quonda.doc", "quonda.bul", "SYSOP", "GATEKEEP"},
        ConfigCase{"EmptyThirdLineMeansNoBulletin", "a\nb\n\nd\ne\n", 0, "a", "b", "", pad31("d"),
                   "e"},
        ConfigCase{"EmptyLineWindows", "a\r\nb\r\n\r\nd\r\ne\r\n", 0, "a", "b", "", pad31("d"),
                   "e"},
        ConfigCase{"SysopNameCutTo31", "a\nb\nc\n" + std::string(40, 'S') + "\ne\n", 0, "a", "b",
                   "c", std::string(31, 'S'), "e"},
        ConfigCase{"LongLineSpillsIntoTheNextSetting", k100 + "\nx\ny\nz\nw\n", 0,
                   std::string(79, 'a'), std::string(21, 'b'), "x", pad31("y"), "z"},
        ConfigCase{"LongLineWindows", k100 + "\r\nx\r\ny\r\nz\r\nw\r\n", 0, std::string(79, 'a'),
                   std::string(21, 'b'), "x", pad31("y"), "z"},
        ConfigCase{"LongSysopSpillsIntoThePassword", "a\nb\nc\n" + std::string(85, 'S') + "\ne\n",
                   0, "a", "b", "c", std::string(31, 'S'), "SSSSSS"},
        // A line of exactly 79 characters is one setting whatever its line end.
        ConfigCase{"Exactly79", k79 + "\n" + k79 + "\r\n" + k78 + "\r\nd\ne\n", 0, k79, k79, k78,
                   pad31("d"), "e"}),
    [](const ::testing::TestParamInfo<ConfigCase>& info) { return std::string(info.param.label); });

TEST_F(ConfigTest, MissingFileKeepsTheDefaults) {
    Config config;
    EXPECT_EQ(read_config(config), -2);
    EXPECT_STREQ(config.bbs_name, "BBS");
    EXPECT_STREQ(config.doc_file, "quonda.doc");
    EXPECT_STREQ(config.bulletin_file, "quonda.bul");
    EXPECT_STREQ(config.sysop_name, "SYSOP");
    EXPECT_STREQ(config.editor_password, "GATEKEEP");
}

}  // namespace
