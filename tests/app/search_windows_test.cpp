// The four interrogation tools on the sample project, through the real windows: the map
// clicked with each tool, the results windows that open, their rows flashed and opened,
// sorted, cut down, printed, exported (read back by independent readers) and reported,
// and tavi-search giving the same rows and the same report for the same search.
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QXmlStreamReader>

#include <fstream>

#include "app/panel/ctrl_panel.h"
#include "app/results/map_searches.h"
#include "app/viewers/record_viewers.h"
#include "platform/exports/grid_table.h"
#include "platform/python_reader.h"
#include "platform/widgets/grid.h"
#include "support/output_kinds.h"
#include "windows_test_support.h"

namespace {

using namespace windows_test;

constexpr const char *kReadWorkbook = R"(
import json, sys, xlrd
sheet = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)
json.dump([[[sheet.cell_type(r, c), sheet.cell_value(r, c)] for c in range(sheet.ncols)]
           for r in range(sheet.nrows)], sys.stdout)
)";
constexpr const char *kReadHtml = R"(
import json, sys
from html.parser import HTMLParser
class Rows(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.rows, self.cell = [], None
    def handle_starttag(self, tag, attrs):
        if tag == 'tr': self.rows.append([])
        if tag in ('td', 'th'): self.cell = ''
    def handle_endtag(self, tag):
        if tag in ('td', 'th'): self.rows[-1].append(self.cell); self.cell = None
    def handle_data(self, data):
        if self.cell is not None: self.cell += data
p = Rows()
p.feed(open(sys.argv[1], encoding='utf-8').read())
json.dump(p.rows, sys.stdout)
)";

// Church Lane (RE0003), SK 96595.46 70255.01, on its excavated area.
constexpr int32_t kSiteX = 49'659'546, kSiteY = 37'025'501;

