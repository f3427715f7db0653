// The main window, driven through its controls by object name, over the scripted driver.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <memory>

#include "db/query.h"
#include "engine/paths.h"
#include "engine/server_connection.h"
#include "engine/statements.h"
#include "support/scripted_driver.h"
#include "ui/browsing.h"
#include "ui/directory_list.h"
#include "ui/frm_attach.h"
#include "ui/style.h"
#include "ui_test_support.h"

using quillane::ui::TfrmAttach;
using testsupport::ScriptedDriver;

namespace {

QStringList Texts(const QListWidget* list) {
    QStringList texts;
    for (int row = 0; row < list->count(); ++row) {
        texts.append(list->item(row)->text());
    }
    return texts;
}

QStringList Selected(const QListWidget* list) {
    QStringList texts;
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->isSelected()) {
            texts.append(list->item(row)->text());
        }
    }
    return texts;
}

QString Sent(const QString& statement) {
    return statement + QStringLiteral("\r\n");
}

// A fresh window in a working directory holding two primary files (one named in capitals), a
// file of another kind, a hidden one and a sub-directory with one more primary file.
class WindowTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(work_.isValid() && logs_.isValid());
        work_dir_ = QDir(work_.path());
        for (const char* name : {"b.mdf", "A.MDF", "notes.txt", ".hidden.mdf"}) {
            Touch(work_dir_.filePath(QString::fromLatin1(name)));
        }
        ASSERT_TRUE(work_dir_.mkdir(QStringLiteral("sub")));
        Touch(work_dir_.filePath(QStringLiteral("sub/inner.mdf")));
        previous_ = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(work_.path()));
        cwd_ = quillane::ui::DirectoryText(QDir::currentPath());
        sub_ = quillane::ui::ChildPath(cwd_, QStringLiteral("sub"));
    }

    void TearDown() override {
        window_.reset();
        QDir::setCurrent(previous_);
    }

    static void Touch(const QString& path) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    }

    TfrmAttach& Window() {
        if (!window_) {
            TfrmAttach::Seams seams;
            seams.showMessage = [this](const QString& text) {
                messages_.append(text);
                // What the grid behind the box shows: the box lets the window repaint.
                const QAbstractItemModel* grid =
                    window_->findChild<QTableView*>("DBGrid1")->model();
                gridBehindBoxes_.append(grid->rowCount() > 0 ? grid->index(0, 3).data().toString()
                                                             : QString());
            };
            seams.openDialog = [this](const QString& filter) {
                filters_.append(filter);
                return chosen_;
            };
            window_ = std::make_unique<TfrmAttach>(std::make_unique<ScriptedDriver>(state_),
                                                   logs_.path(), nullptr, seams);
        }
        return *window_;
    }

    template <typename W = QWidget>
    W* Control(const char* name) {
        auto* widget = Window().findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    quillane::ui::DirectoryList* Tree() { return Control<quillane::ui::DirectoryList>("Dir"); }
    QListWidget* Files() { return Control<QListWidget>("FileListBox1"); }
    QListWidget* AttachList() { return Control<QListWidget>("FileName"); }
    QLineEdit* PathBox() { return Control<QLineEdit>("Edtpath"); }
    QTableView* Grid() { return Control<QTableView>("DBGrid1"); }
    QToolButton* NavigatorButton(const char* name) {
        return Control<QWidget>("DBNavigator1")->findChild<QToolButton*>(QString::fromLatin1(name));
    }

    // Double-clicks the tree's line for `path`, as the user moves the tree.
    void DoubleClickTreeLine(const QString& path) {
        for (int row = 0; row < Tree()->count(); ++row) {
            if (quillane::ui::DirectoryList::PathOf(Tree()->item(row)) == path) {
                const QRect rect = Tree()->visualItemRect(Tree()->item(row));
                QTest::mouseDClick(Tree()->viewport(), Qt::LeftButton, {}, rect.center());
                return;
            }
        }
        ADD_FAILURE() << "no tree line for " << path.toStdString();
    }

    void SelectRows(QListWidget* list, const QList<int>& rows) {
        list->clearSelection();
        for (int row : rows) {
            list->item(row)->setSelected(true);
        }
    }

    std::shared_ptr<ScriptedDriver::State> state_ = std::make_shared<ScriptedDriver::State>();
    QTemporaryDir work_;
    QTemporaryDir logs_;
    QDir work_dir_;
    QString previous_;
    QString cwd_;
    QString sub_;
    QStringList messages_;
    QStringList gridBehindBoxes_;
    QStringList filters_;
    QString chosen_;
    std::unique_ptr<TfrmAttach> window_;
};

