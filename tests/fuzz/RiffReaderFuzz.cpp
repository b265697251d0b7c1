// Feeds arbitrary bytes as a file to the RIFF reader and walks the whole
// chunk tree, trying Descend at every level, with and without even padding;
// then walks the same bytes as an image in memory (older state chunks),
// which must find exactly what the file gave.
#include "fuzz/FuzzFiles.h"
#include "fuzz/FuzzSeeds.h"
#include "kiv/file/Riff.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

kivfuzz::InputFile& Input()
{
    static kivfuzz::InputFile input("riff-fuzz-", "input.riff");
    return input;
}

// Every chunk: its first bytes read as a bounded text, then its children.
// What was found goes into the trace.
void Walk(CImpRiff& riff, int level, int& steps, std::string& trace)
{
    while (steps < 100000 && riff.Descend(level)) {
        ++steps;
        char text[16] = {};
        int64_t at = riff.GetPosition();
        const bool read = riff.ReadString(text, static_cast<int>(riff.GetChunkSize() % 40) - 8, sizeof text);
        riff.SetPosition(at);
        trace += std::to_string(level) + riff.GetChunkId() + riff.GetFormType() + std::to_string(riff.GetChunkSize()) +
                 (read ? std::string(text) : "-") + ";";
        if (level + 1 < file::kRiffLevels)
            Walk(riff, level + 1, steps, trace);
    }
}

// The trace of a whole walk; "throw" at the end when an identifier was
// malformed.
std::string WalkAll(CImpRiff& riff)
{
    int steps = 0;
    std::string trace;
    try {
        Walk(riff, 0, steps, trace);
    } catch (int) {
        // A malformed identifier: the file is unreadable, as callers treat it.
        trace += "throw";
    }
    return trace;
}

std::vector<uint8_t> Written(void (*write)(CRiffWriter&), bool padding)
{
    CRiffWriter writer;
    writer.SetEvenPadding(padding);
    const std::string path = Input().Folder().File("seed.riff");
    if (!writer.OpenWrite(path.c_str()))
        return {};
    write(writer);
    writer.Close();
    return kivfuzz::ReadBytes(path);
}

void Performance(CRiffWriter& w)
{
    w.OpenChunk("RIFF", "OvGm");
    w.OpenChunk("LIST", "tone");
    for (int t = 0; t < 2; ++t) {
        w.OpenChunk("RIFF", "tone");
        w.OpenChunk("indx");
        w.WriteInt(t);
        w.CloseChunk();
        w.OpenChunk("RIFF", "ovtn");
        w.OpenChunk("name");
        w.WriteString("Piano");
        w.CloseChunk();
        w.OpenChunk("part");
        w.OpenChunk("bank");
        w.WriteString("/lib/grand.gig");
        w.CloseChunk();
        w.OpenChunk("vcau");
        for (int i = 0; i < 6; ++i)
            w.WriteFloat(0.5f * i);
        w.CloseChunk();
        w.CloseChunk();
        w.CloseChunk();
        w.CloseChunk();
    }
    w.CloseChunk();
    w.CloseChunk();
}

void Instruments(CRiffWriter& w)
{
    w.OpenChunk("RIFF", "DLS ");
    w.OpenChunk("colh");
    w.WriteInt(1);
    w.CloseChunk();
    w.OpenChunk("LIST", "lins");
    w.OpenChunk("LIST", "ins ");
    w.OpenChunk("LIST", "INFO");
    w.OpenChunk("INAM");
    w.WriteString("Odd");
    w.WriteByte(0);
    w.CloseChunk();
    w.CloseChunk();
    w.CloseChunk();
    w.CloseChunk();
    w.CloseChunk();
}

void OddBytes(CRiffWriter& w)
{
    w.OpenChunk("FORM", "odd ");
    w.OpenChunk("one ");
    w.WriteByte(1);
    w.CloseChunk();
    w.OpenChunk("tri ");
    w.WriteByte(1);
    w.WriteByte(2);
    w.WriteByte(3);
    w.CloseChunk();
    w.CloseChunk();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    kivfuzz::SeedCorpus seeds(argc, argv);
    if (!Input().Ok())
        return 0;
    seeds.Add("performance", Written(Performance, false));
    seeds.Add("instruments", Written(Instruments, false));
    seeds.Add("odd-plain", Written(OddBytes, false));
    seeds.Add("odd-padded", Written(OddBytes, true));
    const std::vector<uint8_t> performance = Written(Performance, false);
    seeds.Add("performance-cut", std::vector<uint8_t>(performance.begin(), performance.begin() + performance.size() / 2));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!Input().Write(data, size))
        return 0;
    const bool swap = size > 0 && (data[0] & 1);
    for (bool padding : {false, true}) {
        CImpRiff riff;
        riff.SetEvenPadding(padding);
        if (!riff.Open(Input().Path(), swap))
            return 0;
        const std::string fromFile = WalkAll(riff);
        CImpRiff image;
        image.SetEvenPadding(padding);
        if (!image.OpenMemory(data, static_cast<int64_t>(size), swap)) {
            if (size > 0)
                abort();  // every image with bytes opens
            continue;
        }
        if (WalkAll(image) != fromFile)
            abort();  // the image must read as the file does
    }
    return 0;
}
