// The T-SQL subset the test server understands, compiled the way SQL Server compiles a batch:
// the whole batch is tokenised and parsed before any of it runs, so one syntax error anywhere
// means nothing runs.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace tsql {

struct SyntaxError {
    std::int32_t number = 102;
    std::uint8_t state = 1;
    std::uint8_t severity = 15;
    std::u16string text;
    std::int32_t line = 1;
};

struct DbccCheckPrimaryFile {
    std::u16string path;
    int option = 0;
};

struct CreateDatabaseForAttach {
    std::u16string name;
    std::vector<std::u16string> files;  // data files in order, then LOG ON files
    bool rebuildLog = false;            // FOR ATTACH_REBUILD_LOG
};

struct SelectDatabaseNames {};
struct SetOption {};
struct UseDatabase {
    std::u16string name;
};

using Statement = std::variant<DbccCheckPrimaryFile, CreateDatabaseForAttach, SelectDatabaseNames,
                               SetOption, UseDatabase>;

struct ParsedStatement {
    Statement statement;
    std::int32_t line = 1;
};

struct ParseResult {
    std::vector<ParsedStatement> statements;
    std::vector<SyntaxError> errors;  // non-empty: nothing of the batch may run
};

ParseResult ParseBatch(const std::u16string& batch);

}  // namespace tsql
