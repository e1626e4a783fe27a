// Helpers shared by the fuzz targets: a private scratch directory for files the readers open,
// and a check that stops the run with a message when an invariant breaks.
#pragma once

#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// Fails the run (libFuzzer saves the input) when a property of the code under test is broken.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

// A directory of this process's own under $TMPDIR (or /tmp), made once, for the files the
// readers open (all by full path: the fuzzer keeps its corpus relative to the working directory).
inline const std::string& fuzz_scratch_dir() {
    static const std::string dir = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern =
            std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/bullmoor-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern.data());
        if (made == nullptr) {
            std::perror("scratch directory");
            std::abort();
        }
        return std::string(made);
    }();
    return dir;
}

// Replaces the file name in the scratch directory with the given bytes; returns its path.
inline std::string fuzz_write_file(const char* name, const uint8_t* data, size_t size) {
    const std::string path = fuzz_scratch_dir() + "/" + name;
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        std::perror(path.c_str());
        std::abort();
    }
    if (size > 0 && std::fwrite(data, 1, size, out) != size) std::abort();
    std::fclose(out);
    return path;
}
