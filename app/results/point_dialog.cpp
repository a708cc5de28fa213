#include "app/results/point_dialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "app/shared/accessible.h"
#include "interrogation/enquiry_report.h"
#include "platform/base/numbers.h"
#include "platform/base/text.h"
#include "platform/exports/export_table.h"
#include "platform/exports/grid_table.h"
#include "platform/widgets/grid.h"
#include "platform/widgets/grid_print.h"
#include "project/session.h"

namespace app {

namespace {

using interrogation::kFirstFieldColumn;

constexpr const char *kCaption = "Point Data Interrogation results";
constexpr const char *kGridTip =
    "To sort based on any column select the column header and press mouse left. To refresh the "
    "Header field names double click on any cell in a row of data. ";
// Rows the window offers before any search has filled it.
constexpr int kProvidedRows = 600;
// Where a row's place is: the site list's fifth, sixth and seventh fields hold the grid
// reference and the metres east and north within its square.
constexpr int kGridRefColumn = kFirstFieldColumn + 4;
constexpr int kEastColumn = kFirstFieldColumn + 5;
constexpr int kNorthColumn = kFirstFieldColumn + 6;

constexpr const char *kExcelFilter = "Export Table in Excel 97,2000,2002 format (*.xls)";
constexpr const char *kHtmlXmlFilter =
    "Export data as HTML Table (*.html);;Export Data in Tagged XML Format (*.xml)";
constexpr const char *kHtmlXmlTitle = "Save Data to HTML or XML file";

} // namespace

Point_Dialog::Point_Dialog(MapWindowApi &map, const state::UiHooks &ui,
                           std::function<void(sites::RecordView)> show_site, QWidget *parent)
    : QWidget(parent, kResultWindowFlags), state_(map.session().state()), map_(map), ui_(ui),
      show_site_(std::move(show_site)) {
    setObjectName("Point_Dialog");
    setWindowTitle(kCaption);
    setAttribute(Qt::WA_DeleteOnClose);
    save_dialog_ = file_save_dialog(this);
    printer_setup_ = [this](QPrinter &printer) {
        QPrintDialog dialog(&printer, this);
        return dialog.exec() == QDialog::Accepted;
    };

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    auto *band = new QHBoxLayout;
    const auto button = [this, band](const char *name, const char *caption) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(name);
        band->addWidget(b);
        return b;
    };
    sorting_box_ = new QCheckBox("Enable Sorting", this);
    sorting_box_->setObjectName("Check1");
    band->addWidget(sorting_box_);
    delete_button_ = button("Command5", "Delete Selected");
    save_html_xml_button_ = button("Command4", "Save as HTML/XML");
    save_excel_button_ = button("Command3", "Save in Excel 97 format");
    print_button_ = button("Command2", "Print");
    band->addStretch(1);
    cancel_button_ = button("Command1", "Cancel Point Interrogation");
    layout->addLayout(band);
    // The report's title and button on a row of their own: the band above is full.
    auto *report_band = new QHBoxLayout;
    report_band->addWidget(new QLabel("Report title:", this));
    ReportTitle_ = report_title_field(this);
    report_band->addWidget(ReportTitle_, 1);
    report_button_ = new QPushButton("Report…", this);
    report_button_->setObjectName("Command6");
    report_band->addWidget(report_button_);
    report_band->addStretch(1);
    layout->addLayout(report_band);

    PointInfo_ = new grid::Grid(this);
    PointInfo_->setObjectName("PointInfo");
    PointInfo_->setToolTip(kGridTip);
    layout->addWidget(PointInfo_, 1);

    connect(sorting_box_, &QCheckBox::clicked, this, [this] { sorting_clicked(); });
    connect(delete_button_, &QPushButton::clicked, this, [this] { delete_clicked(); });
    connect(save_html_xml_button_, &QPushButton::clicked, this,
            [this] { save_html_xml_clicked(); });
    connect(save_excel_button_, &QPushButton::clicked, this, [this] { save_excel_clicked(); });
    connect(print_button_, &QPushButton::clicked, this, [this] { print_clicked(); });
    connect(report_button_, &QPushButton::clicked, this, [this] { report_clicked(); });
    connect(cancel_button_, &QPushButton::clicked, this, [this] { cancel_clicked(); });
    PointInfo_->on_click = [this](int c, int r) { PointInfo_Click(c, r); };
    PointInfo_->on_double_click = [this](int c, int r) { PointInfo_DblClick(c, r); };
    name_controls();

    // The load: an empty table of the provided rows, headed as an export would head it.
    PointInfo_->set_column_count(kFirstFieldColumn - 1);
    PointInfo_->set_row_count(kProvidedRows);
    shows_ = {0, interrogation::kSetColumn, interrogation::kPointColumn};
    PointInfo_->set_current(1, 0);
    Set_Header_Names(1);
    resize(900, 360);
}

Point_Dialog::~Point_Dialog() = default;