class SearchWindows : public WindowsTest {
  protected:
    void SetUp() override {
        start();
        ASSERT_NE(frame_->map_searches(), nullptr);
        // A street-sized view around the site.
        state().view.View_X_Min = kSiteX - 40000;
        state().view.View_Y_Min = kSiteY - 25000;
        state().view.View_Height_Units = 50000;
        map()->Redraw_Everything();
    }
    app::MapSearches &searches() { return *frame_->map_searches(); }
    void tool(const char *key) { frame_->control_panel()->tool_button(key); }
    QPoint pixel_of(int32_t x, int32_t y) {
        int32_t px = 0, py = 0;
        view::world_to_pixel(state().view, x, y, px, py);
        return {px, py};
    }
    void click_map(QPoint p, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(map(), button, Qt::NoModifier, p);
    }
    // A shape clicked out on the map, ended with the right button at its last corner.
    void digitise(const std::vector<QPoint> &corners) {
        for (const QPoint &p : corners)
            click_map(p);
        click_map(corners.back(), Qt::RightButton);
    }
    grid::Grid &results() {
        app::Point_Dialog *d = searches().point_dialog();
        EXPECT_NE(d, nullptr);
        return *d->PointInfo();
    }
    void click_cell(grid::Grid &g, int column, int row, bool twice = false) {
        QTableWidget *t = g.table_widget();
        const QPoint at = t->visualItemRect(t->item(row - 1, column - 1)).center();
        QTest::mousePress(t->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(t->viewport(), Qt::LeftButton, {}, at);
        if (twice) {
            QTest::mouseDClick(t->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseRelease(t->viewport(), Qt::LeftButton, {}, at);
        }
    }
    void press(const char *button) {
        auto *b = searches().point_dialog()->findChild<QAbstractButton *>(button);
        ASSERT_NE(b, nullptr) << button;
        QTest::mouseClick(b, Qt::LeftButton);
    }
    // The data row (from 1) whose RENO (column 3) is the number; 0 when none.
    int row_of(grid::Grid &g, int reno) {
        for (int r = 1; r <= g.row_count(); ++r)
            if (g.value(3, r) == reno)
                return r;
        return 0;
    }
    QRgb map_pixel(QPoint p) { return map()->picture().pixel(p); }
    std::string said(const std::string &part) {
        for (const std::string &t : texts(1))
            if (t.find(part) != std::string::npos)
                return t;
        return {};
    }
    QJsonArray python_rows(const char *script, const fs::path &file) {
        const auto python = testing_support::python_with(script == kReadWorkbook ? "xlrd" : "json");
        if (!python) {
            ADD_FAILURE() << "no Python with xlrd (Debian package python3-xlrd)";
            return {};
        }
        const auto r = testing_support::run_python(*python, script, {QString::fromStdString(file)});
        EXPECT_TRUE(r.ran) << r.errors;
        return r.json.array();
    }
    // The workbook's cells are the table's: texts as texts, numbers as numbers.
    static void expect_workbook(const QJsonArray &rows, const exporting::Table &t) {
        ASSERT_EQ(rows.size(), static_cast<qsizetype>(t.rows.size() + 1));
        for (std::size_t c = 0; c < t.headers.size(); ++c)
            EXPECT_EQ(rows[0].toArray()[static_cast<qsizetype>(c)].toArray()[1].toString(),
                      QString::fromStdString(t.headers[c]));
        for (std::size_t r = 0; r < t.rows.size(); ++r)
            for (std::size_t c = 0; c < t.rows[r].size(); ++c) {
                const QJsonArray cell = rows[static_cast<qsizetype>(r + 1)]
                                            .toArray()[static_cast<qsizetype>(c)]
                                            .toArray();
                if (const double *d = std::get_if<double>(&t.rows[r][c]))
                    EXPECT_EQ(cell[1].toDouble(), *d) << r << "," << c;
                else
                    EXPECT_EQ(cell[1].toString().toStdString(),
                              std::get<std::string>(t.rows[r][c]));
            }
    }
    // Runs tavi-search on the sample copy; its output file.
    fs::path tavi_search(const QStringList &search, const std::string &name) {
        const fs::path out = data_.path() / name;
        QProcess p;
        p.start(QString::fromStdString((kBuild / "bin" / "tavi-search").string()),
                QStringList{"--data", QString::fromStdString(data_.path().string())} + search +
                    QStringList{"--out", QString::fromStdString(out.string())});
        EXPECT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return out;
    }
    static QString metres(int32_t x, int32_t y) {
        return QString("%1,%2").arg(x / 100.0, 0, 'f', 2).arg(y / 100.0, 0, 'f', 2);
    }
    // A report's text in the order drawn, all but the line that says when it was made;
    // and its pages.
    static QString report_text(const fs::path &file) {
        QProcess p;
        p.start("pdftotext", {"-raw", QString::fromStdString(file.string()), "-"});
        EXPECT_TRUE(p.waitForFinished(60000));
        QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n');
        lines.removeIf([](const QString &l) { return l.startsWith("Made: "); });
        return lines.join('\n');
    }
    static int report_pages(const fs::path &file) {
        QProcess p;
        p.start("pdfinfo", {QString::fromStdString(file.string())});
        EXPECT_TRUE(p.waitForFinished(60000));
        const QString info = QString::fromUtf8(p.readAllStandardOutput());
        const qsizetype at = info.indexOf("Pages:");
        return at < 0 ? 0 : info.mid(at + 6).section('\n', 0, 0).trimmed().toInt();
    }
    // The window's report and tavi-search's for the same search: the same document but
    // for the time it was made.
    void expect_same_report(const fs::path &window, const fs::path &tool) {
        const QString text = report_text(window);
        EXPECT_TRUE(text.contains("Records found:")) << text.toStdString();
        EXPECT_EQ(text, report_text(tool));
        EXPECT_GE(report_pages(window), 1);
        EXPECT_EQ(report_pages(window), report_pages(tool));
    }
};

TEST_F(SearchWindows, APointSearchListsTheSiteWhichFlashesAndOpens) {
    tool("PointDataSearch");
    ASSERT_EQ(state().points.count(), 300) << "choosing the tool plots the site list once";
    const QPoint site = pixel_of(kSiteX, kSiteY);
    click_map(site);
    grid::Grid &g = results();
    const int row = row_of(g, 3);
    ASSERT_GT(row, 0);
    EXPECT_EQ(searches().point_dialog()->windowTitle().toStdString(),
              "Point Data Interrogation results: Records= " + std::to_string(g.row_count()));
    // The site list's fields arrive in the order the row's click reads them.
    EXPECT_EQ(g.text(7, 0), "NGS");
    EXPECT_EQ(g.text(8, 0), "xcoord");
    EXPECT_EQ(g.text(9, 0), "ycoord");

    const QRgb before = map_pixel(site);
    click_cell(g, 4, row);
    EXPECT_EQ(map_pixel(site), qRgb(255, 0, 0)) << "the flash ends red on the site";
    EXPECT_NE(before, qRgb(255, 0, 0));

    click_cell(g, 4, row, true);
    app::View_recevents *viewer = frame_->control_panel()->site_viewer();
    ASSERT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->findChild<QLineEdit *>("RENO")->text(), "3");

    // The tool stays for the next click; the window's cancel ends both.
    EXPECT_EQ(state().interaction.Tool_Code, state::ToolCode::PointData);
    press("Command1");
    EXPECT_EQ(state().interaction.Tool_Code, state::ToolCode::None);
    QTRY_VERIFY(searches().point_dialog() == nullptr);
}

// The enquiry: a boundary drawn around the site and one read from a file, each searched
// within the panel's radius; the area drawn hatched on the map, the site ringed, the
// results window titled by the search, and a file that cannot be used said in one line.
TEST_F(SearchWindows, TheEnquiryDrawsItsAreaAndTitlesItsWindowBySearch) {
    app::CtrlPanel &panel = *frame_->control_panel();
    panel.radius_box()->setValue(10);
    panel.enquiry_shape_box()->setCurrentIndex(0);
    tool("EnquirySearch");
    ASSERT_EQ(state().points.count(), 300) << "choosing the tool plots the site list once";
    EXPECT_EQ(state().interaction.Tool_Code, state::ToolCode::EnquiryStart);
    const QPoint c = pixel_of(kSiteX, kSiteY);
    digitise({c + QPoint(-40, -30), c + QPoint(40, -30), c + QPoint(40, 30), c + QPoint(-40, 30)});
    EXPECT_EQ(state().interaction.Tool_Code, state::ToolCode::None);
    grid::Grid &g = results();
    EXPECT_GT(row_of(g, 3), 0) << "Church Lane, inside the boundary";
    EXPECT_EQ(searches().point_dialog()->windowTitle().toStdString(),
              "Sites within 10 m of the drawn boundary");
    // The area's outline and hatch are on the map until the next redraw.
    const auto orange = [this] {
        const QImage pic = map()->picture().convertToFormat(QImage::Format_RGB32);
        int n = 0;
        for (int y = 0; y < pic.height(); ++y)
            for (int x = 0; x < pic.width(); ++x)
                n += pic.pixel(x, y) == qRgb(230, 110, 0) ? 1 : 0;
        return n;
    };
    EXPECT_GT(orange(), 100);
    if (const char *dir = std::getenv("TAVI_SCREENSHOT_DIR")) {
        frame_->grab().save(QString::fromUtf8(dir) + "/enquiry_drawn.png");
        panel.grab().save(QString::fromUtf8(dir) + "/enquiry_panel.png");
        searches().point_dialog()->grab().save(QString::fromUtf8(dir) + "/enquiry_window.png");
    }

    // From a file in the national grid, named in it.
    const fs::path file = data_.path() / "boundary.geojson";
    std::ofstream(file) << R"({"type":"FeatureCollection","crs":{"type":"name","properties":)"
                           R"({"name":"urn:ogc:def:crs:EPSG::27700"}},"features":[{"type":)"
                           R"("Feature","properties":{},"geometry":{"type":"Polygon",)"
                           R"("coordinates":[[[496580,370240],[496610,370240],[496610,370270],)"
                           R"([496580,370270],[496580,370240]]]}}]})";
    panel.radius_box()->setValue(250);
    panel.set_open_dialog([&] { return std::optional<std::string>(file.string()); });
    map()->Redraw_Everything();
    EXPECT_EQ(orange(), 0) << "a redraw takes the area away";
    panel.boundary_from_file_clicked();
    EXPECT_EQ(searches().point_dialog()->windowTitle().toStdString(),
              "Sites within 250 m of boundary.geojson");
    EXPECT_GT(row_of(results(), 3), 0);
    EXPECT_EQ(results().text(results().column_count(), 0), "Distance_m");
    EXPECT_GT(orange(), 100);
    if (const char *dir = std::getenv("TAVI_SCREENSHOT_DIR"))
        frame_->grab().save(QString::fromUtf8(dir) + "/enquiry_file.png");

    // The window's report is tavi-search's for the same enquiry, features and all.
    searches().point_dialog()->set_save_dialog([&](const std::string &, const std::string &) {
        return (data_.path() / "window.pdf").string();
    });
    press("Command6");
    QProcess p;
    p.start(QString::fromStdString((kBuild / "bin" / "tavi-search").string()),
            {"--data", QString::fromStdString(data_.path().string()), "--around",
             QString::fromStdString(file.string()), "--radius", "250", "--report",
             QString::fromStdString((data_.path() / "tool.pdf").string())});
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const QString window = report_text(data_.path() / "window.pdf");
    EXPECT_TRUE(window.contains("Drawn features within the area")) << window.toStdString();
    // The window heads its columns by the field names as stored until an export names
    // them for the file ("SITE NAME" and "SITE_NAME"); everything else is the same.
    EXPECT_EQ(QString(window).replace('_', ' ').toStdString(),
              report_text(data_.path() / "tool.pdf").replace('_', ' ').toStdString());

    // A file of points only: one line, and the window as it was.
    std::ofstream(data_.path() / "points.geojson")
        << R"({"type":"FeatureCollection","features":[{"type":"Feature","properties":{},)"
           R"("geometry":{"type":"Point","coordinates":[-0.54,53.23]}}]})";
    panel.set_open_dialog(
        [&] { return std::optional<std::string>((data_.path() / "points.geojson").string()); });
    boxes_.clear();
    panel.boundary_from_file_clicked();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_NE(boxes_[0].find("points only"), std::string::npos) << boxes_[0];
    EXPECT_EQ(searches().point_dialog()->windowTitle().toStdString(),
              "Sites within 250 m of boundary.geojson");
}

TEST_F(SearchWindows, APolygonsRowsSortLoseColumnsPrintAndExport) {
    tool("PointPolySearch");
    digitise({pixel_of(kSiteX - 30000, kSiteY - 20000), pixel_of(kSiteX + 30000, kSiteY - 20000),
              pixel_of(kSiteX + 30000, kSiteY + 20000), pixel_of(kSiteX - 30000, kSiteY + 20000)});
    EXPECT_EQ(state().interaction.Tool_Code, state::ToolCode::None);
    grid::Grid &g = results();
    ASSERT_GE(g.row_count(), 3);
    ASSERT_GT(row_of(g, 3), 0);

    // Sorting by a header click once switched on; rows keep together.
    press("Check1");
    QHeaderView *header = g.table_widget()->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(2) + 5, header->height() / 2));
    for (int r = 2; r <= g.row_count(); ++r)
        EXPECT_LE(g.value(3, r - 1), g.value(3, r));
    const int row = row_of(g, 3);
    const QString ngs = g.text(7, row);

    // Deleting SITE NAME: the columns after it move left, and the row still flashes its
    // own place and heads its columns with their own names.
    g.select_block(grid::Block{4, 0, 4, g.row_count()});
    const int columns = g.column_count();
    const int rows = g.row_count();
    // What a screen reader says of the button is what it does.
    const QString said = searches()
                             .point_dialog()
                             ->findChild<QAbstractButton *>("Command5")
                             ->accessibleDescription();
    EXPECT_TRUE(said.contains("columns") && !said.contains("selected rows")) << said.toStdString();
    press("Command5");
    EXPECT_EQ(g.row_count(), rows);
    EXPECT_EQ(g.column_count(), columns - 1);
    EXPECT_EQ(g.text(6, row), ngs);
    click_cell(g, 1, row);
    EXPECT_EQ(map_pixel(pixel_of(kSiteX, kSiteY)), qRgb(255, 0, 0));

    std::vector<std::string> names = {"rows.xls", "rows.html", "rows.xml", "report.pdf"};
    auto *dialog = searches().point_dialog();
    dialog->set_save_dialog([&](const std::string &, const std::string &) {
        const std::string n = names.front();
        names.erase(names.begin());
        return (data_.path() / n).string();
    });
    press("Command3");
    press("Command4");
    press("Command4");
    // The report lists the rows as the window shows them: sorted, SITE_NAME gone, numbered,
    // and without the columns that only say where a row came from.
    press("Command6");
    const QString report = report_text(data_.path() / "report.pdf");
    EXPECT_TRUE(report.contains("No. RENO site LOCATION NGS")) << report.toStdString();
    EXPECT_FALSE(report.contains("DataRef")) << report.toStdString();
    qsizetype at = report.indexOf("No. RENO");
    for (int r = 1; r <= g.row_count(); ++r) {
        ASSERT_EQ(g.text(4, 0), "site");
        at = report.indexOf(g.text(4, r), at + 1); // the site codes in the window's order
        EXPECT_GT(at, 0) << g.text(4, r).toStdString();
    }
    const exporting::Table table = grid::to_table(g.sheet());
    EXPECT_EQ(table.headers[0], "DataRef");
    EXPECT_EQ(table.headers[3], "site");
    EXPECT_EQ(table.headers[4], "LOCATION");
    expect_workbook(python_rows(kReadWorkbook, data_.path() / "rows.xls"), table);
    const QJsonArray html = python_rows(kReadHtml, data_.path() / "rows.html");
    ASSERT_EQ(html.size(), g.row_count() + 1);
    EXPECT_EQ(html[row].toArray()[5].toString(), ngs);
    QFile xml_file(QString::fromStdString((data_.path() / "rows.xml").string()));
    ASSERT_TRUE(xml_file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&xml_file);
    int records = 0;
    while (!xml.atEnd())
        if (xml.readNext() == QXmlStreamReader::StartElement &&
            xml.name() == QStringLiteral("Zent_Returned_data"))
            ++records;
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(records, g.row_count());

    dialog->set_printer_setup([&](QPrinter &printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString((data_.path() / "rows.pdf").string()));
        return true;
    });
    press("Command2");
    QProcess pdf;
    pdf.start("pdftotext", {QString::fromStdString((data_.path() / "rows.pdf").string()), "-"});
    ASSERT_TRUE(pdf.waitForFinished(60000));
    EXPECT_NE(pdf.readAllStandardOutput().indexOf("Church Lane"), -1);
    EXPECT_TRUE(boxes_.empty());
}

