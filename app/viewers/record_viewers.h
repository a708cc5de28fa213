// The two record viewers: "Archaeological Site Details" shows a site-list record, "RAZ
// Descriptions" a RAZ text record with the record of its era. Each box shows one field;
// the lookups position the records and hand them over, the viewers only show them and
// let the user step through their tables.
#pragma once

#include <QWidget>

#include <functional>

#include "app/viewers/data_control.h"
#include "sites/site_lookups.h"
#include "state/ui_hooks.h"

class QGridLayout;
class QPushButton;

namespace app {

class View_recevents : public QWidget {
  public:
    explicit View_recevents(const state::UiHooks &ui, QWidget *parent = nullptr);
    // Shows the record (found or not: an empty record shows empty boxes) and the window.
    void show_record(sites::RecordView record);
    DataControl *data1() const { return Data1_; }
    // Where the window goes the first time it opens; later it opens where it was left.
    std::function<void(QWidget &)> place_first;

  private:
    bool placed_ = false;
    DataControl *Data1_ = nullptr;
    QPushButton *close_button_ = nullptr;
};

class view_RAZ_Text : public QWidget {
  public:
    explicit view_RAZ_Text(const state::UiHooks &ui, QWidget *parent = nullptr);
    void show_records(sites::RecordView raz, sites::RecordView era);
    DataControl *data1() const { return Data1_; }
    DataControl *data2() const { return Data2_; }
    std::function<void(QWidget &)> place_first; // as for the site viewer

  private:
    bool placed_ = false;
    DataControl *Data1_ = nullptr;
    DataControl *Data2_ = nullptr;
    QPushButton *close_button_ = nullptr;
};

} // namespace app
