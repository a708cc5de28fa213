#include "serve/entity_tag.h"

#include <QCryptographicHash>

#include "platform/base/files.h"
#include "platform/db/dao.h"
#include "sites/site_lookups.h"

namespace serve {

std::vector<std::string> layer_files(const project::AppState &state, const Layer &layer) {
    std::vector<std::string> out;
    switch (layer.kind) {
    case Layer::Kind::Drawing: {
        const state::DrawingEntry &e = state.drawings.entry(layer.drawing);
        out.push_back(e.file_name);
        if (e.has_index)
            out.push_back(files::with_extension3(e.file_name, "zix"));
        break;
    }
    case Layer::Kind::Background:
        if (state.rasters.count() >= 1)
            out.push_back(state.rasters.entry(1).file_name);
        break;
    case Layer::Kind::Sites: {
        const std::string db = sites::linked_data(state.drawings).path;
        if (!db.empty() && !dao::is_server_uri(db))
            out.push_back(db);
        break;
    }
    }
    return out;
}

std::string entity_tag(const std::string &text, const std::vector<std::string> &names) {
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    for (const std::string &name : names) {
        const auto id = files::identity_of(files::resolve(name));
        const std::string part =
            id ? std::to_string(id->size) + ":" + std::to_string(id->modified_ns)
               : std::string("missing");
        hash.addData(QByteArrayView(part.data(), static_cast<qsizetype>(part.size())));
        hash.addData(QByteArrayView("|", 1));
    }
    return "\"" + hash.result().toHex().left(24).toStdString() + "\"";
}

bool tag_matches(const std::string &if_none_match, const std::string &tag) {
    if (if_none_match.empty())
        return false;
    std::size_t start = 0;
    while (start <= if_none_match.size()) {
        std::size_t comma = if_none_match.find(',', start);
        if (comma == std::string::npos)
            comma = if_none_match.size();
        std::string item = if_none_match.substr(start, comma - start);
        const auto first = item.find_first_not_of(" \t");
        const auto last = item.find_last_not_of(" \t");
        item = first == std::string::npos ? std::string() : item.substr(first, last - first + 1);
        // A weak tag compares equal for this purpose.
        if (item.rfind("W/", 0) == 0)
            item.erase(0, 2);
        if (item == "*" || item == tag)
            return true;
        start = comma + 1;
    }
    return false;
}

} // namespace serve
