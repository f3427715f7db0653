#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace quillane::db {

// A failure of the server or of the data-access layer. The message is passed on to the user
// exactly as the server or driver worded it, so it is kept as UTF-16 text; what() gives the same
// text in UTF-8 for handlers that only know std::exception.
class DbError : public std::exception {
  public:
    explicit DbError(QString message);

    const QString& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.constData(); }

  private:
    QString message_;
    QByteArray utf8_;
};

// The message text of any failure: a DbError's own text, otherwise what() read as UTF-8.
QString MessageOf(const std::exception& error);

}  // namespace quillane::db
