#include "cli/attach_verb.h"

#include <QCoreApplication>
#include <atomic>
#include <csignal>

#include "cli/attach_output.h"
#include "cli/file_paths.h"
#include "db/odbc/odbc_driver.h"
#include "engine/headless_run.h"
#include "log/log_folder.h"
#include "log/run_log.h"

namespace quillane::cli {

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kMaxJobs = 64;

constexpr char16_t kDescription[] =
    u"把每个主数据库文件（*.mdf）附加到服务器，与窗口的“附加数据库”相同：先用\n"
    u"DBCC checkprimaryfile 问服务器文件记录的数据库名和文件，再用 CREATE DATABASE … FOR ATTACH\n"
    u"附加。附加语句写出文件记录的每个文件（数据文件和日志文件）；主数据库文件已不在它记录的\n"
    u"位置时，每个文件都要在它现在的目录里，用它记录的文件名。每一步写入当天的日志（与窗口\n"
    u"同一个 Logs 文件夹），出错的报告写到标准错误，最后给出汇总。\n"
    u"登录总是集成身份验证（Linux 上用 kinit 取得的 Kerberos 票据），没有密码选项。";
constexpr char16_t kTargets[] =
    u"主数据库文件；目录则附加其中每个名字匹配 *.mdf 的文件（不区分大小写）";
constexpr char16_t kExitStatuses[] =
    u"退出状态：0 每个数据库都已附加（试运行：每个都可以附加）；1 有条目失败或跳过，或目录\n"
    u"无法读取；2 命令行有误，或在第一个条目之前无法连接服务器。";

// Where the day's log goes: the window's rule (beside the executable, or the user's state
// directory when installed), so that both programs write the same day's file.
QString LogFolder() {
    return log::RunLogFolderAtStartUp(QCoreApplication::applicationDirPath());
}

// Set by Ctrl+C (or a polite kill): the run begins no further entry and finishes those under way,
// so that every database attached is also logged. A second Ctrl+C ends the program at once.
std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void StopSoon(int signal) {
    g_stop.store(true);
    std::signal(signal, SIG_DFL);
}

class StopOnSignals {
  public:
    StopOnSignals() {
        g_stop.store(false);
        interrupt_ = std::signal(SIGINT, StopSoon);
        terminate_ = std::signal(SIGTERM, StopSoon);
    }
    ~StopOnSignals() {
        std::signal(SIGINT, interrupt_);
        std::signal(SIGTERM, terminate_);
    }
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;

  private:
    void (*interrupt_)(int) = SIG_DFL;
    void (*terminate_)(int) = SIG_DFL;
};

// The primary files the arguments stand for, in order. Directories that cannot be read or hold no
// *.mdf are said on `err` and make `trouble`.
QStringList PrimaryFiles(const QStringList& targets, QTextStream& err, bool& trouble) {
    QStringList files;
    for (const QString& target : targets) {
        files << PrimaryFilesOf(target, err, trouble);
    }
    return files;
}

}  // namespace

