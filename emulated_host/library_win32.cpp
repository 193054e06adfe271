// Loading a DLL with LoadLibrary.
#include <windows.h>

#include "host_driver.h"

namespace emulated_host {

namespace {

// A bare name is looked for beside the running program, then in the folder
// above it: the installed package keeps the MEX file in the package folder
// and the programs (with this host's libmx and libmex) in a subfolder.
std::string besideProgram(const std::string& nameOrPath)
{
    if (nameOrPath.find_first_of("/\\:") != std::string::npos) {
        return nameOrPath;
    }
    char program[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    if (length == 0 || length >= sizeof program) {
        return nameOrPath;
    }
    const std::string path(program, length);
    const std::string folder = path.substr(0, path.find_last_of("\\/") + 1);
    for (const char* place : {"", "..\\"}) {
        const std::string candidate = folder + place + nameOrPath;
        if (GetFileAttributesA(candidate.c_str()) != INVALID_FILE_ATTRIBUTES) {
            return candidate;
        }
    }
    return nameOrPath;
}

}  // namespace

std::optional<LoadedLibrary> LoadedLibrary::open(const std::string& nameOrPath, std::string& error)
{
    HMODULE handle = LoadLibraryA(besideProgram(nameOrPath).c_str());
    if (handle == nullptr) {
        error = "cannot load " + nameOrPath + ": error " + std::to_string(GetLastError());
        return std::nullopt;
    }
    return LoadedLibrary(reinterpret_cast<void*>(handle));
}

void* LoadedLibrary::symbol(const char* name) const
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

LoadedLibrary::~LoadedLibrary()
{
    if (handle_ != nullptr) {
        FreeLibrary(static_cast<HMODULE>(handle_));
    }
}

std::string mexFileName(const std::string& blockName) { return blockName + ".dll"; }

}  // namespace emulated_host
