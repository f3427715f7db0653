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

// `text` with every control character (U+0000 to U+001F and U+007F) replaced by its Unicode control
// picture (␀ to ␟, ␡). Names and paths read from a file or a directory may hold CR or LF; shown
// this way in a message or a log line they can neither break it nor start a line of their own
// that passes for another entry ("[…] 附加数据库【x】成功！"). Statements keep the real characters.
QString ControlsShown(const QString& text);

}  // namespace quillane::db
