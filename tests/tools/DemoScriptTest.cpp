// The README's first command: scripts/demo runs to its end on the built
// tree, says where the WAV is, and the phrase in it is audible and clean.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/TestSupport.h"


TEST(DemoScript, RunsToTheEndAndWritesACleanPhrase)
{
    const std::string source = getenv("KIV_TEST_SOURCE_DIR");
    const std::string build = getenv("KIV_TEST_BINARY_DIR");
    for (const char* tool : {"/tools/gigfixtures", "/tools/gigprint", "/tools/tessivohost", "/vst/tessivo.so"})
        if (access((build + tool).c_str(), X_OK | R_OK) != 0)
            GTEST_SKIP() << build + tool << " is not built";

    // The script is under test here, not the tools' leaks at exit (checked,
    // where they are, by the tools' own tests). It runs for a user whose
    // home, settings and data folders are an empty folder: the demo keeps
    // what the plug-in writes in a folder of its own.
    kivtest::TempDir home;
    const std::string command = "HOME='" + home.Path() + "' XDG_CONFIG_HOME='" + home.Path() +
                                "/.config' XDG_DATA_HOME='" + home.Path() +
                                "/.local/share' ASAN_OPTIONS=detect_leaks=0 bash '" + source + "/scripts/demo' '" +
                                build + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    const int status = pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status)) << output;
    ASSERT_EQ(WEXITSTATUS(status), 0) << output;

    const std::string said = "=== The phrase is in ";
    const size_t at = output.find(said);
    ASSERT_NE(at, std::string::npos) << output;
    const std::string wav = output.substr(at + said.size(), output.find('\n', at) - at - said.size());
    EXPECT_EQ(wav, build + "/demo/demo.wav");
    EXPECT_TRUE(std::filesystem::is_empty(home.Path())) << "the demo wrote into the user's home";
    EXPECT_TRUE(std::filesystem::exists(build + "/demo/config/Quillane/tessivo.settings")) << output;

    int channels = 0;
    int bits = 0;
    std::vector<int32_t> values;
    ASSERT_TRUE(kivtest::ReadWav(wav, channels, bits, values));
    ASSERT_EQ(channels, 2);
    ASSERT_EQ(bits, 16);
    std::vector<float> samples;
    for (int32_t v : values)
        samples.push_back(static_cast<float>(v) / 32768.0f);
    ASSERT_GT(samples.size(), 44100u * 2);
    // A click is a step the waveform does not make: each frame is compared
    // with the straight line through the two before it (of its channel; the
    // values interleave two). The piano's own waveform leaves that line by
    // at most 0.002 anywhere in the phrase, while its chord steps by up to
    // 0.019 from one frame to the next; a note that stopped dead at 2% of
    // full scale would leave it by 0.02.
    float peak = 0.0f;
    float kink = 0.0f;
    size_t kinkAt = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        peak = std::max(peak, std::fabs(samples[i]));
        const float off = i >= 4 ? std::fabs(samples[i] - 2.0f * samples[i - 2] + samples[i - 4]) : 0.0f;
        if (off > kink) {
            kink = off;
            kinkAt = i;
        }
    }
    // Clearly audible, not clipped, and no click.
    EXPECT_GT(peak, 0.05f);
    EXPECT_LT(peak, 0.99f);
    EXPECT_LT(kink, 0.005f) << "a click in the phrase at " << kinkAt / 2 / 44100.0 << " s";

    // The phrase's first note (C3, at time 0, sent right after the state
    // chunk loaded) sounds at once and in tune: rising zero crossings of the
    // left channel from 20 to 240 ms, before the second note starts.
    size_t onset = 0;
    while (onset < samples.size() / 2 && std::fabs(samples[onset * 2]) < 0.01f)
        ++onset;
    EXPECT_LT(onset, 441u) << "the first note is late or missing";
    std::vector<double> rising;
    for (size_t f = 882; f < 10584; ++f) {
        const float a = samples[(f - 1) * 2];
        const float b = samples[f * 2];
        if (a < 0.0f && b >= 0.0f)
            rising.push_back(static_cast<double>(f - 1) + a / (a - b));
    }
    ASSERT_GT(rising.size(), 10u);
    const double hz = 44100.0 * (rising.size() - 1) / (rising.back() - rising.front());
    EXPECT_NEAR(hz, 130.81, 1.3);
}