TEST_F(WindowTest, AFreshStartShowsTheInitialTextsAndEveryListAtTheWorkingDirectory) {
    TfrmAttach& window = Window();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Quillane"));
    EXPECT_EQ(window.size(), QSize(706, 528));
    EXPECT_EQ(Control<QLineEdit>("EdtServer")->text(), QStringLiteral("."));
    EXPECT_EQ(Control<QLineEdit>("EdtUser")->text(), QStringLiteral("sa"));
    EXPECT_EQ(Control<QLineEdit>("EdtPass")->text(), QString());
    EXPECT_EQ(PathBox()->text(), QString());
    EXPECT_EQ(Grid()->model()->rowCount(), 0);
    EXPECT_EQ(Grid()->model()->columnCount(), 0);
    EXPECT_EQ(Tree()->Directory(), cwd_);
    const auto* drive = Control<QComboBox>("Driver");
    QStringList roots;
    for (int i = 0; i < drive->count(); ++i) {
        roots.append(drive->itemData(i).toString());
    }
    EXPECT_EQ(drive->currentData().toString(), quillane::ui::VolumeRootOf(cwd_, roots));
    EXPECT_FALSE(drive->currentData().toString().isEmpty());
    EXPECT_EQ(Texts(Files()), (QStringList{"A.MDF", "b.mdf"}));
    EXPECT_EQ(Texts(AttachList()), (QStringList{"A.MDF", "b.mdf"}));
    EXPECT_EQ(window.Connection().ConnectionString(), quillane::engine::InitialConnectionText());
    EXPECT_FALSE(window.Connection().Connected());
    for (const char* name : {"First", "Prior", "Next", "Last", "Insert", "Delete", "Edit", "Post",
                             "Cancel", "Refresh"}) {
        ASSERT_NE(NavigatorButton(name), nullptr) << name;
        EXPECT_FALSE(NavigatorButton(name)->isEnabled()) << name;
    }
    EXPECT_TRUE(messages_.isEmpty());
    EXPECT_TRUE(state_->executed.isEmpty());
}

struct ControlRow {
    const char* name;
    QRect geometry;
    const char* text;
    const char* family;  // nullptr: the window's font
};

const ControlRow kControls[] = {
    {"Driver", {0, 8, 145, 19}, "", nullptr},
    {"Dir", {0, 33, 145, 216}, "", nullptr},
    {"FileListBox1", {151, 8, 227, 85}, "", nullptr},
    {"Button1", {176, 99, 73, 24}, "添加", nullptr},
    {"Button2", {280, 99, 73, 24}, "删除", nullptr},
    {"FileName", {151, 129, 227, 120}, "", nullptr},
    {"Label1", {384, 59, 80, 16}, "服务器名：", "宋体"},
    {"EdtServer", {472, 56, 121, 24}, ".", "宋体"},
    {"Label2", {384, 99, 80, 16}, "用 户 名：", "宋体"},
    {"EdtUser", {472, 96, 121, 24}, "sa", "宋体"},
    {"Label3", {384, 139, 72, 16}, "密    码:", "宋体"},
    {"EdtPass", {472, 136, 121, 24}, "", "宋体"},
    {"BtnConnect", {608, 53, 90, 44}, "连接", nullptr},
    {"SBAttachDb", {608, 108, 90, 47}, "附加数据库", nullptr},
    {"Label4", {384, 187, 96, 16}, "数据库路径：", "宋体"},
    {"Edtpath", {472, 179, 226, 24}, "", "宋体"},
    {"DBNavigator1", {280, 255, 240, 25}, "", nullptr},
    {"DBGrid1", {8, 286, 690, 234}, "", nullptr},
};

QString TextOf(const QWidget* widget) {
    if (auto* label = qobject_cast<const QLabel*>(widget)) {
        return label->text();
    }
    if (auto* edit = qobject_cast<const QLineEdit*>(widget)) {
        return edit->text();
    }
    if (auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        return button->text();
    }
    return {};
}

// Every control's font: 宋体 16 pixels where the table names it, else the window's Tahoma 11.
void ExpectEveryControlsFont(QWidget& window) {
    for (const ControlRow& row : kControls) {
        SCOPED_TRACE(row.name);
        const QWidget* widget = window.findChild<QWidget*>(QString::fromLatin1(row.name));
        ASSERT_NE(widget, nullptr);
        const QFont font = widget->font();
        if (row.family != nullptr) {
            ASSERT_FALSE(font.families().isEmpty());
            EXPECT_EQ(font.families().constFirst(), QString::fromUtf8(row.family));
            EXPECT_EQ(font.pixelSize(), 16);
            // Where 宋体 is missing, SimSun or the installed CJK font draws it.
            EXPECT_TRUE(font.families().contains(QStringLiteral("SimSun")));
            EXPECT_TRUE(font.families().contains(QStringLiteral("Noto Serif CJK SC")));
        } else {
            EXPECT_EQ(font.families().value(0), QStringLiteral("Tahoma"));
            EXPECT_EQ(font.pixelSize(), 11);
        }
    }
    const QTableView* grid = window.findChild<QTableView*>(QStringLiteral("DBGrid1"));
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->horizontalHeader()->font().families().value(0), QStringLiteral("Tahoma"));
    EXPECT_EQ(grid->horizontalHeader()->font().pixelSize(), 11);
}

