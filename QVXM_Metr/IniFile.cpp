#include "IniFile.h"

#include "IniValueFormat.h"
#include "TextEncoding.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <utility>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

const QByteArray kUtf8Bom = QByteArrayLiteral("\xEF\xBB\xBF");

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

QString trimBlanks(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

bool isBlankLine(QByteArrayView text)
{
    for (const char c : text) {
        if (!isBlank(c))
            return false;
    }
    return true;
}

QString folded(const QString &name)
{
    return name.toCaseFolded();
}

#ifdef Q_OS_UNIX
// The rename is durable only once the directory entry itself reaches the disk.
void syncDirectory(const QString &filePath)
{
    const QByteArray dir = QFile::encodeName(QFileInfo(filePath).absolutePath());
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}
#endif

} // namespace

IniError::IniError(const QString &message) : std::runtime_error(message.toStdString()), message_(message) {}

IniFile::IniFile(QString path) : path_(std::move(path))
{
    const QFileInfo info(path_);
    if (!info.exists())
        return;
    if (!info.isFile())
        throw IniError(QStringLiteral("Не могу прочитать файл настроек '%1': это не обычный файл.").arg(path_));
    if (info.size() > MaximumFileSize)
        throw IniError(QStringLiteral("Файл настроек '%1' слишком велик (%2 байт).").arg(path_).arg(info.size()));
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly))
        throw IniError(QStringLiteral("Не могу прочитать файл настроек '%1': %2").arg(path_, file.errorString()));
    const QByteArray bytes = file.read(MaximumFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        throw IniError(QStringLiteral("Не могу прочитать файл настроек '%1': %2").arg(path_, file.errorString()));
    if (bytes.size() > MaximumFileSize)
        throw IniError(QStringLiteral("Файл настроек '%1' слишком велик.").arg(path_));
    existsOnDisk_ = true;
    parse(bytes);
}

void IniFile::parse(const QByteArray &bytes)
{
    qsizetype skip = 0;
    if (bytes.startsWith(kUtf8Bom)) {
        encoding_ = Encoding::Utf8;
        skip = kUtf8Bom.size();
    } else if (!TextEncoding::isAscii(bytes) && TextEncoding::isValidUtf8(bytes)) {
        encoding_ = Encoding::Utf8;
    }

    bool lineBreakSeen = false;
    qsizetype start = 0;
    const qsizetype size = bytes.size();
    while (start < size) {
        qsizetype end = start;
        while (end < size && bytes[end] != '\n' && bytes[end] != '\r')
            ++end;
        qsizetype breakLength = 0;
        if (end < size)
            breakLength = (bytes[end] == '\r' && end + 1 < size && bytes[end + 1] == '\n') ? 2 : 1;
        QByteArray lineBreak = bytes.mid(end, breakLength);
        if (!lineBreakSeen && breakLength > 0) {
            defaultLineBreak_ = lineBreak;
            lineBreakSeen = true;
        }
        lines_.push_back(parseLine(bytes.mid(start, end - start), std::move(lineBreak), skip));
        skip = 0;
        start = end + breakLength;
    }
}

IniFile::Line IniFile::parseLine(QByteArray text, QByteArray lineBreak, qsizetype skip) const
{
    Line line;
    line.text = std::move(text);
    line.lineBreak = std::move(lineBreak);
    const QByteArrayView bytes(line.text);
    qsizetype first = skip;
    while (first < bytes.size() && isBlank(bytes[first]))
        ++first;
    if (first == bytes.size() || bytes[first] == ';')
        return line;
    if (bytes[first] == '[') {
        const qsizetype close = bytes.indexOf(']', first + 1);
        if (close >= 0) {
            line.kind = LineKind::Section;
            line.foldedName = folded(trimBlanks(decode(bytes.sliced(first + 1, close - first - 1))));
        }
        return line;
    }
    const qsizetype equals = bytes.indexOf('=', first);
    if (equals < 0)
        return line;
    const QString name = trimBlanks(decode(bytes.sliced(first, equals - first)));
    if (name.isEmpty())
        return line;
    qsizetype valueStart = equals + 1;
    while (valueStart < bytes.size() && isBlank(bytes[valueStart]))
        ++valueStart;
    line.kind = LineKind::Key;
    line.foldedName = folded(name);
    line.valueOffset = valueStart;
    line.value = trimBlanks(decode(bytes.sliced(valueStart)));
    return line;
}

