#include "platform/widgets/grid.h"

#include <QKeyEvent>

#include <QAbstractButton>
#include <QEvent>
#include <QHeaderView>
#include <QPrintDialog>
#include <QPrinter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "platform/exports/grid_table.h"

namespace grid {

namespace {

QColor to_qcolor(gdi::Colour c) {
    return QColor::fromRgb(gdi::to_qrgb(c));
}

} // namespace

Grid::Grid(QWidget *parent) : QWidget(parent), table_(new QTableWidget(this)) {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(table_);
    setFocusProxy(table_);
    table_->installEventFilter(this);

    // The windows show results: the user reads, picks and ticks, but does not type into
    // cells, which would leave the shown text and the sheet apart.
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab and Shift+Tab leave the grid for the next control, as they leave any other;
    // the arrow keys move within it.
    table_->setTabKeyNavigation(false);
    table_->setSelectionMode(QAbstractItemView::ContiguousSelection);
    table_->setWordWrap(false);

    connect(table_, &QTableWidget::cellClicked, this, [this](int row, int column) {
        current_column_ = column + 1;
        current_row_ = row + 1;
        if (on_click)
            on_click(column + 1, row + 1);
    });
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int column) {
        if (on_double_click)
            on_double_click(column + 1, row + 1);
    });
    // The table selects on a press before it says where the press was; the block is
    // read again once the grid knows whether cells, rows or columns were picked.
    connect(table_, &QTableWidget::cellPressed, this, [this](int, int) {
        picked_ = Picked::Cells;
        selection_changed();
    });
    connect(table_, &QTableWidget::itemChanged, this,
            [this](QTableWidgetItem *item) { item_changed(item); });
    connect(table_, &QTableWidget::itemSelectionChanged, this, [this] { selection_changed(); });

    QHeaderView *top = table_->horizontalHeader();
    QHeaderView *left = table_->verticalHeader();
    connect(top, &QHeaderView::sectionPressed, this, [this](int) {
        picked_ = Picked::Columns;
        selection_changed();
    });
    connect(left, &QHeaderView::sectionPressed, this, [this](int) {
        picked_ = Picked::Rows;
        selection_changed();
    });
    connect(top, &QHeaderView::sectionClicked, this,
            [this](int section) { header_clicked(section); });
    connect(top, &QHeaderView::sectionDoubleClicked, this, [this](int section) {
        if (on_double_click)
            on_double_click(section + 1, 0);
    });
    connect(left, &QHeaderView::sectionClicked, this, [this](int section) {
        if (on_click)
            on_click(0, section + 1);
    });
    connect(left, &QHeaderView::sectionDoubleClicked, this, [this](int section) {
        if (on_double_click)
            on_double_click(0, section + 1);
    });
    // The corner button selects everything, headers included.
    if (auto *corner = table_->findChild<QAbstractButton *>())
        connect(corner, &QAbstractButton::pressed, this, [this] { picked_ = Picked::All; });
}

Grid::~Grid() = default;

void Grid::set_row_count(int rows) {
    sheet_.set_row_count(rows);
    changed_layout();
}

void Grid::set_column_count(int columns) {
    sheet_.set_column_count(columns);
    if (sorted_column_ > column_count())
        show_sorted_column(0);
    changed_layout();
}

void Grid::set_text(int column, int row, const QString &text) {
    if (sheet_.set_text(column, row, text))
        changed_cell(column, row);
}

void Grid::set_value(int column, int row, double value) {
    if (sheet_.set_value(column, row, value))
        changed_cell(column, row);
}

void Grid::set_ticked(int column, int row, bool on) {
    if (sheet_.set_ticked(column, row, on))
        changed_cell(column, row);
}

void Grid::set_back_colour(int column, int row, gdi::Colour colour) {
    if (sheet_.set_back_colour(column, row, colour))
        changed_cell(column, row);
}

void Grid::set_column_type(int column, CellType type, int decimals) {
    if (column < 1 || column > column_count())
        return;
    sheet_.set_column_type(column, type, decimals);
    if (!redraw_ || stale_) {
        stale_ = true;
        return;
    }
    for (int r = 1; r <= row_count(); ++r)
        show_cell(column, r);
}

void Grid::set_current(int column, int row) {
    if (!sheet_.contains(column, row))
        return;
    current_column_ = column;
    current_row_ = row;
    if (column >= 1 && row >= 1 && !stale_) {
        QSignalBlocker quiet(table_->selectionModel());
        table_->selectionModel()->setCurrentIndex(table_->model()->index(row - 1, column - 1),
                                                  QItemSelectionModel::NoUpdate);
    }
}

