#pragma once

#include <QFile>
#include <QString>
#include <QStringList>
#include <QtEndian>

namespace testsupport {

// The raw bytes of a file, empty when it does not exist.
inline QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QString FromUtf16Le(const QByteArray& bytes) {
    QString text(bytes.size() / 2, Qt::Uninitialized);
    qFromLittleEndian<char16_t>(bytes.constData(), text.size(), text.data());
    return text;
}

// The messages of a day's log whose entries all carry `stamp`, in order.
inline QStringList LogMessages(const QString& path, const QString& stamp) {
    const QString prefix = u'[' + stamp + QStringLiteral("] ");
    QStringList messages;
    const QString text = FromUtf16Le(ReadBytes(path));
    qsizetype at = 0;
    while (at < text.size()) {
        if (!text.sliced(at).startsWith(prefix)) {
            messages.append(QStringLiteral("<unexpected text: ") + text.sliced(at) + u'>');
            break;
        }
        at += prefix.size();
        qsizetype end = text.indexOf(QStringLiteral("\r\n") + prefix, at);
        end = end < 0 ? text.size() : end + 2;
        QString message = text.sliced(at, end - at);
        if (message.endsWith(QStringLiteral("\r\n"))) {
            message.chop(2);
        }
        messages.append(message);
        at = end;
    }
    return messages;
}

}  // namespace testsupport
