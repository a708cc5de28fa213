#include "app/viewers/data_control.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QToolButton>

#include "app/shared/accessible.h"

namespace app {

DataControl::DataControl(const QString &caption, const state::UiHooks &ui, QWidget *parent)
    : QWidget(parent), ui_(ui) {
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    auto button = [this, row, caption](const char *name, const char *glyph, sites::Step how) {
        auto *b = new QToolButton(this);
        b->setObjectName(name);
        b->setText(QString::fromUtf8(glyph));
        // The glyph says nothing read aloud: the step in words.
        describe(b, QStringLiteral("%1 record").arg(QString::fromLatin1(name)),
                 QStringLiteral("Show the %1 record of %2.")
                     .arg(QString::fromLatin1(name).toLower(), caption));
        connect(b, &QToolButton::clicked, this, [this, how] { step(how); });
        row->addWidget(b);
        return b;
    };
    first_ = button("First", "|\u25C0", sites::Step::First);
    previous_ = button("Previous", "\u25C0", sites::Step::Previous);
    caption_ = new QLabel(caption, this);
    caption_->setAlignment(Qt::AlignCenter);
    caption_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    row->addWidget(caption_, 1);
    next_ = button("Next", "\u25B6", sites::Step::Next);
    last_ = button("Last", "\u25B6|", sites::Step::Last);
}

void DataControl::bind(QWidget *box, const std::string &field) {
    boxes_.emplace_back(box, field);
}

void DataControl::set_record(sites::RecordView record) {
    record_ = std::move(record);
    show_record();
}

void DataControl::step(sites::Step how) {
    if (record_.database.empty())
        return;
    try {
        record_ = sites::step_record(record_, how);
    } catch (const dao::Error &e) {
        ui_.message(e.what());
        return;
    }
    show_record();
}

void DataControl::show_record() {
    for (auto &[box, field] : boxes_) {
        const QString text = QString::fromStdString(record_.value(field).to_string());
        if (auto *line = qobject_cast<QLineEdit *>(box)) {
            line->setText(text);
            line->setCursorPosition(0);
        } else if (auto *memo = qobject_cast<QPlainTextEdit *>(box)) {
            memo->setPlainText(text);
        }
    }
    const bool stepping = record_.found && !record_.database.empty();
    for (QToolButton *b : {first_, previous_, next_, last_})
        b->setEnabled(stepping);
}

} // namespace app
