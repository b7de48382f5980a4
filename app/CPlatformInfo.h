#pragma once

// Page 4: a picture of the drive, its model and its firmware version.

#include <QImage>
#include <QWidget>

#include <memory>

namespace Ui {
class PlatformInfoForm;
}

namespace kestova {

class Presenter;
class ProgramState;

class CPlatformInfo : public QWidget {
    Q_OBJECT
public:
    CPlatformInfo(ProgramState& state, Presenter& presenter, QWidget* parent = nullptr);
    ~CPlatformInfo() override;

    // Identifies the model again and reads the firmware version into the fields.
    void Refresh();

    QString ModelField() const;
    QString FirmwareField() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void PlaceRows();

    ProgramState& state_;
    Presenter& presenter_;
    std::unique_ptr<Ui::PlatformInfoForm> ui_;
    QImage picture_; // may be null: the page then paints without it
};

} // namespace kestova
