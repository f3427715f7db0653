#include "ui/frm_attach.h"

#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QStorageInfo>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QToolButton>
#include <algorithm>
#include <initializer_list>

#include "db/driver.h"
#include "engine/server_connection.h"
#include "ui/browsing.h"
#include "ui/directory_list.h"
#include "ui/input_method.h"
#include "ui/message_boxes.h"
#include "ui/query_model.h"
#include "ui/record_navigator.h"

namespace quillane::ui {

const QString TfrmAttach::kOpenFilter = QStringLiteral("*.mdf(数据库文件) (*.mdf)");
const QString TfrmAttach::kPathHint = QStringLiteral("当找不到目录时可双击此处选中目录！");

namespace {

// The window's font: Tahoma, 11 pixels (8 points at 96 dpi).
QFont WindowFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma")});
    font.setPixelSize(11);
    return font;
}

// 宋体 16 pixels (12 points). Where 宋体 is not installed under either of its names, the CJK font
// the setup installs draws it; the serif face is the closer match to a Song face.
QFont SongFont() {
    QFont font;
    font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"),
                      QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Noto Sans CJK SC")});
    font.setPixelSize(16);
    return font;
}

// Both file lists draw their items 13 pixels high.
class FixedHeightDelegate : public QStyledItemDelegate {
  public:
    explicit FixedHeightDelegate(int height, QObject* parent)
        : QStyledItemDelegate(parent), height_(height) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), height_};
    }

  private:
    int height_;
};

constexpr int kFileItemHeight = 13;

