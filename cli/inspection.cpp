#include "cli/inspection.h"

#include "engine/file_names.h"
#include "engine/file_plan.h"
#include "mdf/versions.h"

namespace quillane::cli {
namespace {

QString FromUtf16(const std::u16string& text) {
    return QString::fromStdU16String(text);
}

void CheckFile(InspectedFile& file, const mdf::BindingId& bindingId) {
    const auto header = mdf::ReadFileHeader(engine::ToFsPath(file.attachPath));
    file.detail = QString::fromStdString(header.detail);
    switch (header.status) {
        case mdf::ReadStatus::Ok:
            file.check =
                header.value.bindingId == bindingId ? FileCheck::Found : FileCheck::OtherDatabase;
            break;
        case mdf::ReadStatus::NotFound:
            file.check = FileCheck::Missing;
            break;
        case mdf::ReadStatus::AccessDenied:
            file.check = FileCheck::Unreadable;
            break;
        case mdf::ReadStatus::NotPrimary:
        case mdf::ReadStatus::BadHeader:
        case mdf::ReadStatus::Damaged:
            file.check = FileCheck::Damaged;
            break;
    }
}

}  // namespace

int Verdict::ServerError() const {
    switch (failure) {
        case Failure::None:
            return 0;
        case Failure::NotFound:
        case Failure::AccessDenied:
            return 5120;
        case Failure::NotPrimary:
            return 5171;
        case Failure::Damaged:
            return 5172;
        case Failure::TooNew:
            return 948;
        case Failure::Mismatch:
            return 5173;
    }
    return 0;
}

int Verdict::OsError() const {
    return failure == Failure::NotFound ? 2 : failure == Failure::AccessDenied ? 5 : 0;
}

Inspection Inspect(const QString& path) {
    Inspection inspection;
    inspection.path = path;
    const auto read = mdf::ReadPrimaryFile(engine::ToFsPath(path));
    inspection.status = read.status;
    inspection.detail = QString::fromStdString(read.detail);
    if (read) {
        const mdf::PrimaryFile& primary = read.value;
        inspection.databaseName = FromUtf16(primary.databaseName);
        inspection.version = primary.version;
        inspection.createVersion = primary.createVersion;
        inspection.collationId = primary.collationId;
        inspection.bindingId = primary.bindingId;

        QList<engine::RecordedFile> recorded;
        for (const mdf::FileEntry& entry : primary.files) {
            recorded.append({entry.fileId, FromUtf16(entry.physicalName)});
        }
        const QStringList plan = engine::PlanFilePaths(path, recorded);
        for (qsizetype i = 0; i < recorded.size(); ++i) {
            const mdf::FileEntry& entry = primary.files[static_cast<std::size_t>(i)];
            InspectedFile file;
            file.fileId = entry.fileId;
            file.log = mdf::IsLogFile(entry);
            file.logicalName = FromUtf16(entry.logicalName);
            file.recordedPath = recorded[i].path;
            file.attachPath = plan[i];
            if (entry.fileId == 1) {
                file.check = FileCheck::Primary;
            } else {
                CheckFile(file, primary.bindingId);
            }
            inspection.files.append(file);
        }
    }
    inspection.verdict = Judge(inspection);
    return inspection;
}

Verdict Judge(const Inspection& inspection) {
    switch (inspection.status) {
        case mdf::ReadStatus::Ok:
            break;
        case mdf::ReadStatus::NotFound:
            return {Failure::NotFound, inspection.path, inspection.detail};
        case mdf::ReadStatus::AccessDenied:
            return {Failure::AccessDenied, inspection.path, inspection.detail};
        case mdf::ReadStatus::NotPrimary:
            return {Failure::NotPrimary, inspection.path, inspection.detail};
        case mdf::ReadStatus::BadHeader:
        case mdf::ReadStatus::Damaged:
            return {Failure::Damaged, inspection.path, inspection.detail};
    }
    if (inspection.version > mdf::kNewestKnownVersion) {
        return {Failure::TooNew, inspection.path, {}};
    }
    for (const InspectedFile& file : inspection.files) {
        switch (file.check) {
            case FileCheck::Missing:
                return {Failure::NotFound, file.attachPath, file.detail};
            case FileCheck::Unreadable:
                return {Failure::AccessDenied, file.attachPath, file.detail};
            case FileCheck::Damaged:
                return {Failure::Damaged, file.attachPath, file.detail};
            case FileCheck::Primary:
            case FileCheck::Found:
            case FileCheck::OtherDatabase:
                break;
        }
    }
    for (const InspectedFile& file : inspection.files) {
        if (file.check == FileCheck::OtherDatabase) {
            return {Failure::Mismatch, file.attachPath, {}};
        }
    }
    return {};
}

}  // namespace quillane::cli
