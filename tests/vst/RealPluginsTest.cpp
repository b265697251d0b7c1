// Hosting Debian's Linux VST 2 effects (dragonfly-reverb-vst, lsp-plugins-vst,
// dpf-plugins-vst): skipped when the packages are not installed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "kiv/file/Dir.h"
#include "support/TestSupport.h"
#include "tests/vst/VstTestHost.h"
#include "vst/AudioPlugVst.h"
#include "vst/PlugInfoList.h"

namespace {

using vsttest::ForeignLeaksIgnored;

// One of each maker: DISTRHO and Dragonfly export only "main", LSP only
// "VSTPluginMain".
const char* const kPlugins[] = {
    "/usr/lib/lxvst/DragonflyRoomReverb-vst.so",
    "/usr/lib/vst/MaFreeverb-vst.so",
    "/usr/lib/vst/3BandEQ-vst.so",
    "/usr/lib/vst/lsp-plugins/compressor-stereo.so",
};

bool Present(const char* path)
{
    return file::FileExists(path);
}

}  // namespace

TEST(RealPlugins, LoadProcessMidiChunkAndUnload)
{
    int tested = 0;
    for (const char* path : kPlugins) {
        if (!Present(path))
            continue;
        SCOPED_TRACE(path);
        ++tested;
        PlugInfo info;
        info.SetPath(path);
        info.SetName("real.so");
        ForeignLeaksIgnored ignored;
        AudioPlugVst plug;
        ASSERT_TRUE(plug.Open(&info));
        EXPECT_NE(info.GetEffectName(), nullptr);
        plug.SetSampleRate(48000);
        plug.SetBlockSize(512);
        EXPECT_FALSE(plug.IsInstrument());
        std::vector<float> left(512), right(512);
        for (int block = 0; block < 8; ++block) {
            for (int i = 0; i < 512; ++i)
                left[i] = right[i] = (i == 0 && block == 0) ? 1.0f : 0.0f;
            plug.NoteOn(0, 60, 100, 0);
            plug.Controller(0, 7, 100, 10);
            plug.Process(left.data(), right.data(), 512);
            for (int i = 0; i < 512; ++i)
                ASSERT_TRUE(std::isfinite(left[i]) && std::isfinite(right[i]));
        }
        kiv::data chunk;
        int size = plug.GetChunk(chunk);
        if (size > 0) {
            std::vector<uint8_t> copy(chunk.GetBytes(), chunk.GetBytes() + size);
            plug.SetChunk(copy.data(), size);
        }
        plug.Close();
        EXPECT_FALSE(plug.IsOpen());
    }
    if (tested == 0)
        GTEST_SKIP() << "no Debian VST 2 effects installed";
}

TEST(RealPlugins, ScanOfTheInstalledFolderListsThemByVendor)
{
    if (!Present("/usr/lib/lxvst/DragonflyRoomReverb-vst.so"))
        GTEST_SKIP() << "dragonfly-reverb-vst not installed";
    ForeignLeaksIgnored ignored;
    PlugInfoList list;
    list.Load("Quillane", "realscan");
    ASSERT_TRUE(list.SetFolder("/usr/lib/lxvst"));
    ASSERT_TRUE(list.StartScan(nullptr, nullptr));
    while (list.IsScanning())
        usleep(10000);
    PlugInfo* room = list.FindByName("DragonflyRoomReverb-vst.so");
    ASSERT_NE(room, nullptr);
    EXPECT_EQ(room->GetType(), 1);
    EXPECT_STRNE(room->GetVendor(), "Other");
    EXPECT_STRNE(room->GetVendor(), "unknown");
}
