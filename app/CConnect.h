#pragma once

// The connection page: pick a port, connect to the drive or disconnect. It opens the link, checks
// that a drive answers, stores the drive's identity registers and tells the main window.

#include <QWidget>

#include <memory>

class QComboBox;
class QCheckBox;
class QPushButton;
namespace Ui {
class ConnectForm;
}

namespace kestova {

class Presenter;
class ProgramState;

class CConnect : public QWidget {
    Q_OBJECT
public:
    // notify receives the link-up and link-down messages.
    CConnect(ProgramState& state, Presenter& presenter, QObject* notify, QWidget* parent = nullptr);
    ~CConnect() override;

    // Commands.
    void OnConnect();
    void OnListAll();
    void OnOffline();

    // Fills the port list with the ports present.
    void ListPresentPorts();

    QComboBox* PortList() const;
    QCheckBox* ListAllBox() const;
    QPushButton* ConnectButton() const;

private:
    void FillNumberedPorts();

    ProgramState& state_;
    Presenter& presenter_;
    QObject* notify_;
    std::unique_ptr<Ui::ConnectForm> ui_;
};

} // namespace kestova
