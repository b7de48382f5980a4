#pragma once

// A diagnostics page: one object-dictionary entry of the drive written, and up to two entries
// read, once or every 300 ms, through the drive's dictionary window. The page does not ask
// whether the drive has the window; the main window does before it shows the page.

#include "DriveWindows.h"

#include <QTimer>
#include <QWidget>

#include <memory>

class QCheckBox;
class QLineEdit;
namespace Ui {
class DictionaryForm;
}

namespace kestova {

class Presenter;
class ProgramState;

class CObjDictionary : public QWidget {
    Q_OBJECT
public:
    CObjDictionary(ProgramState& state, Presenter& presenter, QWidget* parent = nullptr);
    ~CObjDictionary() override;

    void WriteEntry();
    // group 1 or 2: one read of the group's entry; it stops the group's timer unless the
    // group reads continuously.
    void ReadEntry(int group);
    // Keep the write group's DEC box equal to its HEX box, and the other way round.
    void SyncDecimal();
    void SyncHex();

    // True while the group's timer runs.
    bool Polling(int group) const;

private:
    struct Group {
        diag::ReadGroup window;
        QLineEdit* index;
        QLineEdit* subIndex;
        QLineEdit* hex;
        QLineEdit* dec;
        QCheckBox* continuous;
        QTimer timer;
        bool pending = false; // ticked while another exchange was on its way
    };

    void StartReading(Group& group);
    void Tick(Group& group);
    // Checks an index or sub-index field; on failure focuses it and says why.
    bool CheckField(QLineEdit* field, const char* message);
    bool Exchange(const std::function<void()>& work);

    ProgramState& state_;
    Presenter& presenter_;
    std::unique_ptr<Ui::DictionaryForm> ui_;
    Group groups_[2];
    bool busy_ = false;
};

} // namespace kestova
