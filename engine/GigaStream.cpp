// Read runs on the audio thread: it never allocates, locks or waits (except
// the ring's bounded offline wait).
#include "engine/GigaStream.h"

#include <algorithm>
#include <new>

#include "engine/GigaFile.h"
#include "engine/GigaSample.h"
#include "engine/GigaSampleReader.h"
#include "engine/GigaStreamConstants.h"
#include "engine/OvAudioRing.h"

namespace {

// Refills' worth of frames a skipping stream drops per disk-thread pass.
constexpr int kSkipRefillsPerPass = 64;

}  // namespace

GigaStream::GigaStream(GigaFile* file)
    : m_file(file),
      m_reader(new GigaSampleReader),
      m_left(new OvAudioRing),
      m_right(new OvAudioRing)
{
    m_left->Init(giga::kStreamRingBytes);
    m_right->Init(giga::kStreamRingBytes);
}

GigaStream::~GigaStream() = default;

GigaFile* GigaStream::FileOf(const GigaSample* sample)
{
    return sample ? sample->file : nullptr;
}

GigaStream* GigaStream::TakeFor(GigaSample* sample)
{
    GigaFile* file = FileOf(sample);
    GigaStreamPool* pool = file ? file->GetStreamPool() : nullptr;
    return pool ? pool->Take() : nullptr;
}

void GigaStream::SizeRings(int bytes, bool stereo)
{
    // A mono stream's right ring is never read: it only must not stay large.
    const bool leftFits = m_left->GetSize() == bytes;
    const bool rightFits = stereo ? m_right->GetSize() == bytes : m_right->GetSize() <= bytes;
    std::unique_ptr<OvAudioRing> left;
    std::unique_ptr<OvAudioRing> right;
    try {
        if (!leftFits) {
            left = std::make_unique<OvAudioRing>();
            if (!left->Init(bytes))
                return;
        }
        if (!rightFits) {
            right = std::make_unique<OvAudioRing>();
            if (!right->Init(bytes))
                return;
        }
    } catch (const std::bad_alloc&) {
        return;
    }
    if (left)
        m_left = std::move(left);
    if (right)
        m_right = std::move(right);
}

bool GigaStream::Start(GigaSample* sample, int64_t startFrame, int64_t blockFrames)
{
    // Two blocks' worth, so that the disk thread refills one while the voice
    // reads the other. Rings grown for one voice shrink again for the next
    // (not when recycled: a voice may still be reading when its thread ends).
    int bytes = giga::kStreamRingBytes;
    const int64_t want = std::clamp<int64_t>(blockFrames, 0, giga::kMaxStreamRingBytes) * 2 *
                         static_cast<int64_t>(sizeof(float));
    while (bytes < want && bytes < giga::kMaxStreamRingBytes)
        bytes *= 2;
    SizeRings(bytes, sample && sample->channels == 2);
    m_left->Reset();
    m_right->Reset();
    m_sample = sample;
    m_framesLeft = 0;
    m_skip = 0;
    m_channels = 0;
    m_drained.store(true, std::memory_order_release);
    m_finished.store(false, std::memory_order_release);
    if (!sample || sample->file != m_file || !sample->IsUsable())
        return false;
    int64_t left = sample->frames - sample->framesInMemory;
    if (left < 0)
        left = 0;
    if (!m_reader->SetUp(sample, &m_file->GetFile(), sample->streamOffset, sample->framesInMemory))
        return false;
    m_channels = sample->channels;
    m_framesLeft = left;
    m_skip = std::clamp<int64_t>(startFrame - sample->framesInMemory, 0, left);
    m_drained.store(left == 0, std::memory_order_release);
    return true;
}

