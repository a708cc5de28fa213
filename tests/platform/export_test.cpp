// The export writers, each file read back by an independent reader: the workbook by
// xlrd (and its compound-document reader), the HTML by Python's HTML parser, the XML by
// QXmlStreamReader. Plus the choice of format by file name and what a failed write
// leaves behind.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QXmlStreamReader>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/exports/compound_file.h"
#include "platform/exports/export_table.h"
#include "python_reader.h"
#include "support/output_kinds.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using exporting::Cell;
using exporting::Format;
using exporting::Table;
using testing_support::python_with;
using testing_support::run_python;
using testing_support::TempFolder;

std::string text_of(const Cell &c) {
    if (const double *v = std::get_if<double>(&c))
        return exporting::number_text(*v);
    return std::get<std::string>(c);
}

std::string read_file(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Everything a file should carry: quotes, markup characters, non-Latin scripts,
// characters outside the basic plane, line breaks, numbers of every kind, empty cells
// and a short row.
Table awkward_table() {
    using S = std::string;
    Table t;
    t.headers = {"DataRef", "RecPos", "Site Name", "Notes", "Ελληνικά 名前", "Easting"};
    t.rows = {
        {1.0, 17.0, S("Castle \"Keep\""), S("<b>bold</b> & 'quoted'"), S("Ωμέγα — 東京"), 461234.5},
        {2.0, -3.25, S(""), S("line one\nline two\ttab"), S("😀 emoji 𝄞"), 0.0},
        {1e20, 0.1, S("Café crème"), S("a < b > c & d ]]> end"), S(""), 123.0},
        {3.0},
    };
    return t;
}

// ---------------------------------------------------------------------------------
// Choosing the format by name

TEST(ExportFormat, HtmlOnlyWhereTheNameHoldsDotHtmExactly) {
    const struct {
        const char *name;
        Format format;
    } cases[] = {
        {"report.html", Format::Html},
        {"report.htm", Format::Html},
        {"report.htm.xml", Format::Html},
        {"a.htm/b", Format::Html},
        {"report.HTML", Format::Xml},
        {"REPORT.HTM", Format::Xml},
        {"R.HTML", Format::Xml},
        {"report", Format::Xml},
        {"report.xml", Format::Xml},
        {"report.xls", Format::Xml},
        {"", Format::Xml},
    };
    for (const auto &c : cases)
        EXPECT_EQ(exporting::html_or_xml(c.name), c.format) << c.name;
}

TEST(ExportFormat, ACommandLineNameEndingXlsIsAWorkbook) {
    const struct {
        const char *name;
        Format format;
    } cases[] = {
        {"out.xls", Format::Excel97}, {"OUT.XLS", Format::Excel97}, {"out.xls.htm", Format::Html},
        {"out.xlsx", Format::Xml},    {"xls", Format::Xml},         {"out.htm", Format::Html},
        {"out", Format::Xml},
    };
    for (const auto &c : cases)
        EXPECT_EQ(exporting::format_for_name(c.name), c.format) << c.name;
}

// ---------------------------------------------------------------------------------
// Excel 97

constexpr const char *kReadWorkbook = R"(
import io, json, sys, xlrd
log = io.StringIO()
book = xlrd.open_workbook(sys.argv[1], logfile=log)
sheet = book.sheet_by_index(0)
rows = [[[sheet.cell_type(r, c), sheet.cell_value(r, c)] for c in range(sheet.ncols)]
        for r in range(sheet.nrows)]
json.dump({"sheets": book.sheet_names(), "rows": rows, "log": log.getvalue()}, sys.stdout)
)";

class ExcelExport : public ::testing::Test {
  protected:
    void SetUp() override {
        python_ = python_with("xlrd");
        if (!python_)
            GTEST_SKIP() << "no Python with xlrd (Debian package python3-xlrd)";
    }