TEST_F(WindowTest, EveryControlHasItsPlaceTextAndFont) {
    for (const ControlRow& row : kControls) {
        SCOPED_TRACE(row.name);
        const QWidget* widget = Control(row.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->parentWidget(), &Window());
        EXPECT_EQ(widget->geometry(), row.geometry);
        EXPECT_EQ(TextOf(widget), QString::fromUtf8(row.text));
    }
    ExpectEveryControlsFont(Window());
}

// A style sheet hands item views and headers the application's font rather than the one they
// inherit (on Windows the system's item-view font): under Silver, as the program starts, every
// control still has its own.
TEST_F(WindowTest, UnderTheSilverStyleEveryControlKeepsItsFont) {
    struct Unstyle {
        ~Unstyle() { qApp->setStyleSheet(QString()); }
    } unstyle;
    ASSERT_TRUE(quillane::ui::ApplyStyle(QString::fromUtf16(quillane::ui::kStyleName)));
    ExpectEveryControlsFont(Window());
}

TEST_F(WindowTest, ThePasswordIsMaskedThePathBoxHintsAndFileItemsAre13High) {
    auto* pass = Control<QLineEdit>("EdtPass");
    QTest::keyClicks(pass, QStringLiteral("s3cret"));
    EXPECT_EQ(pass->displayText(), QStringLiteral("******"));
    EXPECT_EQ(PathBox()->toolTip(), QStringLiteral("当找不到目录时可双击此处选中目录！"));
    for (QListWidget* list : {Files(), AttachList()}) {
        ASSERT_GT(list->count(), 0);
        EXPECT_EQ(list->sizeHintForRow(0), 13) << list->objectName().toStdString();
        EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    }
    EXPECT_EQ(Control("SBAttachDb")->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(Control("DBNavigator1")->focusPolicy(), Qt::NoFocus);
    for (QToolButton* button : Control("DBNavigator1")->findChildren<QToolButton*>()) {
        EXPECT_EQ(button->focusPolicy(), Qt::NoFocus) << button->objectName().toStdString();
    }
}

TEST_F(WindowTest, TabMovesTheFocusInTheWindowsOrder) {
    TfrmAttach& window = Window();
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_EQ(QApplication::focusWidget(), Grid());
    const QStringList expected{"FileName",     "Dir",     "Driver",     "EdtServer",
                               "EdtUser",      "EdtPass", "BtnConnect", "Edtpath",
                               "FileListBox1", "Button1", "Button2",    "DBGrid1"};
    QStringList visited;
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.append(QApplication::focusWidget() ? QApplication::focusWidget()->objectName()
                                                   : QStringLiteral("<none>"));
    }
    EXPECT_EQ(visited, expected);
}

TEST_F(WindowTest, ResizingLeavesEveryControlWhereItWas) {
    TfrmAttach& window = Window();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    for (const QSize size : {QSize(1100, 900), QSize(300, 200), QSize(706, 528)}) {
        window.resize(size);
        QCoreApplication::processEvents();
        for (const ControlRow& row : kControls) {
            EXPECT_EQ(Control(row.name)->geometry(), row.geometry)
                << row.name << " at " << size.width() << "x" << size.height();
        }
    }
}