void Point_Dialog::name_controls() {
    describe(PointInfo_, "Search results",
             "The site records found, one a row: Space flashes the focused record on the "
             "map, Enter shows it in full.");
    describe(sorting_box_, sorting_box_->text(),
             "Sort the rows by a column when its header is clicked.");
    describe(delete_button_, delete_button_->text(),
             "Take the selected columns out of the results; the rows stay.");
    describe(save_html_xml_button_, save_html_xml_button_->text(),
             "Save the results as an HTML or XML file.");
    describe(save_excel_button_, save_excel_button_->text(),
             "Save the results as an Excel 97 workbook.");
    describe(print_button_, print_button_->text(), "Print the results.");
    describe(cancel_button_, cancel_button_->text(),
             "Close the results and put the map's tool down.");
    describe(ReportTitle_, "Report title", "The title the search report is printed under.");
    describe(report_button_, "Report",
             "Save a report of the search: the search, a map of the searched area and the "
             "rows, as PDF.");
    // Esc is the cancel button.
    close_on_escape(this, [this] { cancel_clicked(); });
}

void Point_Dialog::show_rows(const interrogation::SiteRows &rows,
                             const interrogation::SearchDescription &search) {
    rows_ = rows;
    search_ = search;
    features_.reset();
    feature_outlines_.clear();
    const grid::Sheet sheet = interrogation::result_sheet(rows, rows.headers);
    grid::Grid &g = *PointInfo_;
    g.set_redraw(false);
    g.set_row_count(0);
    g.set_column_count(0);
    g.set_column_count(sheet.column_count());
    g.set_row_count(sheet.row_count());
    for (int c = 1; c <= sheet.column_count(); ++c) {
        g.set_column_type(c, sheet.column_type(c), sheet.column_decimals(c));
        g.set_text(c, 0, sheet.text(c, 0));
    }
    for (int r = 1; r <= sheet.row_count(); ++r) {
        g.set_row_key(r, r - 1);
        for (int c = 1; c <= sheet.column_count(); ++c) {
            if (sheet.holds_number(c, r))
                g.set_value(c, r, sheet.value(c, r));
            else if (const QString t = sheet.text(c, r); !t.isEmpty())
                g.set_text(c, r, t);
        }
    }
    g.set_redraw(true);
    // Nothing of an earlier table stays picked (an export selects the whole sheet).
    g.select_block(grid::Block{});
    shows_.resize(static_cast<std::size_t>(sheet.column_count()) + 1);
    for (std::size_t c = 0; c < shows_.size(); ++c)
        shows_[c] = static_cast<int>(c);
    setWindowTitle(QString::fromStdString(rows.caption()));
    g.set_current(1, std::max(rows.count(), 0));
    // New rows bring the window forward, wherever it was left.
    show();
    raise();
    activateWindow();
}

int Point_Dialog::column_of(int search_column) const {
    for (std::size_t c = 1; c < shows_.size(); ++c)
        if (shows_[c] == search_column)
            return static_cast<int>(c);
    return 0;
}

void Point_Dialog::Set_Header_Names(int row) {
    grid::Grid &g = *PointInfo_;
    int set = 0;
    const int set_column = column_of(interrogation::kSetColumn);
    if (row >= 1 && row <= g.row_count() && set_column > 0 &&
        !g.text(set_column, row).trimmed().isEmpty())
        set = static_cast<int>(g.value(set_column, row));
    const std::vector<std::string> names = interrogation::header_names(state_.points, set);
    for (int c = 1; c < static_cast<int>(shows_.size()) && c <= g.column_count(); ++c) {
        const auto at = static_cast<std::size_t>(shows_[static_cast<std::size_t>(c)] - 1);
        const std::string name =
            at < names.size() ? names[at] : interrogation::header_name(g.text(c, 0).toStdString());
        g.set_text(c, 0, QString::fromStdString(name));
    }
}

void Point_Dialog::sorting_clicked() {
    PointInfo_->set_sort_on_header_click(sorting_box_->isChecked());
}

void Point_Dialog::delete_clicked() {
    grid::Grid &g = *PointInfo_;
    const grid::Block b = g.selection();
    if (b.empty() || b.first_column < 1)
        return;
    const int first = b.first_column;
    const int last = std::min(b.last_column, g.column_count());
    if (last < first)
        return;
    g.delete_columns(grid::Block{first, 0, last, g.row_count()});
    if (static_cast<std::size_t>(last) < shows_.size())
        shows_.erase(shows_.begin() + first, shows_.begin() + last + 1);
    g.set_column_count(g.data_column_count());
    shows_.resize(static_cast<std::size_t>(g.column_count()) + 1);
}

void Point_Dialog::print_clicked() {
    QPrinter printer(QPrinter::HighResolution);
    if (!printer_setup_ || !printer_setup_(printer))
        return;
    setCursor(Qt::WaitCursor);
    const bool printed = grid::print(PointInfo_->sheet(), printer, grid::PrintOptions{});
    unsetCursor();
    if (!printed || printer.printerState() == QPrinter::Error) {
        const QString to = printer.outputFileName();
        ui_.box("The table could not be printed" +
                (to.isEmpty() ? std::string(" on ") + printer.printerName().toStdString()
                              : " to " + to.toStdString()) +
                ".");
    }
}

