// Drop-file reading for the three formats BBS packages write.
#include "doorkit/dropfile.h"

#include <dirent.h>
#include <sys/stat.h>

#include <strings.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

struct KnownName {
    const char* name;
    DropFormat format;
};
// Looked for in this order when the path is a directory.
constexpr KnownName kKnownNames[] = {
    {"door32.sys", DropFormat::kDoor32},
    {"door.sys", DropFormat::kDoorSys},
    {"dorinfo1.def", DropFormat::kDorinfo},
};

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (c != '\r') {
            line.push_back(c);
        }
    }
    if (!line.empty()) lines.push_back(line);
    for (auto& l : lines) {
        while (!l.empty() && (l.back() == ' ' || l.back() == '\t')) l.pop_back();
        size_t start = 0;
        while (start < l.size() && (l[start] == ' ' || l[start] == '\t')) ++start;
        l.erase(0, start);
    }
    return lines;
}

int number(const std::string& text) {
    return static_cast<int>(std::strtol(text.c_str(), nullptr, 10));
}

// Node from DOOR.SYS line 4, which some packages write as "1" and others as "COM1:"-like text.
int leading_number(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] < '0' || text[i] > '9')) ++i;
    return i < text.size() ? number(text.substr(i)) : 0;
}

bool format_from_name(const std::string& path, DropFormat* format) {
    size_t slash = path.find_last_of('/');
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    for (const auto& known : kKnownNames) {
        if (strcasecmp(base.c_str(), known.name) == 0) {
            *format = known.format;
            return true;
        }
    }
    if (base.size() == 12 && strncasecmp(base.c_str(), "dorinfo", 7) == 0 &&
        strcasecmp(base.c_str() + 8, ".def") == 0) {
        *format = DropFormat::kDorinfo;  // DORINFOn.DEF for node n
        return true;
    }
    return false;
}

// For a file of another name: the line count tells the formats apart.
bool format_from_text(const std::string& text, DropFormat* format) {
    size_t lines = split_lines(text).size();
    if (lines >= 20)
        *format = DropFormat::kDoorSys;
    else if (lines >= 13)
        *format = DropFormat::kDorinfo;
    else if (lines >= 11)
        *format = DropFormat::kDoor32;
    else
        return false;
    return true;
}

bool find_in_directory(const std::string& dir, std::string* found, DropFormat* format) {
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) return false;
    std::vector<std::string> names;
    while (dirent* entry = readdir(d)) names.emplace_back(entry->d_name);
    closedir(d);
    for (const auto& known : kKnownNames) {
        for (const auto& name : names) {
            if (strcasecmp(name.c_str(), known.name) == 0) {
                *found = dir + (dir.back() == '/' ? "" : "/") + name;
                *format = known.format;
                return true;
            }
        }
    }
    return false;
}

}  // namespace

int parse_drop_file(DropFormat format, const std::string& text, DropInfo* info,
                    std::string* error) {
    std::vector<std::string> lines = split_lines(text);
    auto line = [&](size_t n) -> const std::string& { return lines[n - 1]; };  // one-based
    size_t needed = format == DropFormat::kDoor32 ? 11 : format == DropFormat::kDoorSys ? 20 : 12;
    if (lines.size() < needed) {
        *error = "drop file " + info->path + " has " + std::to_string(lines.size()) +
                 " lines, needs " + std::to_string(needed);
        return -1;
    }
    info->format = format;
    switch (format) {
        case DropFormat::kDoor32:
            info->name = line(7).empty() ? line(6) : line(7);
            info->security = number(line(8));
            info->minutes = number(line(9));
            info->ansi = number(line(10)) != 0;
            info->node = number(line(11));
            break;
        case DropFormat::kDoorSys:
            info->name = lines.size() >= 36 && !line(36).empty() ? line(36) : line(10);
            info->security = number(line(15));
            info->minutes = number(line(19));
            info->ansi = strcasecmp(line(20).c_str(), "GR") == 0;
            info->node = leading_number(line(4));
            break;
        case DropFormat::kDorinfo:
            info->name = line(8).empty() || line(8) == "NLN" ? line(7) : line(7) + " " + line(8);
            info->security = number(line(11));
            info->minutes = number(line(12));
            info->ansi = number(line(10)) != 0;
            info->node = 0;
            break;
    }
    // The name goes to screens, the bulletin and the logs: control characters are dropped.
    std::erase_if(info->name, [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
    if (info->name.empty()) {
        *error = "drop file " + info->path + " names no caller";
        return -1;
    }
    return 0;
}

int read_drop_file(const std::string& path, DropInfo* info, std::string* error) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        *error = "cannot open drop file " + path + ": " + std::strerror(errno);
        return -1;
    }
    DropFormat format = DropFormat::kDoor32;
    std::string file = path;
    bool known = false;
    if (S_ISDIR(st.st_mode)) {
        if (!find_in_directory(path, &file, &format)) {
            *error = "no door32.sys, door.sys or dorinfo1.def in " + path;
            return -1;
        }
        known = true;
    } else {
        known = format_from_name(path, &format);
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        *error = "cannot open drop file " + file + ": " + std::strerror(errno);
        return -1;
    }
    std::stringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        *error = "cannot read drop file " + file;
        return -1;
    }
    info->path = file;
    if (!known && !format_from_text(text.str(), &format)) {
        *error = "drop file " + file + " is of no known format";
        return -1;
    }
    return parse_drop_file(format, text.str(), info, error);
}
