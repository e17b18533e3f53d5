#include "cli/cli.h"

namespace quorvel::cli {

int runNetwork(const std::string&, const Args&, const GlobalOptions&) { return -1; }

}  // namespace quorvel::cli
