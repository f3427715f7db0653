#include "ui/record_navigator.h"

#include <QToolButton>

#include "db/query.h"

namespace quillane::ui {

namespace {

struct ButtonLook {
    const char* name;
    const char16_t* glyph;
    const char* hint;
};

// The classic navigator's glyphs and hints, in its order.
constexpr std::array<ButtonLook, RecordNavigator::Count> kLooks{{
    {"First", u"|◀", "First record"},
    {"Prior", u"◀", "Prior record"},
    {"Next", u"▶", "Next record"},
    {"Last", u"▶|", "Last record"},
    {"Insert", u"+", "Insert record"},
    {"Delete", u"−", "Delete record"},
    {"Edit", u"▲", "Edit record"},
    {"Post", u"✓", "Post edit"},
    {"Cancel", u"✕", "Cancel edit"},
    {"Refresh", u"↻", "Refresh data"},
}};

}  // namespace

RecordNavigator::RecordNavigator(db::Query& query, QWidget* parent)
    : QWidget(parent), query_(query) {
    setFocusPolicy(Qt::NoFocus);
    for (int i = 0; i < Count; ++i) {
        auto* button = new QToolButton(this);
        button->setObjectName(QString::fromLatin1(kLooks[i].name));
        button->setText(QString::fromUtf16(kLooks[i].glyph));
        button->setToolTip(QString::fromLatin1(kLooks[i].hint));
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoRaise(false);
        const auto which = static_cast<Button>(i);
        connect(button, &QToolButton::clicked, this, [this, which] { Press(which); });
        buttons_[i] = button;
    }
    Sync();
}

void RecordNavigator::resizeEvent(QResizeEvent* /*event*/) {
    // Equal shares of the width; the last button takes what division leaves over.
    const int w = width() / Count;
    for (int i = 0; i < Count; ++i) {
        const int right = i == Count - 1 ? width() : (i + 1) * w;
        buttons_[i]->setGeometry(i * w, 0, right - i * w, height());
    }
}

void RecordNavigator::Sync() {
    const bool active = query_.Active();
    const qsizetype row = query_.RecNo();
    const qsizetype last = query_.RecordCount() - 1;
    buttons_[First]->setEnabled(active && row > 0);
    buttons_[Prior]->setEnabled(active && row > 0);
    buttons_[Next]->setEnabled(active && row >= 0 && row < last);
    buttons_[Last]->setEnabled(active && row >= 0 && row < last);
    for (Button never : {Insert, Delete, Edit, Post, Cancel}) {
        buttons_[never]->setEnabled(false);
    }
    buttons_[Refresh]->setEnabled(active);
}

void RecordNavigator::Press(Button which) {
    switch (which) {
        case First:
            query_.First();
            break;
        case Prior:
            query_.Prior();
            break;
        case Next:
            query_.Next();
            break;
        case Last:
            query_.Last();
            break;
        case Refresh:
            query_.Refresh();
            break;
        default:
            break;
    }
    Sync();
}

}  // namespace quillane::ui
