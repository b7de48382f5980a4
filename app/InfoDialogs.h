#pragma once

// The two small dialogs of the Help menu: what is connected, and what program this is.

#include <QDialog>

#include <memory>

namespace Ui {
class ProductInfoForm;
class AboutForm;
} // namespace Ui

namespace kestova {

class CProductInfo : public QDialog {
    Q_OBJECT
public:
    explicit CProductInfo(QWidget* parent = nullptr);
    ~CProductInfo() override;

    // Shown in the dialog's fields when it opens.
    QString modelText;
    QString firmwareText;

    // Puts the texts into the fields; exec() does it too.
    void ExchangeTexts();
    int exec() override;

private:
    std::unique_ptr<Ui::ProductInfoForm> ui_;
};

class CAbout : public QDialog {
    Q_OBJECT
public:
    explicit CAbout(QWidget* parent = nullptr);
    ~CAbout() override;

    QString titleText = QStringLiteral("Velmora");

    void ExchangeTexts();
    int exec() override;

private:
    std::unique_ptr<Ui::AboutForm> ui_;
};

} // namespace kestova
