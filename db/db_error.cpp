#include "db/db_error.h"

namespace quillane::db {

DbError::DbError(QString message) : message_(std::move(message)), utf8_(message_.toUtf8()) {}

QString MessageOf(const std::exception& error) {
    if (const auto* dbError = dynamic_cast<const DbError*>(&error)) {
        return dbError->Message();
    }
    return QString::fromUtf8(error.what());
}

}  // namespace quillane::db