    // The workbook as xlrd reads it.
    QJsonObject read_back(const fs::path &file) {
        const auto r = run_python(*python_, kReadWorkbook, {QString::fromStdString(file.string())});
        EXPECT_TRUE(r.ran) << r.errors;
        const QJsonObject o = r.json.object();
        EXPECT_EQ(o["log"].toString().toStdString(), "") << "the reader complained";
        return o;
    }

    // Every cell as written: texts as texts, numbers as numbers, empty cells empty.
    static void expect_cells(const QJsonObject &book, const Table &t) {
        const QJsonArray rows = book["rows"].toArray();
        ASSERT_LE(rows.size(), static_cast<qsizetype>(t.rows.size() + 1));
        int failures = 0;
        for (std::size_t r = 0; r <= t.rows.size() && failures < 10; ++r) {
            const QJsonArray got = r < static_cast<std::size_t>(rows.size())
                                       ? rows[static_cast<qsizetype>(r)].toArray()
                                       : QJsonArray();
            for (std::size_t c = 0; c < t.column_count(); ++c) {
                const QJsonArray cell = c < static_cast<std::size_t>(got.size())
                                            ? got[static_cast<qsizetype>(c)].toArray()
                                            : QJsonArray{0, ""};
                const int type = cell[0].toInt();
                Cell want = std::string();
                if (r == 0 && c < t.headers.size())
                    want = t.headers[c];
                else if (r > 0 && c < t.rows[r - 1].size())
                    want = t.rows[r - 1][c];
                bool same;
                if (const double *v = std::get_if<double>(&want))
                    same = type == 2 && cell[1].toDouble() == *v;
                else if (std::get<std::string>(want).empty())
                    same = type == 0 || (type == 1 && cell[1].toString().isEmpty());
                else
                    same = type == 1 &&
                           cell[1].toString().toStdString() == std::get<std::string>(want);
                if (!same) {
                    ++failures;
                    ADD_FAILURE() << "row " << r << " column " << c << ": wrote "
                                  << text_of(want).substr(0, 80) << ", read type " << type << " "
                                  << cell[1].toVariant().toString().left(80).toStdString();
                }
            }
        }
    }

    std::optional<QString> python_;
    TempFolder temp_;
};

TEST_F(ExcelExport, EveryCellReadsBackWithItsTypeOnTheNamedSheet) {
    const fs::path file = temp_.path() / "results.xls";
    const Table t = awkward_table();
    const auto outcome = exporting::write_xls(file, t);
    ASSERT_TRUE(outcome) << outcome.error;
    EXPECT_TRUE(outcome.notes.empty());
    const QJsonObject book = read_back(file);
    EXPECT_EQ(book["sheets"].toArray(), QJsonArray{"TAVI_Interrogation_Data"});
    expect_cells(book, t);
}

TEST_F(ExcelExport, SheetNamesAreMadeValid) {
    const struct {
        const char *given;
        const char *sheet;
    } cases[] = {
        {"Ergebnisse für Köln", "Ergebnisse für Köln"},
        {"データ", "データ"},
        {"a/b:c?d*e[f]g\\h", "a_b_c_d_e_f_g_h"},
        {"'quoted'", "_quoted_"},
        {"", "Sheet1"},
        {"0123456789012345678901234567890123456789", "0123456789012345678901234567890"},
    };
    for (const auto &c : cases) {
        const fs::path file = temp_.path() / "named.xls";
        ASSERT_TRUE(exporting::write_xls(file, awkward_table(), c.given));
        EXPECT_EQ(read_back(file)["sheets"].toArray(), QJsonArray{QString::fromUtf8(c.sheet)})
            << c.given;
    }
}