// The results' exports go through a symbolic link (which stays) and into a named pipe
// (which stays a pipe) as into a file; texts longer than an Excel cell holds are cut, and
// the status line says how many in one line.
TEST_F(SearchWindows, ExportsGoThroughLinksAndIntoPipesAndSayWhatWasCut) {
    tool("PointPolySearch");
    digitise({pixel_of(kSiteX - 30000, kSiteY - 20000), pixel_of(kSiteX + 30000, kSiteY - 20000),
              pixel_of(kSiteX + 30000, kSiteY + 20000), pixel_of(kSiteX - 30000, kSiteY + 20000)});
    grid::Grid &g = results();
    ASSERT_GE(g.row_count(), 3);
    for (int row = 1; row <= 3; ++row)
        g.set_text(4, row, QString(40000, QChar('a' + row)));
    auto *dialog = searches().point_dialog();
    const fs::path link = data_.path() / "rows.xls", pipe_name = data_.path() / "rows";
    fs::create_symlink("kept.xls", link);
    std::string name = link.string();
    dialog->set_save_dialog([&](const std::string &, const std::string &) { return name; });
    press("Command3");
    EXPECT_TRUE(fs::is_symlink(link));
    const QJsonArray rows = python_rows(kReadWorkbook, data_.path() / "kept.xls");
    ASSERT_EQ(rows.size(), g.row_count() + 1);
    EXPECT_EQ(rows[1].toArray()[3].toArray()[1].toString(), QString(32767, 'b'));
    EXPECT_NE(said("3 texts were longer than the 32767 characters an Excel cell holds and cut "
                   "to fit (the first in row 2, column 4)"),
              "");

    testing_support::PipeReader pipe(pipe_name);
    name = pipe_name.string();
    press("Command4");
    const std::string xml = pipe.finish();
    EXPECT_EQ(xml.rfind("<?xml", 0), 0u) << xml.substr(0, 40);
    EXPECT_NE(xml.find(std::string(40000, 'd')), std::string::npos);
    EXPECT_TRUE(pipe.is_pipe());
    EXPECT_TRUE(boxes_.empty()) << boxes_.front();
}

