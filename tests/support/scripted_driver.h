#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

#include "db/db_error.h"
#include "db/driver.h"

namespace testsupport {

// A stand-in for the server session, scripted by statement text: each statement the test names
// answers with rows or fails with a message; any other statement fails as a server would.
// A statement given several replies gets them in turn, the last one from then on.
// Everything sent is recorded in order.
class ScriptedDriver : public quillane::db::Driver {
  public:
    struct Reply {
        quillane::db::ResultSet result;
        std::optional<QString> error;  // set: the statement fails with this message
    };

    struct State {
        QHash<QString, QList<Reply>> replies;
        QStringList executed;              // every statement text, in order
        QStringList openedWith;            // the connection text of every successful open
        std::optional<QString> openError;  // set: every open fails with this message
        bool open = false;
        int closes = 0;
    };

    explicit ScriptedDriver(std::shared_ptr<State> state) : state_(std::move(state)) {}

    void Open(const QString& connectionText) override {
        if (state_->openError) {
            throw quillane::db::DbError(*state_->openError);
        }
        state_->openedWith.append(connectionText);
        state_->open = true;
    }
    void Close() noexcept override {
        if (state_->open) {
            ++state_->closes;
        }
        state_->open = false;
    }
    bool IsOpen() const override { return state_->open; }

    quillane::db::ResultSet Execute(const QString& statement) override {
        state_->executed.append(statement);
        const auto found = state_->replies.find(statement);
        if (found == state_->replies.end() || found->isEmpty()) {
            throw quillane::db::DbError(QStringLiteral("no reply scripted for: ") + statement);
        }
        const Reply reply = found->size() > 1 ? found->takeFirst() : found->first();
        if (reply.error) {
            throw quillane::db::DbError(*reply.error);
        }
        return reply.result;
    }

  private:
    std::shared_ptr<State> state_;
};

}  // namespace testsupport