QString IniFile::decode(QByteArrayView bytes) const
{
    return encoding_ == Encoding::Utf8 ? QString::fromUtf8(bytes) : TextEncoding::decodeCp1251(bytes);
}

QByteArray IniFile::encode(const QString &text, const QString &key) const
{
    if (encoding_ == Encoding::Utf8)
        return text.toUtf8();
    std::optional<QByteArray> bytes = TextEncoding::encodeCp1251(text);
    if (!bytes) {
        throw IniError(QStringLiteral("Текст '%1' для ключа '%2' нельзя записать в кодировке 1251 файла настроек '%3'.")
                           .arg(text, key, path_));
    }
    return *std::move(bytes);
}

std::optional<size_t> IniFile::findSection(const QString &foldedSection) const
{
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind == LineKind::Section && lines_[i].foldedName == foldedSection)
            return i;
    }
    return std::nullopt;
}

std::optional<size_t> IniFile::findKey(const QString &section, const QString &key) const
{
    const QString foldedSection = folded(trimBlanks(section));
    const QString foldedKey = folded(trimBlanks(key));
    bool inSection = false;
    for (size_t i = 0; i < lines_.size(); ++i) {
        const Line &line = lines_[i];
        if (line.kind == LineKind::Section)
            inSection = line.foldedName == foldedSection;
        else if (inSection && line.kind == LineKind::Key && line.foldedName == foldedKey)
            return i;
    }
    return std::nullopt;
}

std::optional<QString> IniFile::value(const QString &section, const QString &key) const
{
    const std::optional<size_t> index = findKey(section, key);
    if (!index)
        return std::nullopt;
    return lines_[*index].value;
}

QString IniFile::readString(const QString &section, const QString &key, const QString &fallback) const
{
    return value(section, key).value_or(fallback);
}

int IniFile::readInteger(const QString &section, const QString &key, int fallback) const
{
    const std::optional<QString> text = value(section, key);
    if (!text)
        return fallback;
    return IniValueFormat::parseInteger(*text).value_or(fallback);
}

bool IniFile::readBool(const QString &section, const QString &key, bool fallback) const
{
    const std::optional<QString> text = value(section, key);
    if (!text)
        return fallback;
    const std::optional<int> number = IniValueFormat::parseInteger(*text);
    return number ? *number != 0 : fallback;
}

double IniFile::readDouble(const QString &section, const QString &key, double fallback) const
{
    const std::optional<QString> text = value(section, key);
    if (!text)
        return fallback;
    return IniValueFormat::parseDouble(*text).value_or(fallback);
}

void IniFile::writeString(const QString &section, const QString &key, const QString &value)
{
    writeValue(section, key, value);
}

void IniFile::writeInteger(const QString &section, const QString &key, int value)
{
    writeValue(section, key, IniValueFormat::formatInteger(value));
}