int AttachExec(const Verb& verb, const QStringList& arguments, Io& io) {
    QCommandLineParser parser;
    const QCommandLineOption server({u"S"_s, u"server"_s},
                                    u"服务器（默认 .，即本机）：主机、主机,端口 或 主机\\实例"_s,
                                    u"服务器"_s, u"."_s);
    const QCommandLineOption user({u"U"_s, u"user"_s}, u"用户名（默认 sa），即窗口的用户名框"_s,
                                  u"用户"_s, u"sa"_s);
    const QCommandLineOption onlyPrimaryAndLog(
        u"only-primary-and-log"_s, u"附加语句只写主数据文件和文件 2（日志），与窗口的语句相同"_s);
    const QCommandLineOption rebuildLog(
        u"rebuild-log"_s,
        u"日志文件不在附加要找的位置时只写数据文件，重建日志（FOR ATTACH_REBUILD_LOG）"_s);
    const QCommandLineOption map(
        u"map"_s, u"服务器看到的路径前缀与本机不同时（如容器的卷）换成服务器的前缀；可重复"_s,
        u"本机=服务器"_s);
    const QCommandLineOption jobs({u"j"_s, u"jobs"_s},
                                  u"同时使用的服务器会话数（默认 1，最多 64）"_s, u"N"_s, u"1"_s);
    const QCommandLineOption dryRun({u"n"_s, u"dry-run"_s},
                                    u"只在本机读文件，列出将发送的语句；不连接服务器，不写日志"_s);
    const QCommandLineOption json(u"json"_s, u"为脚本输出：每个条目一行 JSON 对象，写到标准输出"_s);
    const QCommandLineOption help({u"h"_s, u"help"_s}, u"显示此帮助"_s);
    const QList<QCommandLineOption> options{
        server, user, onlyPrimaryAndLog, rebuildLog, map, jobs, dryRun, json, help};
    parser.addOptions(options);
    if (!ParseVerbArguments(parser, verb, arguments, io)) {
        return kExitUsage;
    }
    if (parser.isSet(help)) {
        io.out << VerbHelp(verb, QString::fromUtf16(kDescription),
                           {{u"文件|目录"_s, QString::fromUtf16(kTargets)}}, options,
                           QString::fromUtf16(kExitStatuses));
        io.out.flush();
        return kExitReady;
    }

    engine::HeadlessOptions run;
    run.server = parser.value(server);
    run.user = parser.value(user);
    run.rules.everyFile = !parser.isSet(onlyPrimaryAndLog);
    run.rules.rebuildLog = parser.isSet(rebuildLog);
    run.dryRun = parser.isSet(dryRun);
    bool isNumber = false;
    run.jobs = parser.value(jobs).toInt(&isNumber);
    if (!isNumber || run.jobs < 1 || run.jobs > kMaxJobs) {
        return UsageError(
            &verb,
            u"--jobs 须为 1 到 %1 之间的整数（收到“%2”）。"_s.arg(kMaxJobs).arg(parser.value(jobs)),
            io);
    }
    for (const QString& text : parser.values(map)) {
        engine::PathMapping mapping;
        if (!engine::ParsePathMapping(text, mapping)) {
            return UsageError(
                &verb, u"--map 须写成“本机路径=服务器路径”（收到“"_s + text + u"”）。"_s, io);
        }
        mapping.local = AbsolutePath(mapping.local);
        run.rules.map.append(mapping);
    }
    const QStringList targets = parser.positionalArguments();
    if (targets.isEmpty()) {
        return UsageError(&verb, u"缺少文件或目录。"_s, io);
    }
    if (targets.contains(QString())) {
        return UsageError(&verb, u"文件或目录不能为空。"_s, io);
    }

    bool trouble = false;
    const QStringList files = PrimaryFiles(targets, io.err, trouble);
    if (files.isEmpty()) {
        return kExitNotReady;
    }

    RunReporter reporter(io.out, io.err, {parser.isSet(json), run.dryRun, io.errIsTerminal},
                         files.size());
    log::RunLog log(LogFolder(), [&](const QString& text) { reporter.Report(text); });
    engine::HeadlessRun attach(
        run, [] { return std::make_unique<db::odbc::OdbcDriver>(); }, log,
        {[&](const QString& text) { reporter.Report(text); },
         [&](const engine::EntryOutcome& outcome) { reporter.EntryDone(outcome); }});
    if (!run.dryRun && !attach.Connect()) {
        return kExitUsage;
    }
    const StopOnSignals stopOnSignals;
    const engine::RunTotals totals = attach.Run(files, g_stop);
    reporter.Summary(totals);
    const bool complete =
        run.dryRun ? totals.planned == files.size() : totals.attached == files.size();
    return complete && !trouble ? kExitReady : kExitNotReady;
}

}  // namespace quillane::cli