template <typename W>
W* Make(QWidget* parent, const char* name, int left, int top, int width, int height) {
    auto* widget = new W(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

QListWidget* MakeFileList(QWidget* parent, const char* name, int left, int top, int width,
                          int height) {
    auto* list = Make<QListWidget>(parent, name, left, top, width, height);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setUniformItemSizes(true);
    list->setItemDelegate(new FixedHeightDelegate(kFileItemHeight, list));
    return list;
}

QLabel* MakeLabel(QWidget* parent, const char* name, int left, int top, int width, int height,
                  const QString& text) {
    auto* label = Make<QLabel>(parent, name, left, top, width, height);
    label->setText(text);
    label->setFont(SongFont());
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, int left, int top, int width, int height,
                    const QString& text) {
    auto* edit = Make<QLineEdit>(parent, name, left, top, width, height);
    edit->setText(text);
    edit->setFont(SongFont());
    return edit;
}

QStringList Texts(const QListWidget* list) {
    QStringList texts;
    for (int row = 0; row < list->count(); ++row) {
        texts.append(list->item(row)->text());
    }
    return texts;
}

// The selected rows of `list`, in list order, read from the selection's ranges rather than row by
// row: asking every row of a long list whether it is selected costs a pass over the ranges each.
QList<int> SelectedRows(const QListWidget* list) {
    QList<int> rows;
    for (const QItemSelectionRange& range : list->selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row) {
            rows.append(row);
        }
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

// `rows` (ascending) of `model` as a selection of as few ranges as they allow.
QItemSelection Ranges(const QAbstractItemModel* model, const QList<int>& rows) {
    QItemSelection selection;
    for (qsizetype i = 0; i < rows.size();) {
        qsizetype last = i;
        while (last + 1 < rows.size() && rows[last + 1] == rows[last] + 1) {
            ++last;
        }
        selection.append(
            QItemSelectionRange(model->index(rows[i], 0), model->index(rows[last], 0)));
        i = last + 1;
    }
    return selection;
}

QStringList DriveRoots(const QComboBox* chooser) {
    QStringList roots;
    for (int i = 0; i < chooser->count(); ++i) {
        roots.append(chooser->itemData(i).toString());
    }
    return roots;
}

QString RunFileDialog(const QString& filter) {
    QFileDialog dialog(nullptr);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(filter);
    // The filter's entry reads "*.mdf(数据库文件)" alone, without Qt's pattern suffix.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setDirectory(QDir::currentPath());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

}  // namespace

TfrmAttach::TfrmAttach(std::unique_ptr<db::Driver> driver, QString logFolder, QWidget* parent,
                       Seams seams)
    : QWidget(parent),
      showMessage_(seams.showMessage ? std::move(seams.showMessage) : MessageSink(&ShowMessageBox)),
      openDialog_(seams.openDialog ? std::move(seams.openDialog) : OpenDialog(&RunFileDialog)),
      AdoCnn(std::move(driver)),
      ADOQAttach(QStringLiteral("ADOQAttach"), AdoCnn),
      ADOQAdd(QStringLiteral("ADOQAdd"), AdoCnn),
      runLog_(std::move(logFolder), [this](const QString& text) { ShowMessage(text); }),
      attachRun_(ADOQAttach, ADOQAdd, runLog_, [this](const QString& text) { ShowMessage(text); }) {
    AdoCnn.SetConnectionString(engine::InitialConnectionText());
    BuildControls();
    Wire();
    FormCreate();
}

TfrmAttach::~TfrmAttach() {
    // The queries outlive nothing that listens to them from here on.
    ADOQAttach.SetOnChange({});
}

void TfrmAttach::BuildControls() {
    setObjectName(QStringLiteral("frmAttach"));
    setWindowTitle(QStringLiteral("Quillane"));
    setFont(WindowFont());
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    // Lets a style sheet paint the window's background too.
    setAttribute(Qt::WA_StyledBackground);
    resize(706, 528);

    const QString workingDirectory = QDir::currentPath();

    // Controls are placed absolutely: enlarging the window leaves each where it is.
    Driver = Make<QComboBox>(this, "Driver", 0, 8, 145, 19);
    QStringList roots = VolumeRoots();
    if (VolumeRootOf(workingDirectory, roots).isEmpty()) {
        roots.append(DirectoryText(QStorageInfo(workingDirectory).rootPath()));
    }
    for (const QString& root : roots) {
        Driver->addItem(root, root);
    }

    Dir = Make<DirectoryList>(this, "Dir", 0, 33, 145, 216);
    FileListBox1 = MakeFileList(this, "FileListBox1", 151, 8, 227, 85);
    Button1 = Make<QPushButton>(this, "Button1", 176, 99, 73, 24);
    Button1->setText(QStringLiteral("添加"));
    Button2 = Make<QPushButton>(this, "Button2", 280, 99, 73, 24);
    Button2->setText(QStringLiteral("删除"));
    FileName = MakeFileList(this, "FileName", 151, 129, 227, 120);

    Label1 = MakeLabel(this, "Label1", 384, 59, 80, 16, QStringLiteral("服务器名："));
    EdtServer = MakeEdit(this, "EdtServer", 472, 56, 121, 24, QStringLiteral("."));
    Label2 = MakeLabel(this, "Label2", 384, 99, 80, 16, QStringLiteral("用 户 名："));
    EdtUser = MakeEdit(this, "EdtUser", 472, 96, 121, 24, QStringLiteral("sa"));
    Label3 = MakeLabel(this, "Label3", 384, 139, 72, 16, QStringLiteral("密    码:"));
    EdtPass = MakeEdit(this, "EdtPass", 472, 136, 121, 24, QString());
    EdtPass->setEchoMode(QLineEdit::Password);
    // One "*" per character whatever the style's own mask character is.
    EdtPass->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));

    BtnConnect = Make<QPushButton>(this, "BtnConnect", 608, 53, 90, 44);
    BtnConnect->setText(QStringLiteral("连接"));
    SBAttachDb = Make<QToolButton>(this, "SBAttachDb", 608, 108, 90, 47);
    SBAttachDb->setText(QStringLiteral("附加数据库"));
    SBAttachDb->setToolButtonStyle(Qt::ToolButtonTextOnly);
    SBAttachDb->setFocusPolicy(Qt::NoFocus);

    Label4 = MakeLabel(this, "Label4", 384, 187, 96, 16, QStringLiteral("数据库路径："));
    Edtpath = MakeEdit(this, "Edtpath", 472, 179, 226, 24, QString());
    Edtpath->setToolTip(kPathHint);

    DBNavigator1 = new RecordNavigator(ADOQAttach, this);
    DBNavigator1->setObjectName(QStringLiteral("DBNavigator1"));
    DBNavigator1->setGeometry(280, 255, 240, 25);

    DBGrid1 = Make<QTableView>(this, "DBGrid1", 8, 286, 690, 234);
    gridModel_ = new QueryModel(ADOQAttach, DBGrid1);
    DBGrid1->setModel(gridModel_);
    DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    // Tab leaves the grid for the next control instead of walking its cells.
    DBGrid1->setTabKeyNavigation(false);
    DBGrid1->verticalHeader()->setDefaultSectionSize(18);
    DBGrid1->verticalHeader()->setMinimumWidth(12);
    // Plain titles, left-aligned as in a classic data grid; the current cell is marked in the
    // grid, not by a bold title.
    DBGrid1->horizontalHeader()->setHighlightSections(false);
    DBGrid1->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    // Item views and their headers do not inherit the window's font under a style sheet: they
    // take the application's (on Windows the system's item-view font). The lists, the tree, the
    // drive chooser's list and the grid with its titles are given the window's font themselves.
    for (QAbstractItemView* view : findChildren<QAbstractItemView*>()) {
        view->setFont(WindowFont());
    }

    // Both lists and the tree start at the working directory, read once for all three; the path
    // box starts empty.
    DirectoryListing listing = ListDirectory(workingDirectory);
    ShowNames(FileListBox1, listing.files);
    ShowNames(FileName, listing.files);
    Dir->SetDirectory(workingDirectory, std::move(listing));
    SetDriverTo(Dir->Directory());

    QWidget::setTabOrder(DBGrid1, FileName);
    for (auto [from, to] :
         std::initializer_list<std::pair<QWidget*, QWidget*>>{{FileName, Dir},
                                                              {Dir, Driver},
                                                              {Driver, EdtServer},
                                                              {EdtServer, EdtUser},
                                                              {EdtUser, EdtPass},
                                                              {EdtPass, BtnConnect},
                                                              {BtnConnect, Edtpath},
                                                              {Edtpath, FileListBox1},
                                                              {FileListBox1, Button1},
                                                              {Button1, Button2}}) {
        QWidget::setTabOrder(from, to);
    }
    DBGrid1->setFocus();

    for (QWidget* widget : std::initializer_list<QWidget*>{
             DBGrid1, FileListBox1, FileName, Dir, Driver, EdtServer, EdtUser, EdtPass, Edtpath}) {
        UseInputMethod(widget);
    }
}

void TfrmAttach::Wire() {
    connect(Driver, &QComboBox::currentIndexChanged, this, [this] { DriverChange(); });
    connect(Dir, &DirectoryList::DirectoryChanged, this, [this] { DirChange(); });
    connect(Edtpath, &QLineEdit::textChanged, this, [this] { EdtpathChange(); });
    Edtpath->installEventFilter(this);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(BtnConnect, &QPushButton::clicked, this, [this] { BtnConnectClick(); });
    connect(SBAttachDb, &QToolButton::clicked, this, [this] { SBAttachDbClick(); });

    ADOQAttach.SetOnChange([this] { QueryChanged(); });
    connect(gridModel_, &QAbstractItemModel::modelReset, this, [this] { FitGridColumns(); });
    // Clicking a row of the grid makes it the query's current row, as the navigator does.
    connect(
        DBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
        [this](const QModelIndex& current) {
            if (current.isValid() && ADOQAttach.Active() && current.row() != ADOQAttach.RecNo()) {
                ADOQAttach.MoveTo(current.row());
            }
        });
}

bool TfrmAttach::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Edtpath && event->type() == QEvent::MouseButtonDblClick) {
        OnDblClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmAttach::QueryChanged() {
    gridModel_->Sync();
    if (!gridHeld_) {
        FollowQuery();
    }
}

void TfrmAttach::FollowQuery() {
    DBNavigator1->Sync();
    const qsizetype row = ADOQAttach.RecNo();
    if (row >= 0 && DBGrid1->currentIndex().row() != row) {
        const int column = std::max(DBGrid1->currentIndex().column(), 0);
        DBGrid1->setCurrentIndex(gridModel_->index(static_cast<int>(row), column));
    }
}

TfrmAttach::GridHold::GridHold(TfrmAttach& window) : window_(window) {
    window_.gridHeld_ = true;
    window_.gridModel_->Hold();
}

TfrmAttach::GridHold::~GridHold() {
    window_.gridHeld_ = false;
    window_.gridModel_->Release();
    window_.FollowQuery();
}

void TfrmAttach::ShowMessage(const QString& text) {
    if (gridHeld_) {
        gridModel_->Release();
        FollowQuery();
        gridModel_->Hold();
    }
    showMessage_(text);
}

void TfrmAttach::FitGridColumns() {
    const int columns = gridModel_->columnCount();
    if (columns == 0) {
        return;
    }
    // Every column as wide as its title and its widest value ...
    DBGrid1->resizeColumnsToContents();
    // ... and the last one (the recorded path, in the file query's rows) takes what is left of
    // the width, as far as it can be known before the grid lays itself out again.
    QHeaderView* titles = DBGrid1->horizontalHeader();
    const QHeaderView* rows = DBGrid1->verticalHeader();
    const QRect inside = DBGrid1->contentsRect();
    int room = inside.width() - std::max(rows->minimumWidth(), rows->sizeHint().width());
    if (rows->length() > inside.height() - titles->sizeHint().height()) {
        room -= DBGrid1->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr,
                                              DBGrid1->verticalScrollBar());
    }
    const int used = titles->length();
    if (used < room) {
        titles->resizeSection(columns - 1, titles->sectionSize(columns - 1) + room - used);
    }
}

