#include "serve/enquiry_routes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gdal.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "interrogation/enquiry_report.h"
#include "serve/feature_info.h"

namespace serve {

namespace {

namespace fs = std::filesystem;
using interrogation::EnquiryError;

// The kinds of file a boundary may come in over the network. Others GDAL reads can point
// it at further files or addresses (a virtual dataset names any file of the server), so
// an uploaded file is read only by these drivers.
constexpr const char *kUploadDrivers[] = {"GeoJSON", "GPKG", "KML", "LIBKML", "DXF", nullptr};

QJsonArray metres(const interrogation::Shape &shape) {
    QJsonArray out;
    for (const auto &p : shape)
        out.append(
            QJsonArray{double(p.x) / state::kUnitsPerMetre, double(p.y) / state::kUnitsPerMetre});
    return out;
}

QJsonArray metres(const std::vector<interrogation::Shape> &shapes) {
    QJsonArray out;
    for (const auto &s : shapes)
        out.append(metres(s));
    return out;
}

interrogation::EnquiryShape uploaded_shape(const Request &r) {
    // The driver is asked for before the enquiry reads the file with every driver.
    GDALAllRegister();
    if (GDALIdentifyDriverEx(r.upload_file.c_str(), GDAL_OF_VECTOR, kUploadDrivers, nullptr) ==
        nullptr)
        throw EnquiryError(r.upload_name +
                           " is not a boundary file the service reads (GeoJSON, GeoPackage, "
                           "KML or DXF)");
    return interrogation::shape_from_file(r.upload_file);
}

Response pdf_answer(std::string body) {
    Response r;
    r.content_type = "application/pdf";
    r.body = std::move(body);
    r.headers.emplace_back("Content-Disposition", "attachment; filename=\"enquiry.pdf\"");
    r.headers.emplace_back("Cache-Control", "no-store");
    return r;
}

// The report written to a private temporary file, read back and removed.
Response report(project::Session &session, const interrogation::EnquiryResult &result,
                const std::string &title) {
    std::string folder = (fs::temp_directory_path() / "tavi-report-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr)
        return Service::plain(500, "The report could not be written");
    const fs::path path = fs::path(folder) / "enquiry.pdf";
    const reports::Written written =
        interrogation::write_enquiry_report(session, result, title, path);
    std::string body;
    if (written.outcome) {
        std::ifstream in(path, std::ios::binary);
        body.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else {
        std::fprintf(stderr, "tavi-serve: the report could not be written: %s\n",
                     written.outcome.error.c_str());
    }
    std::error_code ec;
    fs::remove_all(folder, ec);
    if (body.empty())
        return Service::plain(500, "The report could not be written");
    return pdf_answer(std::move(body));
}

// An enquiry within 5 km of a boundary on a large site list, and its report of many
// pages, take longer than a map; still, a worker held longer than this is stuck.
constexpr std::chrono::seconds kEnquiryLimit{120};

} // namespace

EnquiryAsked enquiry_asked(const Request &r) {
    EnquiryAsked asked;
    const std::string *around = r.parameters.find("around");
    const std::string *radius = r.parameters.find("radius");
    if (!r.upload_file.empty() && around != nullptr)
        throw EnquiryError("give the shape as around=WKT or as a file, not both");
    if (!r.upload_file.empty())
        asked.enquiry.shape = uploaded_shape(r);
    else if (around != nullptr)
        asked.enquiry.shape = interrogation::shape_from_wkt(*around);
    else
        throw EnquiryError("give the shape as around=WKT (national-grid metres) or as a file");
    if (radius == nullptr)
        throw EnquiryError("give the radius as radius=METRES (0 to 5000)");
    asked.enquiry.radius_m = interrogation::enquiry_radius(*radius);
    if (const std::string *title = r.parameters.find("title"))
        asked.title = title->substr(0, kMaxTitleLength);
    return asked;
}

std::string enquiry_json(const state::PointStore &store,
                         const interrogation::EnquiryResult &result) {
    const interrogation::Enquiry &e = result.enquiry;
    const interrogation::SiteRows &rows = result.rows;
    const std::size_t first = interrogation::kFirstFieldColumn - 1;
    QJsonObject root;
    root.insert(QStringLiteral("title"), QString::fromStdString(interrogation::enquiry_title(e)));
    root.insert(QStringLiteral("line"), QString::fromStdString(interrogation::enquiry_line(e)));
    root.insert(QStringLiteral("radius"), e.radius_m);
    root.insert(QStringLiteral("kind"),
                QString::fromStdString(interrogation::kind_word(e.shape.kind)));
    root.insert(QStringLiteral("area_m2"), e.shape.area_m2);
    root.insert(QStringLiteral("shape"), metres(e.shape.parts));
    root.insert(QStringLiteral("area"), metres(interrogation::enquiry_area(e)));
    QJsonArray columns;
    for (std::size_t c = first; c < rows.headers.size(); ++c)
        columns.append(QString::fromStdString(rows.headers[c]));
    root.insert(QStringLiteral("columns"), columns);
    QJsonArray sites;
    for (std::size_t i = 0; i < rows.rows.size(); ++i) {
        const auto &row = rows.rows[i];
        QJsonObject site;
        site.insert(QStringLiteral("number"), static_cast<qint64>(i + 1));
        const int64_t index = row.size() >= static_cast<std::size_t>(interrogation::kPointColumn)
                                  ? row[interrogation::kPointColumn - 1].as_integer()
                                  : -1;
        if (index >= 0 && index < store.count()) {
            const auto at = static_cast<int32_t>(index);
            site.insert(QStringLiteral("x"), double(store.easting(at)) / state::kUnitsPerMetre);
            site.insert(QStringLiteral("y"), double(store.northing(at)) / state::kUnitsPerMetre);
        }
        site.insert(QStringLiteral("distance"), std::round(result.row_distance(i) * 100.0) / 100.0);
        QJsonArray values;
        for (std::size_t c = first; c < rows.headers.size(); ++c)
            values.append(c < row.size() ? json_value(row[c]) : QJsonValue(QJsonValue::Null));
        site.insert(QStringLiteral("values"), values);
        sites.append(site);
    }
    root.insert(QStringLiteral("sites"), sites);
    QJsonArray features;
    for (const interrogation::EnquiryFeature &f : result.features) {
        QJsonObject o;
        o.insert(QStringLiteral("drawing"), QString::fromStdString(f.drawing_name));
        o.insert(QStringLiteral("reference"), QString::fromStdString(f.reference));
        o.insert(QStringLiteral("kind"), QString::fromStdString(f.kind));
        o.insert(QStringLiteral("outlines"), metres(f.outlines));
        features.append(o);
    }
    root.insert(QStringLiteral("features"), features);
    if (!rows.unreadable.empty())
        root.insert(QStringLiteral("note"), QStringLiteral("Some site records could not be read."));
    return QJsonDocument(root).toJson(QJsonDocument::Compact).toStdString();
}

void add_enquiry(Service &service, project::Session &session) {
    const auto prepare = [&session](const Request &r, bool as_report) -> Prepared {
        EnquiryAsked asked;
        try {
            asked = enquiry_asked(r);
        } catch (const EnquiryError &e) {
            return {Service::plain(400, e.what()), {}};
        }
        // The uploaded file is read by now: the job needs only the shape.
        return {{},
                Job{[&session, asked = std::move(asked), as_report] {
                        const interrogation::EnquiryResult result = interrogation::run_enquiry(
                            session.state().points, session.state().drawings, asked.enquiry,
                            project::quiet_hooks());
                        for (const std::string &u : result.rows.unreadable)
                            std::fprintf(stderr, "tavi-serve: %s\n", u.c_str());
                        if (as_report)
                            return report(session, result, asked.title);
                        Response answer;
                        answer.content_type = "application/json";
                        answer.body = enquiry_json(session.state().points, result);
                        // The records may change without any file's identity showing it.
                        answer.headers.emplace_back("Cache-Control", "no-cache");
                        return answer;
                    },
                    kEnquiryLimit}};
    };
    service.route(
        "/enquiry", [prepare](const Request &r) { return prepare(r, false); }, Service::Posts::Yes);
    service.route(
        "/report.pdf", [prepare](const Request &r) { return prepare(r, true); },
        Service::Posts::Yes);
}

} // namespace serve
