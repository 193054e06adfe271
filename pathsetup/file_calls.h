// The C runtime's buffered file functions as SetMatlabPath uses them, in
// one table so that a test can make any of them fail.
#pragma once

#include <cstdio>

namespace brindle {

struct FileCalls {
    std::FILE* (*open)(const char* path, const char* mode);
    char* (*getLine)(char* buffer, int size, std::FILE* file);  // fgets
    std::size_t (*write)(const void* data, std::size_t size, std::size_t count, std::FILE* file);  // fwrite
    int (*close)(std::FILE* file);
    int (*error)(std::FILE* file);                              // ferror
};

extern FileCalls fileCalls;
extern const FileCalls runtimeFileCalls;

}  // namespace brindle
