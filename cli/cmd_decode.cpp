#include "cli/cli.h"

namespace quorvel::cli {

int runDecode(const Args&) { return usageError("decode: not built yet"); }

}  // namespace quorvel::cli
