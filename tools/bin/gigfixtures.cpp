// gigfixtures <outdir>: writes the named test banks (GigFixtures.h) into a
// folder and lists them. Test tooling.
#include <cstdio>
#include <sys/stat.h>

#include "gig/GigFixtures.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: gigfixtures <outdir>\n");
        return 2;
    }
    const std::string folder = argv[1];
    struct stat st {};
    if (stat(folder.c_str(), &st) != 0 && mkdir(folder.c_str(), 0755) != 0) {
        std::fprintf(stderr, "gigfixtures: cannot create %s\n", folder.c_str());
        return 1;
    }
    for (const gigtools::GigFixture& f : gigtools::AllFixtures()) {
        const std::string path = folder + "/" + f.stem + ".gig";
        if (!f.bank.Write(path)) {
            std::fprintf(stderr, "gigfixtures: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s: %s\n", path.c_str(), f.description.c_str());
    }
    return 0;
}
