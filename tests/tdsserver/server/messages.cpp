// The texts of SQL Server's messages.
#include "messages.h"

#include "config.h"
#include "transcript.h"

namespace tdsserver {

void Put(Writer& w, const SqlMessage& m, std::int32_t line) {
    MessageToken(w, m.severity > 10, m.number, m.state, m.severity, m.text, line);
}

std::u16string Decimal(long long n) {
    return tdsfiles::FromUtf8(std::to_string(n));
}

SqlMessage UnableToOpen(const std::u16string& path, int osError) {
    std::u16string why;
    switch (osError) {
        case 2:
            why = u"2(The system cannot find the file specified.)";
            break;
        case 5:
            why = u"5(Access is denied.)";
            break;
        default:
            why =
                u"32(The process cannot access the file because it is being used by another "
                u"process.)";
            break;
    }
    return {5120, 101, 16,
            u"Unable to open the physical file \"" + path + u"\". Operating system error " +
                Decimal(osError) + u": \"" + why + u"\"."};
}

SqlMessage NotPrimaryFile(const std::u16string& path) {
    return {5171, 1, 16, path + u" is not a primary database file."};
}

SqlMessage BadFileHeader(const std::u16string& path, std::u16string_view property) {
    return {5172, 15, 16,
            u"The header for file '" + path + u"' is not a valid database file header. The " +
                std::u16string(property) + u" property is incorrect."};
}

SqlMessage TooNew(const std::u16string& name, int version) {
    return {948, 1, 20,
            u"The database '" + name + u"' cannot be opened because it is version " +
                Decimal(version) + u". This server supports version " +
                Decimal(kServerDatabaseVersion) +
                u" and earlier. A downgrade path is not supported."};
}

SqlMessage AlreadyExists(const std::u16string& name) {
    return {1801, 3, 16,
            u"Database '" + name + u"' already exists. Choose a different database name."};
}

SqlMessage FilesNotCreated() {
    return {1802, 4, 16,
            u"CREATE DATABASE failed. Some file names listed could not be created. Check related "
            u"errors."};
}

SqlMessage CouldNotOpenNew(const std::u16string& name) {
    return {1813, 2, 16,
            u"Could not open new database '" + name + u"'. CREATE DATABASE is aborted."};
}

SqlMessage FilesDoNotMatch() {
    return {5173, 1, 16,
            u"One or more files do not match the primary file of the database. If you are "
            u"attempting to attach a database, retry the operation with the correct files. If "
            u"this is an existing database, the file may be corrupted and should be restored from "
            u"a backup."};
}

SqlMessage FileActivationFailure(const std::u16string& path) {
    return {5111, 1, 10,
            u"File activation failure. The physical file name \"" + path + u"\" may be incorrect."};
}

SqlMessage NewLogFileCreated(const std::u16string& path) {
    return {5182, 1, 10, u"New log file '" + path + u"' was created."};
}

SqlMessage FileAlreadyExists(const std::u16string& path) {
    return {5170, 1, 16,
            u"Cannot create file '" + path +
                u"' because it already exists. Change the file path or the file name, and retry "
                u"the operation."};
}

SqlMessage CreateFileFailed(const std::u16string& path) {
    return {5123, 1, 16,
            u"CREATE FILE encountered operating system error 3(The system cannot find the path "
            u"specified.) while attempting to open or create the physical file '" +
                path + u"'."};
}

SqlMessage DbccDone() {
    return {2528, 1, 0,
            u"DBCC execution completed. If DBCC printed error messages, contact your system "
            u"administrator."};
}

SqlMessage DatabaseDoesNotExist(const std::u16string& name) {
    return {
        911, 1, 16,
        u"Database '" + name + u"' does not exist. Make sure that the name is entered correctly."};
}

SqlMessage CannotOpenRequestedDatabase(const std::u16string& name) {
    return {4060, 1, 11,
            u"Cannot open database \"" + name + u"\" requested by the login. The login failed."};
}

SqlMessage LoginFailed(const std::u16string& login) {
    return {18456, 1, 14, u"Login failed for user '" + login + u"'."};
}

SqlMessage UntrustedDomain() {
    return {18452, 1, 14,
            u"Login failed. The login is from an untrusted domain and cannot be used with "
            u"Integrated authentication."};
}

SqlMessage ChangedDatabase(const std::u16string& name, std::uint8_t state) {
    return {5701, state, 0, u"Changed database context to '" + name + u"'."};
}

SqlMessage ChangedLanguage() {
    return {5703, 1, 0, u"Changed language setting to us_english."};
}

}  // namespace tdsserver
