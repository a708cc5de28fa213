// The results windows' "Report..." button: the search report of what the window shows,
// saved where the user says, as the exports are saved (the same save dialog, the same
// messages). A long report shows its progress and can be stopped.
#pragma once

#include <QWidget>

#include <functional>
#include <optional>
#include <string>

#include "interrogation/search_report.h"
#include "project/session.h"
#include "state/ui_hooks.h"

class QLineEdit;

namespace app {

// The save dialog: a title and a filter in the toolkit's form ("Name (*.ext);;...");
// the name chosen, or nothing when the user cancelled.
using SaveDialog =
    std::function<std::optional<std::string>(const std::string &title, const std::string &filter)>;

// The toolkit's own save dialog over the window.
SaveDialog file_save_dialog(QWidget *window);

// The field in which the user names the report, holding the usual title to start with.
QLineEdit *report_title_field(QWidget *window);

// Asks for a file name and writes the report there: in the status bar the number of
// records and pages saved, in a message box why nothing could be written. Nothing
// happens when the user cancels the dialog or names no file.
void save_report(QWidget *window, project::Session &session, interrogation::SearchReport report,
                 const SaveDialog &save_dialog, const state::UiHooks &ui);

} // namespace app
