// Loading a shared library with dlopen.
#include <dlfcn.h>
#include <unistd.h>

#include "host_driver.h"

namespace emulated_host {

namespace {

// A bare name is looked for beside the running program first, as a host
// looks in its own folders before the system's; then where an installation
// puts it: the folder above (the Windows package) or ../lib/orvalink.
std::string besideProgram(const std::string& nameOrPath)
{
    if (nameOrPath.find('/') != std::string::npos) {
        return nameOrPath;
    }
    char program[4096];
    const ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
    if (length <= 0) {
        return nameOrPath;
    }
    const std::string path(program, static_cast<std::size_t>(length));
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    for (const char* place : {"", "../", "../lib/orvalink/"}) {
        const std::string candidate = folder + place + nameOrPath;
        if (access(candidate.c_str(), R_OK) == 0) {
            return candidate;
        }
    }
    return nameOrPath;
}

}  // namespace

std::optional<LoadedLibrary> LoadedLibrary::open(const std::string& nameOrPath, std::string& error)
{
    void* handle = dlopen(besideProgram(nameOrPath).c_str(), RTLD_NOW | RTLD_LOCAL);
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
