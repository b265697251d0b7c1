// GigaNameReader: reads a .gig (DLS) file's keyword and instrument names
// with the RIFF chunk reader, for the utility's scanner. A derived class
// receives what is found; it runs on the caller's thread (the scan thread).
#pragma once
#include <cstdint>

class CImpRiff;

class GigaNameReader {
public:
    // Results of ReadGigaFile.
    enum Result {
        kRead = 0,             // the reading ended normally
        kCannotOpen = 1,
        kNotDls = 2,           // the first chunk is not RIFF "DLS "
        kTruncated = 3,        // shorter than the RIFF chunk says
        kNoInstruments = 4,    // 'colh' gives the count 0
        kEmptyList = 5,        // LIST "lins" holds nothing
        kMalformed = 6,        // a chunk identifier is not text
    };

    GigaNameReader();
    virtual ~GigaNameReader();

    // Reads the file; catches the chunk reader's exception (kMalformed),
    // keeping what was delivered before it.
    int ReadGigaFile(const char* path);

    // An instrument name as stored: byte 0xB4 becomes an apostrophe, every
    // other byte of 0x80 or above a blank.
    static void MapName(char* name);

protected:
    // The first non-empty keyword text ('IKEY' of LIST "INFO"), as read; an
    // INFO list after the instrument list counts too.
    virtual void OnKeyword(const char* keyword);
    // One instrument name (mapped), with its position 0, 1, 2 ... in the
    // file; an instrument without a name (no name chunk, or one that holds
    // only blanks or nothing) is not delivered but keeps its place.
    virtual void OnInstrument(const char* name, int position);

private:
    int ReadChunks(CImpRiff& riff);
    // True when the list held a non-empty IKEY chunk.
    bool ReadKeyword(CImpRiff& riff);
    // Walks LIST "lins"; true when the 'colh' count was reached.
    bool ReadInstruments(CImpRiff& riff, int64_t count, int& position);
};
