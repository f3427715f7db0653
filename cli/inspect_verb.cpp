#include "cli/inspect_verb.h"

#include "cli/file_paths.h"
#include "cli/inspection.h"
#include "cli/output.h"

namespace quillane::cli {

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr char16_t kDescription[] =
    u"查看每个主数据库文件（*.mdf）记录的数据库名、版本、排序规则和全部文件，\n"
    u"附加时要用的每个文件在这台机器上是否就位，以及附加能否成功、\n"
    u"不能时服务器会报哪个错误。主数据库文件仍在它记录的位置时，附加用记录的路径；\n"
    u"否则每个文件都要在主数据库文件现在的目录里，用它记录的文件名。\n"
    u"不需要服务器，也不需要登录。";
constexpr char16_t kTargets[] =
    u"主数据库文件；目录则查看其中每个名字匹配 *.mdf 的项（不区分大小写）";
constexpr char16_t kExitStatuses[] =
    u"退出状态：0 每个文件都可以附加；1 有文件不能附加或目录无法读取；2 命令行有误。";

// Inspects every file the arguments stand for, in order, each written as soon as it is read.
// A directory that cannot be read, or holds nothing to inspect, is said on `err`.
int InspectAll(const QStringList& targets, Formatter& formatter, QTextStream& err) {
    int total = 0;
    int ready = 0;
    bool trouble = false;
    for (const QString& target : targets) {
        for (const QString& path : PrimaryFilesOf(target, err, trouble)) {
            const Inspection inspection = Inspect(path);
            formatter.Write(inspection);
            ++total;
            ready += inspection.verdict.Ready() ? 1 : 0;
        }
    }
    formatter.Summary(total, ready);
    return !trouble && ready == total ? kExitReady : kExitNotReady;
}

}  // namespace

int InspectExec(const Verb& verb, const QStringList& arguments, Io& io) {
    QCommandLineParser parser;
    const QCommandLineOption json(u"json"_s, u"为脚本输出：每个主数据库文件一行 JSON 对象"_s);
    const QCommandLineOption help({u"h"_s, u"help"_s}, u"显示此帮助"_s);
    parser.addOption(json);
    parser.addOption(help);
    if (!ParseVerbArguments(parser, verb, arguments, io)) {
        return kExitUsage;
    }
    if (parser.isSet(help)) {
        io.out << VerbHelp(verb, QString::fromUtf16(kDescription),
                           {{u"文件|目录"_s, QString::fromUtf16(kTargets)}}, {json, help},
                           QString::fromUtf16(kExitStatuses));
        io.out.flush();
        return kExitReady;
    }
    const QStringList targets = parser.positionalArguments();
    if (targets.isEmpty()) {
        return UsageError(&verb, u"缺少文件或目录。"_s, io);
    }
    if (targets.contains(QString())) {
        return UsageError(&verb, u"文件或目录不能为空。"_s, io);
    }

    Formatter formatter(io.out, parser.isSet(json) ? OutputForm::Json : OutputForm::Text);
    return InspectAll(targets, formatter, io.err);
}

}  // namespace quillane::cli
