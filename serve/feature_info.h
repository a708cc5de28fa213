// GetFeatureInfo: what lies under one pixel of a map. On the site points, the records
// of the sites whose plotted symbol covers the pixel (the topmost first); on a drawing,
// the drawn polygons holding the point (the planning search). Written as JSON, HTML
// (every value escaped: the records hold text typed by people, markup included) or XML.
#pragma once

#include <QJsonValue>

#include <string>
#include <utility>
#include <vector>

#include "platform/db/dao.h"
#include "project/session.h"
#include "serve/layers.h"
#include "serve/wms_request.h"

namespace serve {

struct Feature {
    // Field names and values, in the record's order (a null stays null).
    std::vector<std::pair<std::string, dao::Value>> fields;
};

struct LayerFeatures {
    std::string layer; // the layer's name
    std::string title;
    std::vector<Feature> features;
};

struct FeatureInfo {
    double x = 0, y = 0; // the pixel's place, national-grid metres
    std::vector<LayerFeatures> layers;
    // Site databases that could not be read, and why: for the log. The answer only says
    // that some records are missing, naming no file of the server.
    std::vector<std::string> unreadable;
};

// Looks up the request's query layers at its pixel, in a view of its own: the session's
// view and switches are as they were afterwards.
FeatureInfo feature_info(project::Session &session, const ServiceLayers &layers,
                         const FeatureInfoRequest &f);

// A record's value as JSON: numbers as numbers, null as null, binary as a note of its size.
QJsonValue json_value(const dao::Value &value);

// The answer as the request's INFO_FORMAT asks.
std::string write_json(const FeatureInfo &info);
std::string write_html(const FeatureInfo &info);
std::string write_xml(const FeatureInfo &info);
std::string write_feature_info(const FeatureInfo &info, InfoFormat format);

} // namespace serve