TEST_F(SearchWindows, FailuresAreToldAndAnEmptyResultExportsItsHeaders) {
    tool("PointDataSearch");
    state().settings.Search_Buffer = 100; // 1 m: no site within reach
    click_map(QPoint(3, 3));
    grid::Grid &g = results();
    EXPECT_EQ(g.row_count(), 0);
    EXPECT_EQ(searches().point_dialog()->windowTitle(),
              "Point Data Interrogation results: Records= 0");
    auto *dialog = searches().point_dialog();
    std::string name = (data_.path() / "empty.xls").string();
    dialog->set_save_dialog([&](const std::string &, const std::string &) { return name; });
    press("Command3");
    const QJsonArray rows = python_rows(kReadWorkbook, name);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].toArray()[1].toArray()[1].toString(), "RecPos");
    EXPECT_EQ(rows[0].toArray()[3].toArray()[1].toString(), "SITE_NAME");
    EXPECT_EQ(frame_->status_text(1), " 0 records saved to " + name);

    // A folder that is not there: a message, and nothing under the name.
    name = (data_.path() / "no such folder" / "rows.xls").string();
    press("Command3");
    EXPECT_EQ(frame_->status_text(1), "The table could not be saved as " + name)
        << "the status bar still tells of the save before";
    press("Command6"); // the report too
    EXPECT_EQ(frame_->status_text(1), "The report could not be saved as " + name);
    dialog->set_printer_setup([&](QPrinter &printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(name + ".pdf"));
        return true;
    });
    press("Command2");
    ASSERT_EQ(boxes_.size(), 3u);
    EXPECT_NE(boxes_[0].find("could not be saved"), std::string::npos) << boxes_[0];
    EXPECT_NE(boxes_[1].find("The report could not be saved as " + name), std::string::npos)
        << boxes_[1];
    EXPECT_NE(boxes_[2].find("could not be printed"), std::string::npos) << boxes_[2];
    EXPECT_FALSE(fs::exists(name));

    // One record is one record.
    state().settings.Search_Buffer = 1000;
    click_map(pixel_of(kSiteX, kSiteY));
    ASSERT_EQ(g.row_count(), 1);
    name = (data_.path() / "one.xls").string();
    press("Command3");
    EXPECT_EQ(frame_->status_text(1), " 1 record saved to " + name);
    name = (data_.path() / "one.pdf").string();
    press("Command6");
    EXPECT_EQ(frame_->status_text(1), " 1 record saved to " + name + " (1 page)");
}

