// The export of brindle: rewrites pathdef.m from pathdef.old with the
// package's five folder entries before the "END ENTRIES" line.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#  define BRINDLE_EXPORT __declspec(dllexport)
#  define BRINDLE_CALL __cdecl
#else
#  define BRINDLE_EXPORT __attribute__((visibility("default")))
#  define BRINDLE_CALL
#endif

// `folders` holds the package folder (its first *packageLength characters)
// followed by the folder of pathdef.m, which is empty or ends with a
// backslash. Returns 1 when pathdef.m was written whole, else 0.
extern "C" BRINDLE_EXPORT std::int32_t BRINDLE_CALL SetMatlabPath(std::int32_t reserved, const std::int32_t* packageLength,
                                                                  const char* folders);

namespace brindle {
inline constexpr int stringCapacity = 120;  // bytes of every working string
inline constexpr int maxPackageFolder = 103;
inline constexpr int maxDefinitionFolder = 108;
}  // namespace brindle
