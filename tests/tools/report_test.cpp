// The search report end to end through tavi-search, read back with poppler's tools: the
// text in the order it is drawn (pdftotext -raw, so that a wrapped cell's lines follow
// each other), the pages (pdfinfo) and the fonts (pdffonts); and its first page rendered
// (pdftoppm) and compared with a control image. The project is a copy of the sample
// whose site list holds a 700-character description and a name that looks like markup.
// TAVI_REBASELINE=1 writes a new control image on purpose.
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QString>

#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/control_image.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

const fs::path kBuild = TAVI_BUILD_DIR;

struct Ran {
    int code = -1;
    QString out, err;
};

Ran run(const QString &program, const QStringList &args, const fs::path &folder = {},
        const QString &epoch = "1700000000" /* 2023-11-14 22:13 UTC */) {
    testing_support::RunOptions options;
    options.folder = folder;
    options.timeout_ms = 180000;
    options.env.insert("SOURCE_DATE_EPOCH", epoch);
    const auto r = testing_support::run_command(program, args, options);
    return Ran{r.code, QString::fromStdString(r.out), QString::fromStdString(r.err)};
}

// Runs SQL on the copy's site database; the rows of a query, one text per row.
std::vector<std::string> sql(const fs::path &db, const std::string &statement,
                             const std::string &bound = {}) {
    sqlite3 *h = nullptr;
    std::vector<std::string> rows;
    EXPECT_EQ(sqlite3_open(db.c_str(), &h), SQLITE_OK);
    sqlite3_stmt *s = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(h, statement.c_str(), -1, &s, nullptr), SQLITE_OK)
        << sqlite3_errmsg(h);
    if (!bound.empty())
        sqlite3_bind_text(s, 1, bound.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(s) == SQLITE_ROW)
        rows.emplace_back(reinterpret_cast<const char *>(sqlite3_column_text(s, 0)));
    sqlite3_finalize(s);
    sqlite3_close(h);
    return rows;
}

// Whether every font of the document is embedded: the "emb" column of pdffonts, found by
// the dashes under its header.
bool fonts_embedded(const QString &listing, int &fonts) {
    const QStringList lines = listing.split('\n', Qt::SkipEmptyParts);
    if (lines.size() < 2)
        return false;
    const QStringList dashes = lines[1].split(' ', Qt::SkipEmptyParts);
    int at = 0;
    for (int i = 0; i < 3; ++i)
        at += static_cast<int>(dashes[i].size()) + 1;
    fonts = static_cast<int>(lines.size()) - 2;
    for (int i = 2; i < lines.size(); ++i)
        if (lines[i].mid(at, 3) != "yes")
            return false;
    return fonts > 0;
}

