// Shared by the engine benchmarks: the audio block they render or consume
// and its pacing rate, and a private temporary folder for the banks they
// write.
#pragma once
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace kivbench {

constexpr int kBlock = 512;
constexpr double kRate = 44100.0;

// A private folder "<prefix>XXXXXX" under the system's temporary folder,
// removed with its contents at the end.
class BenchDir {
public:
    explicit BenchDir(const char* prefix = "kivbench")
    {
        std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
        if (mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~BenchDir()
    {
        std::error_code ignored;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }
    BenchDir(const BenchDir&) = delete;
    BenchDir& operator=(const BenchDir&) = delete;
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

}  // namespace kivbench
