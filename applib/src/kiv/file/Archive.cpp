#include "kiv/file/Archive.h"

#include <stdexcept>
#include <cstdio>

bool ArchiFile::ExchangeObject(Archivable* object, uint32_t tag)
{
    if (!BeginObject(tag))
        return false;
    if (object)
        object->Archive(this);
    // Not checked: a value the loader never asked for may stand before the
    // end marker, and the object still counts as read.
    EndObject(tag);
    return true;
}

uint32_t ArchiFile::TagNumber(uint32_t tag)
{
    uint32_t number = 0;
    // The tag's first byte in memory (its last letter) is the most
    // significant digit.
    for (int shift = 0; shift < 32; shift += 8) {
        const char c = static_cast<char>((tag >> shift) & 0xFF);
        if (c < 'a' || c > 'z') {
            char text[80];
            snprintf(text, sizeof text, "archive tag 0x%08X: (c >='a') && (c <= 'z')", tag);
            throw std::invalid_argument(text);
        }
        number = number * 26 + static_cast<uint32_t>(c - 'a');
    }
    return number;
}
