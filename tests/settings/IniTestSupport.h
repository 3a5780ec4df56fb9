#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>

#include <cerrno>
#include <iconv.h>
#include <stdexcept>

// Fixture bytes in code page 1251, produced by iconv from the UTF-8 text of the test source,
// with every "\n" turned into the given line break.
inline QByteArray cp1251(const QString &text, const QByteArray &lineBreak = QByteArrayLiteral("\r\n"))
{
    QByteArray utf8 = text.toUtf8();
    utf8.replace("\n", lineBreak);
    iconv_t cd = iconv_open("CP1251", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error("no CP1251 in iconv");
    QByteArray out(utf8.size(), '\0');
    char *in = utf8.data();
    size_t inLeft = static_cast<size_t>(utf8.size());
    char *o = out.data();
    size_t outLeft = static_cast<size_t>(out.size());
    const size_t rc = iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1))
        throw std::runtime_error("fixture text not representable in CP1251");
    out.truncate(out.size() - static_cast<qsizetype>(outLeft));
    return out;
}

inline QByteArray crlf(const QString &text)
{
    return text.toUtf8().replace("\n", "\r\n");
}

inline void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

inline QByteArray readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}
