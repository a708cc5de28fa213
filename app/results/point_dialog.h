// The point results window ("Point Data Interrogation results"): the site-list records a
// point, polygon or polyline search found, one row per point. A click on a row makes its
// place blink on the map, a double click opens the site's record; the table can be
// sorted, lose columns, be printed and be saved as an Excel 97 workbook, an HTML table,
// an XML document or the search report (the search, its map and the rows, as PDF). The
// searches fill it through show_rows; it only shows what they found.
#pragma once

#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/results/save_report.h"
#include "app/shared/window_flags.h"
#include "app/windows/map_window_api.h"
#include "interrogation/enquiry.h"
#include "interrogation/search_report.h"
#include "interrogation/site_search.h"
#include "project/session.h"
#include "sites/site_lookups.h"
#include "state/ui_hooks.h"

class QCheckBox;
class QLineEdit;
class QPrinter;
class QPushButton;

namespace grid {
class Grid;
}

namespace app {

class Point_Dialog : public QWidget {
  public:
    using SaveDialog = app::SaveDialog;
    // Sets the printer up (the print dialog); false when the user cancelled.
    using PrinterSetup = std::function<bool(QPrinter &printer)>;

    // show_site opens the site viewer on a record; ui's message box tells of failures.
    Point_Dialog(MapWindowApi &map, const state::UiHooks &ui,
                 std::function<void(sites::RecordView)> show_site, QWidget *parent = nullptr);
    ~Point_Dialog() override;

    // The rows of a search, replacing what the window showed, and the record count in
    // the caption; the search itself is what the report describes.
    void show_rows(const interrogation::SiteRows &rows,
                   const interrogation::SearchDescription &search = {});
    // An enquiry's sites, the window titled by the search ("Sites within 250 m of
    // boundary.shp"); its report adds the drawn features found.
    void show_enquiry(const interrogation::EnquiryResult &result);

    // Rewrites the header row for the exports: "DataRef", "RecPos", then the field names
    // of the point set of the given data row, blanks made "_". Columns the user deleted
    // stay deleted: each remaining column keeps the name of the field it shows.
    void Set_Header_Names(int row);

    // The controls' actions (also what the buttons and the grid call).
    void sorting_clicked();
    void delete_clicked();        // delete the selected columns
    void print_clicked();         // print
    void save_excel_clicked();    // save as an Excel 97 workbook
    void save_html_xml_clicked(); // save as HTML or XML
    void report_clicked();        // save the search report
    void cancel_clicked();        // end the interrogation: no tool, the window goes
    // Accessible names and descriptions, and Esc as the cancel button.
    void name_controls();
    void PointInfo_Click(int column, int row);
    void PointInfo_DblClick(int column, int row);

    grid::Grid *PointInfo() const { return PointInfo_; }
    void set_save_dialog(SaveDialog dialog) { save_dialog_ = std::move(dialog); }
    void set_printer_setup(PrinterSetup setup) { printer_setup_ = std::move(setup); }

  private:
    // The grid column (from 1) showing that column of the search's rows; 0 when the
    // user deleted it.
    int column_of(int search_column) const;
    void export_table(const std::string &name, bool excel);

    project::AppState &state_;
    MapWindowApi &map_;
    state::UiHooks ui_;
    std::function<void(sites::RecordView)> show_site_;
    SaveDialog save_dialog_;
    PrinterSetup printer_setup_;

    grid::Grid *PointInfo_ = nullptr;
    QCheckBox *sorting_box_ = nullptr;
    QPushButton *delete_button_ = nullptr;
    QPushButton *save_html_xml_button_ = nullptr;
    QPushButton *save_excel_button_ = nullptr;
    QPushButton *print_button_ = nullptr;
    QLineEdit *ReportTitle_ = nullptr;
    QPushButton *report_button_ = nullptr;
    QPushButton *cancel_button_ = nullptr;
    // The search shown, for the report: its rows as found (each grid row's key is its
    // index here, wherever sorting moved it) and what was searched.
    interrogation::SiteRows rows_;
    interrogation::SearchDescription search_;
    // An enquiry's drawn features, for its report (none for the other searches).
    std::optional<grid::Sheet> features_;
    std::vector<interrogation::Shape> feature_outlines_;
    // For each grid column (index = column, from 1), the column of the search's rows it
    // shows; deleting columns removes their entries.
    std::vector<int> shows_;
};

} // namespace app
