#include "TextEncoding.h"

#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <stdexcept>

namespace {

// One conversion descriptor per direction and thread, opened on first use.
class IconvHandle {
public:
    IconvHandle(const char *to, const char *from) : cd_(iconv_open(to, from))
    {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
    ~IconvHandle() { iconv_close(cd_); }
    IconvHandle(const IconvHandle &) = delete;
    IconvHandle &operator=(const IconvHandle &) = delete;

    iconv_t get()
    {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        return cd_;
    }

private:
    iconv_t cd_;
};

#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr const char *kUtf16 = "UTF-16LE";
#else
constexpr const char *kUtf16 = "UTF-16BE";
#endif

iconv_t cp1251ToUtf16()
{
    thread_local IconvHandle handle(kUtf16, "CP1251");
    return handle.get();
}

iconv_t utf16ToCp1251()
{
    thread_local IconvHandle handle("CP1251", kUtf16);
    return handle.get();
}

} // namespace

namespace TextEncoding {

QString decodeCp1251(QByteArrayView bytes)
{
    // Every byte of this single-byte code page yields exactly one UTF-16 unit.
    QString result(bytes.size(), Qt::Uninitialized);
    iconv_t cd = cp1251ToUtf16();
    char *in = const_cast<char *>(bytes.data());
    size_t inLeft = static_cast<size_t>(bytes.size());
    char *out = reinterpret_cast<char *>(result.data());
    size_t outLeft = static_cast<size_t>(result.size()) * sizeof(char16_t);
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1))
            break;
        if (errno != EILSEQ && errno != EINVAL)
            throw std::runtime_error("code page 1251 conversion failed");
        const char16_t replacement = QChar::ReplacementCharacter;
        std::memcpy(out, &replacement, sizeof replacement);
        out += sizeof replacement;
        outLeft -= sizeof replacement;
        ++in;
        --inLeft;
    }
    result.truncate(result.size() - static_cast<qsizetype>(outLeft / sizeof(char16_t)));
    return result;
}

std::optional<QByteArray> encodeCp1251(QStringView text)
{
    QByteArray result(text.size(), Qt::Uninitialized);
    iconv_t cd = utf16ToCp1251();
    char *in = const_cast<char *>(reinterpret_cast<const char *>(text.utf16()));
    size_t inLeft = static_cast<size_t>(text.size()) * sizeof(char16_t);
    char *out = result.data();
    size_t outLeft = static_cast<size_t>(result.size());
    if (iconv(cd, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1))
        return std::nullopt;
    // Nothing is left pending in a stateless code page, but flush for the record.
    if (iconv(cd, nullptr, nullptr, &out, &outLeft) == static_cast<size_t>(-1))
        return std::nullopt;
    result.truncate(result.size() - static_cast<qsizetype>(outLeft));
    return result;
}

bool isValidUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString ignored = decoder.decode(bytes);
    return !decoder.hasError();
}

bool isAscii(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) > 0x7F)
            return false;
    }
    return true;
}

} // namespace TextEncoding
