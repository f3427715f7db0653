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
    // `serverError`: the number of the first error message the server itself sent (5120, 1801,
    // 18456, …); 0 when the failure came from the client side (the driver, the network).
    explicit DbError(QString message, int serverError = 0);

    const QString& Message() const noexcept { return message_; }
    int ServerError() const noexcept { return serverError_; }
    const char* what() const noexcept override { return utf8_.constData(); }

  private:
    QString message_;
    QByteArray utf8_;
    int serverError_ = 0;
};

// The message text of any failure: a DbError's own text, otherwise what() read as UTF-8.
QString MessageOf(const std::exception& error);
// The server's error number of any failure; 0 when it is not a DbError from the server.
int ServerErrorOf(const std::exception& error);

// `text` with every control character (U+0000 to U+001F and U+007F) replaced by its Unicode control
// picture (␀ to ␟, ␡). Names and paths read from a file or a directory may hold CR or LF; shown
// this way in a message or a log line they can neither break it nor start a line of their own
// that passes for another entry ("[…] 附加数据库【x】成功！"). Statements keep the real characters.
QString ControlsShown(const QString& text);

}  // namespace quillane::db
