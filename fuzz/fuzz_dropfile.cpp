// Drop files of all three formats. The first byte picks how the rest is read: parsed as
// DOOR32.SYS, DOOR.SYS or DORINFO1.DEF, or written to a file and read from its directory under
// that format's name, or from a file of an unknown name (format told by the line count).
#include <sys/stat.h>

#include <string>

#include "doorkit/dropfile.h"
#include "fuzz_common.h"

namespace {

constexpr DropFormat kFormats[] = {DropFormat::kDoor32, DropFormat::kDoorSys, DropFormat::kDorinfo};
constexpr const char* kFileNames[] = {"DOOR32.SYS", "door.sys", "DorInfo1.Def"};

// A name read from a drop file is text for screens and files: never empty, never a control
// character, no line end.
void check_result(int result, const DropInfo& info, const std::string& error) {
    FUZZ_CHECK(result == 0 || result == -1);
    if (result != 0) {
        FUZZ_CHECK(!error.empty());
        return;
    }
    FUZZ_CHECK(!info.name.empty());
    for (char c : info.name) {
        const auto byte = static_cast<unsigned char>(c);
        FUZZ_CHECK(byte >= 0x20 && byte != 0x7F);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const int choice = data[0] % 7;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    DropInfo info;
    std::string error;
    if (choice < 3) {
        check_result(parse_drop_file(kFormats[choice], text, &info, &error), info, error);
        return 0;
    }
    const std::string dir = fuzz_scratch_dir() + "/drop";
    mkdir(dir.c_str(), 0700);
    if (choice < 6) {
        const std::string name = std::string("drop/") + kFileNames[choice - 3];
        const std::string path = fuzz_write_file(name.c_str(), data + 1, size - 1);
        check_result(read_drop_file(dir, &info, &error), info, error);
        std::remove(path.c_str());
    } else {
        const std::string path = fuzz_write_file("drop/node7.drop", data + 1, size - 1);
        check_result(read_drop_file(path, &info, &error), info, error);
        std::remove(path.c_str());
    }
    return 0;
}
