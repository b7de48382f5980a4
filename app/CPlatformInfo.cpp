#include "CPlatformInfo.h"

#include "DriveIdentity.h"
#include "ProgramState.h"
#include "RegisterMap.h"
#include "ui_PlatformInfo.h"

#include <QPainter>
#include <QSvgRenderer>

namespace kestova {

namespace {

constexpr int kPictureTop = 10;
constexpr int kRowGap = 10;

// Drawn at the screen's own pixel density, so a doubled screen shows it sharp.
QImage DrivePicture(qreal ratio) {
    QSvgRenderer renderer(QStringLiteral(":/images/drive.svg"));
    if (!renderer.isValid()) {
        return {};
    }
    QImage image(renderer.defaultSize() * ratio, QImage::Format_RGB888);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

} // namespace

CPlatformInfo::CPlatformInfo(ProgramState& state, Presenter& presenter, QWidget* parent)
    : QWidget(parent), state_(state), presenter_(presenter),
      ui_(std::make_unique<Ui::PlatformInfoForm>()), picture_(DrivePicture(1.0)) {
    ui_->setupUi(this);
    setObjectName("page147");
}

CPlatformInfo::~CPlatformInfo() = default;

QString CPlatformInfo::ModelField() const {
    return ui_->id1031->text();
}
QString CPlatformInfo::FirmwareField() const {
    return ui_->id1036->text();
}

void CPlatformInfo::Refresh() {
    state_.modelName =
        IdentifyDrive(state_, presenter_, this, state_.driveCode, IdentifyWhat::ModelAndTable);
    ui_->id1031->setText(state_.modelName);
    int firmware = state_.Link().ReadAddressValue(state_.station, reg::FIRMWARE_VERSION);
    if (firmware < 100) {
        firmware = 100;
    }
    ui_->id1036->setText(FirmwareText(firmware));
    ui_->id1032->setText(QStringLiteral(" V1.00"));
}

// The main window refreshes the fields each time it shows the page; repaints in between draw what
// was read then, instead of asking the drive and the database again on every repaint.
void CPlatformInfo::showEvent(QShowEvent* event) {
    PlaceRows();
    QWidget::showEvent(event);
}

void CPlatformInfo::resizeEvent(QResizeEvent* event) {
    PlaceRows();
    QWidget::resizeEvent(event);
}

void CPlatformInfo::PlaceRows() {
    const int pictureBottom =
        kPictureTop + (picture_.isNull() ? 0 : picture_.deviceIndependentSize().toSize().height());
    const int fieldLeft = static_cast<int>(width() * 0.4);
    int y = pictureBottom + kRowGap;
    const std::pair<QWidget*, QWidget*> rows[] = {{ui_->id1029, ui_->id1031},
                                                  {ui_->id1035, ui_->id1036},
                                                  {ui_->id1030, ui_->id1032},
                                                  {ui_->id1033, ui_->id1034}};
    for (const auto& [label, field] : rows) {
        field->move(fieldLeft, y);
        label->move(fieldLeft - 5 - label->width(), y + (field->height() - label->height()) / 2);
        y += field->height() + kRowGap;
    }
}

void CPlatformInfo::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) {
        return;
    }
    if (picture_.devicePixelRatio() != devicePixelRatioF()) {
        picture_ = DrivePicture(devicePixelRatioF());
    }
    QPainter painter(this);
    const QSize size = picture_.deviceIndependentSize().toSize();
    const QPoint topLeft((width() - size.width()) / 2, kPictureTop);
    painter.drawImage(topLeft, picture_);
    painter.setPen(QColor(176, 176, 176));
    painter.drawRect(QRect(topLeft, size).adjusted(-1, -1, 0, 0));
}

} // namespace kestova
