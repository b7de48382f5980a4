#pragma once

// A diagnostics page: the drive's object dictionary, read and written through its register window.
// Empty until it is built.

#include <QWidget>

namespace kestova {

class Presenter;
class ProgramState;

class CObjDictionary : public QWidget {
    Q_OBJECT
public:
    CObjDictionary(ProgramState& state, Presenter& presenter, QWidget* parent = nullptr);

private:
    ProgramState& state_;
    Presenter& presenter_;
};

} // namespace kestova
