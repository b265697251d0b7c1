// Shared by the .gig fuzz targets: the file the engine reads each input from,
// kept in one temporary folder (on a memory file system when there is one, so
// an input costs no disk write), with an extension file "fuzz.gx01" beside it
// for inputs whose 'xfil' names it; and the seed banks.
#pragma once
#include <fcntl.h>
#include <stdlib.h>
#include <sys/types.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "gig/GigWriter.h"

namespace gigfuzz {

// variant 0: plain samples; 1: compressed samples; 2: one sample in the
// extension file "fuzz.gx01" (its bytes in *extension when given).
inline gigtools::Bytes SeedBank(int variant, gigtools::Bytes* extension = nullptr)
{
    using namespace gigtools;
    GigBuilder b;
    b.minFileSize = 3000;
    GigSample mono = GigSample::Tone("m", 1, 16, 44100, 60, 300);
    GigSample stereo = GigSample::Tone("s", 2, 24, 44100, 60, 300);
    stereo.loop = {true, 10, 200};
    if (variant == 1) {
        mono.compressed = true;
        stereo.compressed = true;
    }
    if (variant == 2)
        stereo.file = 1;
    b.AddSample(mono);
    b.AddSample(stereo);
    GigInstrument ins("Seed");
    GigRegion vel;
    vel.low = 0;
    vel.high = 63;
    vel.dims.push_back({0x82, 1, {}});
    GigZone z0;
    z0.sample = 0;
    GigZone z1;
    z1.sample = 1;
    z1.loop = {true, 20, 100};
    vel.zones = {z0, z1};
    ins.regions.push_back(vel);
    GigRegion st = GigRegion::Single(64, 127, 1, true);
    st.dims.push_back({0x86, 1, {}});
    st.zones.push_back(st.zones[0]);
    ins.regions.push_back(st);
    b.AddInstrument(ins);
    GigInstrument one("One");
    one.regions.push_back(GigRegion::Single(12, 12, 0));
    b.AddInstrument(one);
    if (extension && b.ExtensionCount() > 0)
        *extension = b.BuildExtensionTree(1).Serialize();
    return b.Build("fuzz");
}

// The folder and the input file; removed when the process exits.
class Workspace {
public:
    static Workspace& Get()
    {
        static Workspace w;
        return w;
    }

    // Replaces the input file's bytes; false when the folder could not be made.
    bool Write(const uint8_t* data, size_t size)
    {
        if (m_fd < 0)
            return false;
        if (::ftruncate(m_fd, 0) != 0)
            return false;
        size_t done = 0;
        while (done < size) {
            const ssize_t n = ::pwrite(m_fd, data + done, size - done, static_cast<off_t>(done));
            if (n <= 0)
                return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }
    const char* Path() const { return m_path.c_str(); }

private:
    Workspace()
    {
        std::string base;
        struct stat st;
        if (::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && ::access("/dev/shm", W_OK) == 0) {
            base = "/dev/shm";
        } else {
            const char* tmp = ::getenv("TMPDIR");
            base = tmp && *tmp ? tmp : "/tmp";
        }
        std::string pattern = base + "/gigfuzzXXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back(0);
        if (!::mkdtemp(buf.data()))
            return;
        m_dir = buf.data();
        m_path = m_dir + "/fuzz.gig";
        gigtools::Bytes extension;
        SeedBank(2, &extension);
        gigtools::WriteBytes(m_dir + "/fuzz.gx01", extension);
        m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    }

    // Runs at exit (libFuzzer ends with exit()).
    ~Workspace()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        if (m_dir.empty())
            return;
        ::unlink(m_path.c_str());
        ::unlink((m_dir + "/fuzz.gx01").c_str());
        ::rmdir(m_dir.c_str());
        m_dir.clear();
    }

    std::string m_dir;
    std::string m_path;
    int m_fd = -1;
};

}  // namespace gigfuzz
