// Drop files that a BBS writes for a door: DOOR32.SYS, DOOR.SYS and DORINFO1.DEF, given as a file
// or as the directory that holds one (any letter case, CR LF or LF line ends).
#pragma once

#include <string>

enum class DropFormat { kDoor32, kDoorSys, kDorinfo };

struct DropInfo {
    DropFormat format = DropFormat::kDoor32;
    std::string path;  // the file actually read
    std::string name;  // alias when the file has one, else the real name
    int security = 0;  // security level
    int minutes = 0;   // minutes left
    int node = 0;      // node number, 0 when the file has none
    bool ansi = true;  // the caller's terminal takes ANSI
};

// Reads the drop file at path (a file, or a directory searched for door32.sys, door.sys and
// dorinfo1.def in that order). Returns 0, or -1 with a one-line reason in error.
int read_drop_file(const std::string& path, DropInfo* info, std::string* error);

// Parses the text of a drop file of a known format; -1 with a reason when lines are missing.
int parse_drop_file(DropFormat format, const std::string& text, DropInfo* info, std::string* error);