TEST_F(ExcelExport, TenThousandRowsOfDistinctTextsAndNumbers) {
    // Distinct texts fill the shared-string table over many continuation records, some
    // wide (with characters outside the basic plane landing on record boundaries), and
    // the workbook needs an allocation table of several sectors.
    Table t;
    for (int c = 0; c < 12; ++c)
        t.headers.push_back("Field_" + std::to_string(c + 1));
    std::mt19937 random(7);
    for (int r = 0; r < 10000; ++r) {
        std::vector<Cell> row;
        row.emplace_back(static_cast<double>(r + 1));
        row.emplace_back(461000.0 + r * 0.01);
        for (int c = 2; c < 12; ++c) {
            if (c % 4 == 0)
                row.emplace_back(std::string(r % 3 == 0 ? "𝄞名" : "ü") +
                                 std::to_string(random() % 1000) +
                                 std::string(static_cast<std::size_t>(random() % 7), 'x'));
            else if (c % 4 == 1)
                row.emplace_back(static_cast<double>(random()) / 1000.0);
            else
                row.emplace_back("Site " + std::to_string(r) + "/" + std::to_string(c));
        }
        t.rows.push_back(std::move(row));
    }
    const fs::path file = temp_.path() / "large.xls";
    ASSERT_TRUE(exporting::write_xls(file, t));
    const std::string bytes = read_file(file);
    ASSERT_GT(bytes.size(), 0x30u);
    const auto fat_sectors =
        static_cast<unsigned char>(bytes[0x2C]) | static_cast<unsigned char>(bytes[0x2D]) << 8;
    EXPECT_GT(fat_sectors, 1);
    expect_cells(read_back(file), t);
}

TEST_F(ExcelExport, TextsLongerThanACellHoldsAreCutAndNoted) {
    const std::string latin(40000, 'a');
    const std::string exact(32767, 'b');
    std::string emoji; // 20000 characters of two UTF-16 units each
    for (int i = 0; i < 20000; ++i)
        emoji += "😀";
    Table t;
    t.headers = {"Latin", "Exact", "Emoji"};
    t.rows = {{latin, exact, emoji}};
    const fs::path file = temp_.path() / "long.xls";
    const auto outcome = exporting::write_xls(file, t);
    ASSERT_TRUE(outcome) << outcome.error;
    ASSERT_EQ(outcome.notes.size(), 2u);
    EXPECT_NE(outcome.notes[0].find("row 2, column 1"), std::string::npos) << outcome.notes[0];
    EXPECT_NE(outcome.notes[1].find("row 2, column 3"), std::string::npos) << outcome.notes[1];
    // What the user is told: one line, however many were cut.
    EXPECT_EQ(outcome.texts_cut, 2u);
    EXPECT_EQ(exporting::warning(outcome), "2 texts were longer than the 32767 characters an "
                                           "Excel cell holds and cut to fit (the first in row 2, "
                                           "column 1)");

    Table cut = t;
    cut.rows[0][0] = latin.substr(0, 32767);
    // 32767 units would end in half a character: the cut keeps whole ones.
    cut.rows[0][2] = emoji.substr(0, 4 * 16383);
    expect_cells(read_back(file), cut);
}

TEST_F(ExcelExport, HeaderRowOnlyAndAnEmptyTable) {
    Table headers_only;
    headers_only.headers = {"DataRef", "RecPos", "Site_Name"};
    const fs::path file = temp_.path() / "headers.xls";
    ASSERT_TRUE(exporting::write_xls(file, headers_only));
    const QJsonObject book = read_back(file);
    EXPECT_EQ(book["rows"].toArray().size(), 1);
    expect_cells(book, headers_only);

    ASSERT_TRUE(exporting::write_xls(file, Table{}));
    EXPECT_EQ(read_back(file)["rows"].toArray().size(), 0);
}

TEST(ExcelLimits, ATableLargerThanASheetIsRefusedAndTheOldFileStays) {
    TempFolder temp;
    const fs::path file = temp.path() / "old.xls";
    std::ofstream(file) << "earlier export";

    Table wide;
    wide.headers.assign(257, "h");
    Table tall;
    tall.headers = {"n"};
    tall.rows.assign(65536, std::vector<Cell>{1.0}); // with the header row: 65537
    for (const Table *t : {&wide, &tall}) {
        const auto outcome = exporting::write_xls(file, *t);
        EXPECT_FALSE(outcome);
        EXPECT_NE(outcome.error.find("at most"), std::string::npos) << outcome.error;
        EXPECT_EQ(read_file(file), "earlier export");
    }
    tall.rows.pop_back(); // 65536 rows exactly fit
    EXPECT_TRUE(exporting::write_xls(file, tall));
}

