#include "app/results/planning_result.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/shared/accessible.h"
#include "app/shared/window_flags.h"
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
    search_label_ = new QLabel(this);
    search_label_->setObjectName("Label1");
    layout->addWidget(search_label_);
    features_grid_ = new grid::Grid(this);
    features_grid_->setObjectName("vaSpread1");
    features_grid_->set_column_count(2);
    features_grid_->set_row_count(0);
    features_grid_->set_text(kClass, 0, "Feature Class");
    features_grid_->set_text(kName, 0, "Feature Name");
    features_grid_->table_widget()->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    features_grid_->on_click = [this](int c, int r) { feature_clicked(c, r); };
    features_grid_->on_double_click = [this](int c, int r) { feature_double_clicked(c, r); };
    layout->addWidget(features_grid_, 1);
    auto *buttons = new QHBoxLayout;
    ReportTitle_ = report_title_field(this);
    buttons->addWidget(ReportTitle_);
    report_button_ = new QPushButton("Report…", this);
    report_button_->setObjectName("Report");
    connect(report_button_, &QPushButton::clicked, this, [this] { report_clicked(); });
    buttons->addWidget(report_button_);
    buttons->addStretch(1);
    exit_button_ = new QPushButton("Close", this);
    exit_button_->setObjectName("Exit");
    connect(exit_button_, &QPushButton::clicked, this, [this] { close(); });
    buttons->addWidget(exit_button_);
    layout->addLayout(buttons);
    save_dialog_ = file_save_dialog(this);
    describe(features_grid_, "Drawn objects found",
             "The drawn objects at the point, one a row: Space flashes the focused object on "
             "the map, Enter shows its record.");
    describe(ReportTitle_, "Report title", "The title the search report is printed under.");
    describe(report_button_, "Report",
             "Save a report of the search: the search, a map of the searched area and the "
             "rows, as PDF.");
    describe(exit_button_, exit_button_->text(), "Close the results.");
    close_on_escape(this);
    resize(420, 300);
}

void PlanningResult::show_hits(const interrogation::PlanningHits &hits,
                               const interrogation::SearchDescription &search) {
    hits_ = hits;
    search_ = search;
    features_grid_->set_redraw(false);
    features_grid_->set_row_count(static_cast<int>(hits.hits.size()));
    for (int r = 1; r <= static_cast<int>(hits.hits.size()); ++r) {
        const interrogation::PlanningHit &h = hits.hits[static_cast<std::size_t>(r - 1)];
        features_grid_->set_text(kClass, r, QString::fromStdString(h.feature_class));
        features_grid_->set_text(kName, r, QString::fromStdString(h.feature_name));
    }
    features_grid_->set_redraw(true);
    search_label_->setText(QString::fromStdString(hits.label));
    setWindowTitle(kCaption);
    show();
    raise();
    activateWindow();
}

void PlanningResult::report_clicked() {
    const grid::Sheet table = features_grid_->sheet();
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
    return text::trim_blanks(features_grid_->text(kName, row).toStdString());
}

void PlanningResult::feature_clicked(int /*column*/, int row) {
    if (row < 1 || row > features_grid_->row_count())
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

void PlanningResult::feature_double_clicked(int /*column*/, int row) {
    if (row < 1 || row > features_grid_->row_count())
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
