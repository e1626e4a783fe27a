// The install recipes of docs/BBS-RECIPES.md and dist/install-xtrn.ini run as each BBS runs them:
// each door must sign on, play to the main menu and end cleanly in the game's directory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>

#include "vcaller/caller.h"

namespace {

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

struct Recipe {
    const char* name;
    Link link;
    DropKind drop;
    bool lower_case_drop;
    const char* documented;  // what the recipes or the installer's ini say, word for word
    const char* script;      // the recipes' script the BBS runs, or nullptr
    // The BBS's launch with its substitutions made for the node ("$1"), the node's drop directory
    // ("$2") and the socket ("$3"); /opt/bullmoor is the game's directory.
    const char* launch;
};

void PrintTo(const Recipe& recipe, std::ostream* out) {
    *out << recipe.name;
}

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
    {"MysticWrapperTwoArguments", Link::kStdPipes, DropKind::kDoor32, false,
     "| Data | `/opt/bullmoor/run.sh %N %P` |", "/opt/bullmoor/run.sh",
     "exec /opt/bullmoor/run.sh \"$1\" \"$2/\"\n"},
    {"TalismanScriptWithTheNodeOnly", Link::kStdPty, DropKind::kDoorSys, true,
     "data = \"/opt/bullmoor/talisman.sh\"", "/opt/bullmoor/talisman.sh",
     "exec /opt/bullmoor/talisman.sh \"$1\"\n"},
};

// A first visit from the sign-on to the end of the scoring summary: each text awaited where it
// shows (row and column; -1: anywhere), then the keys typed.
constexpr std::tuple<const char*, int, int, const char*> kFirstVisit[] = {
    {"Requires ANSI/VT100 support", 5, 0, ""},
    {"Press [ENTER] to continue...", 23, 2, "\r"},
    {"Please select graphics mode (0-2): ", 10, 8, "0"},
    {"Press [ENTER] to continue...", 23, 2, "\r"},
    {"Enter desired function (1-3): ", 10, 2, "3\r"},
    {"Press [ENTER] to continue...", 23, 2, "\r"},
    {"PRICE CHANGES SINCE YOU WERE LAST ON", 4, 20, "\r"},
    {"MAIN COMMAND MENU", 14, 31, "1"},
    {"[+]", 21, 30, "\r"},
    {"Sure you want to quit (Y/[N]): ", 23, 2, "y\r"},
    {"Press [ENTER] to exit...", -1, -1, "\r"},
};

// /opt/bullmoor and /opt/talisman of the recipes are here the game's and the BBS's directories;
// the BBS starts the door from its own directory, where it keeps the node directories.
class BbsRecipe : public ::testing::TestWithParam<Recipe> {
  protected:
    void SetUp() override { ASSERT_FALSE(bbs_.empty() || game_.empty()); }
    void TearDown() override {
        remove_tree(bbs_);
        remove_tree(game_);
    }
    // Writes a script of the recipes at its path, both with the directories put in place.
    void install(const std::string& path, const std::string& script) const {
        auto placed = [this](const std::string& text) {
            return replace_all(replace_all(text, "/opt/bullmoor", game_), "/opt/talisman", bbs_);
        };
        std::ofstream(placed(path), std::ios::binary) << placed(script);
        chmod(placed(path).c_str(), 0755);
    }
    std::string bbs_ = make_temp_dir("bbs");
    std::string game_ = make_temp_dir("game");
};

TEST_P(BbsRecipe, DoorSignsOnAndEndsCleanlyInTheGameDirectory) {
    const Recipe& recipe = GetParam();
    const std::string guide = read_file(BULLMOOR_SOURCE_DIR "/docs/BBS-RECIPES.md") +
                              read_file(BULLMOOR_SOURCE_DIR "/dist/install-xtrn.ini");
    ASSERT_NE(guide.find(recipe.documented), std::string::npos) << recipe.documented;
    if (recipe.script != nullptr) {
        const size_t start = guide.find(std::string("#!/bin/sh\n# ") + recipe.script + " ");
        ASSERT_NE(start, std::string::npos) << recipe.script;
        install(recipe.script, guide.substr(start, guide.find("```", start) - start));
    }
    install("/opt/talisman/launch.sh", std::string("#!/bin/sh\n") + recipe.launch);
    ASSERT_EQ(symlink(BULLMOOR_BINARY_DIR "/tests/bullmoor_test", (game_ + "/bullmoor").c_str()),
              0);
    for (const char* name : {"quonda.new", "quonda.doc", "quonda.ttn", "quonda.tti", "quonda.ttc"})
        std::filesystem::copy_file(std::string(BULLMOOR_SOURCE_DIR "/dist/") + name,
                                   game_ + "/" + name);

    CallerOptions o;
    o.door = bbs_ + "/launch.sh";
    o.work_dir = bbs_;
    o.link = recipe.link;
    o.drop = recipe.drop;
    o.lower_case_name = recipe.lower_case_drop;
    o.node = 3;
    VirtualCaller caller(o);
    ASSERT_TRUE(caller.start());
    for (const auto& [text, row, col, keys] : kFirstVisit) {
        ASSERT_TRUE(caller.shows(text, row, col));
        caller.type(keys);
    }
    EXPECT_EQ(caller.wait_exit(), 0) << caller.stderr_text();
    EXPECT_EQ(read_file(game_ + "/quonda.plr").substr(0, 12), std::string("TEST CALLER\0", 12));
    EXPECT_NE(access((bbs_ + "/quonda.dat").c_str(), F_OK), 0) << "nothing is written in the BBS's";
}

INSTANTIATE_TEST_SUITE_P(Recipes, BbsRecipe, ::testing::ValuesIn(kRecipes),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