TEST_F(SearchWindows, ThePlanningToolListsTheFeaturesThatFlashAndOpen) {
    tool("MousePntSrch");
    const QPoint p = pixel_of(kSiteX, kSiteY);
    const auto [wx, wy] = world_at(p);
    click_map(p);
    EXPECT_EQ(state().interaction.Tool_Code, state::ToolCode::None);
    app::PlanningResult *planning = searches().planning_result();
    ASSERT_NE(planning, nullptr);
    ASSERT_TRUE(planning->isVisible());
    EXPECT_EQ(planning->windowTitle(), "TAVI Map Interrogation Results");
    // The square SK starts 400 km east and 300 km north.
    EXPECT_EQ(planning->Label1()->text().toStdString(), "Search @ SK  " +
                                                            std::to_string(wx - 40'000'000) + "/ " +
                                                            std::to_string(wy - 30'000'000));
    grid::Grid &g = *planning->vaSpread1();
    EXPECT_EQ(g.text(1, 0), "Feature Class");
    EXPECT_EQ(g.text(2, 0), "Feature Name");
    const int site = g.search_column(2, 1, g.row_count(), "RE0003");
    ASSERT_GT(site, 0);
    EXPECT_EQ(g.text(1, site), "Excavated Area");

    // Every row flashes its own group: no row names a drawing the project lacks.
    for (int r = 1; r <= g.row_count(); ++r)
        click_cell(g, 1, r);
    EXPECT_EQ(said("No drawing"), "");
    EXPECT_EQ(said("not found"), "");

    click_cell(g, 2, site, true);
    EXPECT_EQ(frame_->control_panel()->site_viewer()->findChild<QLineEdit *>("RENO")->text(), "3");
    EXPECT_EQ(state().interaction.RAZ_Reference, "0003");
    const int period = site == 1 ? 2 : 1;
    click_cell(g, 2, period, true);
    EXPECT_TRUE(frame_->control_panel()->text_viewer()->isVisible())
        << g.text(1, period).toStdString() << " " << g.text(2, period).toStdString();

    // Its report, with the features outlined on the map, is tavi-search's.
    const fs::path report = data_.path() / "planning.pdf";
    planning->set_save_dialog(
        [&](const std::string &, const std::string &) { return report.string(); });
    QTest::mouseClick(planning->findChild<QAbstractButton *>("Report"), Qt::LeftButton);
    EXPECT_NE(said("records saved to " + report.string()), "");
    const fs::path by_tool = data_.path() / "tool-planning.pdf";
    tavi_search(
        {"--planning", metres(wx, wy), "--report", QString::fromStdString(by_tool.string())},
        "tool-planning.xml");
    expect_same_report(report, by_tool);
}

