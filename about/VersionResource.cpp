// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/VersionResource.h"

#include <array>
#include <cstddef>

namespace qm::VersionResource {
namespace {

constexpr int kMajor = QUILLMARK_VERSION_MAJOR;
constexpr int kMinor = QUILLMARK_VERSION_MINOR;
constexpr int kPatch = QUILLMARK_VERSION_PATCH;

// The entries are put together at compile time from the build's version, so
// the bytes in the executable and the numbers the program shows cannot drift.
struct Text {
    std::array<char, 1024> data {};
    std::size_t size = 0;

    constexpr void add(const char* s)
    {
        while (*s)
            data[size++] = *s++;
    }
    constexpr void add(int n, int minDigits = 1)
    {
        char digits[12] {};
        int count = 0;
        do {
            digits[count++] = static_cast<char>('0' + n % 10);
            n /= 10;
        } while (n > 0);
        while (count < minDigits)
            digits[count++] = '0';
        while (count > 0)
            data[size++] = digits[--count];
    }
    constexpr void end() { data[size++] = '\0'; }
};

constexpr Text build()
{
    Text t;
    auto numeric = [&t](const char* key) {
        t.add(key);
        t.add(kMajor);
        t.add(".");
        t.add(kMinor);
        t.add(".");
        t.add(kPatch);
        t.add(".0");
        t.end();
    };
    // The text form writes the minor number with two digits: 1.1 reads "1.01".
    auto text = [&t](const char* key) {
        t.add(key);
        t.add(kMajor);
        t.add(".");
        t.add(kMinor, 2);
        t.end();
    };
    numeric("FileVersion=");
    numeric("ProductVersion=");
    text("FileVersionText=");
    text("ProductVersionText=");
    t.add("ProductName=Quillmark");
    t.end();
    t.add("InternalName=Quillmark");
    t.end();
    t.add("OriginalFilename=quillmark");
    t.end();
    t.add("FileDescription=Quillmark disk cataloguer");
    t.end();
    t.add("Comments=Programm to keep track of all files with few information");
    t.end();
    return t;
}

constexpr std::size_t kSize = build().size;

constexpr std::array<char, kSize> packed()
{
    const Text t = build();
    std::array<char, kSize> out {};
    for (std::size_t i = 0; i < kSize; ++i)
        out[i] = t.data[i];
    return out;
}

#if defined(__ELF__)
[[gnu::used, gnu::section(".qm_version")]]
#endif
constexpr std::array<char, kSize>
    kResource = packed();

} // namespace

QStringList entries()
{
    QStringList out;
    std::size_t start = 0;
    for (std::size_t i = 0; i < kResource.size(); ++i) {
        if (kResource[i] == '\0') {
            out << QString::fromUtf8(kResource.data() + start, static_cast<qsizetype>(i - start));
            start = i + 1;
        }
    }
    return out;
}

QString value(const QString& key)
{
    const QString prefix = key + u'=';
    for (const QString& entry : entries())
        if (entry.startsWith(prefix))
            return entry.mid(prefix.size());
    return {};
}

namespace {
int fileVersionPart(int index)
{
    const QStringList parts = value(QStringLiteral("FileVersion")).split(u'.');
    return index < parts.size() ? parts[index].toInt() : 0;
}
} // namespace

int majorVersion()
{
    return fileVersionPart(0);
}
int minorVersion()
{
    return fileVersionPart(1);
}
int revision()
{
    return fileVersionPart(2);
}

} // namespace qm::VersionResource