TEST(SearchReport, ReadsBackWithEveryRowTheWholeDescriptionPageNumbersAndEmbeddedFonts) {
    testing_support::TempFolder temp;
    fs::copy(kBuild / "share" / "tavi" / "data", temp.path() / "data", fs::copy_options::recursive);
    const fs::path db = temp.path() / "data" / "tavidata.sqlite";
    const std::string description =
        QString("Excavation revealed Roman and medieval deposits beneath the modern yard, "
                "with a robbed wall footing, two pits and a cobbled surface; ")
            .repeated(6)
            .left(700)
            .toStdString();
    sql(db, "UPDATE TAVIsitelist SET DESCRIPTION = ? WHERE RENO = 3", description);
    sql(db, "UPDATE TAVIsitelist SET \"SITE NAME\" = ? WHERE RENO = 273", "<b>&amp;</b>");
    const std::vector<std::string> sites = sql(db, "SELECT site FROM TAVIsitelist");
    ASSERT_EQ(sites.size(), 300u);

    // The whole city: every site on numbered pages. A data folder named relatively reads
    // the same in every run, so the first page can be compared with its control image.
    const Ran search = run(QString::fromStdString((kBuild / "bin" / "tavi-search").string()),
                           {"--data", "data", "--polygon",
                            "493000,367000;499500,367000;499500,373000;493000,373000", "--report",
                            "report.pdf", "--title", "Enquiry 42: the city"},
                           temp.path());
    ASSERT_EQ(search.code, 0) << search.err.toStdString();
    EXPECT_EQ(search.out.trimmed(), "300 rows found");
    const QString pdf = QString::fromStdString((temp.path() / "report.pdf").string());

    const Ran text = run("pdftotext", {"-raw", pdf, "-"});
    ASSERT_EQ(text.code, 0) << "pdftotext (Debian package poppler-utils)";
    const QString all = text.out.simplified();
    for (const char *part : {
             "Enquiry 42: the city",
             "Made: 2023-11-14 22:13",
             "Project: data ",
             "Search: polygon search, the sites inside the polygon or on its edges; 4 vertices: "
             "1. SK 93000 67000 (493000.00 E, 367000.00 N); 2. SK 99500 67000 (499500.00 E, "
             "367000.00 N);",
             "Buffer: 100 m (not used by this search)",
             "Records found: 300",
             "No. RENO SITE_NAME site LOCATION NGS xcoord ycoord LEVEL DESCRIPTION",
             "<b>&amp;</b>",
         })
        EXPECT_TRUE(all.contains(QString::fromUtf8(part))) << part;
    EXPECT_TRUE(all.contains(QString::fromStdString(description).simplified()))
        << "the whole 700-character description";
    for (const std::string &site : sites)
        EXPECT_TRUE(all.contains(QRegularExpression("\\b" + QString::fromStdString(site) + "\\b")))
            << site;

    const Ran info = run("pdfinfo", {pdf});
    const QRegularExpressionMatch pages = QRegularExpression("Pages:\\s+(\\d+)").match(info.out);
    ASSERT_TRUE(pages.hasMatch()) << info.out.toStdString();
    const int m = pages.captured(1).toInt();
    EXPECT_GE(m, 8);
    for (int n = 1; n <= m; ++n)
        EXPECT_TRUE(all.contains(QString("Page %1 of %2").arg(n).arg(m))) << n;
    EXPECT_FALSE(all.contains(QString("Page %1 of").arg(m + 1)));
    int fonts = 0;
    const Ran listing = run("pdffonts", {pdf});
    EXPECT_TRUE(fonts_embedded(listing.out, fonts)) << listing.out.toStdString();

    // Page 1: the title block, the map with the polygon and the sites ringed, the start
    // of the table.
    testing_support::expect_first_page_control_image(pdf, temp.path(), "search_report_page1");
}

