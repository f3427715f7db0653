#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

#include "db/connection.h"
#include "db/query.h"
#include "engine/attach_run.h"
#include "log/message_sink.h"
#include "log/run_log.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableView;
class QToolButton;

namespace quillane::db {
class Driver;
}

namespace quillane::ui {

class DirectoryList;
class QueryModel;
class RecordNavigator;

// The program's one window. It builds the controls, owns the connection, the two queries, the
// run log and the attach run, and wires each event to its handler; what the handlers do lives in
// the engine and in the browsing helpers.
class TfrmAttach : public QWidget {
    Q_OBJECT
  public:
    // Shows the open dialog with `filter` (a Qt name filter); the chosen file, or empty when the
    // user cancels.
    using OpenDialog = std::function<QString(const QString& filter)>;

    // Where the window meets the user outside its own controls. Empty members mean the real
    // thing: the modal message box and a file dialog.
    struct Seams {
        MessageSink showMessage;
        OpenDialog openDialog;
    };

    // The open dialog's one filter: shown as "*.mdf(数据库文件)", matching "*.mdf".
    static const QString kOpenFilter;
    // The path box's hover hint.
    static const QString kPathHint;

    // The day's log goes to Logs in `logFolder` (log::RunLogFolderAtStartUp decides it).
    TfrmAttach(std::unique_ptr<db::Driver> driver, QString logFolder, QWidget* parent = nullptr,
               Seams seams = {});
    ~TfrmAttach() override;

    // The handlers, one per event.
    void FormCreate();
    void SBAttachDbClick();
    void BtnConnectClick();
    void DriverChange();
    void DirChange();
    void OnDblClick();
    void Button1Click();
    void Button2Click();
    void EdtpathChange();

    db::Connection& Connection() { return AdoCnn; }
    db::Query& CheckQuery() { return ADOQAttach; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildControls();
    void Wire();
    static void ShowNames(QListWidget* list, const QStringList& names);
    void SetDriverTo(const QString& directory);
    void QueryChanged();
    void FollowQuery();
    void FitGridColumns();
    // The message box as the engine and the log show it: during a run the grid catches up first,
    // since the box lets the window repaint.
    void ShowMessage(const QString& text);

    // Holds the grid and the navigator while the attach run walks the check query, and lets them
    // catch up once when it ends, however it ends.
    class GridHold {
      public:
        explicit GridHold(TfrmAttach& window);
        ~GridHold();
        GridHold(const GridHold&) = delete;
        GridHold& operator=(const GridHold&) = delete;

      private:
        TfrmAttach& window_;
    };

    MessageSink showMessage_;
    OpenDialog openDialog_;

    db::Connection AdoCnn;
    db::Query ADOQAttach;
    db::Query ADOQAdd;
    log::RunLog runLog_;
    engine::AttachRun attachRun_;

    QComboBox* Driver = nullptr;
    DirectoryList* Dir = nullptr;
    QListWidget* FileListBox1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QListWidget* FileName = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* EdtServer = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* EdtUser = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* EdtPass = nullptr;
    QPushButton* BtnConnect = nullptr;
    QToolButton* SBAttachDb = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* Edtpath = nullptr;
    RecordNavigator* DBNavigator1 = nullptr;
    QTableView* DBGrid1 = nullptr;
    QueryModel* gridModel_ = nullptr;
    bool gridHeld_ = false;
};

}  // namespace quillane::ui
