#include "app/planning_result.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/accessible.h"
#include "app/window_flags.h"
#include "platform/base/text.h"
#include "platform/widgets/grid.h"

namespace app {

namespace {

constexpr const char *kCaption = "TAVI Map Interrogation Results";
enum Column { kClass = 1, kName = 2 };

} // namespace

PlanningResult::PlanningResult(MapWindowApi &map, const state::UiHooks &ui,
                               std::function<void(sites::ReferenceLookup)> show_lookup,
                               QWidget *parent)
    : QWidget(parent, kResultWindowFlags), state_(map.session().state()), map_(map), ui_(ui),
      show_lookup_(std::move(show_lookup)) {
    setObjectName("PlanningResult");
    setWindowTitle(kCaption);
    setAttribute(Qt::WA_DeleteOnClose);
    auto *layout = new QVBoxLayout(this);
    Label1_ = new QLabel(this);
    Label1_->setObjectName("Label1");
    layout->addWidget(Label1_);
    vaSpread1_ = new grid::Grid(this);
    vaSpread1_->setObjectName("vaSpread1");
    vaSpread1_->set_column_count(2);
    vaSpread1_->set_row_count(0);
    vaSpread1_->set_text(kClass, 0, "Feature Class");
    vaSpread1_->set_text(kName, 0, "Feature Name");
    vaSpread1_->table_widget()->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    vaSpread1_->on_click = [this](int c, int r) { vaSpread1_Click(c, r); };
    vaSpread1_->on_double_click = [this](int c, int r) { vaSpread1_DblClick(c, r); };
    layout->addWidget(vaSpread1_, 1);
    auto *buttons = new QHBoxLayout;
    ReportTitle_ = report_title_field(this);
    buttons->addWidget(ReportTitle_);
    Report_ = new QPushButton("Report…", this);
    Report_->setObjectName("Report");
    connect(Report_, &QPushButton::clicked, this, [this] { Report_Click(); });
    buttons->addWidget(Report_);
    buttons->addStretch(1);
    Exit_ = new QPushButton("Close", this);
    Exit_->setObjectName("Exit");
    connect(Exit_, &QPushButton::clicked, this, [this] { close(); });
    buttons->addWidget(Exit_);
    layout->addLayout(buttons);
    save_dialog_ = file_save_dialog(this);
    describe(vaSpread1_, "Drawn objects found",
             "The drawn objects at the point, one a row: Space flashes the focused object on "
             "the map, Enter shows its record.");
    describe(ReportTitle_, "Report title", "The title the search report is printed under.");
    describe(Report_, "Report",
             "Save a report of the search: the search, a map of the searched area and the "
             "rows, as PDF.");
    describe(Exit_, Exit_->text(), "Close the results.");
    close_on_escape(this);
    resize(420, 300);
}

void PlanningResult::show_hits(const interrogation::PlanningHits &hits,
                               const interrogation::SearchDescription &search) {
    hits_ = hits;
    search_ = search;
    vaSpread1_->set_redraw(false);
    vaSpread1_->set_row_count(static_cast<int>(hits.hits.size()));
    for (int r = 1; r <= static_cast<int>(hits.hits.size()); ++r) {
        const interrogation::PlanningHit &h = hits.hits[static_cast<std::size_t>(r - 1)];
        vaSpread1_->set_text(kClass, r, QString::fromStdString(h.feature_class));
        vaSpread1_->set_text(kName, r, QString::fromStdString(h.feature_name));
    }
    vaSpread1_->set_redraw(true);
    Label1_->setText(QString::fromStdString(hits.label));
    setWindowTitle(kCaption);
    show();
    raise();
    activateWindow();
}

void PlanningResult::Report_Click() {
    const grid::Sheet table = vaSpread1_->sheet();
    interrogation::SearchReport report;
    report.title = ReportTitle_->text().toStdString();
    report.made = QDateTime::currentDateTime();
    report.project = state_.settings.Data_Folder;
    report.search = search_;
    report.table = &table;
    report.marks = interrogation::feature_marks(hits_);
    report.marks.resize(static_cast<std::size_t>(table.row_count()));
    save_report(this, map_.session(), std::move(report), save_dialog_, ui_);
}

std::string PlanningResult::reference_of(int row) const {
    const auto at = static_cast<std::size_t>(row - 1);
    if (at < hits_.hits.size())
        return text::trim_blanks(interrogation::raz_reference(hits_.hits[at]));
    return text::trim_blanks(vaSpread1_->text(kName, row).toStdString());
}

void PlanningResult::vaSpread1_Click(int /*column*/, int row) {
    if (row < 1 || row > vaSpread1_->row_count())
        return;
    const std::string reference = reference_of(row);
    state_.interaction.RAZ_Reference = reference;
    // The very group found, in the drawing it was found in: a name's form tells its
    // drawing only in a project laid out by period, and only some names are references.
    const auto at = static_cast<std::size_t>(row - 1);
    if (at < hits_.hits.size() && hits_.hits[at].drawing > 0)
        map_.Flash_DRW(hits_.hits[at].drawing, reference, hits_.hits[at].first_unit);
    else
        map_.Flash_DRW(interrogation::drawing_of_reference(reference), reference, 0);
}

void PlanningResult::vaSpread1_DblClick(int /*column*/, int row) {
    if (row < 1 || row > vaSpread1_->row_count())
        return;
    const std::string reference = reference_of(row);
    state_.interaction.RAZ_Reference = reference;
    sites::ReferenceLookup found;
    try {
        found = sites::show_raz_text(reference, state_.drawings, ui_);
    } catch (const dao::Error &e) {
        ui_.message(e.what());
        return;
    }
    // A site code leaves the site number as the reference in force.
    if (reference.compare(0, 2, "RE") == 0)
        state_.interaction.RAZ_Reference = reference.substr(2);
    if (found.missing) {
        setWindowTitle(QString::fromStdString(*found.missing));
        return;
    }
    if (const std::string note = sites::lookup_note(reference, found); !note.empty())
        ui_.message(note);
    if (show_lookup_)
        show_lookup_(std::move(found));
}

} // namespace app
