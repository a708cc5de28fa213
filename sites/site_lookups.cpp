#include "sites/site_lookups.h"

#include <cctype>
#include <cmath>

#include "platform/base/numbers.h"
#include "platform/base/text.h"

namespace sites {

namespace {

// The path as this system names it (data written elsewhere may use backslashes and
// another case than the files on disc), or a server's URI as it stands.
dao::Database open_database(const std::string &path) {
    return dao::open_site_database(path);
}

// A view of the table's layout with no record yet: the viewer shows its labels even
// when the lookup finds nothing.
RecordView empty_view(const dao::Recordset &rs, const std::string &database,
                      const std::string &table, const std::string &index) {
    RecordView v;
    v.names.reserve(rs.fields().size());
    for (const dao::FieldInfo &f : rs.fields())
        v.names.push_back(f.name);
    v.database = database;
    v.table = table;
    v.index = index;
    return v;
}

// Fills the view from the recordset's current record, when it has one.
void take_current(RecordView &v, const dao::Recordset &rs) {
    v.found = !rs.eof() && !rs.bof();
    if (v.found) {
        v.values = rs.values();
        v.bookmark = rs.bookmark();
    } else {
        v.values.clear();
        v.bookmark = dao::Bookmark{};
    }
}

// The era a text reference belongs to: up to and including its first ".", or a bare
// era of one or two characters as it stands; longer references without a point have
// none.
std::string era_key(const std::string &reference) {
    const std::size_t dot = reference.find('.');
    if (dot != std::string::npos)
        return text::trim_blanks(reference.substr(0, dot + 1));
    if (reference.size() == 1 || reference.size() == 2)
        return reference;
    return {};
}

// The site number of a code or site reference: the number after its two letters.
double site_number(const std::string &reference) {
    return num::Val(std::string_view(reference).substr(std::min<std::size_t>(2, reference.size())));
}

} // namespace

dao::Value RecordView::value(const std::string &name) const {
    if (!found)
        return {};
    for (std::size_t i = 0; i < names.size() && i < values.size(); ++i)
        if (names[i] == name)
            return values[i];
    for (std::size_t i = 0; i < names.size() && i < values.size(); ++i)
        if (text::equal_ignoring_case(names[i], name))
            return values[i];
    return {};
}

std::string missing_message(const std::string &path) {
    return "Linked Data File " + path + " Not Found";
}

LinkedData linked_data(const state::DrawingTable &drawings) {
    LinkedData d;
    if (drawings.count() < 1)
        return d;
    const state::DrawingEntry &e = drawings.entry(1);
    // The path keeps its case: names are matched without regard to case when the file
    // is looked for, and a path upper-cased here could no longer be shown as the user
    // wrote it. Table and index names are compared without regard to case by the
    // database layer.
    d.path = text::trim_blanks(e.data_file);
    d.raz_table = text::trim_blanks(e.raz_table);
    d.raz_index = text::trim_blanks(e.raz_index);
    d.era_table = text::trim_blanks(e.era_table);
    d.era_index = text::trim_blanks(e.era_index);
    return d;
}

bool database_present(state::DrawingTable &drawings, const state::UiHooks &ui) {
    const std::string path = linked_data(drawings).path;
    if (!path.empty() && dao::location_present(path))
        return true;
    if (drawings.count() >= 1)
        drawings.entry(1).linked_kind = 0;
    ui.message("Search Linked Data File " + path + " Not Found");
    ui.beep();
    ui.beep();
    return false;
}

std::vector<std::string> raz_references(state::DrawingTable &drawings, const state::UiHooks &ui) {
    const LinkedData d = linked_data(drawings);
    if (!database_present(drawings, ui)) {
        ui.message(missing_message(d.path));
        return {};
    }
    dao::Database db = open_database(d.path);
    dao::Recordset rs = db.open_table(d.raz_table);
    rs.select_index(d.raz_index);
    std::vector<std::string> references;
    references.reserve(static_cast<std::size_t>(rs.record_count()));
    for (rs.move_first(); !rs.eof(); rs.move_next())
        references.push_back(rs.value(1).to_string());
    rs.close();
    db.close();
    return references;
}

ReferenceLookup show_raz_text(const std::string &reference, state::DrawingTable &drawings,
                              const state::UiHooks &ui) {
    ReferenceLookup result;
    const std::string ref = text::trim_blanks(reference);
    if (ref.empty())
        return result;
    const LinkedData d = linked_data(drawings);
    if (!database_present(drawings, ui)) {
        result.missing = missing_message(d.path);
        return result;
    }

    // Site references are told by their capitals: "re12" is a text reference.
    if (ref.compare(0, 2, "RE") == 0) {
        const double number = site_number(ref);
        // "RE" alone, or letters after it, name no site: seeking 0 would show whichever
        // record the list happened to be on.
        if (number == 0.0) {
            ui.message("Reference " + ref + " names no site");
            return result;
        }
        dao::Database db = open_database(d.path);
        dao::Recordset rs = db.open_table(kSiteTable);
        rs.select_index(kSiteIndex);
        rs.seek(dao::Value(number));
        result.site = empty_view(rs, d.path, kSiteTable, kSiteIndex);
        take_current(result.site, rs);
        result.shows = ReferenceLookup::Site; // shown whether or not the site is listed
        return result;
    }

    dao::Database db = open_database(d.path);
    dao::Recordset raz = db.open_table(d.raz_table);
    raz.select_index(d.raz_index);
    raz.seek(dao::Value(ref));
    if (raz.no_match() || raz.eof()) {
        result.unknown = true; // shows nothing; the window says so (lookup_note)
        return result;
    }
    result.raz = empty_view(raz, d.path, d.raz_table, d.raz_index);
    take_current(result.raz, raz);
    result.shows = ReferenceLookup::RazText;

    // A project that names no era table, or no index to seek it by, still shows its
    // texts, with an empty era.
    if (!d.era_table.empty() && !d.era_index.empty()) {
        dao::Recordset era = db.open_table(d.era_table);
        era.select_index(d.era_index);
        result.era = empty_view(era, d.path, d.era_table, d.era_index);
        const std::string key = era_key(ref);
        if (!key.empty() && era.seek(dao::Value(key)))
            take_current(result.era, era);
    }
    return result;
}

std::string lookup_note(const std::string &reference, const ReferenceLookup &found) {
    const std::string ref = text::trim_blanks(reference);
    if (found.unknown)
        return "RAZ reference " + ref + " not found";
    if (found.shows == ReferenceLookup::Site && !found.site.found)
        return "Site " + ref + " not in datatable";
    return {};
}

RecordView step_record(const RecordView &from, Step step) {
    dao::Database db = open_database(from.database);
    dao::Recordset rs = db.open_table(from.table);
    rs.select_index(from.index);
    // From no record, Next starts at the first and Previous at the last.
    if (from.found)
        rs.set_bookmark(from.bookmark);
    else if (step == Step::Next)
        step = Step::First;
    else if (step == Step::Previous)
        step = Step::Last;
    switch (step) {
    case Step::First:
        rs.move_first();
        break;
    case Step::Last:
        rs.move_last();
        break;
    case Step::Next:
        rs.move_next();
        if (rs.eof())
            rs.move_last();
        break;
    case Step::Previous:
        rs.move_previous();
        if (rs.bof())
            rs.move_first();
        break;
    }
    RecordView to = empty_view(rs, from.database, from.table, from.index);
    take_current(to, rs);
    return to;
}

std::vector<SiteMark> mark_sites(const std::vector<std::string> &codes,
                                 state::DrawingTable &drawings, const state::UiHooks &ui) {
    const LinkedData d = linked_data(drawings);
    if (!database_present(drawings, ui))
        return {};
    dao::Database db = open_database(d.path);
    dao::Recordset rs = db.open_table(kSiteTable, dao::Access::DenyWrite);
    rs.select_index(kSiteIndex);
    std::vector<SiteMark> marks;
    marks.reserve(codes.size());
    for (const std::string &code : codes) {
        const std::string trimmed = text::trim_blanks(code);
        if (trimmed.empty())
            continue;
        SiteMark mark;
        mark.code = code;
        const double number = std::floor(site_number(trimmed));
        // A code without a number after its letters names no site (see show_raz_text);
        // a number beyond any site's is not sought at all.
        if (number != 0.0 && std::fabs(number) < 1e15 &&
            rs.seek(dao::Value(static_cast<std::int64_t>(number))) && !rs.eof()) {
            mark.listed = true;
            mark.name = rs.value(1).to_string();
        }
        marks.push_back(std::move(mark));
    }
    rs.close();
    db.close();
    return marks;
}

} // namespace sites