void Grid::select_block(const Block &block) {
    Block b = block;
    b.first_column = std::max(b.first_column, 0);
    b.first_row = std::max(b.first_row, 0);
    b.last_column = std::min(b.last_column, column_count());
    b.last_row = std::min(b.last_row, row_count());
    if (b.first_column == 0 && b.first_row == 0)
        picked_ = Picked::All;
    else if (b.first_column == 0)
        picked_ = Picked::Rows;
    else if (b.first_row == 0)
        picked_ = Picked::Columns;
    else
        picked_ = Picked::Cells;
    block_ = b.empty() ? Block{} : b;
    show_block();
}

void Grid::show_block() {
    if (stale_)
        return;
    quiet_ = true;
    table_->clearSelection();
    const Block b = block_;
    if (!b.empty()) {
        const int top = std::max(b.first_row, 1) - 1, bottom = b.last_row - 1;
        const int first = std::max(b.first_column, 1) - 1, last = b.last_column - 1;
        if (top <= bottom && first <= last)
            table_->setRangeSelected(QTableWidgetSelectionRange(top, first, bottom, last), true);
    }
    quiet_ = false;
}

void Grid::selection_changed() {
    if (quiet_)
        return;
    const QList<QTableWidgetSelectionRange> ranges = table_->selectedRanges();
    if (ranges.isEmpty()) {
        block_ = Block{};
        return;
    }
    Block b{column_count(), row_count(), 1, 1};
    for (const auto &r : ranges) {
        b.first_column = std::min(b.first_column, r.leftColumn() + 1);
        b.last_column = std::max(b.last_column, r.rightColumn() + 1);
        b.first_row = std::min(b.first_row, r.topRow() + 1);
        b.last_row = std::max(b.last_row, r.bottomRow() + 1);
    }
    if (picked_ == Picked::Rows || picked_ == Picked::All)
        b.first_column = 0;
    if (picked_ == Picked::Columns || picked_ == Picked::All)
        b.first_row = 0;
    block_ = b;
}

void Grid::delete_columns(const Block &block) {
    const int first = std::max(block.first_column, 1);
    const int last = std::min(block.last_column, column_count());
    sheet_.delete_columns(block.first_column, block.last_column);
    block_ = Block{};
    // The sort mark goes with its column: gone with it, or moved left.
    if (first <= last && sorted_column_ >= first)
        show_sorted_column(sorted_column_ <= last ? 0 : sorted_column_ - (last - first + 1));
    changed_layout();
}