TEST_F(WindowTest, MovingTheTreeChangesTheFileListAndPathBoxButNeverTheAttachList) {
    Window();
    SelectRows(AttachList(), {1});
    // Selecting a line alone moves nothing.
    for (int row = 0; row < Tree()->count(); ++row) {
        if (quillane::ui::DirectoryList::PathOf(Tree()->item(row)) == sub_) {
            Tree()->setCurrentRow(row);
        }
    }
    EXPECT_EQ(Tree()->Directory(), cwd_);

    DoubleClickTreeLine(sub_);
    EXPECT_EQ(Tree()->Directory(), sub_);
    EXPECT_EQ(Texts(Files()), QStringList{"inner.mdf"});
    EXPECT_EQ(PathBox()->text(), sub_);
    EXPECT_EQ(Texts(AttachList()), (QStringList{"A.MDF", "b.mdf"}));
    EXPECT_EQ(Selected(AttachList()), QStringList{"b.mdf"});

    // Enter on the parent's line moves back up; the directory text never ends in a separator.
    for (int row = 0; row < Tree()->count(); ++row) {
        if (quillane::ui::DirectoryList::PathOf(Tree()->item(row)) == cwd_) {
            Tree()->setCurrentRow(row);
        }
    }
    QTest::keyClick(Tree(), Qt::Key_Return);
    EXPECT_EQ(Tree()->Directory(), cwd_);
    EXPECT_EQ(PathBox()->text(), cwd_);
    EXPECT_EQ(Texts(Files()), (QStringList{"A.MDF", "b.mdf"}));
    EXPECT_EQ(Texts(AttachList()), (QStringList{"A.MDF", "b.mdf"}));

    // The drive chooser moves the tree to the root of the chosen volume.
    auto* drive = Control<QComboBox>("Driver");
    const int start = drive->currentIndex();
    for (int i = 0; i < drive->count(); ++i) {
        const QString root = drive->itemData(i).toString();
        if (i == start || !QFileInfo(root).isReadable()) {
            continue;
        }
        drive->setCurrentIndex(i);
        EXPECT_EQ(Tree()->Directory(), root);
        EXPECT_EQ(PathBox()->text(), root);
        EXPECT_EQ(Texts(Files()), quillane::ui::ListMaskedFiles(root));
        EXPECT_EQ(Texts(AttachList()), (QStringList{"A.MDF", "b.mdf"}));
        // Back to the first drive: its root, not the directory the tree came from.
        drive->setCurrentIndex(start);
        EXPECT_EQ(Tree()->Directory(), drive->itemData(start).toString());
        EXPECT_EQ(Texts(AttachList()), (QStringList{"A.MDF", "b.mdf"}));
        break;
    }
}

// Where a line's drawing starts: its first pixel from the left that is not the list's white.
int DrawnFrom(const QImage& picture, const QRect& line) {
    for (int x = line.left(); x <= line.right(); ++x) {
        for (int y = line.top() + 2; y < line.bottom() - 1; ++y) {
            if (picture.pixelColor(x, y) != QColor(Qt::white)) {
                return x;
            }
        }
    }
    return -1;
}

// The classic directory list: each ancestor's folder and name one step further in than its
// parent's, the sub-directories one step further still, all at the same depth; open folders down
// to the current directory, closed ones below it.
TEST_F(WindowTest, TheTreeIndentsFolderAndNameByLevel) {
    TfrmAttach& window = Window();
    ASSERT_TRUE(work_dir_.mkdir(QStringLiteral("another")));
    DoubleClickTreeLine(sub_);
    DoubleClickTreeLine(cwd_);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    quillane::ui::DirectoryList* tree = Tree();
    tree->horizontalScrollBar()->setValue(0);
    tree->clearSelection();  // the highlight would hide where the current line's folder starts
    QCoreApplication::processEvents();
    const QImage picture = tree->viewport()->grab().toImage();

    const QStringList ancestors = quillane::ui::Ancestors(cwd_);
    ASSERT_EQ(tree->count(), ancestors.size() + 2);
    QList<int> starts;
    for (int row = 0; row < tree->count(); ++row) {
        const QRect line = tree->visualItemRect(tree->item(row));
        if (line.top() >= picture.height()) {
            break;
        }
        starts.append(DrawnFrom(picture, line));
    }
    const qsizetype shown = std::min<qsizetype>(starts.size(), ancestors.size());
    ASSERT_GE(shown, 2) << "too few lines visible";
    for (qsizetype row = 1; row < shown; ++row) {
        EXPECT_GT(starts[row], starts[row - 1]) << "line " << row;
    }
    if (starts.size() == tree->count()) {
        const qsizetype first = ancestors.size();
        EXPECT_GT(starts[first], starts[first - 1]);
        EXPECT_EQ(starts[first + 1], starts[first]);
    }

    const QImage open = tree->item(0)->icon().pixmap(16).toImage();
    const QImage closed = tree->item(tree->count() - 1)->icon().pixmap(16).toImage();
    EXPECT_NE(open, closed);
    for (int row = 0; row < tree->count(); ++row) {
        EXPECT_EQ(tree->item(row)->icon().pixmap(16).toImage(),
                  row < ancestors.size() ? open : closed)
            << "line " << row;
        EXPECT_FALSE(tree->item(row)->text().startsWith(u' ')) << "line " << row;
    }
}

