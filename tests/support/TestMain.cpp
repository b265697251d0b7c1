// The main of every test program: each process gets a home folder of its own
// under the one CTest gives (HOME, XDG_DATA_HOME, XDG_CONFIG_HOME,
// XDG_DESKTOP_DIR), so tests that run side by side never share settings files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const char* base = getenv("HOME");
    std::string root = std::string(base && *base ? base : "/tmp") + "/proc-XXXXXX";
    std::vector<char> buf(root.begin(), root.end());
    buf.push_back(0);
    std::string home;
    if (!getenv("KIV_TEST_CHILD") && mkdtemp(buf.data())) {
        home = buf.data();
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_DATA_HOME", (home + "/share").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
        setenv("XDG_DESKTOP_DIR", (home + "/Desktop").c_str(), 1);
        // Plug-in scans walk only the folders a test gives them, never the
        // machine's own plug-in folders (a folder that is not there).
        setenv("LXVST_PATH", (home + "/lxvst").c_str(), 1);
    }
    // The source and build folders for tests that look for tools or data.
    setenv("KIV_TEST_SOURCE_DIR", KIV_TEST_SOURCE_DIR_DEFAULT, 0);
    setenv("KIV_TEST_BINARY_DIR", KIV_TEST_BINARY_DIR_DEFAULT, 0);
    ::testing::InitGoogleTest(&argc, argv);
    int rc = RUN_ALL_TESTS();
    if (!home.empty() && !getenv("KIV_KEEP_TESTHOME")) {
        std::error_code ec;
        std::filesystem::remove_all(home, ec);
    }
    return rc;
}
