#include "cli/output.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>
#include <algorithm>
#include <optional>
#include <string_view>

#include "mdf/collation.h"
#include "mdf/versions.h"

namespace quillane::cli {

using namespace Qt::Literals::StringLiterals;

namespace {

QString FromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QJsonValue OrNull(const std::optional<std::string_view>& text) {
    return text ? QJsonValue(FromView(*text)) : QJsonValue(QJsonValue::Null);
}

QString CheckText(FileCheck check) {
    switch (check) {
        case FileCheck::Primary:
            return QStringLiteral("主文件");
        case FileCheck::Found:
            return QStringLiteral("找到");
        case FileCheck::Missing:
            return QStringLiteral("缺失");
        case FileCheck::Unreadable:
            return QStringLiteral("无法读取");
        case FileCheck::OtherDatabase:
            return QStringLiteral("属于其他数据库");
        case FileCheck::Damaged:
            return QStringLiteral("已损坏");
    }
    return {};
}

QString CheckKey(FileCheck check) {
    switch (check) {
        case FileCheck::Primary:
            return QStringLiteral("primary");
        case FileCheck::Found:
            return QStringLiteral("found");
        case FileCheck::Missing:
            return QStringLiteral("missing");
        case FileCheck::Unreadable:
            return QStringLiteral("unreadable");
        case FileCheck::OtherDatabase:
            return QStringLiteral("otherDatabase");
        case FileCheck::Damaged:
            return QStringLiteral("damaged");
    }
    return {};
}

QString StatusKey(mdf::ReadStatus status) {
    switch (status) {
        case mdf::ReadStatus::Ok:
            return QStringLiteral("ok");
        case mdf::ReadStatus::NotFound:
            return QStringLiteral("notFound");
        case mdf::ReadStatus::AccessDenied:
            return QStringLiteral("accessDenied");
        case mdf::ReadStatus::NotPrimary:
            return QStringLiteral("notPrimary");
        case mdf::ReadStatus::BadHeader:
            return QStringLiteral("badHeader");
        case mdf::ReadStatus::Damaged:
            return QStringLiteral("damaged");
    }
    return {};
}

QString FailureKey(Failure failure) {
    switch (failure) {
        case Failure::None:
            return {};
        case Failure::NotFound:
            return QStringLiteral("notFound");
        case Failure::AccessDenied:
            return QStringLiteral("accessDenied");
        case Failure::NotPrimary:
            return QStringLiteral("notPrimary");
        case Failure::Damaged:
            return QStringLiteral("damaged");
        case Failure::TooNew:
            return QStringLiteral("tooNew");
        case Failure::Mismatch:
            return QStringLiteral("mismatch");
    }
    return {};
}

QString Quoted(const QString& path) {
    return u"“"_s + Printable(path) + u"”"_s;
}

QString VersionText(int version) {
    const QString number = QString::number(version);
    const auto oldest = mdf::OldestReleaseAttaching(version);
    if (!oldest) {
        return number + u"（比已知的最新版本 "_s + QString::number(mdf::kNewestKnownVersion) +
               u" 还新，已知的发行版都不能附加）"_s;
    }
    QString text = number + u"（"_s;
    if (const auto writer = mdf::ReleaseWriting(version)) {
        text += FromView(*writer) + u" 写入，"_s;
    }
    return text + FromView(*oldest) + u" 及更新版本可附加）"_s;
}

QString CreateVersionText(int version) {
    const auto writer = mdf::ReleaseWriting(version);
    return QString::number(version) + (writer ? u"（"_s + FromView(*writer) + u"）"_s : QString());
}

QString CollationText(std::uint32_t id) {
    if (const auto name = mdf::CollationName(id)) {
        return QString::fromStdU16String(std::u16string(*name));
    }
    return QString::number(id);
}

QString VerdictText(const Verdict& verdict) {
    if (verdict.Ready()) {
        return QStringLiteral("可以附加");
    }
    QString text = u"不能附加：服务器将报错 "_s + QString::number(verdict.ServerError());
    if (verdict.OsError() != 0) {
        text += u"（操作系统错误 "_s + QString::number(verdict.OsError()) + u"）"_s;
    }
    text += u"："_s;
    switch (verdict.failure) {
        case Failure::None:
            break;
        case Failure::NotFound:
            text += u"找不到"_s + Quoted(verdict.path);
            break;
        case Failure::AccessDenied:
            text += u"无法读取"_s + Quoted(verdict.path);
            break;
        case Failure::NotPrimary:
            text += Quoted(verdict.path) + u"不是主数据库文件"_s;
            break;
        case Failure::Damaged:
            text += Quoted(verdict.path) + u"已损坏（"_s + Printable(verdict.detail) + u"）"_s;
            break;
        case Failure::TooNew:
            text += u"数据库版本比已知的最新版本 "_s + QString::number(mdf::kNewestKnownVersion) +
                    u" 还新"_s;
            break;
        case Failure::Mismatch:
            text += Quoted(verdict.path) + u"属于另一个数据库"_s;
            break;
    }
    return text;
}

// Rows of cells laid out in columns two blanks apart, by the width a terminal gives them.
QString Columns(const QList<QStringList>& rows, const QString& indent) {
    QList<int> widths;
    for (const QStringList& row : rows) {
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (widths.size() <= i) {
                widths.append(0);
            }
            widths[i] = std::max(widths[i], DisplayWidth(row[i]));
        }
    }
    QString text;
    for (const QStringList& row : rows) {
        QString line = indent;
        for (qsizetype i = 0; i < row.size(); ++i) {
            line += i + 1 < row.size() ? PadToWidth(row[i], widths[i] + 2) : row[i];
        }
        text += line + u'\n';
    }
    return text;
}

}  // namespace