TEST_F(WindowTest, AddingInsertsEverySelectedNameInItsSortedPlaceTwinsSideBySide) {
    Window();
    // Nothing selected: nothing added.
    QTest::mouseClick(Control("Button1"), Qt::LeftButton);
    EXPECT_EQ(Texts(AttachList()), (QStringList{"A.MDF", "b.mdf"}));

    SelectRows(Files(), {0, 1});
    QTest::mouseClick(Control("Button1"), Qt::LeftButton);
    EXPECT_EQ(Texts(AttachList()), (QStringList{"A.MDF", "A.MDF", "b.mdf", "b.mdf"}));
    EXPECT_EQ(Selected(Files()), (QStringList{"A.MDF", "b.mdf"}));

    DoubleClickTreeLine(sub_);
    SelectRows(Files(), {0});
    QTest::mouseClick(Control("Button1"), Qt::LeftButton);
    EXPECT_EQ(Texts(AttachList()), (QStringList{"A.MDF", "A.MDF", "b.mdf", "b.mdf", "inner.mdf"}));
}

// "添加" lays the attach list down anew; what the user had selected, the current entry and how
// far the list was scrolled stay as they were, as if the names had been slipped in one by one.
TEST_F(WindowTest, AddingKeepsTheAttachListsSelectionCurrentEntryAndScrolling) {
    for (int i = 0; i < 40; ++i) {
        Touch(work_dir_.filePath(QStringLiteral("m%1.mdf").arg(i, 2, 10, QChar(u'0'))));
    }
    TfrmAttach& window = Window();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QListWidget* list = AttachList();
    ASSERT_EQ(list->count(), 42);
    SelectRows(list, {1, 30});
    list->setCurrentRow(30, QItemSelectionModel::NoUpdate);
    list->verticalScrollBar()->setValue(20);
    QCoreApplication::processEvents();
    ASSERT_EQ(list->verticalScrollBar()->value(), 20);
    const QString current = list->currentItem()->text();

    SelectRows(Files(), {0, 5, 41});  // A.MDF, m03.mdf, m39.mdf
    QTest::mouseClick(Control("Button1"), Qt::LeftButton);
    QCoreApplication::processEvents();

    ASSERT_EQ(list->count(), 45);
    EXPECT_EQ(Texts(list).mid(0, 2), (QStringList{"A.MDF", "A.MDF"}));
    EXPECT_EQ(Selected(list), (QStringList{"b.mdf", "m28.mdf"}));
    EXPECT_EQ(list->currentItem()->text(), current);
    EXPECT_EQ(list->currentRow(), 32);
    EXPECT_EQ(list->verticalScrollBar()->value(), 20);
}

TEST_F(WindowTest, DeletingRemovesEverySelectedEntryAndOnlyThen) {
    Window();
    const struct {
        QList<int> select;
        QStringList left;
    } cases[] = {
        {{}, {"A.MDF", "b.mdf", "b.mdf", "c.mdf"}},
        {{1}, {"A.MDF", "b.mdf", "c.mdf"}},
        {{0, 2, 3}, {"b.mdf"}},
        {{0, 1, 2, 3}, {}},
    };
    for (const auto& c : cases) {
        AttachList()->clear();
        AttachList()->addItems({"A.MDF", "b.mdf", "b.mdf", "c.mdf"});
        SelectRows(AttachList(), c.select);
        QTest::mouseClick(Control("Button2"), Qt::LeftButton);
        EXPECT_EQ(Texts(AttachList()), c.left);
        EXPECT_TRUE(Selected(AttachList()).isEmpty());
    }
    // An empty list: nothing to do.
    QTest::mouseClick(Control("Button2"), Qt::LeftButton);
    EXPECT_EQ(AttachList()->count(), 0);
}

TEST_F(WindowTest, TheOpenDialogMovesPathBoxFileListTreeAndDrive) {
    Window();
    const auto* drive = Control<QComboBox>("Driver");
    const QString driveBefore = drive->currentData().toString();

    chosen_.clear();  // cancelled
    QTest::mouseDClick(PathBox(), Qt::LeftButton);
    EXPECT_EQ(filters_, QStringList{"*.mdf(数据库文件) (*.mdf)"});
    EXPECT_EQ(PathBox()->text(), QString());
    EXPECT_EQ(Tree()->Directory(), cwd_);

    chosen_ = work_dir_.filePath(QStringLiteral("sub/inner.mdf"));
    QTest::mouseDClick(PathBox(), Qt::LeftButton);
    EXPECT_EQ(filters_.size(), 2);
    EXPECT_EQ(filters_.last(), TfrmAttach::kOpenFilter);
    EXPECT_EQ(Tree()->Directory(), sub_);
    EXPECT_EQ(PathBox()->text(), sub_);  // the tree's form, after the tree moved
    EXPECT_EQ(Texts(Files()), QStringList{"inner.mdf"});
    EXPECT_EQ(drive->currentData().toString(), driveBefore);
    EXPECT_EQ(Texts(AttachList()), (QStringList{"A.MDF", "b.mdf"}));

    // The tree is there already: the path box keeps the dialog's form, separator and all.
    QTest::mouseDClick(PathBox(), Qt::LeftButton);
    EXPECT_EQ(PathBox()->text(), sub_ + QDir::separator());
    EXPECT_EQ(Tree()->Directory(), sub_);
}

