// quillane-mdfmake: makes primary data files and log files for tests, and shows what a file
// records. Names and paths are taken and printed as UTF-8.
//
//   quillane-mdfmake primary OUT.mdf --name NAME --data PATH --log PATH [--data PATH ...]
//                    [--log PATH ...] [--torn] [--version N] [--binding HEX32]
//   quillane-mdfmake log OUT.ldf (--binding-of PRIMARY.mdf | --binding HEX32) [--file-id N]
//   quillane-mdfmake show FILE

#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "mdf_fixture.h"

namespace {

int Usage() {
    std::cerr << "usage:\n"
                 "  quillane-mdfmake primary OUT.mdf --name NAME --data PATH --log PATH\n"
                 "      [--data PATH ...] [--log PATH ...] [--torn] [--version N]\n"
                 "      [--create-version N] [--collation N] [--dbid N] [--binding HEX32]\n"
                 "  quillane-mdfmake log OUT.ldf (--binding-of PRIMARY.mdf | --binding HEX32)"
                 " [--file-id N]\n"
                 "  quillane-mdfmake show FILE\n";
    return 2;
}

// "E:\dir\db1_log.ldf" -> "db1_log", the logical name SQL Server gives a file by default.
std::u16string LogicalNameOf(const std::u16string& path) {
    const auto slash = path.find_last_of(u"\\/");
    std::u16string base = slash == std::u16string::npos ? path : path.substr(slash + 1);
    const auto dot = base.find_last_of(u'.');
    return dot == std::u16string::npos || dot == 0 ? base : base.substr(0, dot);
}

int MakePrimary(const std::string& out, const std::vector<std::string>& args) {
    mdf::FixtureSpec fixture;
    std::vector<std::u16string> data, logs;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--torn") {
            fixture.tornPageProtection = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            return Usage();
        }
        const std::string& v = args[++i];
        if (a == "--name") {
            fixture.databaseName = mdf::FromUtf8(v);
        } else if (a == "--data") {
            data.push_back(mdf::FromUtf8(v));
        } else if (a == "--log") {
            logs.push_back(mdf::FromUtf8(v));
        } else if (a == "--version") {
            fixture.version = static_cast<std::int16_t>(std::stoi(v));
        } else if (a == "--create-version") {
            fixture.createVersion = static_cast<std::int16_t>(std::stoi(v));
        } else if (a == "--collation") {
            fixture.collationId = static_cast<std::uint32_t>(std::stoul(v));
        } else if (a == "--dbid") {
            fixture.databaseId = static_cast<std::int16_t>(std::stoi(v));
        } else if (a == "--binding") {
            if (!mdf::ParseBindingId(v, fixture.bindingId)) {
                std::cerr << "--binding takes 32 hex digits\n";
                return 2;
            }
        } else {
            return Usage();
        }
    }
    if (fixture.databaseName.empty() || data.empty() || logs.empty()) {
        return Usage();
    }
    // Ids as SQL Server hands them out: 1 the primary file, 2 the first log, then the rest.
    std::int16_t next = 3;
    for (std::size_t i = 0; i < data.size(); ++i) {
        const std::int16_t id = i == 0 ? 1 : next++;
        fixture.files.push_back({2, id, LogicalNameOf(data[i]), data[i]});
        if (i == 0) {
            fixture.files.push_back({0x100042, 2, LogicalNameOf(logs[0]), logs[0]});
        }
    }
    for (std::size_t i = 1; i < logs.size(); ++i) {
        fixture.files.push_back({0x100042, next++, LogicalNameOf(logs[i]), logs[i]});
    }
    mdf::WritePrimaryFile(out, fixture);
    return 0;
}

int MakeLog(const std::string& out, const std::vector<std::string>& args) {
    std::string of;
    mdf::BindingId binding{};
    bool haveBinding = false;
    std::int16_t fileId = 2;
    for (std::size_t i = 0; i + 1 < args.size(); i += 2) {
        if (args[i] == "--binding-of") {
            of = args[i + 1];
        } else if (args[i] == "--binding") {
            haveBinding = mdf::ParseBindingId(args[i + 1], binding);
            if (!haveBinding) {
                std::cerr << "--binding takes 32 hex digits\n";
                return 2;
            }
        } else if (args[i] == "--file-id") {
            fileId = static_cast<std::int16_t>(std::stoi(args[i + 1]));
        } else {
            return Usage();
        }
    }
    if (args.size() % 2 != 0 || of.empty() == !haveBinding) {
        return Usage();
    }
    if (!of.empty()) {
        mdf::WriteMatchingLogFile(of, out, fileId);
    } else {
        mdf::WriteLogFile(out, binding, fileId);
    }
    return 0;
}

int Show(const std::string& path) {
    const auto primary = mdf::ReadPrimaryFile(path);
    if (primary) {
        const mdf::PrimaryFile& p = primary.value;
        std::cout << "database name: " << mdf::ToUtf8(p.databaseName) << "\n"
                  << "version:       " << p.version << " (created at " << p.createVersion << ")\n"
                  << "database id:   " << p.databaseId << "\n"
                  << "collation id:  " << p.collationId << "\n"
                  << "binding id:    " << mdf::BindingIdGuid(p.bindingId) << " (hex "
                  << mdf::BindingIdHex(p.bindingId) << ")\n"
                  << "files:\n";
        for (const mdf::FileEntry& f : p.files) {
            char status[16];
            std::snprintf(status, sizeof status, "0x%x", static_cast<unsigned>(f.status));
            std::cout << "  " << f.fileId << "  " << status << "  " << mdf::ToUtf8(f.logicalName)
                      << "  " << mdf::ToUtf8(f.physicalName) << "\n";
        }
        return 0;
    }
    if (primary.status == mdf::ReadStatus::NotPrimary) {
        // Not a primary file; a log or secondary file still has a header worth showing.
        const auto header = mdf::ReadFileHeader(path);
        if (header) {
            std::cout << "not a primary data file (" << primary.detail << ")\n"
                      << "file id:       " << header.value.fileId << "\n"
                      << "binding id:    " << mdf::BindingIdGuid(header.value.bindingId) << " (hex "
                      << mdf::BindingIdHex(header.value.bindingId) << ")\n";
            return 0;
        }
    }
    std::cerr << path << ": " << mdf::ToString(primary.status) << ": " << primary.detail << "\n";
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        return Usage();
    }
    const std::string command = argv[1];
    const std::string file = argv[2];
    const std::vector<std::string> args(argv + 3, argv + argc);
    try {
        if (command == "primary") {
            return MakePrimary(file, args);
        }
        if (command == "log") {
            return MakeLog(file, args);
        }
        if (command == "show" && args.empty()) {
            return Show(file);
        }
    } catch (const std::exception& e) {
        std::cerr << "quillane-mdfmake: " << e.what() << "\n";
        return 1;
    }
    return Usage();
}
