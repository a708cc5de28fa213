// The lookups in the site database that the control panel and the result windows make:
// the list of RAZ references, a RAZ text (with its era) or a site record for a
// reference, and which site codes of the map the site list holds.
//
// The database is the linked data file of drawing entry 1. Each lookup opens it (read
// only; exclusively when the file is marked read-only and nothing else), reads what it
// needs and closes it before it returns; no connection outlives one user action. A
// missing database is told to the user (status texts and two beeps) and the lookup
// gives nothing. Errors of the database itself (a missing table, field or index, a
// damaged file) are thrown as dao::Error, before anything is handed back, so the caller
// shows the message and fills nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/db/dao.h"
#include "state/drawing_table.h"
#include "state/ui_hooks.h"

namespace sites {

// The site list's table and its index by site number.
inline constexpr const char *kSiteTable = "TAVIsitelist";
inline constexpr const char *kSiteIndex = "RENO";

// The linked-data fields of drawing entry 1, trimmed: where the site database is and
// which of its tables and indexes hold the RAZ texts and the eras. All empty when the
// project has no drawings.
struct LinkedData {
    std::string path;
    std::string raz_table, raz_index;
    std::string era_table, era_index;
};
LinkedData linked_data(const state::DrawingTable &drawings);

// True when the database file is there. When it is not: entry 1's linked-data kind is
// cleared, the status bar says "Search Linked Data File " + path + " Not Found" and the
// user hears two beeps.
bool database_present(state::DrawingTable &drawings, const state::UiHooks &ui);

// "Linked Data File " + path + " Not Found": what the user is told, after the
// status texts and beeps of database_present, when a lookup finds no database.
std::string missing_message(const std::string &path);

// Every reference of the RAZ text table (its second field), in the order of the RAZ
// index. A missing database gives none, and the status bar then says
// "Linked Data File " + path + " Not Found".
std::vector<std::string> raz_references(state::DrawingTable &drawings, const state::UiHooks &ui);

// One record as a viewer shows it: the table's field names and the record's values, and
// where it came from, so that a viewer can step to the records beside it later.
struct RecordView {
    std::vector<std::string> names; // field names exactly as stored
    std::vector<dao::Value> values; // in field order
    std::string database;           // path of the database
    std::string table;              // table name as given to the lookup
    std::string index;              // the index whose order the viewer steps in
    dao::Bookmark bookmark;         // the record's place in its table
    bool found = false;             // false: no record (values empty)

    // The value of the field of that name (exact name, else without regard to case);
    // a null value when there is no such field or no record.
    dao::Value value(const std::string &name) const;
};

// What a reference shows. Site references ("RE" then the site number, the "RE" in
// capitals) show the site record found by its number; text references show the RAZ
// text record and the record of its era (the reference up to and including its first
// "."; a bare era of one or two characters is its own key; otherwise no era).
struct ReferenceLookup {
    enum Shows { Nothing, Site, RazText } shows = Nothing;
    RecordView site; // Shows::Site: found or not, the viewer is shown
    RecordView raz;  // Shows::RazText: the RAZ text record
    RecordView era;  // its era record; found is false when there is none
    std::optional<std::string>
        missing;          // "Linked Data File ... Not Found" when the database is missing
    bool unknown = false; // a text reference the RAZ text table does not hold
};
// reference is taken as typed (RAZ_Reference); an empty or blank reference shows
// nothing, as does a RAZ text reference the table does not hold. A site reference
// without a number ("RE", "REabc") names no site: it shows nothing, and the status bar
// says so. A project that names no era table, or no era index, shows its texts without
// an era.
ReferenceLookup show_raz_text(const std::string &reference, state::DrawingTable &drawings,
                              const state::UiHooks &ui);

// What the user is told of a lookup that shows nothing useful, beyond what show_raz_text
// says itself: a text reference the table does not hold, a site the list does not hold
// (its viewer opens empty). Empty when there is nothing to tell.
std::string lookup_note(const std::string &reference, const ReferenceLookup &found);

// Steps a viewer's record in its index's order: First, Previous, Next, Last. Returns the
// record reached; stepping past either end stays on the end record. From a view that
// holds no record (a site not listed), Next goes to the first and Previous to the last.
enum class Step { First, Previous, Next, Last };
RecordView step_record(const RecordView &from, Step step);

// Which of the site codes ("RE" and a number; blank codes are passed over) the site list
// holds, with the site's name (the list's second field, empty when null). In the order
// of the codes; a missing database gives an empty list after its messages. A code
// whose number is 0 or missing ("RE", "REX") names no site and is not listed.
struct SiteMark {
    std::string code; // as given
    bool listed = false;
    std::string name;
};
std::vector<SiteMark> mark_sites(const std::vector<std::string> &codes,
                                 state::DrawingTable &drawings, const state::UiHooks &ui);

} // namespace sites