TEST_F(WindowTest, ADirectoryThatCannotBeReadReachesTheErrorBoxAndTheWindowCarriesOn) {
    Window();
    ASSERT_TRUE(QDir(sub_).removeRecursively());
    {
        uitest::BoxCloser closer;
        DoubleClickTreeLine(sub_);
        ASSERT_EQ(closer.Seen().size(), 1);
        EXPECT_EQ(closer.Seen()[0].icon, QMessageBox::Critical);
        EXPECT_TRUE(closer.Seen()[0].text.contains(sub_)) << closer.Seen()[0].text.toStdString();
        EXPECT_TRUE(closer.Seen()[0].text.endsWith(u'.'));
    }
    EXPECT_EQ(Tree()->Directory(), cwd_);
    EXPECT_EQ(Texts(Files()), (QStringList{"A.MDF", "b.mdf"}));
    // The window still answers.
    SelectRows(Files(), {0});
    QTest::mouseClick(Control("Button1"), Qt::LeftButton);
    EXPECT_EQ(Texts(AttachList()), (QStringList{"A.MDF", "A.MDF", "b.mdf"}));
}

// What DBCC checkprimaryfile answers for a file recording `name` (mode 2) and its files (mode 3).
void ScriptFile(ScriptedDriver::State& state, const QString& path, const QString& name,
                const QString& recordedDir) {
    state.replies[Sent(quillane::engine::NameQuery(path))] = {ScriptedDriver::Reply{
        {{"property", "value"}, {{"Database name", name}, {"Database version", "904"}}}, {}}};
    state.replies[Sent(quillane::engine::FileQuery(path))] = {
        ScriptedDriver::Reply{{{"status", "fileid", "name", "filename"},
                               {{"2", "1", name, recordedDir + name + ".mdf"},
                                {"66", "2", name + "_log", recordedDir + name + "_log.ldf"}}},
                              {}}};
}

TEST_F(WindowTest, AttachingSelectsEveryEntryAndAttachesFromTheTreesDirectory) {
    Window();
    DoubleClickTreeLine(sub_);  // the entries were read from the working directory
    const QString a = quillane::engine::EntryPath(sub_, QStringLiteral("A.MDF"));
    const QString b = quillane::engine::EntryPath(sub_, QStringLiteral("b.mdf"));
    ScriptFile(*state_, a, QStringLiteral("dba"), QStringLiteral("E:\\old\\"));
    ScriptFile(*state_, b, QStringLiteral("dbb"), QStringLiteral("E:\\old\\"));
    const QString attachB = Sent(quillane::engine::AttachStatement(
        QStringLiteral("dbb"), b, quillane::engine::GetFilePath(b, QStringLiteral("dbb_log.ldf"))));
    state_->replies[attachB] = {ScriptedDriver::Reply{}};
    // The first attach is not scripted, so the server refuses it; the run goes on.

    QTest::mouseClick(Control("SBAttachDb"), Qt::LeftButton);

    EXPECT_EQ(Selected(AttachList()), (QStringList{"A.MDF", "b.mdf"}));
    ASSERT_EQ(state_->executed.size(), 6);
    EXPECT_EQ(state_->executed[0], Sent(quillane::engine::NameQuery(a)));
    EXPECT_EQ(state_->executed[3], Sent(quillane::engine::NameQuery(b)));
    EXPECT_EQ(state_->executed[5], attachB);
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_TRUE(messages_[0].startsWith(QStringLiteral("附加数据库出错！错误：")))
        << messages_[0].toStdString();
    // While the failure was shown, the grid had caught up with the first entry's file query.
    EXPECT_EQ(gridBehindBoxes_, QStringList{"E:\\old\\dba.mdf"});
    // The grid shows the file query's rows of the last entry, under their column names.
    QAbstractItemModel* model = Grid()->model();
    ASSERT_EQ(model->columnCount(), 4);
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("fileid"));
    ASSERT_EQ(model->rowCount(), 2);
    EXPECT_EQ(model->index(1, 3).data().toString(), QStringLiteral("E:\\old\\dbb_log.ldf"));
    EXPECT_TRUE(QFileInfo(QDir(logs_.path()).filePath(QStringLiteral("Logs"))).isDir());
}

TEST_F(WindowTest, AnEmptyAttachListSendsNothingAndShowsNothing) {
    Window();
    AttachList()->clear();
    QTest::mouseClick(Control("SBAttachDb"), Qt::LeftButton);
    EXPECT_TRUE(state_->executed.isEmpty());
    EXPECT_TRUE(messages_.isEmpty());
    EXPECT_FALSE(QFileInfo(QDir(logs_.path()).filePath(QStringLiteral("Logs"))).exists());
}