void Point_Dialog::save_excel_clicked() {
    Set_Header_Names(1);
    const std::optional<std::string> name =
        save_dialog_ ? save_dialog_("Save As", kExcelFilter) : std::nullopt;
    if (!name || text::trim_blanks(*name).empty())
        return;
    export_table(text::trim_blanks(*name), true);
}

void Point_Dialog::save_html_xml_clicked() {
    Set_Header_Names(1);
    const std::optional<std::string> name =
        save_dialog_ ? save_dialog_(kHtmlXmlTitle, kHtmlXmlFilter) : std::nullopt;
    if (!name || name->empty())
        return;
    export_table(*name, false);
}

void Point_Dialog::export_table(const std::string &name, bool excel) {
    grid::Grid &g = *PointInfo_;
    g.select_block(g.sheet().whole());
    const exporting::Table table = grid::to_table(g.sheet());
    const exporting::Outcome done =
        excel ? exporting::write_xls(name, table, exporting::kSheetName)
              : exporting::write_table(name, table, exporting::html_or_xml(name));
    if (!done) {
        // The status bar must not go on telling of an earlier save.
        ui_.message("The table could not be saved as " + name);
        ui_.box("The table could not be saved as " + name + ": " + done.error);
        return;
    }
    const auto rows = static_cast<int64_t>(table.rows.size());
    std::string said = num::Str(rows) + (rows == 1 ? " record" : " records") + " saved to " + name;
    // One line however many texts were cut: the status bar shows no more.
    if (const std::string warning = exporting::warning(done); !warning.empty())
        said += "; " + warning;
    ui_.message(said);
}

void Point_Dialog::show_enquiry(const interrogation::EnquiryResult &result) {
    show_rows(interrogation::enquiry_rows(result), interrogation::enquiry_description(result));
    features_ = interrogation::enquiry_features_sheet(result);
    feature_outlines_ = interrogation::enquiry_outlines(result);
    const QString title = QString::fromStdString(interrogation::enquiry_title(result.enquiry));
    setWindowTitle(title);
    ReportTitle_->setText(title);
}

void Point_Dialog::report_clicked() {
    // The rows as the user left them (sorted, columns deleted, headed as shown): making a
    // report changes nothing in the window.
    const grid::Sheet table = PointInfo_->sheet();
    std::vector<int> order(static_cast<std::size_t>(table.row_count()));
    for (int r = 1; r <= table.row_count(); ++r)
        order[static_cast<std::size_t>(r - 1)] = table.row_key(r);
    interrogation::SearchReport report;
    report.title = ReportTitle_->text().toStdString();
    report.made = QDateTime::currentDateTime();
    report.project = state_.settings.Data_Folder;
    report.search = search_;
    report.table = &table;
    report.marks = interrogation::site_marks(state_.points, rows_, order);
    if (features_ && search_.kind == interrogation::SearchKind::Enquiry) {
        report.features_heading = interrogation::kFeaturesHeading;
        report.features = &*features_;
        report.feature_outlines = feature_outlines_;
    }
    save_report(this, map_.session(), std::move(report), save_dialog_, ui_);
}

void Point_Dialog::cancel_clicked() {
    state_.interaction.Tool_Code = state::ToolCode::None;
    close();
}

void Point_Dialog::PointInfo_Click(int /*column*/, int row) {
    grid::Grid &g = *PointInfo_;
    if (row < 1 || row > g.row_count())
        return;
    const int ref = column_of(kGridRefColumn), east = column_of(kEastColumn),
              north = column_of(kNorthColumn);
    if (ref == 0 || east == 0 || north == 0) {
        ui_.message("The grid reference or coordinate columns were deleted: no place to flash");
        return;
    }
    state::UiHooks hooks = ui_;
    hooks.process_events = [this] {
        map_.show_picture();
        QCoreApplication::processEvents();
    };
    interrogation::Flash_Point(state_.view, map_.session().dc(),
                               g.text(ref, row).trimmed().toStdString(), g.value(east, row),
                               g.value(north, row), hooks);
}

void Point_Dialog::PointInfo_DblClick(int /*column*/, int row) {
    grid::Grid &g = *PointInfo_;
    if (row < 1 || row > g.row_count())
        return;
    const int first = column_of(kFirstFieldColumn);
    if (first == 0)
        return;
    std::string &reference = state_.interaction.RAZ_Reference;
    reference = g.text(first, row).toStdString();
    if (text::trim_blanks(reference).empty())
        return;
    interrogation::SiteRecordLookup found;
    try {
        found = interrogation::site_record(reference, state_.drawings, ui_);
    } catch (const dao::Error &e) {
        ui_.message(e.what());
        return;
    }
    if (found.missing)
        ui_.message(*found.missing);
    else if (found.site.found && show_site_)
        show_site_(std::move(found.site));
}

} // namespace app