TEST_F(SearchWindows, TaviSearchGivesTheWindowsRows) {
    struct Case {
        const char *tool;
        std::vector<std::pair<int32_t, int32_t>> clicks; // world points, then a right click
        const char *option;
    };
    const Case cases[] = {
        {"PointDataSearch", {{kSiteX + 1500, kSiteY - 700}}, "--point"},
        {"PointLineSearch",
         {{kSiteX - 30000, kSiteY - 9000}, {kSiteX, kSiteY + 1000}, {kSiteX + 30000, kSiteY}},
         "--polyline"},
        {"PointPolySearch",
         {{kSiteX - 25000, kSiteY - 20000},
          {kSiteX + 25000, kSiteY - 15000},
          {kSiteX, kSiteY + 20000}},
         "--polygon"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.tool);
        tool(c.tool);
        QStringList vertices;
        for (const auto &[x, y] : c.clicks) {
            const QPoint p = pixel_of(x, y);
            click_map(p);
            const auto [wx, wy] = world_at(p); // where the click lands, to the pixel
            vertices << metres(wx, wy);
        }
        if (c.clicks.size() > 1)
            click_map(pixel_of(c.clicks.back().first, c.clicks.back().second), Qt::RightButton);
        grid::Grid &g = results();
        ASSERT_GT(g.row_count(), 0);
        const std::string file = std::string(c.tool) + ".xls";
        searches().point_dialog()->set_save_dialog([&](const std::string &, const std::string &) {
            return (data_.path() / file).string();
        });
        press("Command3");
        const fs::path report = data_.path() / (std::string(c.tool) + ".pdf");
        searches().point_dialog()->set_save_dialog(
            [&](const std::string &, const std::string &) { return report.string(); });
        press("Command6");
        const fs::path tool_report = data_.path() / ("tool-" + std::string(c.tool) + ".pdf");
        const fs::path tool_file =
            tavi_search({c.option, vertices.join(';'), "--buffer",
                         QString::number(state().settings.Search_Buffer / 100), "--report",
                         QString::fromStdString(tool_report.string())},
                        "tool-" + file);
        const QJsonArray by_tool = python_rows(kReadWorkbook, tool_file);
        EXPECT_EQ(by_tool.size(), g.row_count() + 1);
        EXPECT_EQ(by_tool, python_rows(kReadWorkbook, data_.path() / file));
        expect_same_report(report, tool_report);
    }
}

} // namespace
