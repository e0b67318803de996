// UTF-8 decoding (see utf8.h).
#include "scene/utf8.h"

uint32_t utf8_next(const char*& text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    const unsigned lead = bytes[0];
    if (lead < 0x80) {
        text += lead != 0 ? 1 : 0;
        return lead;
    }
    // The continuation bytes that may follow the lead byte: the first one's
    // range excludes overlong forms, surrogates and values past U+10FFFF.
    int continuations;
    uint32_t value;
    unsigned low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        continuations = 1;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        continuations = 2;
        value = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : low;
        high = lead == 0xED ? 0x9F : high;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        continuations = 3;
        value = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high;
    } else {
        ++text;
        return UTF8_INVALID;
    }
    int used = 1;
    for (int i = 0; i < continuations; ++i) {
        // The terminator is outside every range, so a cut-short character
        // stops at it.
        const unsigned next = bytes[used];
        if (next < low || next > high) {
            text += used;
            return UTF8_INVALID;
        }
        value = value << 6 | (next & 0x3F);
        ++used;
        low = 0x80;
        high = 0xBF;
    }
    text += used;
    return value;
}
