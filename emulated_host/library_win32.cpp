// Loading a DLL with LoadLibrary.
#include <windows.h>

#include "host_driver.h"

namespace emulated_host {

std::optional<LoadedLibrary> LoadedLibrary::open(const std::string& nameOrPath, std::string& error)
{
    HMODULE handle = LoadLibraryA(nameOrPath.c_str());
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