QString InspectionText(const Inspection& inspection) {
    QList<QStringList> facts{{u"数据库文件"_s, Printable(inspection.path)}};
    if (inspection.status == mdf::ReadStatus::Ok) {
        facts.append({u"数据库名"_s, Printable(inspection.databaseName)});
        facts.append({u"数据库版本"_s, VersionText(inspection.version)});
        facts.append({u"创建时版本"_s, CreateVersionText(inspection.createVersion)});
        facts.append({u"排序规则"_s, CollationText(inspection.collationId)});
    }
    facts.append({u"结论"_s, VerdictText(inspection.verdict)});
    QString text = Columns(facts, {});
    if (inspection.files.isEmpty()) {
        return text;
    }
    QList<QStringList> files{
        {u"编号"_s, u"类型"_s, u"逻辑名"_s, u"记录的路径"_s, u"附加路径"_s, u"检查"_s}};
    for (const InspectedFile& file : inspection.files) {
        files.append({QString::number(file.fileId), file.log ? u"日志文件"_s : u"数据文件"_s,
                      Printable(file.logicalName), Printable(file.recordedPath),
                      Printable(file.attachPath), CheckText(file.check)});
    }
    return text + Columns(files, u"  "_s);
}

QJsonObject InspectionJson(const Inspection& inspection) {
    QJsonObject object{{u"file"_s, inspection.path},
                       {u"read"_s, StatusKey(inspection.status)},
                       {u"ready"_s, inspection.verdict.Ready()}};
    if (inspection.status != mdf::ReadStatus::Ok) {
        object.insert(u"detail"_s, inspection.detail);
    } else {
        const auto collation = mdf::CollationName(inspection.collationId);
        object.insert(u"databaseName"_s, inspection.databaseName);
        object.insert(u"version"_s, inspection.version);
        object.insert(u"release"_s, OrNull(mdf::ReleaseWriting(inspection.version)));
        object.insert(u"oldestReleaseToAttach"_s,
                      OrNull(mdf::OldestReleaseAttaching(inspection.version)));
        object.insert(u"createVersion"_s, inspection.createVersion);
        object.insert(u"createRelease"_s, OrNull(mdf::ReleaseWriting(inspection.createVersion)));
        object.insert(u"collationId"_s, static_cast<qint64>(inspection.collationId));
        object.insert(u"collation"_s,
                      collation ? QJsonValue(QString::fromStdU16String(std::u16string(*collation)))
                                : QJsonValue(QJsonValue::Null));
        object.insert(u"bindingId"_s,
                      QString::fromStdString(mdf::BindingIdGuid(inspection.bindingId)));
        QJsonArray files;
        for (const InspectedFile& file : inspection.files) {
            QJsonObject f{
                {u"fileId"_s, file.fileId},           {u"type"_s, file.log ? u"log"_s : u"data"_s},
                {u"logicalName"_s, file.logicalName}, {u"recordedPath"_s, file.recordedPath},
                {u"attachPath"_s, file.attachPath},   {u"check"_s, CheckKey(file.check)}};
            if (!file.detail.isEmpty()) {
                f.insert(u"detail"_s, file.detail);
            }
            files.append(f);
        }
        object.insert(u"files"_s, files);
    }
    const Verdict& verdict = inspection.verdict;
    if (verdict.Ready()) {
        object.insert(u"error"_s, QJsonValue(QJsonValue::Null));
    } else {
        QJsonObject error{{u"number"_s, verdict.ServerError()},
                          {u"reason"_s, FailureKey(verdict.failure)},
                          {u"path"_s, verdict.path}};
        if (verdict.OsError() != 0) {
            error.insert(u"osError"_s, verdict.OsError());
        }
        object.insert(u"error"_s, error);
    }
    return object;
}

void Formatter::Write(const Inspection& inspection) {
    if (form_ == OutputForm::Json) {
        out_ << QString::fromUtf8(
                    QJsonDocument(InspectionJson(inspection)).toJson(QJsonDocument::Compact))
             << u'\n';
    } else {
        if (!first_) {
            out_ << u'\n';
        }
        out_ << InspectionText(inspection);
    }
    first_ = false;
    out_.flush();
}

void Formatter::Summary(int total, int ready) {
    if (form_ == OutputForm::Json) {
        return;
    }
    if (!first_) {
        out_ << u'\n';
    }
    out_ << u"共 "_s << total << u" 个主数据库文件："_s << ready << u" 个可以附加，"_s
         << total - ready << u" 个不能附加。\n"_s;
    out_.flush();
}

int DisplayWidth(QStringView text) {
    // East Asian Wide and Fullwidth ranges that names and paths meet: CJK, kana, Hangul, fullwidth
    // forms, and the emoji blocks terminals draw two columns wide.
    static constexpr struct {
        char32_t first, last;
    } kWide[] = {
        {0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},
        {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xA960, 0xA97F},   {0xAC00, 0xD7A3},
        {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},
        {0xFFE0, 0xFFE6},   {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD},
        {0x30000, 0x3FFFD},
    };
    int width = 0;
    for (const char32_t c : text.toUcs4()) {
        switch (QChar::category(c)) {
            case QChar::Mark_NonSpacing:
            case QChar::Mark_Enclosing:
            case QChar::Other_Format:
                continue;
            default:
                break;
        }
        const bool wide = std::any_of(std::begin(kWide), std::end(kWide),
                                      [c](const auto& r) { return c >= r.first && c <= r.last; });
        width += wide ? 2 : 1;
    }
    return width;
}

QString PadToWidth(const QString& text, int width) {
    return text + QString(std::max(0, width - DisplayWidth(text)), u' ');
}

QString Printable(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F)) {
            out += u"\\x"_s + QString::number(u, 16).toUpper().rightJustified(2, u'0');
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace quillane::cli