// ---------------------------------------------------------------------------------
// The container

constexpr const char *kReadStreams = R"(
import hashlib, io, json, sys
from xlrd import compdoc
log = io.StringIO()
doc = compdoc.CompDoc(open(sys.argv[1], 'rb').read(), logfile=log)
out = {}
for name in sys.argv[2:]:
    data = doc.get_named_stream(name)
    out[name] = None if data is None else [len(data), hashlib.sha256(data).hexdigest()]
json.dump({"streams": out, "log": log.getvalue()}, sys.stdout)
)";

TEST(CompoundFile, SmallLargeAndEmptyStreamsReadBackWhateverTheFileSize) {
    const auto python = python_with("xlrd");
    if (!python)
        GTEST_SKIP() << "no Python with xlrd";
    // Sizes around the mini-stream cutoff, none, and one so large that the allocation
    // table needs more than the 109 sectors the header can list.
    const std::vector<std::pair<std::string, std::size_t>> sizes = {
        {"Workbook", 9u << 20}, {"Small", 100},  {"Empty", 0},    {"Edge4096", 4096},
        {"Edge4095", 4095},     {"Mini2", 3000}, {"Odd513", 513},
    };
    std::mt19937 random(3);
    std::vector<compound::Stream> streams;
    for (const auto &[name, size] : sizes) {
        std::string data(size, '\0');
        for (char &ch : data)
            ch = static_cast<char>(random());
        streams.push_back({name, std::move(data)});
    }
    const std::string file_bytes = compound::build(streams);
    ASSERT_EQ((file_bytes.size() - 512) % 512, 0u);
    auto u32 = [&](std::size_t at) {
        uint32_t v = 0;
        for (int i = 3; i >= 0; --i)
            v = v << 8 | static_cast<unsigned char>(file_bytes[at + static_cast<std::size_t>(i)]);
        return v;
    };
    EXPECT_GT(u32(0x2C), 109u); // allocation sectors
    EXPECT_GE(u32(0x48), 1u);   // of which the header cannot list them all

    TempFolder temp;
    const fs::path file = temp.path() / "streams.cfb";
    std::ofstream(file, std::ios::binary) << file_bytes;
    QStringList args{QString::fromStdString(file.string())};
    for (const auto &s : streams)
        args << QString::fromStdString(s.name);
    const auto r = run_python(*python, kReadStreams, args);
    ASSERT_TRUE(r.ran) << r.errors;
    const QJsonObject o = r.json.object();
    EXPECT_EQ(o["log"].toString().toStdString(), "");
    for (const auto &s : streams) {
        const QJsonArray got = o["streams"].toObject()[QString::fromStdString(s.name)].toArray();
        const QByteArray digest =
            QCryptographicHash::hash(
                QByteArray(s.data.data(), static_cast<qsizetype>(s.data.size())),
                QCryptographicHash::Sha256)
                .toHex();
        EXPECT_EQ(got.size(), 2) << s.name;
        EXPECT_EQ(got[0].toInteger(), static_cast<qint64>(s.data.size())) << s.name;
        EXPECT_EQ(got[1].toString().toLatin1(), digest) << s.name;
    }
}

// ---------------------------------------------------------------------------------
// HTML

constexpr const char *kReadHtml = R"(
import json, sys
from html.parser import HTMLParser
class Table(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.rows, self.cell, self.charset, self.tables = [], None, None, 0
    def handle_starttag(self, tag, attrs):
        if tag == 'meta' and dict(attrs).get('charset'):
            self.charset = dict(attrs)['charset']
        if tag == 'table':
            self.tables += 1
        if tag == 'tr':
            self.rows.append([])
        if tag in ('td', 'th'):
            self.cell = [tag, '']
    def handle_endtag(self, tag):
        if tag in ('td', 'th') and self.cell is not None:
            self.rows[-1].append(self.cell)
            self.cell = None
    def handle_data(self, data):
        if self.cell is not None:
            self.cell[1] += data
p = Table()
p.feed(open(sys.argv[1], encoding='utf-8', errors='strict').read())
json.dump({"charset": p.charset, "tables": p.tables, "rows": p.rows}, sys.stdout)
)";

