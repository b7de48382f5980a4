#include "InfoDialogs.h"

#include "ui_About.h"
#include "ui_ProductInfo.h"

#include <QIcon>

namespace kestova {

namespace {

QPixmap ProgramIcon() {
    return QIcon(":/icons/157.svg").pixmap(48, 48);
}

} // namespace

CProductInfo::CProductInfo(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::ProductInfoForm>()) {
    ui_->setupUi(this);
    ui_->icon->setPixmap(ProgramIcon());
    connect(ui_->idOk, &QPushButton::clicked, this, &QDialog::accept);
}

CProductInfo::~CProductInfo() = default;

void CProductInfo::ExchangeTexts() {
    ui_->id1112->setText(modelText);
    ui_->id1113->setText(firmwareText);
}

int CProductInfo::exec() {
    ExchangeTexts();
    return QDialog::exec();
}

CAbout::CAbout(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::AboutForm>()) {
    ui_->setupUi(this);
    ui_->icon->setPixmap(ProgramIcon());
    connect(ui_->idOk, &QPushButton::clicked, this, &QDialog::accept);
}

CAbout::~CAbout() = default;

void CAbout::ExchangeTexts() {
    ui_->id1114->setText(titleText);
}

int CAbout::exec() {
    ExchangeTexts();
    return QDialog::exec();
}

} // namespace kestova