// SOURCE_DATE_EPOCH fixes the whole document, its creation date as well as its "Made:"
// line, so that two runs a few seconds apart, in different time zones, give the same
// bytes; a value that is no such time is said, and the report still says when it was made.
TEST(SearchReport, SourceDateEpochMakesTheSameBytesAndABadOneIsSaid) {
    testing_support::TempFolder temp;
    fs::copy(kBuild / "share" / "tavi" / "data", temp.path() / "data", fs::copy_options::recursive);
    const QString search = QString::fromStdString((kBuild / "bin" / "tavi-search").string());
    const auto report = [&](const QString &name, const QString &epoch) {
        return run(search, {"--data", "data", "--point", "495754,368149", "--report", name},
                   temp.path(), epoch);
    };
    const auto bytes = [&](const QString &name) {
        QFile f(QString::fromStdString((temp.path() / name.toStdString()).string()));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    ASSERT_EQ(report("one.pdf", "1700000000").code, 0);
    ::setenv("TZ", "Asia/Kolkata", 1); // the clock's zone is not the document's
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    const Ran second = report("two.pdf", "1700000000");
    ::unsetenv("TZ");
    ASSERT_EQ(second.code, 0) << second.err.toStdString();
    EXPECT_TRUE(second.err.isEmpty()) << second.err.toStdString();
    ASSERT_FALSE(bytes("one.pdf").isEmpty());
    EXPECT_EQ(bytes("one.pdf"), bytes("two.pdf"));
    EXPECT_TRUE(bytes("one.pdf").contains("/CreationDate (D:20231114221320Z)"));

    for (const char *bad : {"tomorrow", "-5", "99999999999999", "253402300800"}) {
        SCOPED_TRACE(bad);
        const Ran r = report("bad.pdf", bad);
        EXPECT_EQ(r.code, 0);
        EXPECT_TRUE(r.err.contains("SOURCE_DATE_EPOCH") && r.err.contains(bad))
            << r.err.toStdString();
        const Ran text =
            run("pdftotext", {QString::fromStdString((temp.path() / "bad.pdf").string()), "-"});
        EXPECT_TRUE(
            text.out.contains(QRegularExpression("Made: \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d")))
            << text.out.toStdString();
    }
}

// A description of a million characters is wrapped whole onto as many pages as it
// takes, with every other row of the search, as a short one is: the table does not
// vanish from the report, and the wrapping takes time in proportion to the length.
TEST(SearchReport, AMillionCharacterDescriptionKeepsEveryRowWhole) {
    testing_support::TempFolder temp;
    fs::copy(kBuild / "share" / "tavi" / "data", temp.path() / "data", fs::copy_options::recursive);
    const fs::path db = temp.path() / "data" / "tavidata.sqlite";
    const QString sentence = "Roman and medieval deposits beneath the modern yard; ";
    const std::string description =
        (sentence.repeated(1'000'000 / sentence.size()) + "END-OF-DESCRIPTION").toStdString();
    sql(db, "UPDATE TAVIsitelist SET DESCRIPTION = ? WHERE RENO = 3", description);
    // In square SK (400 km east, 300 km north), as every site of the sample.
    const std::vector<std::string> at =
        sql(db, "SELECT printf('%.2f,%.2f', 400000 + xcoord, 300000 + ycoord) FROM TAVIsitelist "
                "WHERE RENO = 3");
    ASSERT_EQ(at.size(), 1u);
    const std::vector<std::string> near =
        sql(db, "SELECT site FROM TAVIsitelist, (SELECT xcoord AS x, ycoord AS y FROM TAVIsitelist "
                "WHERE RENO = 3) WHERE (xcoord - x) * (xcoord - x) + (ycoord - y) * (ycoord - y) "
                "<= 2500");

    const Ran search = run(QString::fromStdString((kBuild / "bin" / "tavi-search").string()),
                           {"--data", "data", "--point", QString::fromStdString(at[0]), "--buffer",
                            "100", "--report", "report.pdf"},
                           temp.path());
    ASSERT_EQ(search.code, 0) << search.err.toStdString();
    EXPECT_EQ(search.out.trimmed(),
              QString("%1 %2 found").arg(near.size()).arg(near.size() == 1 ? "row" : "rows"));
    const QString pdf = QString::fromStdString((temp.path() / "report.pdf").string());
    const Ran text = run("pdftotext", {"-raw", pdf, "-"});
    ASSERT_EQ(text.code, 0) << "pdftotext (Debian package poppler-utils)";
    const QString all = text.out.simplified();
    for (const std::string &site : near)
        EXPECT_TRUE(all.contains(QString::fromStdString(site))) << site;
    EXPECT_TRUE(all.contains("END-OF-DESCRIPTION"));
    // Every wrapped line of it: a word of the sentence (lines break between words, and
    // pages between lines) as often as it was written.
    EXPECT_EQ(all.count("deposits"), 1'000'000 / sentence.size());
    const Ran info = run("pdfinfo", {pdf});
    const QRegularExpressionMatch pages = QRegularExpression("Pages:\\s+(\\d+)").match(info.out);
    ASSERT_TRUE(pages.hasMatch()) << info.out.toStdString();
    EXPECT_GT(pages.captured(1).toInt(), 50);
}

} // namespace