TEST(HtmlExport, OneTableOfHeaderAndDataRowsWithEveryTextEscaped) {
    const auto python = python_with("html.parser");
    if (!python)
        GTEST_SKIP() << "no Python";
    TempFolder temp;
    const fs::path file = temp.path() / "results.html";
    Table t = awkward_table();
    t.rows.push_back({std::string("<script>alert(1)</script>"), std::string("bad\x01 byte \xff!")});
    ASSERT_TRUE(exporting::write_html(file, t));

    const std::string raw = read_file(file);
    EXPECT_EQ(raw.find("<script>"), std::string::npos);
    EXPECT_EQ(raw.find("<b>"), std::string::npos);
    EXPECT_NE(raw.find("&lt;b&gt;bold&lt;/b&gt; &amp; &#39;quoted&#39;"), std::string::npos);
    EXPECT_NE(raw.find("<meta charset=\"utf-8\">"), std::string::npos);

    const auto r = run_python(*python, kReadHtml, {QString::fromStdString(file.string())});
    ASSERT_TRUE(r.ran) << r.errors;
    const QJsonObject o = r.json.object();
    EXPECT_EQ(o["charset"].toString(), "utf-8");
    EXPECT_EQ(o["tables"].toInt(), 1);
    const QJsonArray rows = o["rows"].toArray();
    ASSERT_EQ(rows.size(), static_cast<qsizetype>(t.rows.size() + 1));
    for (std::size_t r = 0; r <= t.rows.size(); ++r) {
        const QJsonArray got = rows[static_cast<qsizetype>(r)].toArray();
        ASSERT_EQ(got.size(), static_cast<qsizetype>(t.column_count())) << "row " << r;
        for (std::size_t c = 0; c < t.column_count(); ++c) {
            std::string want;
            if (r == 0)
                want = t.headers[c];
            else if (c < t.rows[r - 1].size())
                want = text_of(t.rows[r - 1][c]);
            if (want == "bad\x01 byte \xff!")
                want = "bad\uFFFD byte \uFFFD!"; // what a document can hold
            const QJsonArray cell = got[static_cast<qsizetype>(c)].toArray();
            EXPECT_EQ(cell[0].toString(), r == 0 ? "th" : "td");
            EXPECT_EQ(cell[1].toString().toStdString(), want) << "row " << r << " column " << c;
        }
    }
}

// ---------------------------------------------------------------------------------
// XML

