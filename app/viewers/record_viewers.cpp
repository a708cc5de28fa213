#include "app/viewers/record_viewers.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

#include "app/shared/accessible.h"
#include "app/shared/window_flags.h"

namespace app {

namespace {

struct Box {
    const char *name;  // the box's object name
    const char *field; // the field it shows
    const char *label; // the caption beside it; none when empty
    bool memo;         // a long text, shown over several lines
};

// One row per box: its caption and the box, bound to the data source.
void add_boxes(QWidget *owner, QGridLayout *grid, int &row, DataControl *source,
               std::initializer_list<Box> boxes) {
    for (const Box &b : boxes) {
        QWidget *box = nullptr;
        if (b.memo) {
            auto *memo = new QPlainTextEdit(owner);
            memo->setReadOnly(true);
            memo->setMinimumHeight(memo->fontMetrics().lineSpacing() * 4 + 8);
            box = memo;
        } else {
            auto *line = new QLineEdit(owner);
            line->setReadOnly(true);
            box = line;
        }
        box->setObjectName(b.name);
        const QString caption = QString::fromLatin1(b.label).trimmed();
        describe(box, caption.isEmpty() ? QString::fromLatin1(b.field) : caption,
                 QStringLiteral("The record's %1 field.").arg(QString::fromLatin1(b.field)));
        if (*b.label != '\0') {
            auto *label = new QLabel(QString::fromLatin1(b.label), owner);
            label->setObjectName(QString::fromLatin1(b.name) + "_label");
            label->setBuddy(box);
            grid->addWidget(label, row, 0, Qt::AlignTop);
        }
        grid->addWidget(box, row, 1);
        source->bind(box, b.field);
        ++row;
    }
}

} // namespace

View_recevents::View_recevents(const state::UiHooks &ui, QWidget *parent)
    : QWidget(parent, kResultWindowFlags) {
    setObjectName("View_recevents");
    setWindowTitle("Archaeological Site Details");
    auto *layout = new QVBoxLayout(this);
    auto *heading = new QLabel("Archaeological Site Details", this);
    QFont f = heading->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.3);
    heading->setFont(f);
    layout->addWidget(heading);

    Data1_ = new DataControl("TAVIsitelist", ui, this);
    Data1_->setObjectName("Data1");
    auto *grid = new QGridLayout;
    int row = 0;
    add_boxes(this, grid, row, Data1_,
              {{"RENO", "RENO", "RENO", false},
               {"SITECODE", "site", "SITECODE", false},
               {"SITE_NAME", "SITE NAME", "Site Name", false},
               {"LOCATION", "LOCATION", "Location", false},
               {"DESCRIPTION", "DESCRIPTION", "DESCRIPTION", true},
               {"NGS", "NGS", "Grid Reference", false},
               {"xcoord", "xcoord", "Easting", false},
               {"ycoord", "ycoord", "Northing", false}});
    layout->addLayout(grid);
    layout->addWidget(Data1_);
    close_button_ = new QPushButton("Close", this);
    close_button_->setObjectName("Command1");
    connect(close_button_, &QPushButton::clicked, this, [this] { close(); });
    layout->addWidget(close_button_, 0, Qt::AlignRight);
    describe(close_button_, close_button_->text(), "Close the site's details.");
    close_on_escape(this);
    resize(480, 420);
}

void View_recevents::show_record(sites::RecordView record) {
    Data1_->set_record(std::move(record));
    if (!std::exchange(placed_, true) && place_first)
        place_first(*this);
    show();
    raise();
    activateWindow();
}

view_RAZ_Text::view_RAZ_Text(const state::UiHooks &ui, QWidget *parent)
    : QWidget(parent, kResultWindowFlags) {
    setObjectName("view_RAZ_Text");
    setWindowTitle("RAZ Descriptions");
    auto *layout = new QVBoxLayout(this);

    Data1_ = new DataControl("RAZ Text", ui, this);
    Data1_->setObjectName("Data1");
    auto *texts = new QGridLayout;
    int row = 0;
    add_boxes(this, texts, row, Data1_,
              {{"Period_No", "Period No", "Era No", false},
               {"Name", "Name", "Name", false},
               {"Text", "Text", "         Text", true},
               {"Boundaries", "Boundaries", "Boundaries", true},
               {"PFC_ID", "FROMDRAW", "RAZ ID", false},
               {"PFC_No", "Area", "RAZ No", false}});
    layout->addLayout(texts);
    layout->addWidget(Data1_);

    auto *era_heading = new QLabel("Era details", this);
    era_heading->setObjectName("Era_details");
    layout->addWidget(era_heading);
    Data2_ = new DataControl("Era details", ui, this);
    Data2_->setObjectName("Data2");
    auto *eras = new QGridLayout;
    row = 0;
    add_boxes(this, eras, row, Data2_,
              {{"Era_No", "Era No", "Era No", false},
               {"Title", "Title", "Title", false},
               {"earliest_date", "earliest date", "earliest date", false},
               {"latest_date", "latest date", "latest date", false}});
    layout->addLayout(eras);
    layout->addWidget(Data2_);

    close_button_ = new QPushButton("Close Window", this);
    close_button_->setObjectName("Command1");
    connect(close_button_, &QPushButton::clicked, this, [this] { close(); });
    layout->addWidget(close_button_, 0, Qt::AlignRight);
    describe(close_button_, close_button_->text(), "Close the RAZ descriptions.");
    close_on_escape(this);
    resize(560, 640);
}

void view_RAZ_Text::show_records(sites::RecordView raz, sites::RecordView era) {
    Data1_->set_record(std::move(raz));
    Data2_->set_record(std::move(era));
    if (!std::exchange(placed_, true) && place_first)
        place_first(*this);
    show();
    raise();
    activateWindow();
}

} // namespace app
