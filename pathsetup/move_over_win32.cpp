// Windows: MoveFileEx replaces the target; rename does not. A read-only
// target refuses, which keeps a read-only pathdef.m as it is.
#include <windows.h>

#include "remove_matlab_path.h"

namespace pathremove {

bool moveOver(const std::string& from, const std::string& to)
{
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace pathremove
