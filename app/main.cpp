#include "CNewCorvexApp.h"

int main(int argc, char** argv) {
    kestova::CNewCorvexApp app(argc, argv);
    return app.InitInstance();
}
