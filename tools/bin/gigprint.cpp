// gigprint: prints a .gig bank as the engine reads it: the table of contents,
// the samples, and for every instrument its regions, dimension trees and zones.
// Test tool: used to compare our reading with other readers.
//   gigprint <file.gig> [--toc]      (--toc: table of contents only)
#include <cstdio>
#include <cstring>

#include "engine/GigaBank.h"

namespace {

void PrintTree(const GigaDimNode* group, int count, int level)
{
    for (int i = 0; i < count; ++i) {
        const GigaDimNode& n = group[i];
        std::printf("%*sNode code=0x%02x upper=%d", 6 + 2 * level, "", n.code, n.upper);
        if (n.zone)
            std::printf(" -> zone\n");
        else
            std::printf("\n");
        if (n.child)
            PrintTree(n.child, n.childCount, level + 1);
    }
}

void PrintZone(const GigaZone& z, int r)
{
    std::printf("      Zone %d) wave=%d sample=%s unity=%d fine=%d gain=%.4f pan=%d"
                " attack=%.4f decay=%.4f sustain=%.3f release=%.4f velcurve=%d veldepth=%.2f"
                " filter=%d cutoff=%.3f loop=%s",
                r + 1, z.waveIndex, z.GetSample() ? "yes" : "none", z.unityNote, z.fineTune,
                z.m_gain, z.pan, z.ampAttack, z.ampDecay, z.ampSustain, z.ampRelease, z.velocityCurve,
                z.velocityDepth, z.filterOn ? 1 : 0, z.filterCutoff, z.looped ? "on" : "off");
    if (z.looped)
        std::printf(" %lld-%lld", static_cast<long long>(z.loopStart), static_cast<long long>(z.loopEnd));
    std::printf("\n");
}

void PrintRegion(const GigaRegion& region, int i)
{
    std::printf("    Region %d) keys=%d-%d dimensions=%d zones=%d release-trigger=%d self-mask=%d\n", i + 1,
                region.low, region.high, region.GetDimensionCount(), region.GetZoneCount(),
                region.releaseTrigger ? 1 : 0, region.selfMask ? 1 : 0);
    for (int d = 0; d < region.GetDimensionCount(); ++d)
        std::printf("      Dimension[%d]: code=0x%02x zones=%d\n", d, region.GetDimensionCode(d),
                    region.GetDimensionZones(d));
    PrintTree(region.GetRootNodes(), region.GetRootCount(), 0);
    for (int r = 0; r < region.GetZoneCount(); ++r)
        PrintZone(*region.GetZone(r), r);
}

void PrintSample(const GigaSample& s, int i)
{
    std::printf("Sample %d) channels=%d bits=%d rate=%d frames=%lld unity=%d fine=%d loop=%s",
                i + 1, s.channels, s.bits, s.sampleRate, static_cast<long long>(s.frames), s.unityNote,
                s.fineTune, s.looped ? "on" : "off");
    if (s.looped)
        std::printf(" %lld-%lld", static_cast<long long>(s.loopStart), static_cast<long long>(s.loopEnd));
    std::printf(" compressed=%d", s.frameSize);
    if (s.memory)
        std::printf(" in-memory=%lld%s", static_cast<long long>(s.framesInMemory), s.IsStreamed() ? " streamed" : "");
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: gigprint <file.gig> [--toc]\n");
        return 2;
    }
    const bool tocOnly = argc > 2 && std::strcmp(argv[2], "--toc") == 0;
    GigaBank bank;
    if (!bank.Open(argv[1])) {
        std::fprintf(stderr, "gigprint: %s is not a readable bank\n", argv[1]);
        return 1;
    }
    std::printf("Bank: %s\n", bank.GetFileName());
    std::printf("Version: %d\n", bank.GetVersion());
    std::printf("Instruments: %d\n", bank.GetProgramCount());
    std::printf("Samples: %d\n", bank.GetSampleCount());
    for (int i = 0; i < bank.GetProgramCount(); ++i) {
        const GigaProgram& p = *bank.GetProgram(i);
        std::printf("Instrument %d) \"%s\" regions=%d finetune=%d bend=%d keyswitch=%d-%d%s\n", i + 1,
                    p.GetName(), p.fileRegionCount, p.fineTune, p.bendRange, p.keySwitchLow, p.keySwitchHigh,
                    p.singleRegion ? " single-region" : "");
    }
    if (tocOnly)
        return 0;

    int failed = 0;
    for (int i = 0; i < bank.GetProgramCount(); ++i) {
        GigaProgram* p = bank.LoadProgram(i, nullptr);
        if (!p) {
            std::printf("Instrument %d) load failed\n", i + 1);
            ++failed;
            continue;
        }
        std::printf("Instrument %d) loaded as %d: regions=%d keys=%d-%d samples=%d bits=%d streaming=%d\n", i + 1,
                    p->index + 1, p->GetRegionCount(), p->lowestKey, p->highestKey, p->sampleCount, p->bitDepth,
                    p->streaming ? 1 : 0);
        for (int r = 0; r < p->GetRegionCount(); ++r)
            PrintRegion(*p->GetRegion(r), r);
    }
    if (bank.HasSampleList()) {
        for (int i = 0; i < bank.GetSampleCount(); ++i)
            PrintSample(*bank.GetSample(i), i);
    }
    for (int i = 0; i < bank.GetProgramCount(); ++i) {
        GigaProgram* p = bank.GetProgram(i);
        while (p->GetUseCount() > 0)
            p->Release();
    }
    return failed ? 1 : 0;
}
