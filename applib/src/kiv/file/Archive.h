// The tagged archive: the one persistence format. An object that is saved
// implements Archivable; its Archive operation calls the same sequence of
// Exchange operations on an ArchiFile that is either an ArchiSave (writes the
// values it is given) or an ArchiLoad (fills them from the stream). Files,
// host chunks, performances, presets, preferences and lists all use it.
//
// Not for the audio thread: saving and loading allocate and touch files.
// One stream object serves one thread at a time.
#pragma once
#include <cstdint>
#include <cstdio>

#include "kiv/data/Data.h"
#include "kiv/data/FourCC.h"
#include "kiv/data/String.h"

// Layout constants of the archive format. A value header is one 32-bit
// little-endian word: payload length in bits 0-7 (255: a 32-bit length
// follows), the type in bits 8-11, the tag number in bits 12-31.
namespace archi {

constexpr uint32_t kMagic = fourcc("kiva");
constexpr uint32_t kHeadBytes = 12;  // magic, archive type, reserved word

constexpr uint32_t kTypeBegin = 0x100;
constexpr uint32_t kTypeEnd = 0x200;
constexpr uint32_t kTypeVersionSingle = 0x300;  // read only
constexpr uint32_t kTypeInt = 0x400;            // int, bool, char
constexpr uint32_t kTypeReal = 0x600;           // float or double
constexpr uint32_t kTypeString = 0x700;
constexpr uint32_t kTypeData = 0x800;
constexpr uint32_t kTypeVersion = 0x900;
constexpr uint32_t kTypeChars = 0xA00;
constexpr uint32_t kTypeEndOfArchive = 0xF00;
constexpr uint32_t kTypeMask = 0xF00;

constexpr uint32_t kLengthMask = 0xFF;
constexpr uint32_t kLongLength = 255;  // the length byte that announces a 32-bit length
constexpr int kTagShift = 12;
constexpr uint32_t kVersionTag = fourcc("vers");
// The version value's header says 4 bytes, but three ints follow.
constexpr uint32_t kVersionHeaderLength = 4;
constexpr uint32_t kVersionPayloadBytes = 12;

}  // namespace archi

class ArchiFile;

// Interface of every object that is saved: one operation both saves and
// loads (ask the stream's IsLoading when the two must differ).
class Archivable {
public:
    virtual ~Archivable() = default;
    virtual void Archive(ArchiFile* archive) = 0;
};

// A stream of tagged values, either saving or loading. Tags are four
// lower-case letters (fourcc("path")); another tag is a programming error and
// throws std::invalid_argument (a load turns it into a failed load).
class ArchiFile {
public:
    virtual ~ArchiFile() = default;

    virtual bool IsLoading() const = 0;
    // Saving stores all three numbers; loading is true when any one position
    // equals the stored one.
    virtual bool ExchangeVersion(int current, int older, int oldest) = 0;
    virtual bool SkipObject(uint32_t tag) = 0;
    virtual bool ExchangeData(kiv::data& block, uint32_t tag) = 0;
    virtual bool ExchangeString(kiv::string& text, uint32_t tag) = 0;
    // A NUL-terminated text in a buffer of size bytes.
    virtual bool ExchangeChars(char* buffer, int size, uint32_t tag) = 0;
    virtual bool ExchangeDouble(double& value, uint32_t tag) = 0;
    virtual bool ExchangeFloat(float& value, uint32_t tag) = 0;
    virtual bool ExchangeInt(int& value, uint32_t tag) = 0;
    virtual bool ExchangeChar(char& value, uint32_t tag) = 0;
    virtual bool ExchangeBool(bool& value, uint32_t tag) = 0;
    virtual bool BeginObject(uint32_t tag) = 0;
    virtual bool EndObject(uint32_t tag) = 0;

    // Saves or loads a nested object between begin and end markers. False
    // only when the begin marker is missing; the end marker's result is not
    // checked (a value the loader never asked for may still stand before it).
    bool ExchangeObject(Archivable* object, uint32_t tag);

    // The stored tag number: the last letter is the most significant base-26
    // digit. Throws std::invalid_argument for a letter outside a-z.
    static uint32_t TagNumber(uint32_t tag);
};

// Writes an archive to a file, into memory, or only counts its bytes.
class ArchiSave : public ArchiFile {
public:
    ArchiSave() = default;
    ArchiSave(const ArchiSave&) = delete;
    ArchiSave& operator=(const ArchiSave&) = delete;