TEST(XmlExport, ElementNamesAreValidNamesMadeFromTheHeaders) {
    const struct {
        const char *header;
        int column;
        const char *name;
    } cases[] = {
        {"Site_Name", 3, "Site_Name"}, // as the results window passes it
        {"Site Name", 3, "Site_Name"},
        {"DataRef", 1, "DataRef"},
        {"2nd Phase", 2, "_2nd_Phase"},
        {"-x", 1, "_-x"},
        {".x", 1, "_.x"},
        {"a:b", 1, "a_b"},
        {"x&y<z>\"q\"", 1, "x_y_z__q_"},
        {"Größe", 1, "Größe"},
        {"名前", 1, "名前"},
        {"Ωmega-1.5", 1, "Ωmega-1.5"},
        {"", 4, "Column_4"},
        {" ", 4, "_"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(exporting::xml_name(c.header, c.column), c.name) << c.header;

    Table t;
    t.headers = {"A", "A", "A_2", "", "A b"};
    t.rows = {{1.0, 2.0, 3.0, 4.0, 5.0, 6.0}}; // one column more than headers
    EXPECT_EQ(exporting::element_names(t),
              (std::vector<std::string>{"A", "A_2", "A_2_2", "Column_4", "A_b", "Column_6"}));
}

TEST(XmlExport, RootRecordsAndOneElementPerColumnReadBack) {
    TempFolder temp;
    const fs::path file = temp.path() / "results.xml";
    Table t = awkward_table();
    t.rows.push_back({std::string("control\x02 character")});
    ASSERT_TRUE(exporting::write_xml(file, t));

    const std::string raw = read_file(file);
    EXPECT_EQ(raw.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u) << raw.substr(0, 60);
    EXPECT_NE(raw.find("\n    <Zent_Returned_data>"), std::string::npos) << "indented";

    QFile f(QString::fromStdString(file.string()));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&f);
    ASSERT_TRUE(xml.readNextStartElement());
    EXPECT_EQ(xml.name(), QLatin1String("Zent_Interrogation_Result"));
    const std::vector<std::string> names = exporting::element_names(t);
    EXPECT_EQ(names[2], "Site_Name");
    EXPECT_EQ(names[4], "Ελληνικά_名前");
    std::size_t record = 0;
    while (xml.readNextStartElement()) {
        EXPECT_EQ(xml.name(), QLatin1String("Zent_Returned_data"));
        ASSERT_LT(record, t.rows.size());
        const auto &row = t.rows[record];
        std::size_t c = 0;
        while (xml.readNextStartElement()) {
            ASSERT_LT(c, names.size());
            EXPECT_EQ(xml.name().toString().toStdString(), names[c]);
            std::string want = c < row.size() ? text_of(row[c]) : std::string();
            if (want == "control\x02 character")
                want = "control\uFFFD character";
            EXPECT_EQ(xml.readElementText().toStdString(), want)
                << "record " << record << " column " << c;
            ++c;
        }
        EXPECT_EQ(c, names.size());
        ++record;
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(record, t.rows.size());

    // No data rows: the root alone.
    Table headers_only;
    headers_only.headers = {"DataRef"};
    ASSERT_TRUE(exporting::write_xml(file, headers_only));
    EXPECT_NE(read_file(file).find("<Zent_Interrogation_Result/>"), std::string::npos);
}

// ---------------------------------------------------------------------------------
// Failures

// Every file in a folder, to see that nothing (no temporary file either) was left.
std::vector<std::string> listing(const fs::path &dir) {
    std::vector<std::string> names;
    for (const auto &e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ExportFailure, AnUnwritableNameGivesAnErrorAndLeavesNothing) {
    TempFolder temp;
    const fs::path dir = temp.path();
    std::ofstream(dir / "plain-file") << "x";
    fs::create_directory(dir / "a-folder");
    const std::vector<std::string> before = listing(dir);
    const fs::path names[] = {
        dir / "no-such-folder" / "out.xls", // a folder that is not there
        dir / "plain-file" / "out.xls",     // a file where a folder should be
        dir / "a-folder",                   // a folder where the file should be
        fs::path(),                         // no name at all
        "/proc/tavi-export-test.out",       // a folder no one may write in, root included
    };
    for (const Format format : {Format::Excel97, Format::Html, Format::Xml})
        for (const fs::path &name : names) {
            const auto outcome = exporting::write_table(name, awkward_table(), format);
            EXPECT_FALSE(outcome) << name;
            EXPECT_FALSE(outcome.error.empty()) << name;
            EXPECT_EQ(listing(dir), before) << name;
            EXPECT_TRUE(fs::is_directory(dir / "a-folder"));
            EXPECT_FALSE(fs::exists("/proc/tavi-export-test.out"));
        }
}

// A disk that fills up mid-write, made with the file-size limit: writes beyond it fail
// as on a full disk.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old_;
        small.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, old_handler_);
    }

  private:
    rlimit old_{};
    void (*old_handler_)(int) = nullptr;
};

