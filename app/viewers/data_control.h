// A record's boxes bound to a data source, the way the record viewers show a record: one
// read-only box per field, and the four buttons of a data source that step through the
// table in its index's order (first, previous, next, last). Each step opens the
// database, moves, reads and closes it again.
#pragma once

#include <QWidget>

#include <string>
#include <vector>

#include "sites/site_lookups.h"
#include "state/ui_hooks.h"

class QLabel;
class QToolButton;

namespace app {

class DataControl : public QWidget {
  public:
    // caption: the text the data source shows between its buttons.
    DataControl(const QString &caption, const state::UiHooks &ui, QWidget *parent = nullptr);

    // A box (a QLineEdit or a QPlainTextEdit) that shows the field of that name.
    void bind(QWidget *box, const std::string &field);
    // The record to show; its place in its table is where the buttons step from.
    void set_record(sites::RecordView record);
    const sites::RecordView &record() const { return record_; }

    void step(sites::Step how);

  private:
    void show_record();

    state::UiHooks ui_;
    sites::RecordView record_;
    std::vector<std::pair<QWidget *, std::string>> boxes_;
    QLabel *caption_ = nullptr;
    QToolButton *first_ = nullptr, *previous_ = nullptr, *next_ = nullptr, *last_ = nullptr;
};

} // namespace app