    // Writes a temporary file beside the path and renames it over the path,
    // so a failed write leaves the old file as it was. False when any write,
    // the flush or the close fails.
    bool SaveFile(Archivable* root, uint32_t type, const char* path);
    // Measures, then writes into a block of exactly that size; the block is
    // replaced only on success.
    bool SaveMemory(Archivable* root, uint32_t type, kiv::data& block);
    // The archive's size in bytes.
    int64_t Measure(Archivable* root, uint32_t type);

    bool IsLoading() const override { return false; }
    bool ExchangeVersion(int current, int older, int oldest) override;
    bool SkipObject(uint32_t tag) override;
    bool ExchangeData(kiv::data& block, uint32_t tag) override;
    bool ExchangeString(kiv::string& text, uint32_t tag) override;
    bool ExchangeChars(char* buffer, int size, uint32_t tag) override;
    bool ExchangeDouble(double& value, uint32_t tag) override;
    bool ExchangeFloat(float& value, uint32_t tag) override;
    bool ExchangeInt(int& value, uint32_t tag) override;
    bool ExchangeChar(char& value, uint32_t tag) override;
    bool ExchangeBool(bool& value, uint32_t tag) override;
    bool BeginObject(uint32_t tag) override;
    bool EndObject(uint32_t tag) override;

private:
    void SaveRoot(Archivable* root, uint32_t type);
    void WriteHeader(uint32_t tag, uint32_t type, uint32_t length);
    void WriteWord(uint32_t word);
    void WriteRaw(const void* bytes, uint32_t count);
    void WriteByteValue(uint32_t tag, uint8_t byte);

    FILE* m_file = nullptr;          // output file, or null
    uint8_t* m_target = nullptr;     // memory target, or null
    int64_t m_targetSize = 0;        // bytes the memory target holds
    int64_t m_count = 0;             // bytes written (or counted) so far
    bool m_writeFailed = false;      // a file write came short
    bool m_overflow = false;         // a write would have passed the target's end
};

// Reads an archive from a file or a memory block. Values are matched lazily
// by tag: an operation reads the next header only when none is pending and
// consumes it only when the tags are equal; otherwise it fails and leaves
// the caller's variable as it was. Every length is checked against the bytes
// left, so a malformed archive fails the load instead of reading past it.
class ArchiLoad : public ArchiFile {
public:
    ArchiLoad() = default;
    ArchiLoad(const ArchiLoad&) = delete;
    ArchiLoad& operator=(const ArchiLoad&) = delete;

    bool LoadFile(Archivable* root, uint32_t type, const char* path);
    bool LoadMemory(Archivable* root, uint32_t type, const kiv::data& block);

    bool IsLoading() const override { return true; }
    bool ExchangeVersion(int current, int older, int oldest) override;
    bool SkipObject(uint32_t tag) override;
    bool ExchangeData(kiv::data& block, uint32_t tag) override;
    bool ExchangeString(kiv::string& text, uint32_t tag) override;
    bool ExchangeChars(char* buffer, int size, uint32_t tag) override;
    bool ExchangeDouble(double& value, uint32_t tag) override;
    bool ExchangeFloat(float& value, uint32_t tag) override;
    bool ExchangeInt(int& value, uint32_t tag) override;
    bool ExchangeChar(char& value, uint32_t tag) override;
    bool ExchangeBool(bool& value, uint32_t tag) override;
    bool BeginObject(uint32_t tag) override;
    bool EndObject(uint32_t tag) override;

private:
    struct Header {
        uint32_t tag = 0;      // tag number; meaningful while pending
        uint32_t type = 0;
        uint32_t length = 0;   // the length the header states
        uint32_t payload = 0;  // bytes that follow it
    };

    bool LoadRoot(Archivable* root, uint32_t type);
    void Reset();
    bool ReadHeader(Header& header);
    bool Take(uint32_t tag);
    bool ReadPayload(void* bytes, uint32_t count);
    bool FinishValue();
    uint32_t ValueLength() const;
    bool ReadByteValue(uint32_t tag, uint8_t& byte);
    bool Fail();
    bool ReadRaw(void* bytes, uint32_t count);
    bool SkipRaw(uint32_t count);
    bool ReadWord(uint32_t& word);

    FILE* m_file = nullptr;           // input file, or null
    const uint8_t* m_source = nullptr;  // next byte of the memory source
    int64_t m_left = 0;               // bytes left in the file or block
    Header m_pending;                 // the header read but not yet consumed
    bool m_hasPending = false;
    Header m_value;                   // the header of the value being read
    uint32_t m_payloadLeft = 0;       // its payload bytes not yet read
    bool m_ended = false;             // no more values: data ended or was malformed
    bool m_failed = false;            // the archive is cut short or malformed
};