TEST(ExportFailure, AFullDiskLeavesTheEarlierFileAndNoPieces) {
    TempFolder temp;
    Table t;
    t.headers = {"n", "text"};
    for (int r = 0; r < 5000; ++r)
        t.rows.push_back({static_cast<double>(r), "row " + std::to_string(r)});
    for (const Format format : {Format::Excel97, Format::Html, Format::Xml}) {
        const fs::path file = temp.path() / "export.out";
        std::ofstream(file) << "earlier export";
        exporting::Outcome outcome;
        {
            FileSizeLimit limit(16 * 1024);
            outcome = exporting::write_table(file, t, format);
        }
        EXPECT_FALSE(outcome) << static_cast<int>(format);
        EXPECT_EQ(read_file(file), "earlier export");
        EXPECT_EQ(listing(temp.path()), std::vector<std::string>{"export.out"});
        // With room, the same write replaces the earlier file.
        ASSERT_TRUE(exporting::write_table(file, t, format));
        EXPECT_GT(fs::file_size(file), 16u * 1024);
    }
}

// Outputs that are not regular files: a symbolic link is written through and stays, also
// one naming no file yet; a named pipe and a device are written in place and stay what
// they are; "-" is standard output. A replaced file keeps its permissions. A full device
// and a pipe whose reader has gone give the system's reason, and the program goes on.
TEST(ExportOutputs, LinksPipesAndDevicesAreWrittenThroughOrInPlace) {
    TempFolder temp;
    const fs::path dir = temp.path();
    fs::create_directory(dir / "plain");
    const Table t = awkward_table();
    for (const Format format : {Format::Excel97, Format::Html, Format::Xml}) {
        SCOPED_TRACE(static_cast<int>(format));
        // The bytes a plain new file of the name gets (an HTML page is titled by it).
        const auto bytes = [&](const std::string &name) {
            const fs::path plain = dir / "plain" / name;
            fs::remove(plain);
            EXPECT_TRUE(exporting::write_table(plain, t, format));
            return read_file(plain);
        };
        const fs::path file = dir / "file";
        std::ofstream(file) << "earlier";
        const auto kept = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
        fs::permissions(file, kept);
        ASSERT_TRUE(exporting::write_table(file, t, format));
        EXPECT_EQ(read_file(file), bytes("file"));
        EXPECT_EQ(fs::status(file).permissions(), kept);

        for (const char *name : {"link", "dangling", "made"})
            fs::remove(dir / name);
        fs::create_symlink("file", dir / "link");
        fs::create_symlink("made", dir / "dangling");
        std::ofstream(file) << "earlier";
        EXPECT_TRUE(exporting::write_table(dir / "link", t, format));
        EXPECT_TRUE(exporting::write_table(dir / "dangling", t, format));
        EXPECT_TRUE(fs::is_symlink(dir / "link") && fs::is_symlink(dir / "dangling"));
        EXPECT_EQ(read_file(file), bytes("link"));
        EXPECT_EQ(read_file(dir / "made"), bytes("dangling"));

        fs::remove(dir / "pipe");
        testing_support::PipeReader pipe(dir / "pipe");
        EXPECT_TRUE(exporting::write_table(dir / "pipe", t, format));
        EXPECT_EQ(pipe.finish(), bytes("pipe"));
        EXPECT_TRUE(pipe.is_pipe());

        for (const bool full : {false, true}) {
            fs::remove(dir / (full ? "full" : "null"));
            const fs::path device = testing_support::device_node(dir, full);
            const exporting::Outcome o = exporting::write_table(device, t, format);
            EXPECT_EQ(o.ok, !full) << device;
            if (full) {
                EXPECT_NE(o.error.find("No space left on device"), std::string::npos) << o.error;
            }
            EXPECT_TRUE(testing_support::is_character_device(device)) << device;
        }

        // Standard output into a pipe nobody reads any more.
        std::fflush(stdout);
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        ::close(ends[0]);
        const int saved = ::dup(STDOUT_FILENO);
        ::dup2(ends[1], STDOUT_FILENO);
        ::close(ends[1]);
        const exporting::Outcome o = exporting::write_table("-", t, format);
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);
        EXPECT_FALSE(o);
        EXPECT_NE(o.error.find("Broken pipe"), std::string::npos) << o.error;
        EXPECT_FALSE(fs::exists("-"));
    }
}

} // namespace