void IniFile::writeBool(const QString &section, const QString &key, bool value)
{
    writeValue(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void IniFile::writeDouble(const QString &section, const QString &key, double value)
{
    if (!std::isfinite(value))
        throw IniError(QStringLiteral("Ключ '%1' файла настроек '%2': число %3 нельзя записать.")
                           .arg(key, path_, QString::number(value)));
    writeValue(section, key, IniValueFormat::formatDouble(value));
}

void IniFile::checkNames(const QString &section, const QString &key) const
{
    const auto unreadable = [](const QString &name) {
        return name.isEmpty() || name != trimBlanks(name) || name.contains(u'\n') || name.contains(u'\r');
    };
    if (unreadable(section) || section.contains(u']') || unreadable(key) || key.contains(u'=') ||
        key.startsWith(u'[') || key.startsWith(u';')) {
        throw IniError(QStringLiteral("Недопустимое имя раздела '%1' или ключа '%2' для файла настроек '%3'.")
                           .arg(section, key, path_));
    }
}

void IniFile::writeValue(const QString &section, const QString &key, const QString &value)
{
    checkNames(section, key);
    if (value.contains(u'\n') || value.contains(u'\r'))
        throw IniError(QStringLiteral("Значение ключа '%1' для файла настроек '%2' содержит перевод строки.")
                           .arg(key, path_));

    if (const std::optional<size_t> index = findKey(section, key)) {
        Line &line = lines_[*index];
        if (line.value == trimBlanks(value))
            return;
        QByteArray text = line.text.left(line.valueOffset) + encode(value, key);
        line.text = std::move(text);
        line.value = trimBlanks(value);
        modified_ = true;
        return;
    }

    Line keyLine;
    keyLine.text = encode(key, key) + '=';
    keyLine.valueOffset = keyLine.text.size();
    keyLine.text += encode(value, key);
    keyLine.lineBreak = defaultLineBreak_;
    keyLine.kind = LineKind::Key;
    keyLine.foldedName = folded(key);
    keyLine.value = trimBlanks(value);

    if (const std::optional<size_t> header = findSection(folded(section))) {
        size_t position = *header + 1;
        for (size_t i = position; i < lines_.size() && lines_[i].kind != LineKind::Section; ++i) {
            if (lines_[i].kind == LineKind::Key)
                position = i + 1;
        }
        insertLine(position, std::move(keyLine));
    } else {
        Line headerLine;
        headerLine.text = encode(QLatin1Char('[') + section + QLatin1Char(']'), key);
        headerLine.lineBreak = defaultLineBreak_;
        headerLine.kind = LineKind::Section;
        headerLine.foldedName = folded(section);
        if (!lines_.empty() && !isBlankLine(lines_.back().text)) {
            Line blank;
            blank.lineBreak = defaultLineBreak_;
            insertLine(lines_.size(), std::move(blank));
        }
        insertLine(lines_.size(), std::move(headerLine));
        insertLine(lines_.size(), std::move(keyLine));
    }
    modified_ = true;
}

void IniFile::insertLine(size_t position, Line line)
{
    // Only the last line of a file can lack a line break, and it is no longer last.
    if (position == lines_.size() && !lines_.empty() && lines_.back().lineBreak.isEmpty())
        lines_.back().lineBreak = defaultLineBreak_;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(position), std::move(line));
}

QByteArray IniFile::contents() const
{
    QByteArray bytes;
    qsizetype size = 0;
    for (const Line &line : lines_)
        size += line.text.size() + line.lineBreak.size();
    bytes.reserve(size);
    for (const Line &line : lines_) {
        bytes += line.text;
        bytes += line.lineBreak;
    }
    return bytes;
}

void IniFile::flush()
{
    if (existsOnDisk_ && !modified_)
        return;

    // A replace by rename would ignore the protection of a file that nobody may write; the
    // mode bits decide, since the "user" bits say yes to the superuser whatever the mode.
    const QFileInfo info(path_);
    constexpr QFileDevice::Permissions writeBits =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    if (info.exists() && !(info.permissions() & writeBits))
        throw IniError(QStringLiteral("Не могу записать файл настроек '%1': файл защищён от записи.").arg(path_));

    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly))
        throw IniError(QStringLiteral("Не могу записать файл настроек '%1': %2").arg(path_, file.errorString()));
    const QByteArray bytes = contents();
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw IniError(QStringLiteral("Не могу записать файл настроек '%1': %2").arg(path_, reason));
    }
#ifdef Q_OS_UNIX
    if (::fsync(file.handle()) != 0) {
        file.cancelWriting();
        throw IniError(QStringLiteral("Не могу записать файл настроек '%1': %2")
                           .arg(path_, QString::fromLocal8Bit(std::strerror(errno))));
    }
#endif
    if (!file.commit())
        throw IniError(QStringLiteral("Не могу записать файл настроек '%1': %2").arg(path_, file.errorString()));
#ifdef Q_OS_UNIX
    syncDirectory(path_);
#endif
    existsOnDisk_ = true;
    modified_ = false;
}
