#include "app/results/save_report.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QProgressDialog>

#include "platform/base/numbers.h"
#include "platform/base/text.h"

namespace app {

namespace {

constexpr const char *kReportDialogTitle = "Save the search report";
constexpr const char *kReportFilter = "Search report as PDF (*.pdf)";
// A report that takes longer than this shows its progress.
constexpr int kShowProgressAfterMs = 500;

// The extension a file-type filter such as "Name (*.xls)" gives; empty for none.
QString filter_extension(const QString &filter) {
    const qsizetype from = filter.lastIndexOf("(*.");
    const qsizetype to = filter.indexOf(')', from);
    if (from < 0 || to < 0)
        return {};
    const QString ext = filter.mid(from + 3, to - from - 3);
    return ext.contains('*') || ext.contains(' ') ? QString() : ext;
}

} // namespace

SaveDialog file_save_dialog(QWidget *window) {
    return [window](const std::string &title,
                    const std::string &filter) -> std::optional<std::string> {
        QFileDialog dialog(window, QString::fromStdString(title), QString(),
                           QString::fromStdString(filter));
        dialog.setObjectName("SaveDialog");
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        // A name typed without an extension takes the one of the type chosen.
        const auto take_suffix = [&dialog](const QString &chosen) {
            dialog.setDefaultSuffix(filter_extension(chosen));
        };
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, take_suffix);
        take_suffix(dialog.selectedNameFilter());
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return dialog.selectedFiles().front().toStdString();
    };
}

QLineEdit *report_title_field(QWidget *window) {
    auto *field = new QLineEdit(interrogation::kReportTitle, window);
    field->setObjectName("ReportTitle");
    field->setToolTip("The title of the search report");
    field->setMinimumWidth(160);
    field->setMaximumWidth(360);
    return field;
}

void save_report(QWidget *window, project::Session &session, interrogation::SearchReport report,
                 const SaveDialog &save_dialog, const state::UiHooks &ui) {
    const std::optional<std::string> chosen =
        save_dialog ? save_dialog(kReportDialogTitle, kReportFilter) : std::nullopt;
    if (!chosen || text::trim_blanks(*chosen).empty())
        return;
    const std::string name = text::trim_blanks(*chosen);

    // Nothing else may change the map or the rows while the report is written from them:
    // the progress dialog holds the whole program.
    QProgressDialog progress("Writing the search report...", "Stop", 0, 1, window);
    progress.setWindowTitle("TAVI");
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(kShowProgressAfterMs);
    progress.setAutoReset(false);
    const reports::Written written =
        interrogation::write_search_report(session, report, name, [&](int done, int total) {
            progress.setMaximum(total);
            progress.setValue(done);
            ui.message("Writing the search report: page" + num::Str(done) + " of" +
                       num::Str(total));
            return !progress.wasCanceled();
        });
    progress.reset();
    if (written.cancelled) {
        ui.message("The report was stopped: nothing was saved to " + name);
        return;
    }
    if (!written.outcome) {
        // The status bar must not go on telling of an earlier save.
        ui.message("The report could not be saved as " + name);
        ui.box("The report could not be saved as " + name + ": " + written.outcome.error);
        return;
    }
    const int records = report.table != nullptr ? report.table->row_count() : 0;
    ui.message(num::Str(records) + (records == 1 ? " record" : " records") + " saved to " + name +
               " (" + num::CStr(written.pages) + (written.pages == 1 ? " page)" : " pages)"));
}

} // namespace app
