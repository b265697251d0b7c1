// Our dump tool and Debian's gigdump (an independent reader, run as a black
// box) must agree on every written test bank: instrument names, region counts
// and sample counts. Skipped when gigdump is not installed.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "gig/GigFixtures.h"
#include "support/TestSupport.h"

namespace {

struct Summary {
    int samples = -1;
    std::vector<std::string> names;
    std::vector<int> regions;
};

std::string RunCommand(const std::string& command)
{
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p)
        return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), p)) > 0)
        out.append(buf, n);
    ::pclose(p);
    return out;
}

std::string Quote(const std::string& s)
{
    return "'" + s + "'";
}

Summary ParseGigdump(const std::string& text)
{
    Summary s;
    s.samples = 0;
    std::istringstream in(text);
    std::string line;
    const std::regex sample(R"re(^    Sample \d+\) )re");
    const std::regex instrument(R"re(^    Instrument \d+\) "(.*)",)re");
    const std::regex region(R"re(^        Region \d+\) )re");
    std::smatch m;
    while (std::getline(in, line)) {
        if (std::regex_search(line, sample)) {
            ++s.samples;
        } else if (std::regex_search(line, m, instrument)) {
            s.names.push_back(m[1]);
            s.regions.push_back(0);
        } else if (std::regex_search(line, region) && !s.regions.empty()) {
            ++s.regions.back();
        }
    }
    return s;
}

Summary ParseGigprint(const std::string& text)
{
    Summary s;
    std::istringstream in(text);
    std::string line;
    const std::regex samples(R"re(^Samples: (\d+))re");
    const std::regex instrument(R"re(^Instrument \d+\) "(.*)" regions=(\d+))re");
    std::smatch m;
    while (std::getline(in, line)) {
        if (std::regex_search(line, m, samples))
            s.samples = std::stoi(m[1]);
        else if (std::regex_search(line, m, instrument)) {
            s.names.push_back(m[1]);
            s.regions.push_back(std::stoi(m[2]));
        }
    }
    return s;
}

}  // namespace

TEST(GigDumpAgreement, NamesRegionsAndSamplesAgreeOnEveryFixture)
{
    if (std::system("command -v gigdump >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "gigdump is not installed";
    // The build folder: from the environment, else two levels above this program.
    std::string build;
    if (const char* bin = std::getenv("KIV_TEST_BINARY_DIR")) {
        build = bin;
    } else {
        char self[4096] = {};
        if (::readlink("/proc/self/exe", self, sizeof(self) - 1) > 0) {
            build = self;
            build = build.substr(0, build.rfind('/'));
            build = build.substr(0, build.rfind('/'));
        }
    }
    const std::string gigprint = build + "/tools/gigprint";
    if (std::system(("test -x " + Quote(gigprint)).c_str()) != 0)
        GTEST_SKIP() << "gigprint is not built";

    kivtest::TempDir dir;
    const std::vector<std::string> files = gigtools::WriteAllFixtures(dir.Path());
    ASSERT_FALSE(files.empty());
    for (const std::string& path : files) {
        const Summary theirs = ParseGigdump(RunCommand("gigdump " + Quote(path) + " 2>&1"));
        const Summary ours = ParseGigprint(RunCommand(Quote(gigprint) + " " + Quote(path) + " --toc"));
        ASSERT_FALSE(ours.names.empty()) << path;
        EXPECT_EQ(ours.samples, theirs.samples) << path;
        EXPECT_EQ(ours.names, theirs.names) << path;
        EXPECT_EQ(ours.regions, theirs.regions) << path;
        // Every instrument also loads.
        EXPECT_EQ(std::system((Quote(gigprint) + " " + Quote(path) + " >/dev/null").c_str()), 0) << path;
    }
}
