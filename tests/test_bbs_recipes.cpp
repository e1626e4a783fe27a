// The install recipes of docs/BBS-RECIPES.md and dist/install-xtrn.ini, run as each BBS runs them:
// the command line taken from the recipe, the BBS's substitutions made, its working directory and
// I/O mode (socket with DOOR32.SYS, standard I/O with DOOR.SYS, the two-argument form through a
// wrapper). Each door must sign on, play to the main menu and end cleanly in the game's directory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "vcaller/caller.h"

namespace {

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const std::string& text, mode_t mode = 0600) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    chmod(path.c_str(), mode);
}

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

const std::string& recipes() {
    static const std::string text = read_file(BULLMOOR_SOURCE_DIR "/docs/BBS-RECIPES.md");
    return text;
}

// The value of key in [section] of dist/install-xtrn.ini ("" when absent).
std::string ini_value(const std::string& section, const std::string& key) {
    std::ifstream in(BULLMOOR_SOURCE_DIR "/dist/install-xtrn.ini");
    std::string line;
    std::string current;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] == '[') current = line.substr(1, line.find(']') - 1);
        const size_t equals = line.find('=');
        if (current != section || equals == std::string::npos || line[0] == ';') continue;
        std::string name = line.substr(0, line.find_first_of(" \t="));
        if (name != key) continue;
        const size_t value = line.find_first_not_of(" \t", equals + 1);
        return value == std::string::npos ? "" : line.substr(value);
    }
    return "";
}

// The shell script of the recipes that starts with first_line, up to its closing fence.
std::string recipe_script(const std::string& first_line) {
    const size_t start = recipes().find("#!/bin/sh\n" + first_line);
    if (start == std::string::npos) return "";
    return recipes().substr(start, recipes().find("```", start) - start);
}

struct Places {
    std::string bbs;   // the BBS's own directory: its working directory and node directories
    std::string game;  // /opt/bullmoor of the recipes
};

struct Recipe {
    const char* name;
    Link link;
    DropKind drop;
    bool lower_case_drop;
    // Body of the BBS's launch: what the BBS runs, its substitutions made for the node ("$1"),
    // the node's drop directory ("$2") and the socket ("$3"), in the BBS's working directory.
    std::function<std::string(const Places&)> launch;
};

// Synchronet's command line from the installer's ini, in its start-up directory.
std::string synchronet_launch(const std::string& command, const Places& places) {
    std::string line = replace_all(command, "%#", "\"$1\"");
    line = replace_all(line, "%f", "\"$2/DOOR32.SYS\"");
    line = replace_all(line, "%H", "\"$3\"");
    return "cd '" + places.game + "' || exit 1\nexec " + line + "\n";
}

const Recipe kRecipes[] = {
    {"SynchronetStandardIo", Link::kStdPty, DropKind::kDoor32, false,
     [](const Places& places) {
         EXPECT_EQ(ini_value("prog:BULLMOOR", "type"), "12") << "DOOR32.SYS";
         const int settings = std::stoi(ini_value("prog:BULLMOOR", "settings"));
         EXPECT_EQ(settings, 1 | 4 | 16384) << "multi-user, standard I/O, native";
         EXPECT_EQ(ini_value("event:BMRNIGHT", "cmd"), "./bullmoor-sysop newday");
         return synchronet_launch(ini_value("prog:BULLMOOR", "cmd"), places);
     }},
    {"SynchronetSocket", Link::kSocket, DropKind::kDoor32, false,
     [](const Places& places) {
         const std::string command = "./bullmoor %# %f %H";
         EXPECT_NE(recipes().find("Command Line `" + command + "` and I/O Method Socket"),
                   std::string::npos);
         return synchronet_launch(command, places);
     }},
    {"EnigmaStandardIoDoorSys", Link::kStdPty, DropKind::kDoorSys, false,
     [](const Places& places) {
         for (const char* line :
              {"            dropFileType: DOOR\n", "            cmd: /opt/bullmoor/bullmoor\n",
               "            args: [ \"{node}\", \"{dropFilePath}\" ]\n",
               "            cwd: /opt/bullmoor\n", "            io: stdio\n"}) {
             EXPECT_NE(recipes().find(line), std::string::npos) << line;
         }
         return "cd '" + places.game + "' || exit 1\nexec '" + places.game +
                "/bullmoor' \"$1\" \"$2/DOOR.SYS\"\n";
     }},
    {"MysticWrapperTwoArguments", Link::kStdPipes, DropKind::kDoor32, false,
     [](const Places& places) {
         EXPECT_NE(recipes().find("| Data | `/opt/bullmoor/run.sh %N %P` |"), std::string::npos);
         const std::string script = recipe_script("# /opt/bullmoor/run.sh NODE DROPDIR");
         EXPECT_FALSE(script.empty());
         write_file(places.game + "/run.sh", replace_all(script, "/opt/bullmoor", places.game),
                    0755);
         // Mystic runs the Data line through /bin/sh in its own directory; %P ends in "/".
         return "exec '" + places.game + "/run.sh' \"$1\" \"$2/\"\n";
     }},
    {"TalismanScriptWithTheNodeOnly", Link::kStdPty, DropKind::kDoorSys, true,
     [](const Places& places) {
         EXPECT_NE(recipes().find("data = \"/opt/bullmoor/talisman.sh\""), std::string::npos);
         std::string script = recipe_script("# /opt/bullmoor/talisman.sh NODE");
         EXPECT_FALSE(script.empty());
         script = replace_all(script, "/opt/bullmoor", places.game);
         script = replace_all(script, "/opt/talisman", places.bbs);
         write_file(places.game + "/talisman.sh", script, 0755);
         return "exec '" + places.game + "/talisman.sh' \"$1\"\n";
     }},
};

