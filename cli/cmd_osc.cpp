// osc-map: the OSC address space as a text file a tablet layout can be built from.
#include <cstdio>
#include <fstream>
#include <iostream>

#include "cli/cli.h"
#include "osc/osc_map.h"

namespace quorvel::cli {

int runOscMap(const Args& args) {
    if (args.size() > 1) return usageError("osc-map takes at most one FILE");
    const std::string text = osc::OscMap::instance().text();
    if (args.empty() || args[0] == "-") {
        std::cout << text;
        return 0;
    }
    // Written beside and renamed into place, so a layout tool never reads half a map.
    const std::string tmp = args[0] + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            std::remove(tmp.c_str());
            std::cerr << "quorvelctl: cannot write " << args[0] << "\n";
            return 1;
        }
    }
    if (std::rename(tmp.c_str(), args[0].c_str()) != 0) {
        std::remove(tmp.c_str());
        std::cerr << "quorvelctl: cannot write " << args[0] << "\n";
        return 1;
    }
    return 0;
}

} // namespace quorvel::cli