void TfrmAttach::ShowNames(QListWidget* list, const QStringList& names) {
    list->clear();
    list->addItems(names);
}

void TfrmAttach::SetDriverTo(const QString& directory) {
    QString root = VolumeRootOf(directory, DriveRoots(Driver));
    if (root.isEmpty()) {
        // A volume mounted since start-up.
        root = DirectoryText(QStorageInfo(directory).rootPath());
        Driver->addItem(root, root);
    }
    Driver->setCurrentIndex(Driver->findData(root));
}

void TfrmAttach::FormCreate() {}

void TfrmAttach::EdtpathChange() {}

void TfrmAttach::SBAttachDbClick() {
    FileName->selectAll();
    const GridHold hold(*this);
    attachRun_.Run(Texts(FileName), Dir->Directory());
}

void TfrmAttach::BtnConnectClick() {
    engine::Connect(AdoCnn, EdtUser->text(), EdtServer->text(), showMessage_);
}

void TfrmAttach::DriverChange() {
    const QString root = Driver->currentData().toString();
    if (VolumeRootOf(Dir->Directory(), DriveRoots(Driver)) == root) {
        return;  // the tree is on that drive already (the open dialog's last step)
    }
    try {
        Dir->SetDirectory(root);
    } catch (...) {
        // The chooser goes back to the drive the tree is still on; the error box says why.
        const QSignalBlocker quiet(Driver);
        SetDriverTo(Dir->Directory());
        throw;
    }
}

