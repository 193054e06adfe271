// Loading a shared library with dlopen.
#include <dlfcn.h>

#include "host_driver.h"

namespace emulated_host {

std::optional<LoadedLibrary> LoadedLibrary::open(const std::string& nameOrPath, std::string& error)
{
    void* handle = dlopen(nameOrPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        error = "cannot load " + nameOrPath + ": " + (reason != nullptr ? reason : "unknown error");
        return std::nullopt;
    }
    return LoadedLibrary(handle);
}

void* LoadedLibrary::symbol(const char* name) const { return dlsym(handle_, name); }

LoadedLibrary::~LoadedLibrary()
{
    if (handle_ != nullptr) {
        dlclose(handle_);
    }
}

std::string mexFileName(const std::string& blockName)
{
#if defined(__APPLE__)
    return blockName + ".mexmaci64";
#elif defined(__x86_64__) || defined(__aarch64__)
    return blockName + ".mexa64";
#else
    return blockName + ".mexglx";
#endif
}

}  // namespace emulated_host
