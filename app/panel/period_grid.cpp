#include "app/panel/period_grid.h"

#include <QKeyEvent>

#include <QBrush>
#include <QColor>
#include <QHeaderView>

#include "platform/surface/gdi.h"
#include "state/drawing_table.h"

namespace app {

namespace {

// Row r controls drawing entry r, whichever drawing the project lists there.
static_assert(PeriodGrid::kRows == state::kPeriodCount);

int32_t from_qcolor(const QColor &c) {
    return gdi::rgb(c.red(), c.green(), c.blue());
}

// The widget counts from 0; the panel from 1.
int index_of(int numbered) {
    return numbered - 1;
}

} // namespace

// The era tag lives in the name cell, out of sight and out of a screen reader's way.
constexpr int kEraRole = Qt::UserRole + 1;

PeriodGrid::PeriodGrid(QWidget *parent) : QTableWidget(kRows, kColourColumn, parent) {
    setToolTip("Switch maps On/Off or set fixed map colour");
    setHorizontalHeaderLabels(
        {QStringLiteral("Show"), QStringLiteral("Period"), QStringLiteral("Colour")});
    verticalHeader()->setVisible(false);
    // Every row the same height, whatever the cells hold.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A selected cell would hide its own colour under the highlight.
    setSelectionMode(QAbstractItemView::NoSelection);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Tab leaves the list; the arrows move within it.
    setTabKeyNavigation(false);
    fixed_.fill(kNoColour);
    own_.fill(kNoColour);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    for (int r = 0; r < kRows; ++r) {
        auto *tick = new QTableWidgetItem;
        tick->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        tick->setCheckState(Qt::Checked);
        // A screen reader reads the tick as the period it switches.
        tick->setData(Qt::AccessibleTextRole, QString::fromLatin1(state::kPeriodNames[r]));
        setItem(r, index_of(kTickColumn), tick);
        last_ticks_[static_cast<size_t>(r)] = true;

        auto *name = new QTableWidgetItem(QString::fromLatin1(state::kPeriodNames[r]));
        name->setFlags(Qt::ItemIsEnabled);
        setItem(r, index_of(kNameColumn), name);

        auto *colour = new QTableWidgetItem;
        colour->setFlags(Qt::ItemIsEnabled);
        setItem(r, index_of(kColourColumn), colour);
        show_colour(r + 1);

        // Era numbers run from 5 for the first period (era number - 4 = row).
        if (r < kRows - 1)
            name->setData(kEraRole, QString("era%1").arg(r + 5));
    }
    horizontalHeader()->setSectionResizeMode(index_of(kTickColumn), QHeaderView::ResizeToContents);
    horizontalHeader()->setSectionResizeMode(index_of(kNameColumn), QHeaderView::Stretch);
    horizontalHeader()->setSectionResizeMode(index_of(kColourColumn), QHeaderView::Fixed);
    setColumnWidth(index_of(kColourColumn), 56);
    // Tall enough for the header and all rows, so none hides behind a scroll bar.
    int height = 2 * frameWidth() + horizontalHeader()->sizeHint().height();
    for (int r = 0; r < kRows; ++r)
        height += rowHeight(r);
    setFixedHeight(height);

    connect(this, &QTableWidget::itemChanged, this,
            [this](QTableWidgetItem *item) { item_changed(item); });
    connect(this, &QTableWidget::cellDoubleClicked, this, [this](int row, int column) {
        if (on_double_click)
            on_double_click(column + 1, row + 1);
    });
}

bool PeriodGrid::ticked(int row) const {
    const QTableWidgetItem *cell = item(index_of(row), index_of(kTickColumn));
    return cell != nullptr && cell->checkState() == Qt::Checked;
}

int32_t PeriodGrid::colour(int row) const {
    if (row < 1 || row > kRows)
        return kNoColour;
    return fixed_[static_cast<size_t>(index_of(row))];
}

int32_t PeriodGrid::shown_colour(int row) const {
    const QTableWidgetItem *cell = item(index_of(row), index_of(kColourColumn));
    return cell != nullptr ? from_qcolor(cell->background().color()) : kNoColour;
}

QString PeriodGrid::name(int row) const {
    const QTableWidgetItem *cell = item(index_of(row), index_of(kNameColumn));
    return cell != nullptr ? cell->text() : QString();
}

QString PeriodGrid::era_tag(int row) const {
    const QTableWidgetItem *cell = item(index_of(row), index_of(kNameColumn));
    return cell != nullptr ? cell->data(kEraRole).toString() : QString();
}

void PeriodGrid::set_ticked(int row, bool on) {
    QTableWidgetItem *cell = item(index_of(row), index_of(kTickColumn));
    if (cell == nullptr)
        return;
    quiet_ = true;
    cell->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    last_ticks_[static_cast<size_t>(index_of(row))] = on;
    quiet_ = false;
}

void PeriodGrid::set_colour(int row, int32_t rgb) {
    if (row < 1 || row > kRows)
        return;
    fixed_[static_cast<size_t>(index_of(row))] = rgb;
    show_colour(row);
}

void PeriodGrid::set_own_colour(int row, int32_t rgb) {
    if (row < 1 || row > kRows)
        return;
    own_[static_cast<size_t>(index_of(row))] = rgb;
    show_colour(row);
}

void PeriodGrid::show_colour(int row) {
    QTableWidgetItem *cell = item(index_of(row), index_of(kColourColumn));
    if (cell == nullptr)
        return;
    const auto at = static_cast<size_t>(index_of(row));
    const bool fixed = fixed_[at] != kNoColour;
    const int32_t shown = fixed ? fixed_[at] : own_[at];
    quiet_ = true;
    cell->setBackground(QBrush(QColor::fromRgb(gdi::to_qrgb(shown))));
    const QColor c = QColor::fromRgb(gdi::to_qrgb(shown));
    cell->setData(Qt::AccessibleTextRole,
                  QStringLiteral("%1 colour %2%3")
                      .arg(name(row), c.name(), fixed ? QStringLiteral(", fixed") : QString()));
    cell->setToolTip(fixed ? QStringLiteral("Drawn in this fixed colour; double click to change")
                           : QStringLiteral("Drawn in its own colours, mostly this one; double "
                                            "click to fix a colour"));
    quiet_ = false;
}

void PeriodGrid::item_changed(QTableWidgetItem *item) {
    if (quiet_ || item->column() != index_of(kTickColumn))
        return;
    const int r = item->row();
    const bool on = item->checkState() == Qt::Checked;
    if (r < 0 || r >= kRows || last_ticks_[static_cast<size_t>(r)] == on)
        return;
    last_ticks_[static_cast<size_t>(r)] = on;
    if (on_tick)
        on_tick(kTickColumn, r + 1);
}

void PeriodGrid::keyPressEvent(QKeyEvent *event) {
    // From the keyboard, on the focused row: Space ticks the map on or off, Enter changes
    // its colour as a double click on the colour cell does.
    const int r = currentRow();
    if (r >= 0 && r < kRows && !(event->modifiers() & ~Qt::KeypadModifier)) {
        switch (event->key()) {
        case Qt::Key_Space:
            if (QTableWidgetItem *tick = item(r, index_of(kTickColumn)))
                tick->setCheckState(tick->checkState() == Qt::Checked ? Qt::Unchecked
                                                                      : Qt::Checked);
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (on_double_click)
                on_double_click(kColourColumn, r + 1);
            return;
        default:
            break;
        }
    }
    QTableWidget::keyPressEvent(event);
}

void PeriodGrid::focusInEvent(QFocusEvent *event) {
    QTableWidget::focusInEvent(event);
    if (on_focus_in)
        on_focus_in();
}

void PeriodGrid::focusOutEvent(QFocusEvent *event) {
    QTableWidget::focusOutEvent(event);
    if (on_focus_out)
        on_focus_out();
}

} // namespace app
