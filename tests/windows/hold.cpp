// Holds something the way another program would, until its standard input
// closes: `hold file PATH` keeps PATH open for reading, sharing it for
// reading only, as a host that loaded a DLL does; `hold mutex NAME` owns the
// named mutex. Prints "held" once it holds.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: hold file PATH | hold mutex NAME\n");
        return 2;
    }
    HANDLE handle = nullptr;
    if (std::strcmp(argv[1], "file") == 0) {
        handle = CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        handle = handle == INVALID_HANDLE_VALUE ? nullptr : handle;
    } else if (std::strcmp(argv[1], "mutex") == 0) {
        handle = CreateMutexA(nullptr, TRUE, argv[2]);
    }
    if (handle == nullptr) {
        std::fprintf(stderr, "hold: cannot hold %s %s (error %lu)\n", argv[1], argv[2], GetLastError());
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    CloseHandle(handle);
    return 0;
}
