// The control panel's enquiry controls: the radius, the shape the enquiry tool draws,
// and a boundary read from a vector file.
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>

#include "app/panel/ctrl_panel.h"

namespace app {

namespace {

// What the open dialog offers: the kinds users are sent, then anything.
constexpr const char *kVectorFiles =
    "Vector files (*.geojson *.json *.shp *.gpkg *.kml *.kmz *.dxf *.gml *.tab *.mif *.csv);;"
    "All files (*)";

} // namespace

void CtrlPanel::build_enquiry_controls() {
    radius_label_ = new QLabel("Enquiry radius:", this);
    radius_box_ = new QDoubleSpinBox(this);
    radius_box_->setObjectName("EnquiryRadius");
    radius_box_->setRange(0.0, interrogation::kMaxEnquiryRadius);
    radius_box_->setDecimals(1);
    radius_box_->setSingleStep(50.0);
    radius_box_->setSuffix(" m");
    radius_box_->setValue(state_.interaction.Enquiry_Radius);
    radius_label_->setBuddy(radius_box_);
    connect(radius_box_, &QDoubleSpinBox::valueChanged, this,
            [this](double metres) { state_.interaction.Enquiry_Radius = metres; });

    enquiry_shape_box_ = new QComboBox(this);
    enquiry_shape_box_->setObjectName("EnquiryShape");
    // In the order of state::EnquiryShapeKind.
    enquiry_shape_box_->addItems({"of a boundary", "of a route", "of a point"});
    enquiry_shape_box_->setCurrentIndex(static_cast<int>(state_.interaction.Enquiry_Shape));
    connect(enquiry_shape_box_, &QComboBox::currentIndexChanged, this, [this](int index) {
        state_.interaction.Enquiry_Shape = static_cast<state::EnquiryShapeKind>(index);
    });

    from_file_button_ = new QPushButton("Boundary from file…", this);
    from_file_button_->setObjectName("BoundaryFromFile");
    connect(from_file_button_, &QPushButton::clicked, this,
            [this] { boundary_from_file_clicked(); });
    if (!open_dialog_)
        open_dialog_ = [this]() -> std::optional<std::string> {
            const QString file = QFileDialog::getOpenFileName(
                this, "Boundary from file", QString::fromStdString(state_.settings.Data_Folder),
                kVectorFiles);
            if (file.isEmpty())
                return std::nullopt;
            return file.toStdString();
        };
}

void CtrlPanel::boundary_from_file_clicked() {
    const std::optional<std::string> file = open_dialog_ ? open_dialog_() : std::nullopt;
    if (!file)
        return;
    interrogation::EnquiryShape shape;
    try {
        shape = interrogation::shape_from_file(*file);
    } catch (const interrogation::EnquiryError &e) {
        if (message_box_)
            message_box_(e.what());
        ui_.message(e.what());
        return;
    }
    // The site list is searched: plotted first, as the site-list tools plot it.
    plot_once();
    if (enquire)
        enquire(shape);
}

} // namespace app
