#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <stdexcept>
#include <vector>

// A settings file that cannot be read or written; the message names the file.
class IniError : public std::runtime_error {
public:
    explicit IniError(const QString &message);
    const QString &message() const { return message_; }

private:
    QString message_;
};

// An ini file in the Windows private-profile layout, held in memory and written back whole.
//
// Layout: "[section]" lines, "key=value" lines, anything else (comments, blank lines, junk) is
// kept as it is. Names match without regard to letter case, Cyrillic included; blanks around
// names and values are not part of them, blanks inside are. A line that opens with "[" but has no
// "]" is not a section header; lines before the first header belong to no section. With repeated
// sections or keys the first occurrence in the file is the one read and updated.
//
// Writes: an existing key keeps its line and only the bytes after "=" change; a new key goes
// right after the last key line of the first section with that name (right after the header
// when it has none); a new section goes at the end of the file, after a blank line. Nothing is
// ever removed, and every line that is not written keeps its bytes, line break included.
//
// Text: a file that is valid UTF-8 and not plain ASCII (or starts with a UTF-8 byte-order mark)
// is read and written as UTF-8; any other file, and a new one, in code page 1251. New lines get
// the file's first line break, CRLF in a file that has none.
//
// Writes change only the memory image; flush() replaces the file atomically, so key-by-key
// writes each followed by flush() give the same bytes as the same writes followed by one flush().
class IniFile {
public:
    enum class Encoding { Cp1251, Utf8 };

    // Larger files are refused on reading rather than held in memory.
    static constexpr qint64 MaximumFileSize = 16 * 1024 * 1024;

    // Reads the file; a missing file gives an empty image in code page 1251. Throws IniError
    // when the file exists but cannot be read, is not a regular file or is too large.
    explicit IniFile(QString path);

    const QString &path() const { return path_; }
    Encoding encoding() const { return encoding_; }
    // The file was there when read, or has been written since.
    bool existsOnDisk() const { return existsOnDisk_; }
    // Some write changed the image since it was read or last flushed.
    bool isModified() const { return modified_; }

    // The value text with surrounding blanks removed, or nullopt when the key is absent.
    std::optional<QString> value(const QString &section, const QString &key) const;

    // Typed reads: a missing key, or a value that does not convert, gives the fallback.
    QString readString(const QString &section, const QString &key, const QString &fallback) const;
    int readInteger(const QString &section, const QString &key, int fallback) const;
    // Read as an integer, non-zero is true.
    bool readBool(const QString &section, const QString &key, bool fallback) const;
    double readDouble(const QString &section, const QString &key, double fallback) const;

    // Writes throw IniError for a value with a line break, a text that code page 1251 cannot
    // hold (in such a file), a non-finite number, or a name that could not be read back.
    void writeString(const QString &section, const QString &key, const QString &value);
    void writeInteger(const QString &section, const QString &key, int value);
    void writeBool(const QString &section, const QString &key, bool value);
    void writeDouble(const QString &section, const QString &key, double value);

    // The bytes that flush() writes.
    QByteArray contents() const;

    // Replaces the file with the image through a temporary file and a rename, so a failure at
    // any point leaves the previous file whole. Does nothing when the file exists and nothing
    // changed. Throws IniError naming the file when the write is refused (no write permission
    // bit on the file, directory not writable, disk full) and keeps the image for a retry.
    void flush();

private:
    enum class LineKind { Other, Section, Key };
    struct Line {
        QByteArray text; // the bytes without the line break
        QByteArray lineBreak; // "\r\n", "\n", "\r", or empty on a last line without one
        LineKind kind = LineKind::Other;
        QString foldedName; // section or key name, case-folded
        QString value; // key value, decoded, blanks removed
        qsizetype valueOffset = 0; // bytes of a key line before its value
    };

    void parse(const QByteArray &bytes);
    Line parseLine(QByteArray text, QByteArray lineBreak, qsizetype skip) const;
    QString decode(QByteArrayView bytes) const;
    QByteArray encode(const QString &text, const QString &key) const;
    void checkNames(const QString &section, const QString &key) const;
    std::optional<size_t> findSection(const QString &foldedSection) const;
    std::optional<size_t> findKey(const QString &section, const QString &key) const;
    void writeValue(const QString &section, const QString &key, const QString &value);
    void insertLine(size_t position, Line line);
    QString sectionHeaderText(const QString &section) const;

    QString path_;
    Encoding encoding_ = Encoding::Cp1251;
    QByteArray defaultLineBreak_ = QByteArrayLiteral("\r\n");
    std::vector<Line> lines_;
    bool existsOnDisk_ = false;
    bool modified_ = false;
};
