// A report as a PDF document of numbered A4 pages: a title block, a picture the caller
// draws, and a table of every column of a sheet with its header row at the top of every
// page, its text wrapped in the cells (see table_layout.h). "Page n of m" stands at the
// foot of every page. The pages are portrait unless the table needs the width of a
// landscape page. The fonts used are embedded (as subsets), so the document reads the
// same wherever it is opened.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <functional>

#include "platform/exports/export_table.h"
#include "platform/exports/grid_sheet.h"

class QPainter;
class QRectF;

namespace reports {

struct Document {
    QString title;
    // The lines under the title, each a paragraph wrapped to the page's width.
    QStringList lines;
    // Draws the picture into the area given, in the painter's units: those of the
    // document's device, whose resolution says how large the area is on paper. The area
    // is as wide as the text and stands under the title block on the first page. None:
    // no picture.
    std::function<void(QPainter &, const QRectF &)> picture;
    // The table: the header row and data rows 1 to its row count, every column.
    const grid::Sheet *table = nullptr;
    // A second table after the first, under a heading of its own (none: no second table),
    // laid out as the first is.
    QString second_heading;
    const grid::Sheet *second_table = nullptr;
    QString creator;
    // When the document says it was made (its creation date); none: when it is written.
    QDateTime made;
};

struct Written {
    exporting::Outcome outcome;
    int pages = 0;
    bool cancelled = false; // the progress callback asked to stop: nothing was written
};

// Called with the pages done and the pages in all, before the first and after every page;
// answering false stops the writing.
using Progress = std::function<bool(int done, int total)>;

// The document's pages, in the units of a device at this resolution (dots per inch).
inline constexpr int kResolution = 1200;

// The PDF's creation date set to made, in UTC, in place: the date the writer put in the
// document information is replaced by one no longer, padded with spaces after it, so
// that no offset in the file moves. False when the document holds no such date.
bool set_creation_date(QByteArray &pdf, const QDateTime &made);

// Writes the document as PDF to path, whole or not at all (through a temporary file, as
// the exports are written).
Written write_pdf(const std::filesystem::path &path, const Document &document,
                  const Progress &progress = {});

} // namespace reports