void GigaStream::Refill(float* left, float* right)
{
    if (IsFinished() || m_framesLeft <= 0)
        return;
    // A start past the frames in memory: the data before it is decoded (the
    // compressed format cannot be entered mid-way) and dropped, a bounded
    // amount per refill so that other streams keep being served.
    for (int i = 0; i < kSkipRefillsPerPass && m_skip > 0; ++i) {
        const int64_t n = std::min<int64_t>(m_skip, giga::kStreamRefillFrames);
        const int64_t got = m_reader->DecodeFloat(left, m_channels == 2 ? right : nullptr, n);
        if (got < n) {
            m_framesLeft = 0;
            m_skip = 0;
            m_drained.store(true, std::memory_order_release);
            return;
        }
        m_skip -= got;
        m_framesLeft -= got;
    }
    if (m_skip > 0)
        return;
    // The ring is topped up: a voice playing high reads many times the
    // output rate, more than one piece per pass.
    const bool stereo = m_channels == 2;
    while (m_framesLeft > 0 && m_left->GetFree() >= giga::kStreamRefillFreeBytes) {
        const int64_t want = std::min<int64_t>(m_framesLeft, giga::kStreamRefillFrames);
        const int64_t got = m_reader->DecodeFloat(left, stereo ? right : nullptr, want);
        if (got < want) {
            // Malformed or cut data: stream what there is and end; the voice
            // sees a short read when the rings run dry.
            m_framesLeft = 0;
        } else {
            m_framesLeft -= got;
        }
        if (got > 0) {
            const int bytes = static_cast<int>(got) * static_cast<int>(sizeof(float));
            // The reader measures by the left ring: the right data goes in
            // first, so whatever the left ring shows is in the right ring too.
            if (stereo)
                m_right->Write(right, bytes);
            m_left->Write(left, bytes);
        }
    }
    if (m_framesLeft == 0)
        m_drained.store(true, std::memory_order_release);
}

bool GigaStream::Read(float* left, float* right, int frames, int* got) noexcept
{
    if (got)
        *got = 0;
    if (frames <= 0)
        return true;
    int bytes = frames * static_cast<int>(sizeof(float));
    int taken = m_left->Read(left, bytes, &m_drained);
    // Whole floats only: the disk thread writes whole frames.
    taken -= taken % static_cast<int>(sizeof(float));
    if (right) {
        if (m_channels == 2)
            m_right->Read(right, taken);
        else
            std::copy(left, left + taken / static_cast<int>(sizeof(float)), right);
    }
    if (got)
        *got = taken / static_cast<int>(sizeof(float));
    return taken == bytes;
}

int GigaStream::BytesQueued() const noexcept
{
    return m_left->GetUsed();
}

int GigaStream::RingBytes() const noexcept
{
    return m_left->GetSize();
}

void GigaStream::Recycle()
{
    m_left->Reset();
    m_right->Reset();
    m_sample = nullptr;
    m_framesLeft = 0;
    m_finished.store(true, std::memory_order_release);
    GigaStreamPool* pool = m_file ? m_file->GetStreamPool() : nullptr;
    if (pool)
        pool->Recycle(this);
    else
        delete this;  // a stream always comes from a pool; never left ownerless
}

GigaStreamPool::~GigaStreamPool()
{
    GigaStream* s = m_head;
    while (s) {
        GigaStream* next = s->next;
        delete s;
        s = next;
    }
}

void GigaStreamPool::Fill(GigaFile* file, int count)
{
    m_file = file;
    for (int i = 0; i < count; ++i) {
        ++m_made;
        Recycle(new GigaStream(file));
    }
}

GigaStream* GigaStreamPool::Take()
{
    GigaStream* s = m_head;
    if (!s) {
        ++m_made;
        return new GigaStream(m_file);
    }
    m_head = s->next;
    if (!m_head)
        m_tail = nullptr;
    s->next = nullptr;
    --m_idle;
    return s;
}

void GigaStreamPool::Recycle(GigaStream* stream)
{
    stream->next = nullptr;
    if (m_tail)
        m_tail->next = stream;
    else
        m_head = stream;
    m_tail = stream;
    ++m_idle;
}
