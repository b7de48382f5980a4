#pragma once

#include <QApplication>

namespace kestova {

// The application object: sets the program up and runs the main window until it closes.
class CNewCorvexApp : public QApplication {
    Q_OBJECT
public:
    CNewCorvexApp(int& argc, char** argv);

    // Runs the whole program; returns the process exit code.
    int InitInstance();
};

} // namespace kestova
