#pragma once

// What a run of quillane-attach left: its exit status and both output streams, with the JSON
// objects of standard output (one a line) read back.

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>

struct Result {
    int status = -1;
    QString out;
    QString err;

    // One JSON object per line of standard output.
    QList<QJsonObject> Objects() const {
        QList<QJsonObject> objects;
        for (const QString& line : out.split(u'\n', Qt::SkipEmptyParts)) {
            QJsonParseError error;
            const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8(), &error);
            EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
            EXPECT_TRUE(doc.isObject()) << line.toStdString();
            objects << doc.object();
        }
        return objects;
    }
};