class BbsRecipe : public ::testing::TestWithParam<Recipe> {
  protected:
    void SetUp() override {
        places_.bbs = make_temp_dir("bbs");
        places_.game = make_temp_dir("game");
        ASSERT_FALSE(places_.bbs.empty() || places_.game.empty());
        ASSERT_EQ(symlink(BULLMOOR_BINARY_DIR "/tests/bullmoor_test",
                          (places_.game + "/bullmoor").c_str()),
                  0);
        for (const char* name :
             {"quonda.new", "quonda.doc", "quonda.ttn", "quonda.tti", "quonda.ttc"}) {
            write_file(places_.game + "/" + name,
                       read_file(std::string(BULLMOOR_SOURCE_DIR "/dist/") + name));
        }
    }
    void TearDown() override {
        remove_tree(places_.bbs);
        remove_tree(places_.game);
    }
    Places places_;
};

// A first visit from the sign-on to the end of the scoring summary.
void play_first_visit(VirtualCaller& caller) {
    constexpr const char* kEnterPrompt = "Press [ENTER] to continue...";
    ASSERT_TRUE(caller.shows("Requires ANSI/VT100 support", 5, 0));
    ASSERT_TRUE(caller.shows(kEnterPrompt, 23, 2));
    caller.type("\r");
    ASSERT_TRUE(caller.shows("Please select graphics mode (0-2): ", 10, 8));
    caller.type("0");
    ASSERT_TRUE(caller.shows(kEnterPrompt, 23, 2));
    caller.type("\r");
    ASSERT_TRUE(caller.shows("Enter desired function (1-3): ", 10, 2));
    caller.type("3\r");
    ASSERT_TRUE(caller.shows(kEnterPrompt, 23, 2));
    caller.type("\r");
    ASSERT_TRUE(caller.shows("PRICE CHANGES SINCE YOU WERE LAST ON", 4, 20));
    caller.type("\r");
    ASSERT_TRUE(caller.shows("MAIN COMMAND MENU", 14, 31));
    caller.type("1");
    ASSERT_TRUE(caller.shows("[+]", 21, 30));
    caller.type("\r");
    ASSERT_TRUE(caller.shows("Sure you want to quit (Y/[N]): ", 23, 2));
    caller.type("y\r");
    ASSERT_TRUE(caller.shows("Press [ENTER] to exit..."));
    caller.type("\r");
}

TEST_P(BbsRecipe, DoorSignsOnAndEndsCleanlyInTheGameDirectory) {
    const Recipe& recipe = GetParam();
    const std::string launcher = places_.bbs + "/launch.sh";
    write_file(launcher, "#!/bin/sh\n" + recipe.launch(places_), 0755);
    ASSERT_FALSE(HasFailure()) << "the recipe is not as the test expects";

    CallerOptions o;
    o.door = launcher;
    o.work_dir = places_.bbs;
    o.link = recipe.link;
    o.drop = recipe.drop;
    o.lower_case_name = recipe.lower_case_drop;
    o.node = 3;
    VirtualCaller caller(o);
    ASSERT_TRUE(caller.start());
    ASSERT_NO_FATAL_FAILURE(play_first_visit(caller));
    EXPECT_EQ(caller.wait_exit(), 0) << caller.stderr_text();
    EXPECT_NE(caller.raw_output().find("Returning to BBS...."), std::string::npos);

    const std::string players = read_file(places_.game + "/quonda.plr");
    EXPECT_EQ(players.size(), 556u);
    EXPECT_EQ(players.substr(0, 12), std::string("TEST CALLER\0", 12));
    EXPECT_NE(read_file(places_.game + "/quonda.bul").find("TEST CALLER"), std::string::npos);
    EXPECT_NE(access((places_.bbs + "/quonda.dat").c_str(), F_OK), 0)
        << "nothing is written in the BBS's directory";
}

INSTANTIATE_TEST_SUITE_P(Recipes, BbsRecipe, ::testing::ValuesIn(kRecipes),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
