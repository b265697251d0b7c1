// The folder walker every search shares: how deep a derived walk goes when it
// caps the depth, and a stop that ends every open folder at once.
#include "kiv/file/Scan.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

namespace {

// Walks sub-folders while Depth() is below its cap and stops after a number
// of files; remembers every file it was offered.
class CappedWalk : public file::Scan {
public:
    CappedWalk(int maxDepth, size_t stopAfter) : m_maxDepth(maxDepth), m_stopAfter(stopAfter) {}
    std::vector<std::string> files;

protected:
    void EnterDirectory(const char*, const char*, const char* fullPath) override
    {
        if (Depth() < m_maxDepth)
            Walk(fullPath);
    }
    void OnFile(const char*, const char* name, const char*) override { files.push_back(name); }
    bool StopWalk() override { return files.size() >= m_stopAfter; }

private:
    int m_maxDepth;
    size_t m_stopAfter;
};

}  // namespace

TEST(Scan, DepthCapsTheWalkAndAStopEndsEveryOpenFolder)
{
    // A chain of folders, one file at each level: f0 at the top, f4 four
    // folders below it.
    kivtest::TempDir dir;
    std::string folder = dir.Path() + "/";
    for (int level = 0; level <= 4; ++level) {
        ASSERT_TRUE(kivtest::WriteFile(folder + "f" + std::to_string(level) + ".gig", "x", 1));
        folder += "d/";
        if (level < 4) {
            ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
        }
    }
    struct Case {
        int maxDepth;
        size_t stopAfter;
        size_t files;
    };
    const Case cases[] = {{0, 99, 1}, {1, 99, 2}, {3, 99, 4}, {32, 99, 5}, {32, 2, 2}, {32, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE("depth " + std::to_string(c.maxDepth) + ", stop after " + std::to_string(c.stopAfter));
        CappedWalk walk(c.maxDepth, c.stopAfter);
        EXPECT_TRUE(walk.Walk(dir.Path().c_str()));
        EXPECT_EQ(walk.files.size(), c.files);
        // Every folder the walk opened is closed again, so a second walk
        // starts at the top.
        EXPECT_EQ(walk.Depth(), -1);
    }
    // A folder that cannot be read: a failure, nothing offered.
    CappedWalk missing(32, 99);
    EXPECT_FALSE(missing.Walk(dir.File("none").c_str()));
    EXPECT_TRUE(missing.files.empty());
}