void TfrmAttach::DirChange() {
    // The tree has just read the directory for its own lines; the file list takes its files.
    ShowNames(FileListBox1, Dir->Listing().files);
    Edtpath->setText(Dir->Directory());
    // The tree can climb onto another volume here (unlike a Windows drive); the chooser follows
    // without moving the tree again.
    const QSignalBlocker quiet(Driver);
    SetDriverTo(Dir->Directory());
}

void TfrmAttach::OnDblClick() {
    const QString chosen = openDialog_(kOpenFilter);
    if (chosen.isEmpty()) {
        return;
    }
    QString directory = QDir::toNativeSeparators(QFileInfo(chosen).absolutePath());
    if (!directory.endsWith(QDir::separator())) {
        directory += QDir::separator();
    }
    Edtpath->setText(directory);
    DirectoryListing listing = ListDirectory(directory);
    ShowNames(FileListBox1, listing.files);
    Dir->SetDirectory(directory, std::move(listing));
    SetDriverTo(Dir->Directory());
}

void TfrmAttach::Button1Click() {
    const QList<int> chosen = SelectedRows(FileListBox1);
    if (chosen.isEmpty()) {
        return;
    }
    QStringList added;
    added.reserve(chosen.size());
    for (const int row : chosen) {
        added.append(FileListBox1->item(row)->text());
    }
    // The whole list is laid down again in one go, with what was selected and current in it
    // still selected and current, and scrolled as it was.
    QList<qsizetype> rows;
    const QStringList merged = MergeNames(Texts(FileName), added, &rows);
    QList<int> selected;
    for (const int row : SelectedRows(FileName)) {
        selected.append(static_cast<int>(rows[row]));
    }
    const int current = FileName->currentRow();
    const int scrolledTo = FileName->verticalScrollBar()->value();
    const int scrolledAcross = FileName->horizontalScrollBar()->value();
    ShowNames(FileName, merged);
    if (current >= 0) {
        FileName->selectionModel()->setCurrentIndex(
            FileName->model()->index(static_cast<int>(rows[current]), 0),
            QItemSelectionModel::NoUpdate);
    }
    FileName->selectionModel()->select(Ranges(FileName->model(), selected),
                                       QItemSelectionModel::Select);
    FileName->doItemsLayout();
    FileName->verticalScrollBar()->setValue(scrolledTo);
    FileName->horizontalScrollBar()->setValue(scrolledAcross);
}

void TfrmAttach::Button2Click() {
    if (FileName->count() == 0 || FileName->selectedItems().isEmpty()) {
        return;
    }
    for (int row = FileName->count() - 1; row >= 0; --row) {
        if (FileName->item(row)->isSelected()) {
            delete FileName->takeItem(row);
        }
    }
    FileName->clearSelection();
}

}  // namespace quillane::ui
