// SPDX-License-Identifier: GPL-3.0-or-later
#include "find/TextSweep.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QM_SWEEP_X86 1
#endif

namespace qm::find {
namespace {

// What is left after the wide loop: too near the end for a full block.
const char* findPlain(const char* from, const char* end, std::string_view text)
{
    if (end - from < static_cast<std::ptrdiff_t>(text.size()))
        return nullptr;
    return static_cast<const char*>(
        ::memmem(from, static_cast<std::size_t>(end - from), text.data(), text.size()));
}

#ifdef QM_SWEEP_X86
// A candidate's bits in `mask` are places where the first and last bytes
// agree; the bytes between are compared only there.
inline const char* confirm(const char* block, unsigned mask, std::string_view text)
{
    while (mask != 0) {
        const int bit = __builtin_ctz(mask);
        if (std::memcmp(block + bit + 1, text.data() + 1, text.size() - 2) == 0)
            return block + bit;
        mask &= mask - 1;
    }
    return nullptr;
}

const char* findSse2(const char* from, const char* end, std::string_view text)
{
    const std::size_t last = text.size() - 1;
    const __m128i first = _mm_set1_epi8(text.front());
    const __m128i final = _mm_set1_epi8(text.back());
    const char* at = from;
    for (; end - at >= static_cast<std::ptrdiff_t>(16 + last); at += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + last));
        const auto mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, final))));
        if (mask != 0)
            if (const char* found = confirm(at, mask, text))
                return found;
    }
    return findPlain(at, end, text);
}

__attribute__((target("avx2"))) const char* findAvx2(const char* from, const char* end, std::string_view text)
{
    const std::size_t last = text.size() - 1;
    const __m256i first = _mm256_set1_epi8(text.front());
    const __m256i final = _mm256_set1_epi8(text.back());
    const char* at = from;
    for (; end - at >= static_cast<std::ptrdiff_t>(32 + last); at += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + last));
        const auto mask = static_cast<unsigned>(
            _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(a, first), _mm256_cmpeq_epi8(b, final))));
        if (mask != 0)
            if (const char* found = confirm(at, mask, text))
                return found;
    }
    return findSse2(at, end, text);
}

bool hasAvx2()
{
    static const bool yes = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return yes;
}
#endif

} // namespace

const char* findText(const char* from, const char* end, std::string_view text)
{
    if (text.empty())
        return from;
    if (text.size() == 1)
        return from < end ? static_cast<const char*>(std::memchr(from, text.front(), static_cast<std::size_t>(end - from)))
                          : nullptr;
#ifdef QM_SWEEP_X86
    return hasAvx2() ? findAvx2(from, end, text) : findSse2(from, end, text);
#else
    return findPlain(from, end, text);
#endif
}

} // namespace qm::find
