#include "db/db_error.h"

namespace quillane::db {

DbError::DbError(QString message, int serverError)
    : message_(std::move(message)), utf8_(message_.toUtf8()), serverError_(serverError) {}

QString MessageOf(const std::exception& error) {
    if (const auto* dbError = dynamic_cast<const DbError*>(&error)) {
        return dbError->Message();
    }
    return QString::fromUtf8(error.what());
}

int ServerErrorOf(const std::exception& error) {
    const auto* dbError = dynamic_cast<const DbError*>(&error);
    return dbError != nullptr ? dbError->ServerError() : 0;
}

QString ControlsShown(const QString& text) {
    QString shown = text;
    for (QChar& c : shown) {
        if (c.unicode() < 0x20) {
            c = QChar(static_cast<char16_t>(0x2400 + c.unicode()));
        } else if (c.unicode() == 0x7F) {
            c = QChar(u'\u2421');
        }
    }
    return shown;
}

}  // namespace quillane::db
