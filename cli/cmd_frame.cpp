#include "cli/cli.h"

namespace quorvel::cli {

int runFrame(const Args&) { return usageError("frame: not built yet"); }
int runCheck(const Args&) { return usageError("check: not built yet"); }

}  // namespace quorvel::cli
