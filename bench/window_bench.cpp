// The window at scale, on Qt's offscreen platform with the Silver style, the server scripted away:
// start-up in a directory of many primary files beside `ls -1 | sort -f` on the same directory,
// and "添加" of many names beside "删除" of as many.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>
#include <map>
#include <memory>

#include "side_by_side.h"
#include "support/scripted_driver.h"
#include "ui/application.h"
#include "ui/frm_attach.h"
#include "ui/style.h"

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <unistd.h>
#endif

using namespace Qt::Literals::StringLiterals;
using quillane::ui::TfrmAttach;
using testsupport::ScriptedDriver;

namespace {

// Where the directories of primary files live for the whole run.
QTemporaryDir& Scratch() {
    static QTemporaryDir scratch;
    return scratch;
}

// A name as a DBA's restore folder holds them: mixed stems, letter case and scripts, in no
// particular order on disk.
QString FileName(int i) {
    static const char16_t* const stems[] = {u"Sales", u"pubs", u"北风", u"Archive_",
                                            u"HR_db", u"订单", u"ZZ",   u"tempdb_copy"};
    const quint32 mixed = static_cast<quint32>(i) * 2654435761u;
    const QString stem = QString::fromUtf16(stems[mixed % 8]);
    const QString ext = mixed % 5 == 0 ? u".MDF"_s : u".mdf"_s;
    return stem + QString::number(mixed % 1000003) + u'_' + QString::number(i) + ext;
}

// A directory holding `count` empty primary files and two sub-directories, made once.
QString DirectoryOf(int count) {
    static std::map<int, QString> made;
    if (const auto found = made.find(count); found != made.end()) {
        return found->second;
    }
    const QString path = Scratch().filePath(QString::number(count));
    QDir().mkpath(path);
    QDir(path).mkdir(u"archive"_s);
    QDir(path).mkdir(u"backup"_s);
    for (int i = 0; i < count; ++i) {
        const QString file = path + u'/' + FileName(i);
#ifdef Q_OS_WIN
        QFile(file).open(QIODevice::WriteOnly);
#else
        const int fd = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_CREAT, 0644);
        if (fd >= 0) {
            ::close(fd);
        }
#endif
    }
    made[count] = path;
    return path;
}

// Lets the window finish what the last step started: layouts, posted events, painting.
void Idle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

std::unique_ptr<TfrmAttach> OpenWindow(const QString& directory) {
    QDir::setCurrent(directory);
    auto state = std::make_shared<ScriptedDriver::State>();
    auto window = std::make_unique<TfrmAttach>(std::make_unique<ScriptedDriver>(state),
                                               Scratch().filePath(u"logs"_s));
    window->show();
    Idle();
    return window;
}

template <typename W>
W* Control(TfrmAttach& window, const char* name) {
    return window.findChild<W*>(QString::fromLatin1(name));
}

// From nothing to a window shown and idle in a directory of `range(0)` primary files.
void BM_StartToIdle(benchmark::State& state) {
    const QString directory = DirectoryOf(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto window = OpenWindow(directory);
        state.PauseTiming();
        if (Control<QListWidget>(*window, "FileListBox1")->count() != state.range(0)) {
            state.SkipWithError("the file list does not show every file");
            break;
        }
        window.reset();
        Idle();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartToIdle)->Arg(10000)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);

// The baseline: a shell listing the same directory and sorting the names without regard to case.
void BM_LsSortBaseline(benchmark::State& state) {
    const QString directory = DirectoryOf(static_cast<int>(state.range(0)));
    const QString command = u"ls -1 '"_s + directory + u"' | sort -f >/dev/null"_s;
    for (auto _ : state) {
        if (QProcess::execute(u"/bin/sh"_s, {u"-c"_s, command}) != 0) {
            state.SkipWithError("ls | sort failed");
            break;
        }
    }
}
BENCHMARK(BM_LsSortBaseline)->Arg(10000)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);

// "添加" with every name of the file list selected: each goes into the attach list, which holds
// the same names from start-up, so that every name gets a twin.
void BM_Add(benchmark::State& state) {
    const auto count = static_cast<int>(state.range(0));
    const QString directory = DirectoryOf(count);
    for (auto _ : state) {
        state.PauseTiming();
        auto window = OpenWindow(directory);
        Control<QListWidget>(*window, "FileListBox1")->selectAll();
        Idle();
        state.ResumeTiming();
        Control<QPushButton>(*window, "Button1")->click();
        Idle();
        state.PauseTiming();
        if (Control<QListWidget>(*window, "FileName")->count() != 2 * count) {
            state.SkipWithError("the attach list does not hold every name twice");
            break;
        }
        window.reset();
        Idle();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Add)->Arg(2500)->Arg(5000)->Arg(10000)->Arg(20000)->Iterations(1)->Unit(
    benchmark::kMillisecond);

// The baseline: "删除" of as many names, every entry of the attach list selected.
void BM_Delete(benchmark::State& state) {
    const auto count = static_cast<int>(state.range(0));
    const QString directory = DirectoryOf(count);
    for (auto _ : state) {
        state.PauseTiming();
        auto window = OpenWindow(directory);
        Control<QListWidget>(*window, "FileName")->selectAll();
        Idle();
        state.ResumeTiming();
        Control<QPushButton>(*window, "Button2")->click();
        Idle();
        state.PauseTiming();
        if (Control<QListWidget>(*window, "FileName")->count() != 0) {
            state.SkipWithError("the attach list is not empty");
            break;
        }
        window.reset();
        Idle();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Delete)->Arg(2500)->Arg(5000)->Arg(10000)->Arg(20000)->Iterations(1)->Unit(
    benchmark::kMillisecond);

// "10,000"
std::string Thousands(int count) {
    char text[16];
    std::snprintf(text, sizeof text, "%d,%03d", count / 1000, count % 1000);
    return text;
}

void CompareAll() {
    using quillane::bench::Compare;
    for (const int count : {10000, 100000}) {
        const std::string arg = std::string(1, '/').append(std::to_string(count));
        std::string figure = "start to idle, ";
        figure.append(Thousands(count)).append(" .mdf in the working directory");
        Compare({.figure = figure,
                 .ours = {"BM_StartToIdle" + arg},
                 .baseline = "ls -1 | sort -f on the same directory",
                 .theirs = {"BM_LsSortBaseline" + arg},
                 .atMostRatio = 2});
    }
    for (const int count : {2500, 5000, 10000, 20000}) {
        const std::string arg = std::string(1, '/').append(std::to_string(count));
        std::string figure = "添加 of ";
        figure.append(Thousands(count)).append(" names");
        std::string baseline = "删除 of ";
        baseline.append(Thousands(count));
        Compare({.figure = figure,
                 .ours = {"BM_Add" + arg, double(count), "name"},
                 .baseline = baseline,
                 .theirs = {"BM_Delete" + arg, double(count), "name"},
                 // Under 50 ms for 10,000, and linear.
                 .underSeconds = 0.05 * count / 10000});
    }
    Compare({.figure = "添加, cost per name at 20,000",
             .ours = {"BM_Add/20000", 20000, "name"},
             .baseline = "per name at 2,500 (linear: ratio near 1)",
             .theirs = {"BM_Add/2500", 2500, "name"}});
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    quillane::ui::Application app(argc, argv);
    quillane::ui::ApplyStyle(QString::fromUtf16(quillane::ui::kStyleName));
    // The first window pays for loading fonts and the style; no figure should.
    OpenWindow(Scratch().path()).reset();
    CompareAll();
    const int status = quillane::bench::Main(argc, argv);
    QDir::setCurrent(QDir::tempPath());
    return status;
}