TEST_F(WindowTest, TheNavigatorWalksTheGridsRowsAndRefreshRunsTheStatementAgain) {
    TfrmAttach& window = Window();
    const QString statement = QStringLiteral("DBCC checkprimaryfile(N'/x/a.mdf', 3)");
    state_->replies[Sent(statement)] = {
        ScriptedDriver::Reply{{{"status", "fileid", "name", "filename"},
                               {{"2", "1", "a", "/x/a.mdf"},
                                {"66", "2", "a_log", "/x/a_log.ldf"},
                                {"2", "3", "b", "/x/b.ndf"}}},
                              {}}};
    quillane::db::Query& query = window.CheckQuery();
    query.SQL().Add(statement);
    query.Open();
    ASSERT_EQ(Grid()->model()->rowCount(), 3);
    EXPECT_EQ(Grid()->currentIndex().row(), 0);
    EXPECT_FALSE(NavigatorButton("First")->isEnabled());
    EXPECT_TRUE(NavigatorButton("Next")->isEnabled());
    for (const char* never : {"Insert", "Delete", "Edit", "Post", "Cancel"}) {
        EXPECT_FALSE(NavigatorButton(never)->isEnabled()) << never;
    }

    QTest::mouseClick(NavigatorButton("Next"), Qt::LeftButton);
    EXPECT_EQ(query.RecNo(), 1);
    EXPECT_EQ(Grid()->currentIndex().row(), 1);
    QTest::mouseClick(NavigatorButton("Last"), Qt::LeftButton);
    EXPECT_EQ(query.RecNo(), 2);
    EXPECT_FALSE(NavigatorButton("Next")->isEnabled());
    QTest::mouseClick(NavigatorButton("Prior"), Qt::LeftButton);
    EXPECT_EQ(query.RecNo(), 1);
    QTest::mouseClick(NavigatorButton("First"), Qt::LeftButton);
    EXPECT_EQ(query.RecNo(), 0);

    // A click on a row of the grid makes it the current row.
    const QRect cell = Grid()->visualRect(Grid()->model()->index(2, 1));
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(query.RecNo(), 2);

    const qsizetype sent = state_->executed.size();
    QTest::mouseClick(NavigatorButton("Refresh"), Qt::LeftButton);
    EXPECT_EQ(state_->executed.size(), sent + 1);
    EXPECT_EQ(state_->executed.last(), Sent(statement));
    EXPECT_EQ(Grid()->model()->rowCount(), 3);

    query.Close();
    EXPECT_EQ(Grid()->model()->rowCount(), 0);
    EXPECT_EQ(Grid()->model()->columnCount(), 0);
    EXPECT_FALSE(NavigatorButton("Refresh")->isEnabled());
}

