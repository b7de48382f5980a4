#pragma once

// The IO function panel: a small bordered child of the parameter list that edits the register of
// one configurable digital input or output. It shows the value in hexadecimal and as controls
// (function, contact type, input filter time) and keeps the two in step both ways. OK hides it
// and posts WM_IO_FUNCTION_SET (row x 65536 + address, value) to the list; Cancel only hides it.
// Enter does nothing anywhere in the panel.

#include <QFrame>

#include <cstdint>
#include <memory>

namespace Ui {
class IoSettingsForm;
}

namespace kestova {

class CIOSettings : public QFrame {
    Q_OBJECT
public:
    // Created hidden at (100, 25) in the list.
    explicit CIOSettings(QWidget* list);
    ~CIOSettings() override;

    // Fills the function list for the row's kind (told by its description), shows the panel and
    // sets the controls from the value.
    void OpenForRow(int row, int address, const QString& description, std::uint32_t value);

    int Row() const { return row_; }
    int Address() const { return address_; }
    std::uint32_t Value() const { return value_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void SelectFunction(bool firstEntryFirst);
    void SetControlsFromValue(bool firstFunctionFirst);
    void OnValueText(const QString& text);
    void OnControlChanged();
    void OnOk();

    std::unique_ptr<Ui::IoSettingsForm> ui_;
    int row_ = 0;
    int address_ = 0;
    std::uint32_t value_ = 0;
};

} // namespace kestova
