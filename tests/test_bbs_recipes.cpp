// The launches of docs/BBS-RECIPES.md and dist/install-xtrn.ini, each run as its BBS runs it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <tuple>

#include "vcaller/caller.h"

namespace {

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Name, link, drop file (lower-case name?), the recipes' words, the script run if any, and the
// BBS's launch with its substitutions: node ("$1"), drop directory ("$2") and socket ("$3").
using Recipe = std::tuple<const char*, Link, DropKind, bool, const char*, const char*, const char*>;

const Recipe kRecipes[] = {
    {"SynchronetStandardIo", Link::kStdPty, DropKind::kDoor32, false,
     "cmd           = ./bullmoor %# %f\nsettings      = 16389\ntype          = 12\n", nullptr,
     "cd /opt/bullmoor || exit 1\nexec ./bullmoor \"$1\" \"$2/DOOR32.SYS\"\n"},
    {"SynchronetSocket", Link::kSocket, DropKind::kDoor32, false,
     "Command Line `./bullmoor %# %f %H` and I/O Method Socket", nullptr,
     "cd /opt/bullmoor || exit 1\nexec ./bullmoor \"$1\" \"$2/DOOR32.SYS\" \"$3\"\n"},
    {"EnigmaStandardIoDoorSys", Link::kStdPty, DropKind::kDoorSys, false,
     "dropFileType: DOOR\n            cmd: /opt/bullmoor/bullmoor\n"
     "            args: [ \"{node}\", \"{dropFilePath}\" ]\n"
     "            cwd: /opt/bullmoor\n            io: stdio\n",
     nullptr, "cd /opt/bullmoor || exit 1\nexec /opt/bullmoor/bullmoor \"$1\" \"$2/DOOR.SYS\"\n"},
    // Mystic runs the Data line through /bin/sh in its own directory; %P ends in "/".
    {"MysticWrapper", Link::kStdPipes, DropKind::kDoor32, false,
     "| Data | `/opt/bullmoor/run.sh %N %P` |", "/opt/bullmoor/run.sh",
     "exec /opt/bullmoor/run.sh \"$1\" \"$2/\"\n"},
    {"TalismanNodeOnly", Link::kStdPty, DropKind::kDoorSys, true,
     "data = \"/opt/bullmoor/talisman.sh\"", "/opt/bullmoor/talisman.sh",
     "exec /opt/bullmoor/talisman.sh \"$1\"\n"},
};

// A first visit to the end, each text awaited where it shows (-1: anywhere), then keys typed.
// clang-format off
constexpr std::tuple<const char*, int, int, const char*> kFirstVisit[] = {
    {"Requires ANSI", 5, 0, ""}, {"Press [ENTER]", 23, 2, "\r"}, {"select graphics", 10, 15, "0"},
    {"Press [ENTER]", 23, 2, "\r"}, {"Enter desired", 10, 2, "3\r"}, {"Press [ENTER]", 23, 2, "\r"},
    {"PRICE CHANGES SINCE", 4, 20, "\r"}, {"MAIN COMMAND MENU", 14, 31, "1"}, {"[+]", 21, 30, "\r"},
    {"Sure you want to quit", 23, 2, "y\r"}, {"Press [ENTER] to exit...", -1, -1, "\r"}};
// clang-format on

// The recipes' /opt/bullmoor and /opt/talisman: here the game's and the BBS's directories.
class BbsRecipe : public ::testing::TestWithParam<Recipe> {
  protected:
    void TearDown() override {
        for (const std::string& dir : {bbs_, game_}) remove_tree(dir);
    }
    void install(std::string path, std::string script) const {
        for (std::string* text : {&path, &script}) {
            *text = std::regex_replace(*text, std::regex("/opt/bullmoor"), game_);
            *text = std::regex_replace(*text, std::regex("/opt/talisman"), bbs_);
        }
        std::ofstream(path, std::ios::binary) << script;
        chmod(path.c_str(), 0755);
    }
    const std::string bbs_ = make_temp_dir("bbs"), game_ = make_temp_dir("game");
};

TEST_P(BbsRecipe, DoorSignsOnAndEndsCleanlyInTheGameDirectory) {
    const auto& [name, link, drop, lower_case_drop, documented, script, launch] = GetParam();
    const std::string guide = read_file(BULLMOOR_SOURCE_DIR "/docs/BBS-RECIPES.md") +
                              read_file(BULLMOOR_SOURCE_DIR "/dist/install-xtrn.ini");
    ASSERT_NE(guide.find(documented), std::string::npos) << documented;
    if (script != nullptr) {
        const size_t start = guide.find(std::string("#!/bin/sh\n# ") + script + " ");
        ASSERT_NE(start, std::string::npos) << script;
        install(script, guide.substr(start, guide.find("```", start) - start));
    }
    install("/opt/talisman/launch.sh", std::string("#!/bin/sh\n") + launch);
    std::filesystem::create_symlink(BULLMOOR_BINARY_DIR "/tests/bullmoor_test",
                                    game_ + "/bullmoor");
    std::filesystem::copy(BULLMOOR_SOURCE_DIR "/dist", game_);  // the texts the game shows

    CallerOptions o;
    o.door = bbs_ + "/launch.sh";
    o.work_dir = bbs_;
    o.link = link;
    o.drop = drop;
    o.lower_case_name = lower_case_drop;
    VirtualCaller caller(o);
    ASSERT_TRUE(caller.start());
    for (const auto& [text, row, col, keys] : kFirstVisit) {
        ASSERT_TRUE(caller.shows(text, row, col));
        caller.type(keys);
    }
    EXPECT_EQ(caller.wait_exit(), 0) << caller.stderr_text();
    EXPECT_EQ(read_file(game_ + "/quonda.plr").substr(0, 12), std::string("TEST CALLER\0", 12));
    EXPECT_FALSE(std::filesystem::exists(bbs_ + "/quonda.dat")) << "nothing written in the BBS's";
}

INSTANTIATE_TEST_SUITE_P(Recipes, BbsRecipe, ::testing::ValuesIn(kRecipes),
                         [](const auto& info) { return std::string(std::get<0>(info.param)); });

}  // namespace
