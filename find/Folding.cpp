// SPDX-License-Identifier: GPL-3.0-or-later
#include "find/Folding.h"

#include <unicode/bytestream.h>
#include <unicode/normalizer2.h>
#include <unicode/stringpiece.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <cstring>

namespace qm::find {
namespace {

bool validUtf8(std::string_view text)
{
    const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    for (std::int32_t i = 0; i < length;) {
        UChar32 c;
        U8_NEXT(s, i, length, c);
        if (c < 0)
            return false;
    }
    return true;
}

using Instance = const icu::Normalizer2* (*)(UErrorCode&);

// The normaliser, or none where the library has no data for it.
const icu::Normalizer2* normaliser(Instance instance)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* n = instance(status);
    return U_SUCCESS(status) ? n : nullptr;
}

// `text` (valid UTF-8) in the normaliser's form; unchanged where it cannot.
std::string normalised(const icu::Normalizer2* n, std::string_view text)
{
    if (!n || text.size() > static_cast<size_t>(INT32_MAX / 4))
        return std::string(text);
    const icu::StringPiece piece(text.data(), static_cast<std::int32_t>(text.size()));
    UErrorCode status = U_ZERO_ERROR;
    if (n->isNormalizedUTF8(piece, status) && U_SUCCESS(status))
        return std::string(text);
    std::string out;
    out.reserve(text.size() + 8);
    icu::StringByteSink<std::string> sink(&out, static_cast<std::int32_t>(text.size()));
    status = U_ZERO_ERROR;
    n->normalizeUTF8(0, piece, sink, nullptr, status);
    return U_SUCCESS(status) ? out : std::string(text);
}

} // namespace

std::string asciiFolded(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool isAscii(std::string_view text)
{
    // Eight bytes at a time: this runs once for every name the copy reads.
    const char* p = text.data();
    size_t n = text.size();
    std::uint64_t bits = 0;
    for (; n >= 8; p += 8, n -= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        bits |= word;
    }
    for (; n > 0; ++p, --n)
        bits |= static_cast<unsigned char>(*p);
    return (bits & 0x8080808080808080ULL) == 0;
}

std::string fold(std::string_view text)
{
    if (isAscii(text) || !validUtf8(text))
        return asciiFolded(text);
    static const icu::Normalizer2* const nfkcCasefold
        = normaliser(&icu::Normalizer2::getNFKCCasefoldInstance);
    if (!nfkcCasefold)
        return asciiFolded(text);
    return normalised(nfkcCasefold, text);
}

std::string canonical(std::string_view text)
{
    if (isAscii(text) || !validUtf8(text))
        return std::string(text);
    static const icu::Normalizer2* const nfc = normaliser(&icu::Normalizer2::getNFCInstance);
    return normalised(nfc, text);
}

} // namespace qm::find