// The grid as after a run: every column as wide as its title and its values (without the blanks
// that pad them), the last (the path) taking the rest of the width; titles plain, left-aligned
// and the same whichever cell is current.
TEST_F(WindowTest, TheGridFitsItsColumnsToTheirTextsUnderPlainTitles) {
    TfrmAttach& window = Window();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QString statement = QStringLiteral("DBCC checkprimaryfile(N'/x/库存.mdf', 3)");
    const QString longPath = QStringLiteral("E:\\old\\archive\\2019\\库存_warehouse_history.mdf");
    // As SQL Server sends them: names padded to 128 characters, paths to 260.
    auto padded = [](const QString& text, int width) { return text.leftJustified(width); };
    state_->replies[Sent(statement)] = {ScriptedDriver::Reply{
        {{"status", "fileid", "name", "filename"},
         {{"2", "1", padded("库存", 128), padded(longPath, 260)},
          {"1048642", "2", padded("库存_log", 128), padded("E:\\old\\库存_log.ldf", 260)}}},
        {}}};
    quillane::db::Query& query = window.CheckQuery();
    query.SQL().Add(statement);
    query.Open();
    QCoreApplication::processEvents();

    QTableView* grid = Grid();
    const QAbstractItemView* view = grid;  // the width its cells ask for is public from here
    const QHeaderView* titles = grid->horizontalHeader();
    ASSERT_EQ(grid->model()->columnCount(), 4);
    for (int column = 0; column < 4; ++column) {
        SCOPED_TRACE(column);
        EXPECT_GE(grid->columnWidth(column), view->sizeHintForColumn(column));
        EXPECT_GE(grid->columnWidth(column), titles->sectionSizeHint(column));
    }
    EXPECT_GT(grid->columnWidth(3), grid->fontMetrics().horizontalAdvance(longPath));
    // The padding neither shows nor widens its column.
    EXPECT_EQ(grid->model()->index(0, 3).data().toString(), longPath);
    EXPECT_GE(titles->length(), grid->viewport()->width());
    EXPECT_LE(titles->length(), grid->viewport()->width() + 1);

    EXPECT_EQ(titles->font().families().value(0), QStringLiteral("Tahoma"));
    EXPECT_EQ(titles->font().pixelSize(), 11);
    EXPECT_FALSE(titles->font().bold());
    EXPECT_EQ(titles->defaultAlignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    // The title of the current cell's column looks like every other title.
    const QRect first(titles->sectionViewportPosition(0), 0, titles->sectionSize(0),
                      titles->height());
    grid->setCurrentIndex(grid->model()->index(1, 0));
    QCoreApplication::processEvents();
    const QImage current = titles->viewport()->grab(first).toImage();
    grid->setCurrentIndex(grid->model()->index(1, 2));
    QCoreApplication::processEvents();
    EXPECT_EQ(titles->viewport()->grab(first).toImage(), current);
}

// Under Silver the keyboard focus is a ring of two blue pixels round an edit box, a list, the
// tree, the grid or a button, where a grey pixel stood before; a list's items do not move when
// it arrives.
TEST_F(WindowTest, UnderSilverTheFocusIsARingThatCanBeSeen) {
    ASSERT_TRUE(quillane::ui::ApplyStyle(QStringLiteral("Silver")));
    TfrmAttach& window = Window();
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    auto blue = [](const QColor& c) { return c.blue() - std::max(c.red(), c.green()) > 60; };
    for (const char* name : {"Edtpath", "FileName", "Dir", "DBGrid1", "BtnConnect"}) {
        SCOPED_TRACE(name);
        QWidget* control = Control(name);
        auto* area = qobject_cast<QAbstractScrollArea*>(control);
        Control("EdtUser")->setFocus();
        QCoreApplication::processEvents();
        const QRect inside = area != nullptr ? area->viewport()->geometry() : QRect();
        const QImage unfocused = control->grab().toImage();
        control->setFocus();
        QCoreApplication::processEvents();
        ASSERT_TRUE(control->hasFocus());
        const QImage focused = control->grab().toImage();
        const int y = focused.height() / 2;
        EXPECT_TRUE(blue(focused.pixelColor(0, y)) && blue(focused.pixelColor(1, y)));
        EXPECT_FALSE(blue(unfocused.pixelColor(0, y)) || blue(unfocused.pixelColor(1, y)));
        if (area != nullptr) {
            EXPECT_EQ(area->viewport()->geometry(), inside);
        }
    }
    qApp->setStyleSheet(QString());
}

// Under Silver the scroll bars are flat like the controls around them: no light edge at the top
// left and dark one at the bottom right, as the old three-dimensional bars had.
TEST_F(WindowTest, UnderSilverTheScrollBarsAreFlat) {
    ASSERT_TRUE(work_dir_.mkdir(QStringLiteral("a directory with a name too long for the tree")));
    ASSERT_TRUE(quillane::ui::ApplyStyle(QStringLiteral("Silver")));
    TfrmAttach& window = Window();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();
    QScrollBar* bar = Tree()->horizontalScrollBar();
    ASSERT_TRUE(bar->isVisible());
    const QImage picture = bar->grab().toImage();
    EXPECT_EQ(picture.pixelColor(0, 0), picture.pixelColor(picture.width() - 1, 0));
    EXPECT_EQ(picture.pixelColor(0, 0), picture.pixelColor(0, picture.height() - 1));
    EXPECT_EQ(picture.pixelColor(0, 0),
              picture.pixelColor(picture.width() - 1, picture.height() - 1));
    qApp->setStyleSheet(QString());
}

TEST_F(WindowTest, ConnectComposesTheTextFromTheTrimmedBoxesAndReportsAFailure) {
    TfrmAttach& window = Window();
    Control<QLineEdit>("EdtUser")->setText(QStringLiteral(" bob\t"));
    Control<QLineEdit>("EdtServer")->setText(QStringLiteral("  127.0.0.1,14331 "));
    Control<QLineEdit>("EdtPass")->setText(QStringLiteral("ignored"));
    QTest::mouseClick(Control("BtnConnect"), Qt::LeftButton);
    const QString composed = quillane::engine::ComposeConnectionText(
        QStringLiteral("bob"), QStringLiteral("127.0.0.1,14331"));
    EXPECT_EQ(state_->openedWith, QStringList{composed});
    EXPECT_TRUE(window.Connection().Connected());
    EXPECT_TRUE(messages_.isEmpty());

    state_->openError = QStringLiteral("Login failed");
    QTest::mouseClick(Control("BtnConnect"), Qt::LeftButton);
    EXPECT_EQ(messages_, QStringList{"数据库连接失败！Login failed"});
    EXPECT_FALSE(window.Connection().Connected());
}

}  // namespace
