// The C runtime's buffered file functions as SetMatlabPath uses them, in
// one table so that a test can make any of them fail.
#pragma once

#include <cstdio>

namespace brindle {

struct FileCalls {
    std::FILE* (*open)(const char* path, const char* mode);
    char* (*getLine)(char* buffer, int size, std::FILE* file);  // fgets
    int (*put)(const char* text, std::FILE* file);              // fputs
    int (*close)(std::FILE* file);
    int (*error)(std::FILE* file);                              // ferror
};

extern FileCalls fileCalls;
extern const FileCalls runtimeFileCalls;

}  // namespace brindle
