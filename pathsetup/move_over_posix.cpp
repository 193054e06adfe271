// POSIX: rename replaces the target in one step.
#include <cstdio>

#include "remove_matlab_path.h"

namespace pathremove {

bool moveOver(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }

}  // namespace pathremove