void Grid::show_sorted_column(int column) {
    sorted_column_ = column;
    QHeaderView *header = table_->horizontalHeader();
    header->setSortIndicatorShown(column > 0);
    if (column > 0)
        header->setSortIndicator(column - 1,
                                 sorted_ascending_ ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void Grid::sort_rows(const Block &block, int key_column, bool ascending) {
    sheet_.sort_rows(block, key_column, ascending);
    changed_layout();
}

void Grid::set_redraw(bool on) {
    redraw_ = on;
    table_->setUpdatesEnabled(on);
    if (on && stale_)
        refresh();
}

void Grid::set_column_headers_visible(bool on) {
    table_->horizontalHeader()->setVisible(on);
}

void Grid::set_row_headers_visible(bool on) {
    table_->verticalHeader()->setVisible(on);
}

exporting::Table Grid::table() const {
    return to_table(sheet_);
}

bool Grid::print_with_dialog(const PrintOptions &options) {
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    return print(sheet_, printer, options);
}

bool Grid::eventFilter(QObject *watched, QEvent *event) {
    if (watched == table_) {
        if (event->type() == QEvent::FocusIn && on_focus_in)
            on_focus_in();
        else if (event->type() == QEvent::FocusOut && on_focus_out)
            on_focus_out();
        else if (event->type() == QEvent::KeyPress && key_acts(*static_cast<QKeyEvent *>(event)))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool Grid::key_acts(const QKeyEvent &key) {
    // From the keyboard, on the focused cell: Enter is its double click, Space its
    // click, except on a tick box, which Space ticks as the table does itself.
    if (key.modifiers() & ~Qt::KeypadModifier)
        return false;
    const QModelIndex at = table_->currentIndex();
    if (!at.isValid())
        return false;
    const int column = at.column() + 1, row = at.row() + 1;
    switch (key.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (on_double_click)
            on_double_click(column, row);
        return true;
    case Qt::Key_Space:
        if (const QTableWidgetItem *cell = table_->item(at.row(), at.column());
            cell && (cell->flags() & Qt::ItemIsUserCheckable))
            return false;
        current_column_ = column;
        current_row_ = row;
        if (on_click)
            on_click(column, row);
        return true;
    default:
        return false;
    }
}

void Grid::changed_cell(int column, int row) {
    if (!redraw_ || stale_) {
        stale_ = true;
        return;
    }
    if (row == 0 || column == 0)
        show_header(column, row);
    else
        show_cell(column, row);
}

void Grid::changed_layout() {
    if (!redraw_) {
        stale_ = true;
        return;
    }
    refresh();
}

void Grid::refresh() {
    quiet_ = true;
    // Dropping every row first frees the old items in one go instead of one by one.
    table_->setRowCount(0);
    table_->setColumnCount(column_count());
    table_->setRowCount(row_count());
    stale_ = false;
    for (int c = 1; c <= column_count(); ++c)
        show_header(c, 0);
    for (int r = 1; r <= row_count(); ++r) {
        show_header(0, r);
        for (int c = 1; c <= column_count(); ++c)
            show_cell(c, r);
    }
    quiet_ = false;
    block_.last_column = std::min(block_.last_column, column_count());
    block_.last_row = std::min(block_.last_row, row_count());
    if (block_.empty())
        block_ = Block{};
    show_block();
}

void Grid::show_header(int column, int row) {
    const QString text = sheet_.text(column, row);
    const bool top = row == 0;
    const int section = top ? column - 1 : row - 1;
    if (section < 0)
        return; // the corner cell has no place on screen
    QTableWidgetItem *item =
        top ? table_->horizontalHeaderItem(section) : table_->verticalHeaderItem(section);
    if (text.isEmpty()) {
        // No item: the header shows the column's or row's number.
        if (item != nullptr)
            delete (top ? table_->takeHorizontalHeaderItem(section)
                        : table_->takeVerticalHeaderItem(section));
        return;
    }
    if (item != nullptr) {
        item->setText(text);
        return;
    }
    if (top)
        table_->setHorizontalHeaderItem(section, new QTableWidgetItem(text));
    else
        table_->setVerticalHeaderItem(section, new QTableWidgetItem(text));
}

void Grid::show_cell(int column, int row) {
    const CellType type = sheet_.column_type(column);
    const bool tick = type == CellType::TickBox;
    const bool coloured = sheet_.has_back_colour(column, row);
    const QString text = tick ? QString() : sheet_.text(column, row);
    QTableWidgetItem *item = table_->item(row - 1, column - 1);
    if (!tick && !coloured && text.isEmpty()) {
        if (item != nullptr)
            delete table_->takeItem(row - 1, column - 1);
        return;
    }
    const bool was_quiet = quiet_;
    quiet_ = true;
    const bool added = item == nullptr;
    // A new item is given only what differs from an item's defaults: filling a table
    // of a hundred thousand cells is mostly the cost of these small allocations.
    if (added)
        item = new QTableWidgetItem(text);
    else
        item->setText(text);
    item->setFlags(tick ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable
                        : Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (tick)
        item->setCheckState(sheet_.ticked(column, row) ? Qt::Checked : Qt::Unchecked);
    else if (!added)
        item->setData(Qt::CheckStateRole, QVariant());
    if (type == CellType::Numeric)
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    else if (!added)
        item->setData(Qt::TextAlignmentRole, QVariant());
    if (coloured)
        item->setBackground(to_qcolor(sheet_.back_colour(column, row)));
    if (added)
        table_->setItem(row - 1, column - 1, item);
    quiet_ = was_quiet;
}

void Grid::item_changed(QTableWidgetItem *item) {
    if (quiet_)
        return;
    const int column = item->column() + 1, row = item->row() + 1;
    if (sheet_.column_type(column) != CellType::TickBox)
        return;
    const bool on = item->checkState() == Qt::Checked;
    if (on == sheet_.ticked(column, row))
        return;
    sheet_.set_ticked(column, row, on);
    if (on_tick)
        on_tick(column, row, on);
}

void Grid::header_clicked(int section) {
    const int column = section + 1;
    if (sort_on_header_click_ && column <= column_count()) {
        sorted_ascending_ = column == sorted_column_ ? !sorted_ascending_ : true;
        sort_rows(Block{1, 1, column_count(), row_count()}, column, sorted_ascending_);
        show_sorted_column(column);
    }
    if (on_click)
        on_click(column, 0);
}

} // namespace grid
