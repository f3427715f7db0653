#include "cli/verbs.h"

#include <algorithm>

#include "cli/attach_verb.h"
#include "cli/inspect_verb.h"
#include "cli/output.h"

namespace quillane::cli {

using namespace Qt::Literals::StringLiterals;

namespace {

QString Command(const Verb* verb) {
    const QString program = QString::fromUtf16(kProgram);
    return verb && !verb->name.isEmpty() ? program + u' ' + verb->name : program;
}

QString OptionNames(const QCommandLineOption& option) {
    QStringList names;
    for (const QString& name : option.names()) {
        names << (name.size() == 1 ? u"-"_s : u"--"_s) + name;
    }
    QString text = names.join(u", "_s);
    if (!option.valueName().isEmpty()) {
        text += u" <"_s + option.valueName() + u'>';
    }
    return text;
}

// Two columns: names and what they mean.
QString Listing(const QList<std::pair<QString, QString>>& rows) {
    int width = 0;
    for (const auto& row : rows) {
        width = std::max(width, DisplayWidth(row.first));
    }
    QString text;
    for (const auto& row : rows) {
        text += u"  "_s + PadToWidth(row.first, width + 2) + row.second + u'\n';
    }
    return text;
}

}  // namespace

const QList<Verb>& Verbs() {
    static const QList<Verb> verbs = {
        {QString(), u"[选项] 文件|目录..."_s,
         u"附加主数据库文件及其记录的全部文件，可多个会话同时进行"_s, AttachExec},
        {u"inspect"_s, u"inspect [选项] 文件|目录..."_s,
         u"查看主数据库文件记录的内容和附加时要用的每个文件，不需要服务器"_s, InspectExec},
    };
    return verbs;
}

QString GeneralHelp() {
    QList<std::pair<QString, QString>> verbs;
    for (const Verb& verb : Verbs()) {
        verbs.append({verb.name.isEmpty() ? verb.usage : verb.name, verb.summary});
    }
    return u"用法："_s + Command(nullptr) + u" [选项] 文件|目录...\n      "_s + Command(nullptr) +
           u" <命令> [选项] [参数...]\n\n"_s +
           u"批量附加 SQL Server 主数据库文件（*.mdf）。\n\n"_s + u"命令：\n"_s + Listing(verbs) +
           u"\n选项：\n"_s +
           Listing({{u"-h, --help"_s, u"显示此帮助"_s}, {u"-v, --version"_s, u"显示版本"_s}}) +
           u"\n用“"_s + Command(nullptr) + u" --help”查看附加的全部选项，用“"_s + Command(nullptr) +
           u" <命令> --help”查看命令的用法。\n"_s;
}

namespace {

// What follows the attaching verb's own help under --help: the other verbs.
QString OtherVerbsHelp() {
    QList<std::pair<QString, QString>> verbs;
    for (const Verb& verb : Verbs()) {
        if (!verb.name.isEmpty()) {
            verbs.append({verb.name, verb.summary});
        }
    }
    return u"\n其他命令：\n"_s + Listing(verbs) + u"\n用“"_s + Command(nullptr) +
           u" <命令> --help”查看命令的用法；用“"_s + Command(nullptr) +
           u" --version”显示版本。\n"_s;
}

const Verb* DefaultVerb() {
    for (const Verb& verb : Verbs()) {
        if (verb.name.isEmpty()) {
            return &verb;
        }
    }
    return nullptr;
}

}  // namespace

QString VerbHelp(const Verb& verb, const QString& description,
                 const QList<std::pair<QString, QString>>& arguments,
                 const QList<QCommandLineOption>& options, const QString& exitStatuses) {
    QList<std::pair<QString, QString>> optionRows;
    for (const QCommandLineOption& option : options) {
        optionRows.append({OptionNames(option), option.description()});
    }
    return u"用法："_s + Command(nullptr) + u' ' + verb.usage + u"\n\n"_s + description +
           u"\n\n参数：\n"_s + Listing(arguments) + u"\n选项：\n"_s + Listing(optionRows) + u'\n' +
           exitStatuses + u'\n';
}

bool ParseVerbArguments(QCommandLineParser& parser, const Verb& verb, const QStringList& arguments,
                        Io& io) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    if (parser.parse(QStringList{Command(&verb)} + arguments)) {
        return true;
    }
    const QStringList unknown = parser.unknownOptionNames();
    // Qt words the other mistakes (a value where an option takes none, or none where it takes
    // one) in English only; they are kept, inside our own sentence.
    UsageError(&verb,
               unknown.isEmpty()
                   ? u"命令行有误（"_s + parser.errorText() + u"）。"_s
                   : u"未知选项“"_s + (unknown.front().size() == 1 ? u"-"_s : u"--"_s) +
                         unknown.front() + u"”。"_s,
               io);
    return false;
}

int UsageError(const Verb* verb, const QString& message, Io& io) {
    io.err << Command(verb) << u"："_s << message << u'\n' << u"用“"_s << Command(verb)
           << u" --help”查看用法。\n"_s;
    io.err.flush();
    return kExitUsage;
}

int Run(const QStringList& arguments, Io& io) {
    const QStringList rest = arguments.mid(1);
    if (rest.isEmpty()) {
        io.err << GeneralHelp();
        io.err.flush();
        return kExitUsage;
    }
    const QString& first = rest.front();
    if (first == u"-h"_s || first == u"--help"_s || first == u"-?"_s) {
        if (const Verb* verb = DefaultVerb()) {
            verb->exec(*verb, {u"--help"_s}, io);
            io.out << OtherVerbsHelp();
        } else {
            io.out << GeneralHelp();
        }
        io.out.flush();
        return kExitReady;
    }
    if (first == u"-v"_s || first == u"--version"_s) {
        io.out << Command(nullptr) << u' ' << QStringLiteral(QUILLANE_VERSION) << u'\n';
        io.out.flush();
        return kExitReady;
    }
    for (const Verb& verb : Verbs()) {
        if (!verb.name.isEmpty() && verb.name == first) {
            return verb.exec(verb, rest.mid(1), io);
        }
    }
    if (const Verb* verb = DefaultVerb()) {
        return verb->exec(*verb, rest, io);
    }
    return UsageError(
        nullptr, (first.startsWith(u'-') ? u"未知选项“"_s : u"未知命令“"_s) + first + u"”。"_s, io);
}

}  // namespace quillane::cli
