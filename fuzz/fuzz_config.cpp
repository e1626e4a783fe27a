// quonda.cfg: any bytes written to the file and read with read_config.
#include <cstring>

#include "data/config.h"
#include "fuzz_common.h"

namespace {

// A setting is a terminated text of at most width characters without a line end.
void check_setting(const char* value, size_t width) {
    const size_t length = strnlen(value, kSettingSize);
    FUZZ_CHECK(length < static_cast<size_t>(kSettingSize));
    FUZZ_CHECK(length <= width);
    FUZZ_CHECK(std::strpbrk(value, "\r\n") == nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz_write_file("quonda.cfg", data, size);
    Config config;
    const int result = read_config(config, path.c_str());
    FUZZ_CHECK(result == 0 || result == -1);
    check_setting(config.bbs_name, 79);
    check_setting(config.doc_file, 79);
    check_setting(config.bulletin_file, 79);
    check_setting(config.sysop_name, 31);
    check_setting(config.editor_password, 79);
    // All five lines read: the sysop name was padded to its full width.
    if (result == 0) FUZZ_CHECK(std::strlen(config.sysop_name) == 31);
    return 0;
}
