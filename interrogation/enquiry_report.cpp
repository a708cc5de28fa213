#include "interrogation/enquiry_report.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "interrogation/search_report.h"
#include "platform/base/text.h"

namespace interrogation {

namespace {

constexpr const char *kDistanceHeader = "Distance_m";

} // namespace

SiteRows enquiry_rows(const EnquiryResult &result) {
    SiteRows rows = result.rows;
    std::size_t columns = rows.headers.size();
    for (const auto &r : rows.rows)
        columns = std::max(columns, r.size());
    rows.headers.resize(columns);
    rows.headers.push_back(kDistanceHeader);
    for (std::size_t i = 0; i < rows.rows.size(); ++i) {
        auto &row = rows.rows[i];
        row.resize(columns);
        // To the centimetre, as the world units go.
        row.emplace_back(std::round(result.row_distance(i) * 100.0) / 100.0);
    }
    return rows;
}

grid::Sheet enquiry_sites_sheet(const state::PointStore &store, const EnquiryResult &result) {
    const SiteRows rows = enquiry_rows(result);
    return result_sheet(rows, export_headers(store, rows));
}

grid::Sheet enquiry_features_sheet(const EnquiryResult &result) {
    grid::Sheet s(3, static_cast<int>(result.features.size()));
    s.set_text(1, 0, "Drawing");
    s.set_text(2, 0, "Reference");
    s.set_text(3, 0, "Kind");
    for (std::size_t i = 0; i < result.features.size(); ++i) {
        const EnquiryFeature &f = result.features[i];
        const int r = static_cast<int>(i) + 1;
        s.set_text(1, r, QString::fromStdString(f.drawing_name));
        s.set_text(2, r, QString::fromStdString(f.reference));
        s.set_text(3, r, QString::fromStdString(f.kind));
    }
    return s;
}

SearchDescription enquiry_description(const EnquiryResult &result) {
    SearchDescription d;
    d.kind = SearchKind::Enquiry;
    d.search_buffer = result.enquiry.radius_m * state::kUnitsPerMetre;
    d.enquiry_line = enquiry_line(result.enquiry);
    d.parts = result.enquiry.shape.parts;
    d.area = enquiry_area(result.enquiry);
    return d;
}

std::vector<Shape> enquiry_outlines(const EnquiryResult &result) {
    std::vector<Shape> out;
    for (const EnquiryFeature &f : result.features)
        out.insert(out.end(), f.outlines.begin(), f.outlines.end());
    return out;
}

reports::Written write_enquiry_report(project::Session &session, const EnquiryResult &result,
                                      const std::string &title, const std::filesystem::path &path,
                                      const QDateTime &made, const reports::Progress &progress) {
    const state::PointStore &store = session.state().points;
    const grid::Sheet sites = enquiry_sites_sheet(store, result);
    const grid::Sheet features = enquiry_features_sheet(result);
    SearchReport report;
    report.title = text::trim_blanks(title).empty() ? enquiry_title(result.enquiry) : title;
    report.made = made.isValid() ? made : QDateTime::currentDateTime();
    report.project = session.state().settings.Data_Folder;
    report.search = enquiry_description(result);
    report.table = &sites;
    std::vector<int> order(result.rows.rows.size());
    std::iota(order.begin(), order.end(), 0);
    report.marks = site_marks(store, result.rows, order);
    report.features_heading = kFeaturesHeading;
    report.features = &features;
    report.feature_outlines = enquiry_outlines(result);
    return write_search_report(session, report, path, progress);
}

} // namespace interrogation
